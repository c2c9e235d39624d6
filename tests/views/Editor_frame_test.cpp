// The source viewer: pages and the sorted Pages submenu, closing pages,
// caret keys, clicks, the wheel and scrolling, the status panels, the
// picture in the back bitmap (caret line band, inverted caret, text on the
// 8-pixel grid), and pages of files deleted while open.
#include "tests/shell/Qt_test_app.h"
#include "tests/views/Source_file_testing.h"

#include "views/Asm_file.h"
#include "views/Editor_frame.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <QAction>
#include <QMenu>
#include <QTabBar>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace {

class EditorView : public ::testing::Test {
protected:
    EditorView()
    {
        Project = Group.NewProject();
        Editor = new TEditorF(&Owner);
        Editor->EditTimer->stop();
        Editor->resize(640, 480);
        Editor->show();
        Settle();
    }
    ~EditorView() override
    {
        delete Editor;
        Settle();
    }

    TAsmFile* Add(const std::string& name, const std::string& text)
    {
        return Project->AddFile(Folder.Write(name, text));
    }

    static std::string Lines(int count, const std::string& line = "line")
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += line + std::to_string(i) + "\n";
        return text;
    }

    void Key(int key, Qt::KeyboardModifiers shift = Qt::NoModifier)
    {
        int k = key;
        Editor->KeyDown(k, shift);
    }

    QRgb Pixel(int x, int y) const { return Editor->GetBackBitmap().pixel(x, y) & 0xFFFFFF; }

    TSourceFolder Folder;
    TProjectGroup Group;
    TProject* Project;
    QWidget Owner;
    TEditorF* Editor;
};

TEST_F(EditorView, StartsEmptyWithTheCaretBlinkingAtTheOrigin)
{
    EXPECT_EQ(Editor->GetDocument(), nullptr);
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 0 : 0"));
    EXPECT_EQ(Editor->GetStatusText(1), QStringLiteral(" Insert"));
    EXPECT_EQ(Editor->GetStatusText(2), QString());
    EXPECT_TRUE(Editor->IsCaretShown());
    EXPECT_TRUE(Editor->IsCaretEnabled());

    // The caret keys have nothing to move without a document.
    for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown, Qt::Key_Right})
        Key(key, Qt::ControlModifier);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
}

TEST_F(EditorView, OpeningAFileAgainSelectsItsPage)
{
    TAsmFile* first = Add("First.asm", "a\n");
    TAsmFile* second = Add("Second.asm", "b\n");
    Editor->OpenFile(first);
    Editor->OpenFile(second);
    EXPECT_EQ(Editor->GetDocument(), second);
    Editor->OpenFile(first);
    EXPECT_EQ(Editor->GetPageCount(), 2);
    EXPECT_EQ(Editor->GetCurrentPage(), 0);
    EXPECT_EQ(Editor->GetDocument(), first);
    EXPECT_EQ(Editor->EditorTS->tabText(0), QStringLiteral("First.asm"));
    EXPECT_EQ(Editor->GetPageItemCaptions().size(), 2);
    const QString firstCaption = QString::fromStdString(first->GetName() + " (" + first->GetPath() + ")");
    EXPECT_EQ(Editor->GetCheckedPageItem(), firstCaption);

    // A click on the other tab, and the other Pages item, switch pages.
    Editor->EditorTS->setCurrentIndex(1);
    EXPECT_EQ(Editor->GetDocument(), second);
    for (QAction* item : Editor->PagesMI->actions())
        if (item->text().startsWith(QStringLiteral("First")))
            item->trigger();
    EXPECT_EQ(Editor->GetCurrentPage(), 0);
    EXPECT_EQ(Editor->GetDocument(), first);
    EXPECT_EQ(Editor->GetCheckedPageItem(), firstCaption);
}

