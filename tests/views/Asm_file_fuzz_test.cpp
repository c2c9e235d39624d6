// The source file reader on untrusted bytes: every truncation and random
// flips of the sample, random texts heavy in tabs, line feeds and carriage
// returns, very long lines, no LF at the end, and a line of tabs long enough
// to saturate the column count. Each text either has lines that match a
// plain reference model or none, and random caret moves keep the caret on a
// character of a line; nothing crashes or hangs.
#include "tests/views/Source_file_testing.h"

#include "views/Asm_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// Lines as the rules define them, by the plainest means: split at LF, drop
// what follows the last one, expand tabs to the next multiple of 8.
struct TReference {
    std::vector<std::string> Lines;
    i32 Width = 0;
};

TReference ReferenceOf(const std::string& bytes)
{
    TReference reference;
    std::string line;
    for (char byte : bytes) {
        if (byte == '\n') {
            reference.Width = std::max(reference.Width, static_cast<i32>(line.size()) + 1);
            reference.Lines.push_back(line);
            line.clear();
        } else if (byte == '\t') {
            line.append(8 - line.size() % 8, ' ');
        } else {
            line.push_back(byte);
        }
    }
    return reference;
}

// The caret stands on a character of its line, at that character's column.
void ExpectCaretOnALine(const TAsmFile& file, const std::string& bytes, const char* what)
{
    const TCaret caret = file.GetCaret();
    const i32 offset = file.GetCaretOffset();
    if (file.GetLineCount() == 0) {
        EXPECT_EQ(caret, (TCaret{0, 0})) << what;
        return;
    }
    ASSERT_GE(caret.Line, 0) << what;
    ASSERT_LT(caret.Line, file.GetLineCount()) << what;
    ASSERT_GE(offset, 0) << what;
    ASSERT_LT(offset, static_cast<i32>(bytes.size())) << what;
    EXPECT_EQ(caret.Column, file.GetColumn(caret.Line, offset)) << what;
    EXPECT_LE(caret.Column, file.GetLineWidth(caret.Line)) << what;
    EXPECT_EQ(file.GetOffset(caret.Line, caret.Column), offset) << what;
    // The caret's line is the one that holds the offset: as many LFs before
    // it as the line's number.
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + offset, '\n'), caret.Line) << what;
}

void Check(const TSourceFolder& folder, const std::string& bytes, std::mt19937& random, int moves = 60)
{
    TAsmFile file(nullptr, folder.Write("fuzz.asm", bytes));
    const TReference reference = ReferenceOf(bytes);
    ASSERT_EQ(file.GetLineCount(), static_cast<i32>(reference.Lines.size()));
    ASSERT_EQ(file.GetWidth(), reference.Width);
    for (std::size_t i = 0; i < reference.Lines.size(); ++i)
        ASSERT_EQ(file.GetLine(static_cast<i32>(i)), reference.Lines[i]) << "line " << i;

    std::uniform_int_distribution<int> key(TAsmFile::KeyPageUp, TAsmFile::KeyDown + 1);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> place(-3, 400);
    for (int i = 0; i < moves; ++i) {
        if (random() % 8 == 0)
            file.SetCaret(place(random), place(random) % std::max(file.GetLineCount(), 1));
        else
            file.MoveCaret(key(random), coin(random) != 0, static_cast<i32>(random() % 30));
        ExpectCaretOnALine(file, bytes, "after a move");
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

std::string RandomText(std::mt19937& random, std::size_t size)
{
    static const char alphabet[] = "\t\t\t\n\n\r ab;:#,()09";
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(random() % 4 == 0 ? static_cast<char>(random() & 0xFF)
                                         : alphabet[random() % (sizeof alphabet - 1)]);
    return text;
}

class AsmFileFuzz : public ::testing::Test {
protected:
    TSourceFolder Folder;
    std::mt19937 Random{20240917};
};

TEST_F(AsmFileFuzz, EveryTruncationOfTheSample)
{
    const std::string sample = ReadFixture("source/sample.asm");
    ASSERT_FALSE(sample.empty());
    for (std::size_t length = 0; length <= sample.size(); ++length) {
        SCOPED_TRACE(length);
        Check(Folder, sample.substr(0, length), Random, 20);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(AsmFileFuzz, RandomFlipsOfTheSample)
{
    const std::string sample = ReadFixture("source/sample.asm");
    for (int round = 0; round < 300; ++round) {
        std::string bytes = sample;
        for (int flips = 1 + int(Random() % 6); flips > 0; --flips)
            bytes[Random() % bytes.size()] ^= static_cast<char>(1 << (Random() % 8));
        SCOPED_TRACE(round);
        Check(Folder, bytes, Random);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(AsmFileFuzz, RandomTextsOfTabsLineFeedsAndReturns)
{
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        Check(Folder, RandomText(Random, Random() % 400), Random);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(AsmFileFuzz, VeryLongLinesWithAndWithoutAFinalLineFeed)
{
    std::string line = RandomText(Random, 200000);
    std::replace(line.begin(), line.end(), '\n', 'n');
    Check(Folder, line, Random);                    // no LF at all: no line
    Check(Folder, line + "\n", Random, 200);        // one long line
    Check(Folder, "short\n" + line + "\nend", Random, 200);
    Check(Folder, std::string(100000, '\t') + "\n" + std::string(100000, '\n'), Random, 200);

    TAsmFile file(nullptr, Folder.Write("long.asm", "x\n" + line + "\n"));
    file.SetCaret(0, 1);
    file.MoveCaret(TAsmFile::KeyEnd, false, 0);
    EXPECT_EQ(file.GetCaret().Column, file.GetWidth() - 1);
    EXPECT_EQ(file.GetCaretOffset(), static_cast<i32>(line.size()) + 2);
}

// 8 columns a tab reach the saturation column after 2^25 - 2 tabs (32 MB):
// columns stop there instead of overflowing, and 8 pixels a column still
// fit the viewer's arithmetic.
TEST_F(AsmFileFuzz, AHugeLineOfTabsSaturatesItsColumns)
{
    constexpr std::size_t tabs = TAsmFile::MaxColumn / 8 + 4;
    const std::string path = Folder.Write("tabs.asm", std::string(tabs, '\t') + "ab\n");
    TAsmFile file(nullptr, path);
    ASSERT_EQ(file.GetLineCount(), 1);
    EXPECT_EQ(file.GetWidth(), TAsmFile::MaxColumn + 1);
    EXPECT_EQ(file.GetLineWidth(0), TAsmFile::MaxColumn);
    EXPECT_EQ(file.MoveCaret(TAsmFile::KeyEnd, false, 0), (TCaret{TAsmFile::MaxColumn, 0}));
    EXPECT_EQ(file.GetCaretOffset(), static_cast<i32>(tabs) + 2);
    EXPECT_EQ(file.GetLineSpan(0, TAsmFile::MaxColumn - 3, 10), std::string(3, ' '));
    EXPECT_LE(i64(TAsmFile::MaxColumn + 1) * 8 + 4, i64(0x7FFFFFFF));
}

} // namespace
