// The source file model: lines, widths and tab expansion against coreutils'
// expand(1), names and made-up paths, offsets and columns, and every caret
// move, including a full walk through the sample and back.
#include "tests/support/Test_settings.h"
#include "tests/views/Source_file_testing.h"

#include "views/Asm_file.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class AsmFileTest : public ::testing::Test {
protected:
    std::unique_ptr<TAsmFile> Load(const std::string& bytes, const std::string& name = "test.asm")
    {
        return std::make_unique<TAsmFile>(nullptr, Folder.Write(name, bytes));
    }

    TSourceFolder Folder;
};

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// ---------------------------------------------------------------------------
// Lines

TEST_F(AsmFileTest, OnlyLineFeedsEndLinesAndTextAfterTheLastFormsNone)
{
    auto tab = Load("A\tB\n");
    EXPECT_EQ(tab->GetLineCount(), 1);
    EXPECT_EQ(tab->GetLine(0), "A       B");
    EXPECT_EQ(tab->GetWidth(), 10);

    auto tail = Load("AB\nCD");
    EXPECT_EQ(tail->GetLineCount(), 1);
    EXPECT_EQ(tail->GetLine(0), "AB");
    EXPECT_EQ(tail->GetLine(1), "");
    EXPECT_EQ(tail->GetWidth(), 3);

    // A carriage return is a character of its line, one column wide.
    auto crlf = Load("AB\r\n\r\r\n");
    EXPECT_EQ(crlf->GetLineCount(), 2);
    EXPECT_EQ(crlf->GetLine(0), "AB\r");
    EXPECT_EQ(crlf->GetLineWidth(1), 2);
    EXPECT_EQ(crlf->GetWidth(), 4);

    auto empties = Load("\n\n\n");
    EXPECT_EQ(empties->GetLineCount(), 3);
    EXPECT_EQ(empties->GetLine(2), "");
    EXPECT_EQ(empties->GetWidth(), 1);

    EXPECT_EQ(tab->GetLine(-1), "");
    EXPECT_EQ(tab->GetLineWidth(5), 0);
}

TEST_F(AsmFileTest, MissingEmptyAndUnreadableFilesHaveNoLines)
{
    for (const std::string& path : {(Folder.Path() / "missing.asm").string(), Folder.Write("empty.asm", ""),
                                    Folder.Write("tail-only.asm", "no line feed at all"), Folder.Path().string()}) {
        TAsmFile file(nullptr, path);
        EXPECT_EQ(file.GetLineCount(), 0) << path;
        EXPECT_EQ(file.GetWidth(), 0) << path;
        EXPECT_EQ(file.GetLine(0), "") << path;
    }
}

TEST_F(AsmFileTest, SampleLinesMatchExpandAtEightColumnStops)
{
    const std::string source = ReadFixture("source/sample.asm");
    const std::vector<std::string> expanded = SplitLines(ReadFixture("source/sample.expanded"));
    ASSERT_FALSE(source.empty());
    const auto lineFeeds = static_cast<i32>(std::count(source.begin(), source.end(), '\n'));
    // expand(1) also prints the text after the last LF, which is no line.
    ASSERT_EQ(static_cast<i32>(expanded.size()), lineFeeds + 1);

    TAsmFile file(nullptr, std::string(QUORVANE_FIXTURES_DIR) + "/source/sample.asm");
    ASSERT_EQ(file.GetLineCount(), lineFeeds);
    std::size_t longest = 0;
    for (i32 i = 0; i < lineFeeds; ++i) {
        const std::string& reference = expanded[std::size_t(i)];
        EXPECT_EQ(file.GetLine(i), reference) << "line " << i;
        EXPECT_EQ(file.GetLineWidth(i), static_cast<i32>(reference.size())) << "line " << i;
        longest = std::max(longest, reference.size());
        // Any window of a line is the same part of the whole line, tabs cut
        // by its edges included.
        for (i32 first : {0, 1, 5, 7, 8, 9, 15, 16, 17, 40, 290, 320}) {
            for (i32 count : {1, 3, 8, 13, 80}) {
                const std::string whole = reference.size() > std::size_t(first) ? reference.substr(first, count) : "";
                EXPECT_EQ(file.GetLineSpan(i, first, count), whole) << "line " << i << " from " << first;
            }
        }
    }
    EXPECT_EQ(file.GetWidth(), static_cast<i32>(longest) + 1);
    EXPECT_EQ(file.GetName(), "sample.asm");
}