TEST_F(EditorView, PagesItemsAreSortedByteByByte)
{
    for (const char* name : {"File2.asm", "File10.asm", "a.asm", "B.asm", "File1&2.asm"})
        Editor->OpenFile(Add(name, "x\n"));
    QStringList names;
    for (const QString& caption : Editor->GetPageItemCaptions())
        names << caption.section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(names, (QStringList{"B.asm", "File1&2.asm", "File10.asm", "File2.asm", "a.asm"}));
    // The menu shows an ampersand, not a mnemonic.
    bool shown = false;
    for (QAction* item : Editor->PagesMI->actions())
        shown = shown || item->text().startsWith(QStringLiteral("File1&&2.asm"));
    EXPECT_TRUE(shown);
    // The tabs keep the order of opening.
    EXPECT_EQ(Editor->EditorTS->tabText(1), QStringLiteral("File10.asm"));
}

TEST_F(EditorView, CloseAllOtherPagesLeavesTheCurrentOne)
{
    std::vector<TAsmFile*> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(Add("F" + std::to_string(i) + ".asm", "x\n"));
    for (TAsmFile* file : files)
        Editor->OpenFile(file);
    Editor->OpenFile(files[2]);
    Editor->CloseAllOtherPagesA->trigger();
    EXPECT_EQ(Editor->GetPageCount(), 1);
    EXPECT_EQ(Editor->GetPageFile(0), files[2]);
    EXPECT_EQ(Editor->GetDocument(), files[2]);
    EXPECT_EQ(Editor->GetPageItemCaptions().size(), 1);
    // The files stay with their project.
    EXPECT_EQ(Project->GetFileCount(), 6);
}

TEST_F(EditorView, ClosingTheLastPageLeavesAnEmptyView)
{
    Editor->OpenFile(Add("One.asm", Lines(30)));
    Editor->OpenFile(Add("Two.asm", Lines(3)));
    Editor->ClosePageA->trigger();
    EXPECT_EQ(Editor->GetDocument()->GetName(), "One.asm");
    Editor->ClosePageA->trigger();
    EXPECT_EQ(Editor->GetPageCount(), 0);
    EXPECT_EQ(Editor->GetDocument(), nullptr);
    EXPECT_TRUE(Editor->GetPageItemCaptions().isEmpty());
    EXPECT_EQ(Editor->GetScrollMaximum(), QPoint(0, 0));
    // Nothing but white (and the caret) is drawn.
    EXPECT_EQ(Pixel(100, 3), 0xFFFFFFu);
    EXPECT_EQ(Pixel(100, 20), 0xFFFFFFu);
    Editor->ClosePageA->trigger();  // nothing left to close
    EXPECT_EQ(Editor->GetPageCount(), 0);
}

TEST_F(EditorView, PageDownMovesByTheLinesTheViewIsHigh)
{
    Editor->resize(640, 340);
    Settle();
    ASSERT_EQ(Editor->height(), 340);
    Editor->OpenFile(Add("Long.asm", Lines(100)));
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 20}));
    EXPECT_EQ(Editor->GetScrollPosition().y(), 340);
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 20 : 0"));
    EXPECT_TRUE(Editor->IsCaretEnabled());
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
    EXPECT_EQ(Editor->GetScrollPosition().y(), 0);
}

TEST_F(EditorView, InsertOnlySwitchesTheModeShown)
{
    TAsmFile* file = Add("Text.asm", "abc\n");
    Editor->OpenFile(file);
    Key(Qt::Key_Insert);
    EXPECT_EQ(Editor->GetStatusText(1), QStringLiteral(" Overwrite"));
    EXPECT_FALSE(Editor->IsInsertMode());
    Key(Qt::Key_Insert);
    EXPECT_EQ(Editor->GetStatusText(1), QStringLiteral(" Insert"));
    // No key writes: letters, Delete, Backspace and Enter change nothing.
    Editor->ReadOnlyA->trigger();
    for (int key : {Qt::Key_A, Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return})
        Key(key);
    EXPECT_EQ(file->GetLine(0), "abc");
    EXPECT_EQ(file->GetLineCount(), 1);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
}

