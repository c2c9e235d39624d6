// The views this unit registers (tape recorder, pages, the placeholders) as
// the view manager opens them, the pages view's grid against the machine's
// paging, and the dialogs' creation and destruction.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "platform/System_metrics.h"
#include "shell/About.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "shell/Options.h"
#include "views/Load_dump.h"
#include "views/Machine_views.h"
#include "views/Pages_frame.h"
#include "views/Placeholder_frames.h"
#include "views/Save_dump.h"
#include "views/Save_snaphot.h"
#include "views/Tape_recorder_frame.h"

#include <QPointer>
#include <QSize>
#include <QTableWidget>

#include <memory>

namespace {

class MachineViews : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Ide.Init(&Owner, Computer.get());
        RegisterMachineViews(Ide);
        g_ViewCounter = 0;
    }
    void TearDown() override
    {
        Ide.CloseAll();
        Settle();
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
    QWidget Owner;
    TIDE Ide;
};

QString Cell(const TPagesF* view, int row, int column)
{
    const QTableWidgetItem* item = view->DrawGrid1->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

TEST_F(MachineViews, EachKindOpensItsViewNamedAndCaptioned)
{
    struct TCase {
        int Kind;
        const char* ClassName;
        const char* Name;
        const char* Caption;
    };
    const TCase cases[] = {
        {TIDE::KindTapeRecorder, "TTapeRecorderF", "TapeRecorder1", "Tape Recorder #1"},
        {TIDE::KindOscilloscope, "TOscilloscopeF", "Oscilloscope2", "Oscilloscope #2"},
        {TIDE::KindKeyboard, "TKeyboardF", "Keyboard3", "Keyboard #3"},
        {TIDE::KindBetaDisk, "TBetaDiskF", "BetaDisk4", "Beta Disk Interface #4"},
        {TIDE::KindTape, "TTapeF", "Tape5", "Tape #5"},
        {TIDE::KindBreakpoints, "TBreakpointsF", "Breakpoints6", "Breakpoints #6"},
        {TIDE::KindDisk, "TDiskF", "Disk7", "Disk #7"},
        {TIDE::KindPages, "TPagesF", "Pages8", "Pages #8"},
    };
    for (const TCase& c : cases) {
        TViewF* view = Ide.ShowView(c.Kind);
        ASSERT_NE(view, nullptr) << c.ClassName;
        EXPECT_EQ(view->ClassName(), QString::fromLatin1(c.ClassName));
        EXPECT_EQ(view->objectName(), QString::fromLatin1(c.Name));
        EXPECT_EQ(view->Caption, QString::fromLatin1(c.Caption));
        EXPECT_NE(view->GetRootForm(), nullptr);
        view->UpdateView();  // every view takes the refresh
    }
    EXPECT_EQ(Ide.ToolWindows().size(), 8u);
    // The placeholders ask for no size: their windows open at the smallest
    // height, as wide as their captions need.
    auto* oscilloscope = qobject_cast<TOscilloscopeF*>(Ide.FindView(TIDE::KindOscilloscope, false));
    ASSERT_NE(oscilloscope, nullptr);
    for (TViewF* view : {static_cast<TViewF*>(oscilloscope), Ide.FindView(TIDE::KindBetaDisk, false)}) {
        const TFramesF* window = view->GetRootForm();
        EXPECT_EQ(window->height(), SystemMetrics::MinToolWindowHeight) << view->Caption.toStdString();
        EXPECT_GE(window->width(), SystemMetrics::MinToolWindowWidth) << view->Caption.toStdString();
        EXPECT_GE(window->width(), window->CaptionFitWidth(view->Caption)) << view->Caption.toStdString();
    }
    EXPECT_GT(Ide.FindView(TIDE::KindBetaDisk, false)->GetRootForm()->width(), SystemMetrics::MinToolWindowWidth)
        << "the longest caption widens its window";
    EXPECT_EQ(oscilloscope->GetComputer(), Computer.get());
    auto* tape = qobject_cast<TTapeRecorderF*>(Ide.FindView(TIDE::KindTapeRecorder, false));
    ASSERT_NE(tape, nullptr);
    EXPECT_EQ(tape->GetRootForm()->size(), QSize(457, 297));
    Ide.UpdateViews();
}

TEST_F(MachineViews, ThePagesViewFollowsThePaging)
{
    auto* pages = qobject_cast<TPagesF*>(Ide.ShowView(TIDE::KindPages));
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->PreferredWidth, 500);
    EXPECT_EQ(pages->PreferredHeight, 200);
    ASSERT_EQ(pages->DrawGrid1->rowCount(), 4);
    EXPECT_EQ(pages->DrawGrid1->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(pages->DrawGrid1->showGrid());
    // 128K after power-on: the 128 ROM (port value 0), banks 5, 2 and 0.
    EXPECT_EQ(Cell(pages, 0, 0), QStringLiteral("0000-3FFF"));
    EXPECT_EQ(Cell(pages, 3, 0), QStringLiteral("C000-FFFF"));
    EXPECT_EQ(Cell(pages, 1, 1), QStringLiteral("RAM bank 5"));
    EXPECT_EQ(Cell(pages, 2, 1), QStringLiteral("RAM bank 2"));
    EXPECT_EQ(Cell(pages, 3, 1), QStringLiteral("RAM bank 0"));
    EXPECT_EQ(Cell(pages, 0, 2), QStringLiteral("read only"));
    EXPECT_EQ(Cell(pages, 3, 2), QStringLiteral("read/write"));
    const QString romBefore = Cell(pages, 0, 1);
    EXPECT_TRUE(romBefore.startsWith(QStringLiteral("ROM"))) << romBefore.toStdString();

    // OUT (#7FFD),#17: bank 7 and the other ROM.
    Computer->MemoryPagination->PortWrite(0x17);
    Ide.UpdateViews();
    EXPECT_EQ(Cell(pages, 3, 1), QStringLiteral("RAM bank 7"));
    EXPECT_NE(Cell(pages, 0, 1), romBefore);
    EXPECT_TRUE(Cell(pages, 0, 1).startsWith(QStringLiteral("ROM")));
}

TEST(MachineDialogs, CreatedHiddenAndDestroyedOnce)
{
    TTestSettings settings;
    auto owner = std::make_unique<QWidget>();
    CreateOptionsDialog(owner.get());
    CreateDumpDialogs(owner.get());
    CreateAboutDialog(owner.get());
    ASSERT_NE(OptionsF, nullptr);
    ASSERT_NE(SaveDumpF, nullptr);
    ASSERT_NE(LoadDumpF, nullptr);
    ASSERT_NE(SaveSnapshotF, nullptr);
    ASSERT_NE(AboutF, nullptr);
    for (QWidget* dialog : std::initializer_list<QWidget*>{OptionsF, SaveDumpF, LoadDumpF, SaveSnapshotF, AboutF}) {
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->parentWidget(), owner.get());
    }
    QPointer<TAboutF> about = AboutF;
    DestroyMachineDialogs();
    EXPECT_TRUE(about.isNull());
    EXPECT_EQ(OptionsF, nullptr);
    EXPECT_EQ(LoadDumpF, nullptr);
    DestroyMachineDialogs();  // nothing left to destroy

    // Dialogs that go with their owner clear their globals.
    CreateDumpDialogs(owner.get());
    owner.reset();
    EXPECT_EQ(SaveDumpF, nullptr);
    EXPECT_EQ(LoadDumpF, nullptr);
    EXPECT_EQ(SaveSnapshotF, nullptr);
    DestroyMachineDialogs();
}