// ---------------------------------------------------------------------------
// Names and paths

TEST_F(AsmFileTest, NameIsThePartAfterTheLastSeparator)
{
    TAsmFile linux(nullptr, Folder.Write("Game.asm", "\n"));
    EXPECT_EQ(linux.GetName(), "Game.asm");
    EXPECT_EQ(linux.GetLineCount(), 1);
    EXPECT_EQ(TAsmFile(nullptr, std::string("C:\\ZXProjects\\sub\\Intro.asm")).GetName(), "Intro.asm");
    EXPECT_EQ(TAsmFile(nullptr, std::string("D:Demo.asm")).GetName(), "Demo.asm");
    EXPECT_EQ(TAsmFile(nullptr, std::string("Plain.asm")).GetName(), "Plain.asm");
    // A Linux name may hold a backslash or a colon of its own.
    EXPECT_EQ(TAsmFile(nullptr, std::string("/src/a:b\\c.asm")).GetName(), "a:b\\c.asm");
}

TEST_F(AsmFileTest, ANewFileHasAMadeUpPathAndReadsNothing)
{
    // Even a file at that very path is not read.
    TTempHome home;
    std::filesystem::create_directory(home.Path() + "/ZXProjects");
    std::ofstream(home.Path() + "/ZXProjects/File7.asm") << "LD A,B\n";
    TAsmFile file(nullptr, 7);

    EXPECT_EQ(file.GetName(), "File7.asm");
    EXPECT_EQ(file.GetPath(), home.Path() + "/ZXProjects/File7.asm");
    EXPECT_EQ(file.GetLineCount(), 0);
}

// ---------------------------------------------------------------------------
// Columns and offsets

TEST_F(AsmFileTest, OffsetsSnapToTheNearerEdgeOfACharacter)
{
    auto file = Load("A\tB\nxy\n");
    // Offsets: A 0, tab 1 (columns 1-8), B 2 (8-9), LF 3.
    EXPECT_EQ(file->GetColumn(0, 0), 0);
    EXPECT_EQ(file->GetColumn(0, 1), 1);
    EXPECT_EQ(file->GetColumn(0, 2), 8);
    EXPECT_EQ(file->GetColumn(0, 3), 9);
    EXPECT_EQ(file->GetColumn(0, 99), 9);  // clamped to the line's LF
    EXPECT_EQ(file->GetColumn(1, 0), 0);   // before the line: its start

    EXPECT_EQ(file->GetOffset(0, 0), 0);
    EXPECT_EQ(file->GetOffset(0, -4), 0);
    EXPECT_EQ(file->GetOffset(0, 1), 1);
    EXPECT_EQ(file->GetOffset(0, 3), 1);   // nearer the tab's start
    EXPECT_EQ(file->GetOffset(0, 4), 1);
    EXPECT_EQ(file->GetOffset(0, 5), 2);   // nearer its end
    EXPECT_EQ(file->GetOffset(0, 7), 2);
    EXPECT_EQ(file->GetOffset(0, 9), 3);
    EXPECT_EQ(file->GetOffset(0, 50), 3);  // never past the LF
    EXPECT_EQ(file->GetOffset(1, 1), 5);
}

// ---------------------------------------------------------------------------
// Caret moves

constexpr int Left = TAsmFile::KeyLeft;
constexpr int Right = TAsmFile::KeyRight;
constexpr int Up = TAsmFile::KeyUp;
constexpr int Down = TAsmFile::KeyDown;
constexpr int Home = TAsmFile::KeyHome;
constexpr int End = TAsmFile::KeyEnd;
constexpr int PageUp = TAsmFile::KeyPageUp;
constexpr int PageDown = TAsmFile::KeyPageDown;

TEST_F(AsmFileTest, RightAndLeftStepOverATabAsOneCharacter)
{
    auto file = Load("A\tB\n");
    EXPECT_EQ(file->MoveCaret(Right, false, 0), (TCaret{1, 0}));
    EXPECT_EQ(file->MoveCaret(Right, false, 0), (TCaret{8, 0}));
    EXPECT_EQ(file->GetCaretOffset(), 2);
    EXPECT_EQ(file->MoveCaret(Left, false, 0), (TCaret{1, 0}));
    EXPECT_EQ(file->GetCaretOffset(), 1);
    EXPECT_EQ(file->MoveCaret(Left, false, 0), (TCaret{0, 0}));
    EXPECT_EQ(file->MoveCaret(Left, false, 0), (TCaret{0, 0}));  // offset 0: nothing
    EXPECT_EQ(file->GetCaretOffset(), 0);
}

