// The main window: start-up state, the action table, runs and steps with
// the views they refresh, opening snapshots and tapes with their errors,
// saving a snapshot, closing during a run, the idle caption, the run state
// in the application's title, and keys lost to a view's modal dialog.
#include "tests/shell/Qt_test_app.h"
#include "tests/shell/Stub_views.h"
#include "tests/support/Fake_machine_host.h"
#include "tests/support/Test_settings.h"

#include "core/Clock.h"
#include "core/Computer.h"
#include "core/Display.h"
#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Tape_recorder.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Key_source.h"
#include "host/Key_thread.h"
#include "media/Tape.h"
#include "platform/Dialog_services.h"
#include "platform/Qt_key_source.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "shell/Main.h"
#include "views/Debugger_views.h"
#include "views/Expression_form.h"
#include "shell/Parent_frame.h"
#include "views/Screen_frame.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string TestData = QUORVANE_TESTDATA_DIR;

std::vector<u8> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A stub view that writes what happens to it into a shared log.
class TLoggingView : public TStubView {
public:
    TLoggingView(QWidget* owner, const QString& className, std::vector<std::string>* log)
        : TStubView(owner, className)
        , Log(log)
    {
    }
    ~TLoggingView() override { Log->push_back("destroyed"); }
    void UpdateView() override
    {
        TStubView::UpdateView();
        Log->push_back("update");
    }

private:
    std::vector<std::string>* Log;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_Clock = &Clock;
        auto device = std::make_unique<TFakeSoundDevice>();
        // About real time: the wait polls every millisecond.
        device->AutoStep = 45;
        Device = device.get();
        TMainParts parts;
        parts.Services = {TApplication::Instance(), TApplication::Instance(), &Title};
        parts.SoundDevice = std::move(device);
        parts.KeySource = &Keys;
        Main = std::make_unique<TMainF>(std::move(parts));
        g_ViewCounter = 0;
    }
    void TearDown() override
    {
        Main.reset();
        Settle();
        g_Clock = nullptr;
    }

    TComputer& Computer() { return *Main->GetComputer(); }

    // Two stub views of kinds without views of their own yet (the CPU and
    // stack views), each counting its refreshes.
    std::vector<TStubView*> OpenTwoStubViews()
    {
        for (int kind : {TIDE::KindZ80, TIDE::KindStack})
            g_IDE.RegisterView(kind, [kind](QWidget* owner, TComputer*, TIDE&) {
                return new TStubView(owner, TIDE::ViewClassName(kind));
            });
        Main->ViewActions[TIDE::KindZ80]->trigger();
        Main->ViewActions[TIDE::KindStack]->trigger();
        Settle();
        std::vector<TStubView*> views;
        for (TFramesF* window : g_IDE.ToolWindows())
            views.push_back(static_cast<TStubView*>(window->GetActiveView()));
        return views;
    }

    // Runs the event loop until the condition holds or 10 s pass.
    static bool WaitFor(const std::function<bool()>& done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 10000)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    // Copies a file of the test material into the temporary folder under a
    // new name and returns its path.
    std::string Copy(const std::string& source, const std::string& name)
    {
        const std::string path = Folder.File(name);
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    std::string Write(const std::string& name, const std::vector<u8>& bytes)
    {
        const std::string path = Folder.File(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    void Open(const std::string& path)
    {
        Files.Answer(QString::fromStdString(path));
        Main->OpenMI->trigger();
    }
    std::vector<u8> Memory64K()
    {
        std::vector<u8> bytes(0x10000);
        for (u32 a = 0; a < 0x10000; ++a)
            bytes[a] = Computer().Memory->ReadByte(static_cast<u16>(a));
        return bytes;
    }

    TTestSettings Settings;
    TClock Clock;
    TKeyBuffer Keys;
    TApplicationTitle Title;
    TScriptedMessageBoxes Boxes;
    TScriptedFileDialogs Files;
    TTempFolder Folder;
    TFakeSoundDevice* Device = nullptr;
    std::unique_ptr<TMainF> Main;
};

struct TActionRow {
    const char* Name;
    const char* Caption;
    const char* Shortcut;
    const char* Category;
};

// The action list as the user sees it: names, captions, shortcuts and
// categories, in list order.
const std::vector<TActionRow> ActionTable = {
    {"SaveSnapshotA", "&Save snapshot...", "Alt+F3", "File"},
    {"ViewMemoryDumpA", "&Memory Dump", "Ctrl+Alt+M", "View"},
    {"ViewZ80CpuA", "&Z80 CPU", "Ctrl+Alt+Z", "View"},
    {"ViewDasmDumpA", "&Disassembler Dump", "Ctrl+Alt+D", "View"},
    {"ViewStackA", "S&tack", "Ctrl+Alt+T", "View"},
    {"ViewScreenA", "&Screen", "Ctrl+Alt+S", "View"},
    {"ViewTapeRecorderA", "Tape &Recorder", "Ctrl+Alt+R", "View"},
    {"ViewOscilloscopeA", "&Oscilloscope", "Ctrl+Alt+O", "View"},
    {"ViewProjectManagerA", "Project Manager", "Ctrl+Alt+F11", "View"},
    {"ViewKeyboardA", "&Keyboard", "Ctrl+Alt+K", "View"},
    {"ViewBetaDiskA", "&Beta Disk Interface", "Ctrl+Alt+B", "View"},
    {"ViewTapeA", "Ta&pe", "Ctrl+Alt+P", "View"},
    {"ViewBreakpointsA", "Bre&akpoints", "Ctrl+Alt+A", "View"},
    {"ViewEditorA", "&Editor", "Ctrl+Alt+E", "View"},
    {"ViewDiskA", "Disk", "", "View"},
    {"ViewPagesA", "Pages", "", "View"},
    {"RunA", "Run", "F9", "Debug"},
    {"ResetA", "Reset", "F12", "Debug"},
    {"StopA", "Stop", "Esc", "Debug"},
    {"StepOverA", "Step Over", "F8", "Debug"},
    {"TraceIntoA", "Trace Into", "F7", "Debug"},
    {"TraceToNextLineA", "Trace To Next Line", "Shift+F7", "Debug"},
    {"RunUntilReturnA", "Run Until Return", "Shift+F8", "Debug"},
    {"RunUntilInterruptA", "Run until Interrupt", "Shift+F9", "Debug"},
};

QStringList Captions(const QList<QAction*>& actions)
{
    QStringList captions;
    for (const QAction* action : actions)
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

} // namespace

TEST_F(MainWindow, AfterStartUpNoToolWindowIsOpenAndTheMachineIsStopped)
{
    EXPECT_EQ(MainF, Main.get());
    EXPECT_TRUE(g_IDE.ToolWindows().empty());
    EXPECT_FALSE(Main->StopA->isEnabled());
    for (QAction* action : {Main->RunA, Main->StepOverA, Main->TraceIntoA, Main->RunUntilInterruptA, Main->ResetA})
        EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_FALSE(Main->TraceToNextLineA->isEnabled());
    EXPECT_FALSE(Main->RunUntilReturnA->isEnabled());
    EXPECT_NE(g_DirectSound, nullptr);
    EXPECT_NE(g_KeyThread, nullptr);
    EXPECT_EQ(g_IDE.GetComputer(), &Computer());
    EXPECT_EQ(g_IDE.GetOwner(), Main.get());
    // The processor was reset: the ROM starts at 0.
    EXPECT_EQ(Computer().Z80->PC, 0);
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(MainWindow, TheActionListAsData)
{
    ASSERT_EQ(Main->MainAL.size(), ActionTable.size());
    for (std::size_t i = 0; i < ActionTable.size(); ++i) {
        const QAction* action = Main->MainAL[i];
        const TActionRow& row = ActionTable[i];
        EXPECT_EQ(action->objectName(), QString::fromLatin1(row.Name));
        EXPECT_EQ(action->text(), QString::fromLatin1(row.Caption)) << row.Name;
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(row.Shortcut))) << row.Name;
        EXPECT_EQ(action->property("Category").toString(), QString::fromLatin1(row.Category)) << row.Name;
        // Shortcuts reach the commands from the tool windows too.
        EXPECT_EQ(action->shortcutContext(), Qt::ApplicationShortcut) << row.Name;
    }
    EXPECT_EQ(Main->OpenMI->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(Main->Exit1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    EXPECT_EQ(Main->StopA->shortcut(), QKeySequence(Qt::Key_Escape));
}

TEST_F(MainWindow, TheMenusInMenuBarOrder)
{
    QStringList menus;
    for (QAction* action : Main->MainMM->actions())
        menus << action->text();
    EXPECT_EQ(menus, (QStringList{"File", "View", "Debug", "Setup", "Window", "Help"}));
    EXPECT_EQ(Captions(Main->FileM->actions()), (QStringList{"&Open file...", "&Save snapshot...", "-", "Exit"}));
    EXPECT_EQ(Captions(Main->DebugM->actions()),
              (QStringList{"Run", "Reset", "Stop", "-", "Step Over", "Trace Into", "Trace To Next Line",
                           "Run Until Return", "Run until Interrupt"}));
    EXPECT_EQ(Main->ViewM->actions().size(), 15);
    EXPECT_EQ(Captions(Main->SetupM->actions()), QStringList{"Options..."});
    EXPECT_TRUE(Main->WindowM->actions().isEmpty());
    EXPECT_EQ(Captions(Main->HelpM->actions()), QStringList{"About Quorvane"});
}

TEST_F(MainWindow, ViewActionsOpenAViewEachTimeAndTheScreenViewBecomesTheDisplay)
{
    Main->ViewActions[TIDE::KindScreen]->trigger();
    Main->ViewActions[TIDE::KindScreen]->trigger();
    Settle();
    ASSERT_EQ(g_IDE.ToolWindows().size(), 2u);
    auto* newest = qobject_cast<TScreenF*>(g_IDE.ToolWindows()[1]->GetActiveView());
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(g_Display, static_cast<TDisplay*>(newest));
    EXPECT_EQ(newest->objectName(), QStringLiteral("ScreenView2"));
    // Every view action opens its kind.
    for (int kind = 0; kind < TIDE::ViewKindCount; ++kind) {
        Main->ViewActions[std::size_t(kind)]->trigger();
        const std::vector<TFramesF*> windows = g_IDE.ToolWindows();
        ASSERT_EQ(windows.size(), std::size_t(3 + kind)) << kind;
        TViewF* view = windows.back()->GetActiveView();
        ASSERT_NE(view, nullptr) << kind;
        EXPECT_EQ(view->objectName(), QString::fromLatin1(TIDE::ViewKinds()[std::size_t(kind)].NamePrefix) +
                                          QString::number(3 + kind));
    }
    Settle();
    // The screen view opened last is the one shown.
    EXPECT_EQ(g_Display, dynamic_cast<TDisplay*>(g_IDE.ToolWindows()[2 + TIDE::KindScreen]->GetActiveView()));
}

TEST_F(MainWindow, RunSwapsTheActionsAndItsEndRefreshesEachViewOnce)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    ASSERT_EQ(views.size(), 2u);
    Main->RunA->trigger();
    EXPECT_TRUE(Computer().IsRunActive());
    for (QAction* action : {Main->RunA, Main->StepOverA, Main->TraceIntoA, Main->RunUntilInterruptA,
                            Main->TraceToNextLineA, Main->RunUntilReturnA})
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_TRUE(Main->StopA->isEnabled());
    EXPECT_TRUE(Main->ResetA->isEnabled());
    EXPECT_EQ(TApplicationTitle::Title(), QStringLiteral("Quorvane - Run"));

    // A few frames, then Esc.
    ASSERT_TRUE(WaitFor([this] { return Computer().Z80->Frame >= 3; }));
    Main->StopA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Main->RunA->isEnabled(); }));
    EXPECT_FALSE(Computer().IsRunActive());
    EXPECT_FALSE(Main->StopA->isEnabled());
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
    EXPECT_EQ(TApplicationTitle::Title(), QStringLiteral("Quorvane - Debug"));
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(MainWindow, StopDoesNothingWithoutARun)
{
    Main->StopA->setEnabled(true);
    Main->StopA->trigger();
    EXPECT_FALSE(Computer().IsRunActive());
    EXPECT_TRUE(Computer().IsStopRequested());
}