TEST_F(EditorView, ClicksPutTheCaretOnTheNearestCharacterBoundary)
{
    Editor->OpenFile(Add("Click.asm", "first\nsecond\nA\tB\nend\n"));
    QWidget* box = Editor->GetPaintBox();
    Press(box, box->mapToGlobal(QPoint(20, 40)));
    // Column 2 lies inside the tab (columns 1 to 8), nearer its start.
    EXPECT_EQ(Editor->GetCaret(), (TCaret{1, 2}));
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 2 : 1"));
    Press(box, box->mapToGlobal(QPoint(60, 20)));
    EXPECT_EQ(Editor->GetCaret(), (TCaret{6, 1}));
    // Below the last line: the last line, clamped to its width.
    Press(box, box->mapToGlobal(QPoint(300, 300)));
    EXPECT_EQ(Editor->GetCaret(), (TCaret{3, 3}));
    // Other buttons do nothing.
    Press(box, box->mapToGlobal(QPoint(0, 0)), Qt::RightButton);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{3, 3}));
}

TEST_F(EditorView, CaretKeysMoveThroughTheDocumentAndScrollItIntoView)
{
    Editor->OpenFile(Add("Keys.asm", Lines(200, std::string(150, 'x'))));
    Key(Qt::Key_End);
    EXPECT_EQ(Editor->GetCaret().Column, 151);
    EXPECT_GT(Editor->GetScrollPosition().x(), 0);
    const int width = Editor->GetPaintBox()->width();
    // The caret's column is within the visible columns.
    EXPECT_LE(8 * 151, Editor->GetScrollPosition().x() + width);
    Key(Qt::Key_Home);
    EXPECT_EQ(Editor->GetScrollPosition().x(), 0);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Editor->GetCaret().Line, 199);
    EXPECT_EQ(Editor->GetScrollPosition().y(), Editor->GetScrollMaximum().y());
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 199 : 153"));
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
    EXPECT_EQ(Editor->GetScrollPosition(), QPoint(0, 0));
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{1, 1}));
}

TEST_F(EditorView, ScrollRangesCoverTheDocument)
{
    TAsmFile* file = Add("Range.asm", Lines(100, std::string(200, 'y')));
    Editor->OpenFile(file);
    Settle();
    const QSize client = Editor->GetPaintBox()->size();
    EXPECT_EQ(Editor->GetScrollMaximum(),
              QPoint(8 * file->GetWidth() - client.width(), 17 * file->GetLineCount() - client.height()));

    bool handled = false;
    Editor->MouseWheelDown(Qt::NoModifier, QPoint(), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Editor->GetScrollPosition().y(), 51);
    Editor->MouseWheelDown(Qt::NoModifier, QPoint(), handled);
    Editor->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_EQ(Editor->GetScrollPosition().y(), 51);
    // The wheel moves the view, not the caret.
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
    Editor->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    Editor->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_EQ(Editor->GetScrollPosition().y(), 0);
}

TEST_F(EditorView, TheCaretLineIsBandedAndTheCaretInvertsItsPixels)
{
    Editor->OpenFile(Add("Look.asm", "\n\n\n"));
    Key(Qt::Key_Down);
    ASSERT_EQ(Editor->GetCaret(), (TCaret{0, 1}));
    Editor->update();
    Settle();
    // Line 1 is the band, lines 0 and 2 are white.
    EXPECT_EQ(Pixel(300, 17 + 8), 0xE8F2FEu);
    EXPECT_EQ(Pixel(300, 8), 0xFFFFFFu);
    EXPECT_EQ(Pixel(300, 34 + 8), 0xFFFFFFu);
    // The caret: pixels 3 and 4, from 1 to 15 below the line's top.
    ASSERT_TRUE(Editor->IsCaretShown());
    for (int y : {17 + 1, 17 + 8, 17 + 15}) {
        EXPECT_EQ(Pixel(3, y), 0xE8F2FEu ^ 0xFFFFFFu) << y;
        EXPECT_EQ(Pixel(4, y), 0xE8F2FEu ^ 0xFFFFFFu) << y;
    }
    EXPECT_EQ(Pixel(5, 17 + 8), 0xE8F2FEu);
    EXPECT_EQ(Pixel(3, 17), 0xE8F2FEu);
    EXPECT_EQ(Pixel(3, 17 + 16), 0xE8F2FEu);

    // A resize shows the caret and holds the next blink back once; the
    // blink after that erases it, the next draws it again.
    Editor->EditorSBxCanResize();
    Editor->EditTimerTimer();
    EXPECT_TRUE(Editor->IsCaretShown());
    Editor->EditTimerTimer();
    EXPECT_FALSE(Editor->IsCaretShown());
    EXPECT_EQ(Pixel(3, 17 + 8), 0xE8F2FEu);
    EXPECT_EQ(Pixel(4, 17 + 8), 0xE8F2FEu);
    Editor->EditTimerTimer();
    EXPECT_TRUE(Editor->IsCaretShown());
    EXPECT_EQ(Pixel(4, 17 + 8), 0xE8F2FEu ^ 0xFFFFFFu);
}

