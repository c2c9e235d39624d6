#include "shell/Main.h"

#include "core/Clock.h"
#include "core/Computer.h"
#include "core/Display.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Tape_recorder.h"
#include "core/Types.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Key_thread.h"
#include "host/Render.h"
#include "host/Sound_device.h"
#include "media/File.h"
#include "media/Snapshot_sna.h"
#include "media/Snapshot_z80.h"
#include "media/Tape.h"
#include "platform/Application.h"
#include "platform/Dialog_services.h"
#include "platform/Outline_overlay.h"
#include "shell/Ide.h"
#include "tools/Expression.h"
#include "shell/About.h"
#include "shell/Options.h"
#include "views/Debugger_views.h"
#include "views/Machine_views.h"
#include "views/Project_views.h"
#include "views/Save_snaphot.h"
#include "views/Screen_frame.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QVariant>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <exception>
#include <utility>

TMainF* MainF = nullptr;

// ---------------------------------------------------------------------------
// The application's title

void TApplicationTitle::SetTitle(const std::string& title)
{
    const QString name = QString::fromStdString(title);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || name == Title())
        return;
    QGuiApplication::setApplicationDisplayName(name);
    // The window system takes the name when a window's caption is set: each
    // window passes its own caption on again.
    for (QWindow* window : QGuiApplication::topLevelWindows())
        window->setTitle(window->title());
}

QString TApplicationTitle::Title()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::applicationDisplayName()
                                                                       : QString();
}

// ---------------------------------------------------------------------------
// Views

void RegisterViews()
{
    RegisterDebuggerViews(g_IDE);   // 0 memory, 1 CPU, 2 disassembler, 3 stack
    RegisterScreenView();           // 4
    RegisterMachineViews(g_IDE);    // 5, 6, 8, 9, 10, 11, 13, 14
    RegisterProjectViews(g_IDE);    // 7 project manager, 12 source viewer
}

const std::vector<TMainF::TViewActionInfo>& TMainF::ViewActionTable()
{
    static const std::vector<TViewActionInfo> table = {
        {"ViewMemoryDumpA", "&Memory Dump", "Ctrl+Alt+M", TIDE::KindMemory},
        {"ViewZ80CpuA", "&Z80 CPU", "Ctrl+Alt+Z", TIDE::KindZ80},
        {"ViewDasmDumpA", "&Disassembler Dump", "Ctrl+Alt+D", TIDE::KindDasm},
        {"ViewStackA", "S&tack", "Ctrl+Alt+T", TIDE::KindStack},
        {"ViewScreenA", "&Screen", "Ctrl+Alt+S", TIDE::KindScreen},
        {"ViewTapeRecorderA", "Tape &Recorder", "Ctrl+Alt+R", TIDE::KindTapeRecorder},
        {"ViewOscilloscopeA", "&Oscilloscope", "Ctrl+Alt+O", TIDE::KindOscilloscope},
        {"ViewProjectManagerA", "Project Manager", "Ctrl+Alt+F11", TIDE::KindProjectManager},
        {"ViewKeyboardA", "&Keyboard", "Ctrl+Alt+K", TIDE::KindKeyboard},
        {"ViewBetaDiskA", "&Beta Disk Interface", "Ctrl+Alt+B", TIDE::KindBetaDisk},
        {"ViewTapeA", "Ta&pe", "Ctrl+Alt+P", TIDE::KindTape},
        {"ViewBreakpointsA", "Bre&akpoints", "Ctrl+Alt+A", TIDE::KindBreakpoints},
        {"ViewEditorA", "&Editor", "Ctrl+Alt+E", TIDE::KindEditor},
        {"ViewDiskA", "Disk", "", TIDE::KindDisk},
        {"ViewPagesA", "Pages", "", TIDE::KindPages},
    };
    return table;
}

// ---------------------------------------------------------------------------
// Construction and destruction