TEST_F(MainWindow, TraceIntoStepsOnceAndRefreshesEachViewOnce)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    const u16 pc = Computer().Z80->PC;
    const i32 tact = Computer().Z80->Tact;
    Main->TraceIntoA->trigger();
    EXPECT_TRUE(Computer().Z80->PC != pc || Computer().Z80->Tact != tact);
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
    EXPECT_TRUE(Main->RunA->isEnabled());
    EXPECT_FALSE(Main->StopA->isEnabled());
}

TEST_F(MainWindow, StepOverAnOrdinaryInstructionStepsAtOnce)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    // LD A,B at the program counter: no run is needed.
    Computer().Z80->PC = 0x8000;
    Computer().Memory->WriteByte(0x8000, 0x78);
    Main->StepOverA->trigger();
    EXPECT_EQ(Computer().Z80->PC, 0x8001);
    EXPECT_FALSE(Computer().IsRunActive());
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
    EXPECT_TRUE(Main->RunA->isEnabled());
}

TEST_F(MainWindow, RunUntilInterruptEndsByItselfAtTheFrameEnd)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    // The processor reports the frame it starts in at its first step.
    Main->TraceIntoA->trigger();
    for (TStubView* view : views)
        view->Updates = 0;
    const i32 frame = Computer().Z80->Frame;
    Main->RunUntilInterruptA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Main->RunA->isEnabled(); }));
    EXPECT_EQ(Computer().Z80->Frame, frame + 1);
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
}