// Every character advances exactly one 8-pixel cell, whatever the font's
// own advance: the glyphs of column k lie in the cell from 4 + 8k.
TEST_F(EditorView, TextSitsOnTheEightPixelGrid)
{
    std::string line;
    for (int k = 0; k < 70; ++k)
        line += k % 10 == 9 ? 'M' : ' ';
    Editor->OpenFile(Add("Grid.asm", "\n" + line + "\n"));
    const QImage& picture = Editor->GetBackBitmap();
    for (int k = 9; k < 70; k += 10) {
        int ink = 0;
        for (int y = 17; y < 34; ++y)
            for (int x = 0; x < picture.width() && x < 4 + 8 * 70; ++x) {
                if (qGray(picture.pixel(x, y)) > 128)
                    continue;
                const int cell = (x - 4) / 8;
                if (cell == k)
                    ++ink;
                else
                    EXPECT_TRUE(cell % 10 == 9) << "ink at x " << x << " outside the M cells";
            }
        EXPECT_GT(ink, 5) << "column " << k;
    }
}

TEST_F(EditorView, EachPageShowsItsOwnCaret)
{
    TAsmFile* first = Add("One.asm", Lines(10));
    TAsmFile* second = Add("Two.asm", "a\n");
    Editor->OpenFile(first);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_End);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{5, 2}));
    Editor->OpenFile(second);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{0, 0}));
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 0 : 0"));
    Editor->OpenFile(first);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{5, 2}));
    EXPECT_EQ(Editor->GetStatusText(0), QStringLiteral(" 2 : 5"));
}

TEST_F(EditorView, APageOfADeletedFileCloses)
{
    TAsmFile* kept = Add("Kept.asm", "k\n");
    TAsmFile* removed = Add("Removed.asm", Lines(50));
    Editor->OpenFile(kept);
    Editor->OpenFile(removed);
    ASSERT_TRUE(Project->RemoveFile(removed));
    // Not touched from the moment it is gone, even before the page closes.
    EXPECT_EQ(Editor->GetDocument(), nullptr);
    EXPECT_EQ(Editor->GetPageFile(1), nullptr);
    Editor->update();
    Settle();
    EXPECT_EQ(Editor->GetPageCount(), 2);

    // Whoever deleted it tells the viewers of the owner.
    TEditorF::DropClosedPagesOf(&Owner);
    EXPECT_EQ(Editor->GetPageCount(), 1);
    EXPECT_EQ(Editor->GetDocument(), kept);
    EXPECT_EQ(Editor->GetPageItemCaptions().size(), 1);
    for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown})
        Key(key);
    EXPECT_EQ(Editor->GetCaret(), (TCaret{1, 0}));

    // The blink timer closes such pages too.
    TAsmFile* other = Add("Other.asm", "o\n");
    Editor->OpenFile(other);
    ASSERT_TRUE(Project->RemoveFile(other));
    Editor->EditTimerTimer();
    EXPECT_EQ(Editor->GetPageCount(), 1);
    EXPECT_EQ(Editor->GetDocument(), kept);
}

} // namespace