TEST_F(AsmFileTest, VerticalMovesClampToShortLinesAndForgetTheWantedColumn)
{
    auto file = Load("0123456789012345678901234\n12345\n0123456789012345678901234\n");
    file->SetCaret(20, 0);
    EXPECT_EQ(file->MoveCaret(Down, false, 0), (TCaret{5, 1}));
    EXPECT_EQ(file->GetCaretOffset(), 26 + 5);  // the short line's LF
    EXPECT_EQ(file->MoveCaret(Down, false, 0), (TCaret{5, 2}));
    EXPECT_EQ(file->MoveCaret(Down, false, 0), (TCaret{5, 2}));  // last line: nothing
    EXPECT_EQ(file->MoveCaret(Up, false, 0), (TCaret{5, 1}));
    EXPECT_EQ(file->MoveCaret(Up, false, 0), (TCaret{5, 0}));
    EXPECT_EQ(file->MoveCaret(Up, false, 0), (TCaret{5, 0}));  // line 0: nothing
}

TEST_F(AsmFileTest, AVerticalMoveIntoATabLandsOnItsNearerEdge)
{
    auto file = Load("0123456789\nA\tB\n0123456789\n");
    file->SetCaret(3, 0);
    EXPECT_EQ(file->MoveCaret(Down, false, 0), (TCaret{1, 1}));
    file->SetCaret(5, 2);
    EXPECT_EQ(file->MoveCaret(Up, false, 0), (TCaret{8, 1}));
    // A tab from column 0 to 8: column 4 is as near one edge as the other,
    // and the later one wins.
    auto leading = Load("\tB\n");
    EXPECT_EQ(leading->GetOffset(0, 4), 1);
    EXPECT_EQ(leading->SetCaret(4, 0), (TCaret{8, 0}));
    EXPECT_EQ(leading->SetCaret(3, 0), (TCaret{0, 0}));
}

TEST_F(AsmFileTest, HomeEndAndTheirCtrlFormsGoToLineAndTextEnds)
{
    auto file = Load("abc\n\tx\nlast line\ntrailing text without LF");
    file->SetCaret(1, 1);
    EXPECT_EQ(file->MoveCaret(End, false, 0), (TCaret{9, 1}));
    EXPECT_EQ(file->GetCaretOffset(), 6);
    EXPECT_EQ(file->MoveCaret(Home, false, 0), (TCaret{0, 1}));
    EXPECT_EQ(file->GetCaretOffset(), 4);
    EXPECT_EQ(file->MoveCaret(End, true, 0), (TCaret{9, 2}));
    // The last line's LF, not the text after it.
    EXPECT_EQ(file->GetCaretOffset(), 16);
    EXPECT_EQ(file->MoveCaret(Right, false, 0), (TCaret{9, 2}));
    EXPECT_EQ(file->GetCaretOffset(), 16);
    EXPECT_EQ(file->MoveCaret(Home, true, 0), (TCaret{0, 0}));
    EXPECT_EQ(file->GetCaretOffset(), 0);
}

TEST_F(AsmFileTest, LeftAndRightCrossLineEnds)
{
    auto file = Load("ab\n\tc\n");
    file->SetCaret(2, 0);
    EXPECT_EQ(file->MoveCaret(Right, false, 0), (TCaret{0, 1}));
    EXPECT_EQ(file->GetCaretOffset(), 3);
    EXPECT_EQ(file->MoveCaret(Left, false, 0), (TCaret{2, 0}));
    EXPECT_EQ(file->GetCaretOffset(), 2);
}