TEST_F(MainWindow, ResetDuringARunPausesItAndTheRunGoesOn)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    Main->RunA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Computer().Z80->Frame >= 2; }));
    Main->ResetA->trigger();
    EXPECT_TRUE(Computer().IsRunActive());
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
    Main->StopA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Main->RunA->isEnabled(); }));
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 2);
}

TEST_F(MainWindow, AnUpperCaseSnaFileLoadsAsASnapshot)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    const std::string source = TestData + "/media/sna/tape_48k.sna";
    const std::vector<u8> bytes = ReadFileBytes(source);
    ASSERT_EQ(bytes.size(), 49179u);
    Open(Copy(source, "GAME.SNA"));
    EXPECT_TRUE(Boxes.Shown().empty());
    ASSERT_EQ(Files.Requests().size(), 1u);
    EXPECT_FALSE(Files.Requests()[0].Save);
    EXPECT_EQ(Files.Requests()[0].Filter, QString::fromLatin1(TMainF::OpenFilter));

    // RAM 0x4000-0xFFFF is the file's, as mapped; PC came off the stack.
    const std::vector<u8> memory = Memory64K();
    EXPECT_TRUE(std::equal(bytes.begin() + 27, bytes.end(), memory.begin() + 0x4000));
    const u16 sp = static_cast<u16>(bytes[23] | bytes[24] << 8);
    EXPECT_EQ(Computer().Z80->SP, static_cast<u16>(sp + 2));
    EXPECT_EQ(Computer().Z80->PC, static_cast<u16>(memory[sp] | memory[u16(sp + 1)] << 8));
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
}

