#include "views/Machine_views.h"

#include "core/Computer.h"
#include "shell/About.h"
#include "shell/Ide.h"
#include "shell/Options.h"
#include "views/Load_dump.h"
#include "views/Pages_frame.h"
#include "views/Placeholder_frames.h"
#include "views/Save_dump.h"
#include "views/Save_snaphot.h"
#include "views/Tape_recorder_frame.h"

#include <QObject>

namespace {

// Makes the dialog the global's, and clears the global when the dialog is
// destroyed by whoever destroys it.
template <class TDialog>
void Install(TDialog*& global, TDialog* dialog)
{
    global = dialog;
    QObject::connect(dialog, &QObject::destroyed, [&global, dialog] {
        if (global == dialog)
            global = nullptr;
    });
}

template <class TDialog>
void Destroy(TDialog*& global)
{
    delete global;  // the destroyed signal clears it too
    global = nullptr;
}

} // namespace

void RegisterMachineViews(TIDE& ide)
{
    ide.RegisterView(TIDE::KindTapeRecorder, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        return new TTapeRecorderF(owner, computer->TapeRecorder, computer);
    });
    ide.RegisterView(TIDE::KindPages,
                     [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* { return new TPagesF(owner, computer); });
    ide.RegisterView(TIDE::KindOscilloscope, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        return new TOscilloscopeF(owner, computer);
    });
    ide.RegisterView(TIDE::KindKeyboard, [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TKeyboardF(owner); });
    ide.RegisterView(TIDE::KindBetaDisk, [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TBetaDiskF(owner); });
    ide.RegisterView(TIDE::KindTape, [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TTapeF(owner); });
    ide.RegisterView(TIDE::KindBreakpoints,
                     [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TBreakpointsF(owner); });
    ide.RegisterView(TIDE::KindDisk, [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TDiskF(owner); });
}

void CreateOptionsDialog(QWidget* owner)
{
    Install(OptionsF, new TOptionsF(owner));
}

void CreateDumpDialogs(QWidget* owner)
{
    Install(SaveDumpF, new TSaveDumpF(owner));
    Install(LoadDumpF, new TLoadDumpF(owner));
    Install(SaveSnapshotF, new TSaveSnapshotF(owner));
}

void CreateAboutDialog(QWidget* owner)
{
    Install(AboutF, new TAboutF(owner));
}

void DestroyMachineDialogs()
{
    Destroy(AboutF);
    Destroy(SaveSnapshotF);
    Destroy(LoadDumpF);
    Destroy(SaveDumpF);
    Destroy(OptionsF);
}