TMainF::TMainF(TMainParts parts)
    : QMainWindow(nullptr)
    , Services(parts.Services)
{
    setObjectName(QStringLiteral("MainF"));
    setWindowTitle(QString::fromLatin1(ProductCaption));
    CreateMenus();
    // The form's design: a bar of 656 x 69 client pixels under the menu.
    setCentralWidget(new QWidget(this));
    move(401, 135);
    resize(656, 69 + MainMM->sizeHint().height());

    try {
        Sound = std::make_unique<TDirectSound>(std::move(parts.SoundDevice), Services);
        g_DirectSound = Sound.get();
        Computer = std::make_unique<TComputer>(Services);
        QPointer<TMainF> self(this);
        KeyThread = std::make_unique<TKeyThread>(Computer.get(), parts.KeySource, Services, [self] {
            if (self)
                self->close();
        });
        g_KeyThread = KeyThread.get();
    } catch (...) {
        g_KeyThread = nullptr;
        KeyThread.reset();
        Computer.reset();
        g_DirectSound = nullptr;
        Sound.reset();
        throw;
    }

    g_Expression->SetComputer(Computer.get());
    Computer->Z80->Reset();
    RegisterViews();
    g_IDE.Init(this, Computer.get());
    DragOutline = std::make_unique<TOutlineOverlay>();
    SetDragOutlinePainter(DragOutline.get());
    SetDebugActions(true);
    ConnectApplication();
    MainF = this;
}

TMainF::~TMainF()
{
    // A run still going ends here, with its notification, before any view goes.
    Computer->Stop();
    g_IDE.CloseAll();
    SetDragOutlinePainter(nullptr);
    g_Display = nullptr;
    // The key thread writes into the computer's keyboard: it goes first.
    g_KeyThread = nullptr;
    KeyThread.reset();
    Computer.reset();
    g_DirectSound = nullptr;
    Sound.reset();
    g_IDE.Init(nullptr, nullptr);
    if (MainF == this)
        MainF = nullptr;
}

QAction* TMainF::AddAction(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                           const char* category)
{
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    if (shortcut && *shortcut)
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut), QKeySequence::PortableText));
    // The commands work from every tool window, as from the main window.
    action->setShortcutContext(Qt::ApplicationShortcut);
    if (category) {
        action->setProperty("Category", QString::fromLatin1(category));
        MainAL.push_back(action);
    }
    menu->addAction(action);
    return action;
}

void TMainF::CreateMenus()
{
    MainMM = menuBar();
    MainMM->setObjectName(QStringLiteral("MainMM"));

    FileM = MainMM->addMenu(QStringLiteral("File"));
    OpenMI = AddAction(FileM, "OpenMI", "&Open file...", "F3", nullptr);
    SaveSnapshotA = AddAction(FileM, "SaveSnapshotA", "&Save snapshot...", "Alt+F3", "File");
    N2 = FileM->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Exit1 = AddAction(FileM, "Exit1", "Exit", "Alt+F4", nullptr);
    // Alt+F4 closes the window it is pressed in, as the desktop does.
    Exit1->setShortcutContext(Qt::WindowShortcut);

    ViewM = MainMM->addMenu(QStringLiteral("View"));
    for (const TViewActionInfo& info : ViewActionTable())
        ViewActions.push_back(AddAction(ViewM, info.Name, info.Caption, info.Shortcut, "View"));

    DebugM = MainMM->addMenu(QStringLiteral("Debug"));
    RunA = AddAction(DebugM, "RunA", "Run", "F9", "Debug");
    ResetA = AddAction(DebugM, "ResetA", "Reset", "F12", "Debug");
    StopA = AddAction(DebugM, "StopA", "Stop", "Esc", "Debug");
    N1 = DebugM->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    StepOverA = AddAction(DebugM, "StepOverA", "Step Over", "F8", "Debug");
    TraceIntoA = AddAction(DebugM, "TraceIntoA", "Trace Into", "F7", "Debug");
    TraceToNextLineA = AddAction(DebugM, "TraceToNextLineA", "Trace To Next Line", "Shift+F7", "Debug");
    RunUntilReturnA = AddAction(DebugM, "RunUntilReturnA", "Run Until Return", "Shift+F8", "Debug");
    RunUntilInterruptA = AddAction(DebugM, "RunUntilInterruptA", "Run until Interrupt", "Shift+F9", "Debug");

    SetupM = MainMM->addMenu(QStringLiteral("Setup"));
    OptionsMI = AddAction(SetupM, "OptionsMI", "Options...", "", nullptr);

    WindowM = MainMM->addMenu(QStringLiteral("Window"));

    HelpM = MainMM->addMenu(QStringLiteral("Help"));
    AboutQuorvaneMI = AddAction(HelpM, "AboutQuorvaneMI", "About Quorvane", "", nullptr);

    connect(OpenMI, &QAction::triggered, this, Guard([this] { OpenMIClick(); }));
    connect(SaveSnapshotA, &QAction::triggered, this, Guard([this] { SaveSnapshotAExecute(); }));
    connect(Exit1, &QAction::triggered, this, Guard([this] { close(); }));
    for (std::size_t i = 0; i < ViewActions.size(); ++i) {
        const int kind = ViewActionTable()[i].Kind;
        connect(ViewActions[i], &QAction::triggered, this, Guard([this, kind] { ShowView(kind); }));
    }
    connect(RunA, &QAction::triggered, this, Guard([this] { RunAExecute(); }));
    connect(ResetA, &QAction::triggered, this, Guard([this] { ResetAExecute(); }));
    connect(StopA, &QAction::triggered, this, Guard([this] { StopAExecute(); }));
    connect(StepOverA, &QAction::triggered, this, Guard([this] { StepOverAExecute(); }));
    connect(TraceIntoA, &QAction::triggered, this, Guard([this] { TraceIntoAExecute(); }));
    connect(RunUntilInterruptA, &QAction::triggered, this, Guard([this] { RunUntilInterruptAExecute(); }));
    connect(OptionsMI, &QAction::triggered, this, Guard([this] { OptionsMIClick(); }));
    connect(AboutQuorvaneMI, &QAction::triggered, this, Guard([this] { AboutQuorvaneMIClick(); }));
}