TEST_F(MainWindow, AZ80SnapshotLoadsByItsExtension)
{
    Open(Copy(TestData + "/media/z80/fuse-tape_128.z80", "game.Z80"));
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(MainWindow, AnUnknownExtensionIsAnError)
{
    const std::vector<u8> before = Memory64K();
    Open(Write("game.bin", std::vector<u8>(100, 0x55)));
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral("File open error"));
    EXPECT_EQ(Boxes.Shown()[0].Text, QStringLiteral("Unknow file format!"));
    EXPECT_EQ(Boxes.Shown()[0].Icon, TMessageIcon::Error);
    EXPECT_EQ(Memory64K(), before);
    // A dot in a folder's name is not the file's extension.
    std::filesystem::create_directory(Folder.File("dir.sna"));
    Open(Write("dir.sna/noextension", std::vector<u8>(49179, 0)));
    ASSERT_EQ(Boxes.Shown().size(), 2u);
    EXPECT_EQ(Boxes.Shown()[1].Text, QStringLiteral("Unknow file format!"));
}

TEST_F(MainWindow, AnEmptyOrMissingFileCannotBeRead)
{
    Open(Write("empty.sna", {}));
    Open(Folder.File("missing.tap"));
    ASSERT_EQ(Boxes.Shown().size(), 2u);
    for (const auto& box : Boxes.Shown()) {
        EXPECT_EQ(box.Caption, QStringLiteral("File open error"));
        EXPECT_EQ(box.Text, QStringLiteral("Can't open file for read."));
    }
}

