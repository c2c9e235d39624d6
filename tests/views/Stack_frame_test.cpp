// The stack view: the rows around SP, SP's row sixth from the top and bold,
// the list wrapping at the end of memory, the scroll clamped at the list's
// end, odd stack pointers, and the words as memory holds them.
#include "tests/views/Debugger_views_fixture.h"

#include "views/Stack_frame.h"

namespace {

class StackView : public ::testing::Test {
protected:
    // A view of the given client height over a plain 64K array.
    TStackF* Open(int height)
    {
        auto memory = std::make_unique<TArrayMemory>();
        Memory = memory.get();
        View = std::make_unique<TStackF>(&Owner, &Cpu, std::move(memory));
        View->resize(115, height);
        View->show();
        Settle();
        EXPECT_EQ(View->ClientHeight(), height);
        return View.get();
    }

    // "FFF4", ... for the rows a paint shows, "*" after the bold one.
    std::vector<std::string> Rows(size_t count)
    {
        std::vector<std::string> rows;
        for (const TStackF::TRow& row : View->VisibleRows()) {
            if (rows.size() == count)
                break;
            rows.push_back(HexWord(row.Address) + (row.Bold ? "*" : ""));
        }
        return rows;
    }

    QWidget Owner;
    TZ80 Cpu{nullptr, nullptr};
    TArrayMemory* Memory = nullptr;
    std::unique_ptr<TStackF> View;
};

} // namespace

TEST_F(StackView, SPsRowIsSixthFromTheTopAndTheListWrapsAtTheEnd)
{
    Open(120);
    Cpu.SP = 0xFFFE;
    View->UpdateView();
    EXPECT_EQ(Rows(8), (std::vector<std::string>{"FFF4", "FFF6", "FFF8", "FFFA", "FFFC", "FFFE*", "0000", "0002"}));
    Cpu.SP = 0x0000;
    View->UpdateView();
    EXPECT_EQ(View->GetScrollPosition(), 0);
    EXPECT_EQ(Rows(7), (std::vector<std::string>{"FFF6", "FFF8", "FFFA", "FFFC", "FFFE", "0000*", "0002"}));
}

TEST_F(StackView, NearTheEndTheScrollStopsAndSPsRowSitsLower)
{
    Open(25 * TStackF::RowHeight);
    Cpu.SP = 0xFFFE;
    View->UpdateView();
    const std::vector<TStackF::TRow> rows = View->VisibleRows();
    const auto sp = std::find_if(rows.begin(), rows.end(), [](const TStackF::TRow& r) { return r.Bold; });
    ASSERT_NE(sp, rows.end());
    EXPECT_GT(sp - rows.begin(), 5);
    EXPECT_EQ(View->GetScrollPosition(), int(View->ListRows() * TStackF::RowHeight) - View->ClientHeight());
    EXPECT_EQ(View->ListRows(), 0x10000 / 2 + 15);
}

TEST_F(StackView, AnOddSPGivesOddAddressesThroughout)
{
    Open(120);
    Cpu.SP = 0x8001;
    View->UpdateView();
    EXPECT_EQ(Rows(7), (std::vector<std::string>{"7FF7", "7FF9", "7FFB", "7FFD", "7FFF", "8001*", "8003"}));
    for (const TStackF::TRow& row : View->VisibleRows())
        EXPECT_EQ(row.Address & 1, 1) << row.Row;
}

TEST_F(StackView, TheWheelScrollsAndTheWordsAreLittleEndian)
{
    Open(120);
    Cpu.SP = 0x8000;
    View->UpdateView();
    const int position = View->GetScrollPosition();
    bool handled = false;
    View->MouseWheelDown(Qt::NoModifier, QPoint(), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(View->GetScrollPosition(), position + TStackF::WheelRows * TStackF::RowHeight);
    View->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_EQ(View->GetScrollPosition(), position);
    Memory->Put(0x8000, {0x34, 0x12});
    EXPECT_EQ(Memory->GetWordText(0x8000), "1234");
    // A paint reads the array without complaint at any position.
    for (int pixels : {0, 5, 12 * 100, 1 << 30}) {
        View->SetScrollPosition(pixels);
        EXPECT_FALSE(View->StackPB->grab().isNull());
    }
}
