// The memory view: cells per row by width, rows following each other byte
// after byte, the scroll limit, Go to (menu and double click in the address
// column), the wheel, and the dump dialogs opened over its memory.
#include "tests/views/Debugger_views_fixture.h"

#include "views/Load_dump.h"
#include "views/Machine_views.h"
#include "views/Memory_frame.h"
#include "views/Save_dump.h"

#include <QKeyEvent>

namespace {

class MemoryView : public TDebuggerViewTest {
protected:
    MemoryView()
    {
        Cpu->PC = 0x8000;
        View = Open<TMemoryF>(TIDE::KindMemory);
    }
    TMemoryF* View = nullptr;
};

} // namespace

TEST(MemoryViewLayout, ACellFollowsOnlyWhileItFitsInsideTheWidth)
{
    EXPECT_EQ(TMemoryF::CellsPerRow(0), 1);
    EXPECT_EQ(TMemoryF::CellsPerRow(82), 1);
    EXPECT_EQ(TMemoryF::CellsPerRow(83), 2);
    for (int width = 83; width < 800; ++width) {
        const int cells = TMemoryF::CellsPerRow(width);
        const int lastRight = TMemoryF::CellsX + TMemoryF::CellWidth * cells;  // exclusive
        EXPECT_LT(lastRight, width) << width;
        EXPECT_GE(lastRight + TMemoryF::CellWidth, width) << width;
    }
}

TEST_F(MemoryView, RowsFollowByteAfterByteAndRunOnPastTheEnd)
{
    View->SetTop(0x1234);
    const int cells = TMemoryF::CellsPerRow(View->MemoryPB->width());
    std::vector<u32> rows = View->RowAddresses();
    ASSERT_GT(rows.size(), 2u);
    EXPECT_EQ(int(rows.size()), (View->ClientHeight() + TMemoryF::RowHeight - 1) / TMemoryF::RowHeight);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], 0x1234 + i * u32(cells));
    View->SetTop(0xFFFF);
    EXPECT_EQ(View->GetTop(), u32(0x10000 - View->ClientHeight()));
    rows = View->RowAddresses();
    EXPECT_GT(rows.back(), 0xFFFFu);
}

TEST_F(MemoryView, GoToScrollsTheAddressToTheTopRow)
{
    QString caption;
    {
        TModalAnswer answer(ExpressionF, [&](QDialog& dialog) {
            caption = dialog.windowTitle();
            TypeAndOk(QStringLiteral("$+#10"))(dialog);
        });
        View->GotoAddressMIClick();
    }
    EXPECT_EQ(caption, QStringLiteral("Enter Address to Position to"));
    EXPECT_EQ(View->GetTop(), 0x8010u);
    // A double click in the address column asks too; elsewhere it does not.
    {
        TModalAnswer answer(ExpressionF, TypeAndOk(QStringLiteral("#4000")));
        View->MemoryPBDblClick(QPoint(10, 30));
    }
    EXPECT_EQ(View->GetTop(), 0x4000u);
    TModalAnswer none(ExpressionF, [](QDialog&) {}, false);
    View->MemoryPBDblClick(QPoint(100, 30));
    Settle();
    EXPECT_FALSE(none.WasShown());
}

TEST_F(MemoryView, ShortcutsThroughTheToolWindowAndTheWheelScroll)
{
    View->SetTop(0x4000);
    bool handled = false;
    View->MouseWheelDown(Qt::NoModifier, QPoint(), handled);
    EXPECT_TRUE(handled);
    const int cells = TMemoryF::CellsPerRow(View->MemoryPB->width());
    EXPECT_EQ(View->GetTop(), 0x4000u + u32(TMemoryF::WheelRows * cells));
    View->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    View->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_EQ(View->GetTop(), 0x4000u - u32(TMemoryF::WheelRows * cells));

    View->SetActive();
    TModalAnswer answer(ExpressionF, TypeAndOk(QStringLiteral("#C000")));
    QKeyEvent keys(QEvent::ShortcutOverride, Qt::Key_G, Qt::ControlModifier);
    keys.ignore();
    QApplication::sendEvent(View->GetRootForm(), &keys);
    EXPECT_EQ(View->GetTop(), 0xC000u);
}

TEST_F(MemoryView, TheDumpDialogsOpenOverThisViewsMemory)
{
    CreateDumpDialogs(Owner.get());
    ASSERT_NE(LoadDumpF, nullptr);
    ASSERT_NE(SaveDumpF, nullptr);
    {
        TModalAnswer answer(LoadDumpF, [](QDialog& dialog) { dialog.reject(); });
        View->LoadDumpMI->trigger();
    }
    {
        TModalAnswer answer(SaveDumpF, [](QDialog& dialog) { dialog.reject(); });
        View->SaveDumpMI->trigger();
    }
    EXPECT_EQ(View->LoadDumpMI->text(), QStringLiteral("&Load dump..."));
    EXPECT_EQ(View->SaveDumpMI->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    DestroyMachineDialogs();
}