TEST_F(MainWindow, CancellingTheOpenDialogDoesNothing)
{
    Main->OpenMI->trigger();  // no answer queued: the user cancels
    EXPECT_EQ(Files.Requests().size(), 1u);
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(MainWindow, ABrokenSnapshotIsReportedAndTheViewsStillRefresh)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    Open(Write("short.sna", std::vector<u8>(1000, 0)));
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral("File open error"));
    EXPECT_EQ(Boxes.Shown()[0].Text, QStringLiteral("This file is not SNA format snapshot file, check it!"));
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
}

TEST_F(MainWindow, OpeningATapeReplacesTheTapeAndLeavesTheMachineAlone)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    const std::vector<u8> before = Memory64K();
    const u16 pc = Computer().Z80->PC;
    Open(Copy(TestData + "/media/tap/standard-tap.tap", "Standard.TAP"));
    EXPECT_TRUE(Boxes.Shown().empty());
    TTape* first = Computer().TapeRecorder->GetTape();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetType(), TTape::TypeTAP);
    EXPECT_GT(first->GetBlockCount(), 0);

    Open(Copy(TestData + "/media/tzx/complete-tzx.tzx", "complete.tzx"));
    EXPECT_TRUE(Boxes.Shown().empty());
    TTape* second = Computer().TapeRecorder->GetTape();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetType(), TTape::TypeTZX);

    EXPECT_EQ(Memory64K(), before);
    EXPECT_EQ(Computer().Z80->PC, pc);
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 0);
}

TEST_F(MainWindow, ABrokenTapeIsReportedAndTheOldTapeStays)
{
    Open(Copy(TestData + "/media/tap/standard-tap.tap", "good.tap"));
    TTape* good = Computer().TapeRecorder->GetTape();
    ASSERT_NE(good, nullptr);
    Open(Copy(TestData + "/media/invalid/invalid.tzx", "bad.tzx"));
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral("File open error"));
    EXPECT_FALSE(Boxes.Shown()[0].Text.isEmpty());
    EXPECT_EQ(Computer().TapeRecorder->GetTape(), good);
}

