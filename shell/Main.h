// TMainF (MainF): the main window, a small bar with the menu. It owns the
// one computer, creates the sound output and the key thread, carries every
// command of the program as a menu item or an action with a shortcut,
// starts and stops debug runs, opens snapshot and tape files, saves
// snapshots, shows the frames per second in its caption and passes the
// application's activation to the view manager. Tool views open in their
// own floating tool windows; the main window holds no view.
//
// Construction order: the sound output (g_DirectSound), the computer, the
// key thread (g_KeyThread); the evaluator is bound to the processor, the
// processor reset, the view manager handed this window and the computer,
// and the debugging actions enabled. Destruction: a run still going is
// ended (its end-of-run notification runs), every tool window goes, the key
// thread is stopped and joined, then the computer and the sound output go.
//
// Everything here runs on the user-interface thread. Anything that changes
// the machine while a run is active does so inside the computer's pause
// guard, between two instructions, and the run goes on.
#pragma once

#include "core/Host_services.h"
#include "core/Types.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class TComputer;
class TDirectSound;
class TKeySource;
class TKeyThread;
class TOutlineOverlay;
class TSoundDevice;

// The application's title, "Quorvane - Run" while the machine runs and
// "Quorvane - Debug" after a run: the application display name, which the
// window system shows beside each window's own caption (under X11, Qt
// appends it to the window name the taskbar and the title bar show).
class TApplicationTitle : public TTitleSink {
public:
    void SetTitle(const std::string& title) override;
    // The title last set ("" before any).
    static QString Title();
};

// What the main window is built with: the host services handed to the
// computer and the sound output, the device the sound output plays on, and
// the host keyboard the key thread reads.
struct TMainParts {
    THostServices Services;
    std::unique_ptr<TSoundDevice> SoundDevice;  // null: no sound (reported once)
    TKeySource* KeySource = nullptr;            // not owned; outlives the window
};

class TMainF : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* ProductCaption = "Quorvane ";
    static constexpr const char* OpenFilter =
        "All supported files|*.sna; *.z80; *.tzx; *.tap|Snapshot Sna|*.sna|Snapshot Z80|*.z80|Tape Images|*.tap";
    static constexpr const char* SaveSnapshotFilter = "Snapshot Sna|*.sna";
    static constexpr const char* FileOpenErrorCaption = "File open error";
    static constexpr const char* CantOpenError = "Can't open file for read.";
    static constexpr const char* UnknownFormatError = "Unknow file format!";

    // One entry of the view actions: the action's name, its caption, its
    // shortcut and the view kind it opens.
    struct TViewActionInfo {
        const char* Name;
        const char* Caption;
        const char* Shortcut;  // "" for none
        int Kind;
    };
    static const std::vector<TViewActionInfo>& ViewActionTable();

    explicit TMainF(TMainParts parts);
    ~TMainF() override;
    TMainF(const TMainF&) = delete;
    TMainF& operator=(const TMainF&) = delete;

    TComputer* GetComputer() const { return Computer.get(); }

    // stopped: the run, step and trace actions on and Stop off; else the
    // inverse (after the renderer has put back the pixels under the beam
    // marker). Reset is never changed; Trace To Next Line and Run Until
    // Return have no operation and stay off.
    void SetDebugActions(bool stopped);
    // The end of a run or step-over: every view is refreshed, then the
    // actions are back to stopped.
    void OnDebugStop();
    // The sound output recomputes its pacing window from the settings.
    void ApplySoundSync();

    // --- Commands (the menu items and actions call them) ---
    // Asks for a file with the open dialog and opens it.
    void OpenMIClick();
    // Opens a snapshot (.sna, .z80) or a tape image (.tzx, .tap), chosen by
    // the file name's extension in any case. A failure is shown in a box
    // captioned "File open error"; after a snapshot, loaded or not, the
    // border history, the renderer and every view are refreshed.
    void OpenFile(const QString& path);
    // The save-snapshot dialog (SaveSnapshotF) asks for the form and the
    // file and saves; where it was not created, a file dialog asks for the
    // name and the form follows the memory model (128K or 48K).
    void SaveSnapshotAExecute();
    // Saves an SNA snapshot of the kind (0 48K, 1 128K) to the path.
    void SaveSnapshot(const QString& path, i32 kind);
    void RunAExecute();
    void StopAExecute();
    void StepOverAExecute();
    void TraceIntoAExecute();
    void RunUntilInterruptAExecute();
    void ResetAExecute();
    // The options dialog (with the computer) and the about box, modally;
    // nothing where they were not created.
    void OptionsMIClick();
    void AboutQuorvaneMIClick();
    // Opens a view of the kind in a new tool window; a screen view becomes
    // the one the computer shows its frames in (g_Display).
    void ShowView(int kind);
    // The caption: "Quorvane " and, while the frames-per-second display is
    // on, "(FPS n)"; written only when it changes.
    void VelmoraAEIdle();
    void VelmoraAEActivate();
    void VelmoraAEDeactivate();

    // The extension of a path's file name in lower case, from its last dot
    // (".sna"); empty when the name has no dot.
    static std::string FileExtension(const std::string& path);

    // --- Components ---
    QMenuBar* MainMM;
    QMenu* FileM;
    QMenu* ViewM;
    QMenu* DebugM;
    QMenu* SetupM;
    QMenu* WindowM;
    QMenu* HelpM;
    // Menu items without an action of the list.
    QAction* OpenMI;
    QAction* N2;
    QAction* Exit1;
    QAction* N1;
    QAction* OptionsMI;
    QAction* AboutQuorvaneMI;
    // The action list MainAL.
    QAction* SaveSnapshotA;
    QAction* RunA;
    QAction* ResetA;
    QAction* StopA;
    QAction* StepOverA;
    QAction* TraceIntoA;
    QAction* TraceToNextLineA;
    QAction* RunUntilReturnA;
    QAction* RunUntilInterruptA;
    std::vector<QAction*> ViewActions;  // in menu order, ViewMemoryDumpA first
    std::vector<QAction*> MainAL;       // all 24, each with its "Category" property

protected:
    // Whatever closes the window: a run is stopped first, and its end-of-run
    // notification runs before the window goes.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    QAction* AddAction(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                       const char* category);
    void ConnectApplication();
    void RefreshAfterSnapshot();

    THostServices Services;
    std::unique_ptr<TDirectSound> Sound;
    std::unique_ptr<TComputer> Computer;
    std::unique_ptr<TKeyThread> KeyThread;
    // The outline that docking drags draw on the screen.
    std::unique_ptr<TOutlineOverlay> DragOutline;
    u8 LastShowFps = 0;
    i32 LastFps = 0;
    QString LastFolder;
};

// The main window; set while it exists.
extern TMainF* MainF;

// The view kinds the program has views for, registered with the view
// manager (the main window's constructor calls it).
void RegisterViews();