TEST_F(AsmFileTest, PagesMoveByTheGivenLinesWithinTheText)
{
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += std::string(std::size_t(i % 7), 'x') + "\n";
    auto file = Load(text);
    file->SetCaret(6, 6);
    EXPECT_EQ(file->MoveCaret(PageDown, false, 20), (TCaret{5, 26}));  // 26 % 7 = 5 columns wide
    EXPECT_EQ(file->MoveCaret(PageDown, false, 20), (TCaret{4, 46}));
    EXPECT_EQ(file->MoveCaret(PageDown, false, 20), (TCaret{0, 49}));  // an empty last line
    EXPECT_EQ(file->MoveCaret(PageUp, false, 20), (TCaret{0, 29}));
    EXPECT_EQ(file->MoveCaret(PageUp, false, 100), (TCaret{0, 0}));
    EXPECT_EQ(file->MoveCaret(PageDown, false, 0x7FFFFFFF), (TCaret{0, 49}));
}

TEST_F(AsmFileTest, OtherKeysAndTextsWithoutLinesLeaveTheCaret)
{
    auto file = Load("abc\n");
    file->SetCaret(2, 0);
    for (int key : {0, 32, 41, 45, 113})
        EXPECT_EQ(file->MoveCaret(key, true, 5), (TCaret{2, 0}));

    auto empty = Load("no line");
    for (int key = PageUp; key <= Down; ++key) {
        EXPECT_EQ(empty->MoveCaret(key, false, 10), (TCaret{0, 0}));
        EXPECT_EQ(empty->MoveCaret(key, true, 10), (TCaret{0, 0}));
    }
    EXPECT_EQ(empty->SetCaret(5, 5), (TCaret{0, 0}));
    EXPECT_EQ(empty->GetCaretOffset(), 0);
}

TEST_F(AsmFileTest, SetCaretKeepsLinesAndColumnsWithinTheText)
{
    auto file = Load("abc\n\tdefgh\n");
    EXPECT_EQ(file->SetCaret(99, 99), (TCaret{13, 1}));
    EXPECT_EQ(file->GetCaretOffset(), 10);
    EXPECT_EQ(file->SetCaret(-5, -5), (TCaret{0, 0}));
    EXPECT_EQ(file->SetCaret(2, 0), (TCaret{2, 0}));
    EXPECT_EQ(file->GetCaretOffset(), 2);
}

// Right from the first byte to the last line's LF visits every byte of
// every line once, in order, at the column expand(1) puts it at; Left goes
// back the same way.
TEST_F(AsmFileTest, WalkingThroughTheSampleVisitsEveryCharacterBothWays)
{
    const std::string source = ReadFixture("source/sample.asm");
    const std::vector<std::string> expanded = SplitLines(ReadFixture("source/sample.expanded"));
    TAsmFile file(nullptr, std::string(QUORVANE_FIXTURES_DIR) + "/source/sample.asm");
    ASSERT_GT(file.GetLineCount(), 0);

    std::vector<std::pair<TCaret, i32>> forward{{file.GetCaret(), file.GetCaretOffset()}};
    for (int step = 0; step < 10000; ++step) {
        const i32 before = file.GetCaretOffset();
        file.MoveCaret(Right, false, 0);
        if (file.GetCaretOffset() == before)
            break;
        forward.emplace_back(file.GetCaret(), file.GetCaretOffset());
    }
    const auto lastLineFeed = static_cast<i32>(source.rfind('\n'));
    ASSERT_EQ(static_cast<i32>(forward.size()), lastLineFeed + 1);
    i32 line = 0;
    for (std::size_t i = 0; i < forward.size(); ++i) {
        const auto& [caret, offset] = forward[i];
        ASSERT_EQ(offset, static_cast<i32>(i));
        ASSERT_EQ(caret.Line, line) << "offset " << offset;
        // The character under the caret stands at the caret's column of
        // expand's line: itself, the first blank of a tab, or the line's end.
        const std::string& reference = expanded[std::size_t(caret.Line)];
        const char byte = source[std::size_t(offset)];
        if (byte == '\n') {
            EXPECT_EQ(caret.Column, static_cast<i32>(reference.size())) << "offset " << offset;
            ++line;
        } else {
            ASSERT_LT(caret.Column, static_cast<i32>(reference.size())) << "offset " << offset;
            EXPECT_EQ(reference[std::size_t(caret.Column)], byte == '\t' ? ' ' : byte) << "offset " << offset;
        }
    }
    for (auto it = forward.rbegin() + 1; it != forward.rend(); ++it) {
        EXPECT_EQ(file.MoveCaret(Left, false, 0), it->first);
        EXPECT_EQ(file.GetCaretOffset(), it->second);
    }
}

} // namespace