TEST_F(MainWindow, OpeningASnapshotDuringARunLoadsItAndTheRunGoesOn)
{
    Main->RunA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Computer().Z80->Frame >= 2; }));
    const std::string source = TestData + "/media/sna/tape_48k.sna";
    const std::vector<u8> bytes = ReadFileBytes(source);
    Open(Copy(source, "running.sna"));
    EXPECT_TRUE(Boxes.Shown().empty());
    EXPECT_TRUE(Computer().IsRunActive());
    // The screen came from the file (the program waits for the tape, so it
    // stays as loaded).
    auto pause = Computer().PauseRun();
    for (u16 a = 0x4000; a < 0x5B00; ++a)
        ASSERT_EQ(Computer().Memory->ReadByte(a), bytes[std::size_t(27 + a - 0x4000)]) << a;
    pause.Release();
    Main->StopA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Main->RunA->isEnabled(); }));
}

TEST_F(MainWindow, SaveSnapshotWritesTheFormOfTheMemoryModel)
{
    const std::string path = Folder.File("saved.sna");
    Files.Answer(QString::fromStdString(path));
    Main->SaveSnapshotA->trigger();
    ASSERT_EQ(Files.Requests().size(), 1u);
    EXPECT_TRUE(Files.Requests()[0].Save);
    EXPECT_EQ(std::filesystem::file_size(path), 131103u);
    // It opens again.
    Open(path);
    EXPECT_TRUE(Boxes.Shown().empty());
    // Cancelled: nothing written.
    Main->SaveSnapshotA->trigger();
    EXPECT_FALSE(std::filesystem::exists(Folder.File("other.sna")));
}

TEST_F(MainWindow, ClosingDuringARunRefreshesTheViewsOnceBeforeAnyWindowGoes)
{
    std::vector<std::string> log;
    for (int kind : {TIDE::KindZ80, TIDE::KindStack})
        g_IDE.RegisterView(kind, [kind, &log](QWidget* owner, TComputer*, TIDE&) {
            return new TLoggingView(owner, TIDE::ViewClassName(kind), &log);
        });
    Main->ViewActions[TIDE::KindZ80]->trigger();
    Main->ViewActions[TIDE::KindStack]->trigger();
    Main->show();
    Settle();
    Main->RunA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Computer().Z80->Frame >= 2; }));
    Main->close();
    EXPECT_FALSE(Computer().IsRunActive());
    EXPECT_TRUE(Main->RunA->isEnabled());
    Main.reset();
    Settle();
    EXPECT_EQ(log, (std::vector<std::string>{"update", "update", "destroyed", "destroyed"}));
}

TEST_F(MainWindow, DestroyingTheWindowDuringARunEndsTheRunFirst)
{
    std::vector<std::string> log;
    g_IDE.RegisterView(TIDE::KindZ80, [&log](QWidget* owner, TComputer*, TIDE&) {
        return new TLoggingView(owner, QStringLiteral("TZ80F"), &log);
    });
    Main->ViewActions[TIDE::KindZ80]->trigger();
    Main->RunA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Computer().Z80->Frame >= 1; }));
    Main.reset();
    EXPECT_EQ(MainF, nullptr);
    EXPECT_EQ(g_KeyThread, nullptr);
    EXPECT_EQ(g_DirectSound, nullptr);
    Settle();
    EXPECT_EQ(log, (std::vector<std::string>{"update", "destroyed"}));
}