void TMainF::OptionsMIClick()
{
    if (OptionsF)
        OptionsF->Execute(Computer.get());
}

void TMainF::AboutQuorvaneMIClick()
{
    if (AboutF)
        AboutF->Execute();
}

void TMainF::ConnectApplication()
{
    TApplication* app = TApplication::Instance();
    if (!app)
        return;
    connect(app, &TApplication::Idle, this, Guard([this] { VelmoraAEIdle(); }));
    connect(app, &TApplication::Activated, this, Guard([this] { VelmoraAEActivate(); }));
    connect(app, &TApplication::Deactivated, this, Guard([this] { VelmoraAEDeactivate(); }));
}

void TMainF::closeEvent(QCloseEvent* event)
{
    Computer->Stop();
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Debugging

void TMainF::SetDebugActions(bool stopped)
{
    if (!stopped)
        Computer->Render->HideBeamMarker();
    for (QAction* action : {RunA, StepOverA, TraceIntoA, RunUntilInterruptA})
        action->setEnabled(stopped);
    // Esc is a shortcut only while a run is active: the rest of the time the
    // key belongs to the views and the key thread.
    StopA->setEnabled(!stopped);
    TraceToNextLineA->setEnabled(false);
    RunUntilReturnA->setEnabled(false);
}

void TMainF::OnDebugStop()
{
    g_IDE.UpdateViews();
    SetDebugActions(true);
}

void TMainF::ApplySoundSync()
{
    if (g_DirectSound)
        g_DirectSound->SetSyncOffset();
}

void TMainF::RunAExecute()
{
    SetDebugActions(false);
    if (!Computer->Run([this] { OnDebugStop(); }, TComputer::NoRunTo))
        SetDebugActions(!Computer->IsRunActive());
}

void TMainF::StopAExecute()
{
    if (Computer->IsRunActive())
        Computer->SetStopRequest(1);
}

void TMainF::StepOverAExecute()
{
    SetDebugActions(false);
    if (!Computer->StepOver([this] { OnDebugStop(); }))
        SetDebugActions(!Computer->IsRunActive());
}

void TMainF::TraceIntoAExecute()
{
    SetDebugActions(false);
    Computer->Step();
    g_IDE.UpdateViews();
    SetDebugActions(true);
}

void TMainF::RunUntilInterruptAExecute()
{
    SetDebugActions(false);
    if (!Computer->RunUntilInterrupt([this] { OnDebugStop(); }))
        SetDebugActions(!Computer->IsRunActive());
}

void TMainF::ResetAExecute()
{
    {
        auto pause = Computer->PauseRun();
        Computer->Reset();
        g_IDE.UpdateViews();
    }
    update();
}

void TMainF::ShowView(int kind)
{
    TViewF* view = g_IDE.ShowView(kind);
    if (kind == TIDE::KindScreen)
        if (auto* screen = qobject_cast<TScreenF*>(view))
            g_Display = screen;
}

// ---------------------------------------------------------------------------
// Files

std::string TMainF::FileExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

void TMainF::OpenMIClick()
{
    const QString path = FileDialogs().GetOpenFileName(this, QString(), LastFolder, QString::fromLatin1(OpenFilter));
    if (path.isEmpty())
        return;
    LastFolder = QFileInfo(path).absolutePath();
    OpenFile(path);
}

void TMainF::RefreshAfterSnapshot()
{
    Computer->VideoCard->ResetBorderLog();
    TRender* render = Computer->Render;
    render->Reset();
    render->DrawStatic(0xFF);
    g_IDE.UpdateViews();
}

void TMainF::OpenFile(const QString& path)
{
    std::string error;
    {
        auto pause = Computer->PauseRun();
        Computer->Render->HideBeamMarker();
        try {
            const std::string name = path.toStdString();
            auto file = std::make_unique<TFile>(name);
            if (file->GetSize() == 0)
                throw TTextError(CantOpenError);
            const std::string extension = FileExtension(name);
            if (extension == ".sna" || extension == ".z80") {
                std::unique_ptr<TSnapshot> snapshot;
                if (extension == ".sna")
                    snapshot = std::make_unique<TSnapshotSNA>();
                else
                    snapshot = std::make_unique<TSnapshotZ80>();
                try {
                    snapshot->Load(*Computer, *file);
                } catch (...) {
                    // The views show the state the machine really has.
                    RefreshAfterSnapshot();
                    throw;
                }
                RefreshAfterSnapshot();
            } else if (extension == ".tzx" || extension == ".tap") {
                const i32 type = extension == ".tzx" ? TTape::TypeTZX : TTape::TypeTAP;
                auto tape = std::make_unique<TTape>(std::move(file), type);
                Computer->TapeRecorder->SetTape(std::move(tape));
            } else {
                throw TTextError(UnknownFormatError);
            }
        } catch (const std::exception& failure) {
            error = failure.what();
        }
    }
    // Shown after the guard: a run goes on while the box is open.
    if (!error.empty())
        MessageBoxes().MessageBox(this, QString::fromLatin1(FileOpenErrorCaption), QString::fromStdString(error),
                                  TMessageIcon::Error, TMessageButtons::Ok);
}

void TMainF::SaveSnapshotAExecute()
{
    if (SaveSnapshotF) {
        // The dialog asks for the form and the name, and saves.
        SaveSnapshotF->Execute(Computer.get());
        return;
    }
    // Without the dialog the file dialog asks for the name, and the form
    // follows the memory model.
    const QString path =
        FileDialogs().GetSaveFileName(this, QStringLiteral("Save snapshot"), LastFolder,
                                      QString::fromLatin1(SaveSnapshotFilter));
    if (path.isEmpty())
        return;
    LastFolder = QFileInfo(path).absolutePath();
    const i32 kind =
        Computer->Memory->GetModel() == TMemory::Model128 ? TSnapshotSNA::Kind128 : TSnapshotSNA::Kind48;
    SaveSnapshot(path, kind);
}

void TMainF::SaveSnapshot(const QString& path, i32 kind)
{
    auto pause = Computer->PauseRun();
    TSnapshotSNA().Save(*Computer, path.toStdString(), kind);
}

// ---------------------------------------------------------------------------
// The application's events

void TMainF::VelmoraAEIdle()
{
    const u8 showFps = g_Settings->ShowFps.load(std::memory_order_relaxed) ? 1 : 0;
    const i32 fps = g_Clock ? static_cast<i32>(g_Clock->GetFps()) : 0;
    if (showFps == LastShowFps && (showFps == 0 || fps == LastFps))
        return;
    QString caption = QString::fromLatin1(ProductCaption);
    if (showFps)
        caption += QStringLiteral("(FPS %1)").arg(fps);
    setWindowTitle(caption);
    LastShowFps = showFps;
    LastFps = fps;
}

void TMainF::VelmoraAEActivate()
{
    g_IDE.AppActivate();
}

void TMainF::VelmoraAEDeactivate()
{
    g_IDE.AppDeactivate();
}