TEST_F(MainWindow, TheIdleCaptionShowsTheFramesPerSecondAndIsWrittenOnlyWhenItChanges)
{
    // A clock that ticks when the test says.
    auto source = std::make_unique<THandTickSource>();
    THandTickSource* ticks = source.get();
    TClock handClock(std::move(source));
    g_Clock = &handClock;
    struct {
        int Count = 0;
        int count() const { return Count; }
    } titles;
    QObject::connect(Main.get(), &QWidget::windowTitleChanged, Main.get(), [&titles] { ++titles.Count; });

    Settings->ShowFps = 1;
    Main->VelmoraAEIdle();
    EXPECT_EQ(Main->windowTitle(), QStringLiteral("Quorvane (FPS 0)"));
    Main->VelmoraAEIdle();
    EXPECT_EQ(titles.count(), 1);

    // Seven frames in one 100 ms sample.
    for (int i = 0; i < 7; ++i)
        handClock.CountFrame();
    for (int i = 0; i < TClock::SampleTicks; ++i)
        ticks->Tick();
    ASSERT_EQ(handClock.GetFps(), 7u);
    Main->VelmoraAEIdle();
    EXPECT_EQ(Main->windowTitle(), QStringLiteral("Quorvane (FPS 7)"));
    EXPECT_EQ(titles.count(), 2);

    // Alt+F on the key thread switches the display off.
    Settings->ShowFps = 0;
    Main->VelmoraAEIdle();
    EXPECT_EQ(Main->windowTitle(), QStringLiteral("Quorvane "));
    EXPECT_EQ(titles.count(), 3);
    handClock.CountFrame();
    for (int i = 0; i < TClock::SampleTicks; ++i)
        ticks->Tick();
    Main->VelmoraAEIdle();
    EXPECT_EQ(titles.count(), 3);

    // The application's idle signal drives it.
    Settings->ShowFps = 1;
    emit TApplication::Instance()->Idle();
    EXPECT_EQ(Main->windowTitle(), QStringLiteral("Quorvane (FPS 8)"));
    g_Clock = &Clock;
}

TEST(MainWindowFiles, TheExtensionIsTheNamesLastDotOnInLowerCase)
{
    EXPECT_EQ(TMainF::FileExtension("GAME.SNA"), ".sna");
    EXPECT_EQ(TMainF::FileExtension("/tmp/x/game.tar.TZX"), ".tzx");
    EXPECT_EQ(TMainF::FileExtension("/tmp/dir.sna/game"), "");
    EXPECT_EQ(TMainF::FileExtension("game."), ".");
    EXPECT_EQ(TMainF::FileExtension(".z80"), ".z80");
    EXPECT_EQ(TMainF::FileExtension(""), "");
}

TEST(ApplicationTitle, IsTheApplicationDisplayNameThatTheWindowSystemShows)
{
    TApplicationTitle title;
    title.SetTitle("Quorvane - Run");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Quorvane - Run"));
    title.SetTitle("Quorvane - Debug");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Quorvane - Debug"));
    EXPECT_EQ(TApplicationTitle::Title(), QStringLiteral("Quorvane - Debug"));
}

// The host keyboard through the Qt key source, driven as the window system
// drives it: Ctrl+G in the memory and disassembly views opens the modal
// Go-to dialog while both keys are down, their releases go to the window
// the dialog blocks, Escape closes the dialog, and Qt delivers the press of
// G only then. A run afterwards finds no key held: its resynchronisation
// presses nothing on the emulated keyboard or the joystick (Ctrl is fire).
class MainWindowQtKeys : public MainWindow {
protected:
    // Outlives the main window, which the fixture's tear-down deletes.
    TQtKeySource QtKeys;
};

TEST_F(MainWindowQtKeys, KeysLostToAViewsModalDialogReachNothingInTheMachine)
{
    Main.reset();
    Settle();
    TQtKeySource& keys = QtKeys;
    TMainParts parts;
    parts.Services = {TApplication::Instance(), TApplication::Instance(), &Title};
    parts.SoundDevice = std::make_unique<TFakeSoundDevice>();
    parts.KeySource = &keys;
    Main = std::make_unique<TMainF>(std::move(parts));
    CreateExpressionDialog(Main.get());
    Main->show();

    for (const int kind : {TIDE::KindMemory, TIDE::KindDasm}) {
        Main->ViewActions[std::size_t(kind)]->trigger();
        Settle();
        TFramesF* window = g_IDE.ToolWindows().back();
        ASSERT_TRUE(ActivateAndWait(window)) << kind;
        window->GetActiveView()->setFocus();
        QWindow* handle = window->windowHandle();
        int shown = 0;
        QTimer answer;
        answer.setInterval(0);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (!ExpressionF || !ExpressionF->isVisible() || shown++)
                return;
            QTest::keyRelease(handle, Qt::Key_G, Qt::ControlModifier);
            QTest::keyClick(ExpressionF->windowHandle(), Qt::Key_Escape);
        });
        answer.start();
        QTest::keyPress(handle, Qt::Key_G, Qt::ControlModifier);
        answer.stop();
        EXPECT_EQ(shown, 1) << kind;
        ASSERT_FALSE(ExpressionF->isVisible()) << kind;
        Settle();
        for (int code = 0; code < 256; ++code)
            EXPECT_FALSE(keys.IsDown(static_cast<u8>(code))) << kind << " " << code;
    }

    const u32 firstFrame = Clock.GetFrames();
    Main->RunA->trigger();
    ASSERT_TRUE(Computer().IsRunActive());
    ASSERT_TRUE(WaitFor([&] { return Clock.GetFrames() - firstFrame >= 3; }));
    EXPECT_EQ(Computer().Keyboard->GetKeysDown(), 0);
    EXPECT_EQ(Computer().KempstonJoystick->GetState(), 0);
    Main->StopA->trigger();
    ASSERT_TRUE(WaitFor([this] { return Main->RunA->isEnabled(); }));
}

namespace {

// A mouse event as the window system hands it over: to the top-level
// window's native window, which finds the receiving widget (or the one that
// holds the mouse) itself.
void SendToWindow(QWidget* window, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
                  Qt::MouseButtons buttons)
{
    ASSERT_NE(window->windowHandle(), nullptr);
    const QPointF local = window->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, local, QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(window->windowHandle(), &event);
}

// The visible outline strips on the screen: small input-less top-level
// windows.
std::vector<QRect> VisibleOutlineStrips()
{
    std::vector<QRect> strips;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::ToolTip)
            strips.push_back(w->geometry());
    return strips;
}

bool HasStrip(const std::vector<QRect>& strips, const QRect& shape)
{
    return std::find(strips.begin(), strips.end(), shape) != strips.end();
}

} // namespace

TEST_F(MainWindow, DraggingAToolWindowCaptionShowsTheOutlineAndTheDockPreviewOnTheScreen)
{
    std::vector<TStubView*> views = OpenTwoStubViews();
    ASSERT_EQ(views.size(), 2u);
    TFramesF* moving = views[0]->GetRootForm();
    TFramesF* target = views[1]->GetRootForm();
    moving->move(100, 100);
    target->move(600, 100);
    Settle();
    const QPoint press = moving->mapToGlobal(QPoint(40, 10));
    SendToWindow(moving, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    SendToWindow(moving, QEvent::MouseMove, press + QPoint(30, 40), Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(moving->Dragging);
    // The window's outline, moved with the mouse.
    const QRect moved = moving->geometry().translated(30, 40);
    EXPECT_TRUE(HasStrip(VisibleOutlineStrips(), QRect(moved.left(), moved.top(), moved.width(), 3)));

    // Over the middle of the other window: its centre zone.
    TParentF* frame = target->GetRootFrame();
    const QPoint centre = frame->mapToGlobal(frame->rect().center());
    SendToWindow(moving, QEvent::MouseMove, centre, Qt::NoButton, Qt::LeftButton);
    const QRect client(frame->mapToGlobal(QPoint(0, 0)), frame->size());
    const int w = client.width(), h = client.height();
    EXPECT_TRUE(HasStrip(VisibleOutlineStrips(),
                         QRect(client.left() + w / 4, client.top() + h / 4, w - 2 * (w / 4), 3)));

    SendToWindow(moving, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    Settle();
    EXPECT_TRUE(VisibleOutlineStrips().empty());
    ASSERT_EQ(g_IDE.ToolWindows().size(), 1u);
    EXPECT_EQ(g_IDE.ToolWindows()[0], target);
}
