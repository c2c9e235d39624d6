// The shell's helpers: drag distance, the one drag outline, file lengths.
#include "shell/Helper.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records what the outline painter was asked to do, as text.
class TRecordingPainter : public TOutlinePainter {
public:
    void Show(const TScreenRect& r) override
    {
        Calls.push_back("show " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + ","
            + std::to_string(r.Bottom));
    }
    void Hide() override { Calls.push_back("hide"); }

    std::vector<std::string> Calls;
};

// Installs a recording painter for one test and leaves no outline behind.
class DragOutline : public testing::Test {
protected:
    void SetUp() override
    {
        SetDragOutlinePainter(&Painter);
        DrawDragRect(false, {});
        Painter.Calls.clear();
    }
    void TearDown() override
    {
        DrawDragRect(false, {});
        SetDragOutlinePainter(nullptr);
    }

    TRecordingPainter Painter;
};

std::string ErrorTextOf(const std::string& path)
{
    try {
        GetFileLength(path);
    } catch (const TTextError& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST(DragDistance, IsTheLargerAxisDistance)
{
    EXPECT_EQ(DragDistance(10, 10, 13, 14), 4);
    EXPECT_EQ(DragDistance(10, 10, 5, 10), 5);
    EXPECT_EQ(DragDistance(10, 10, 10, 10), 0);
    // A second monitor left of or above the first.
    EXPECT_EQ(DragDistance(-10, -10, -13, -14), 4);
    EXPECT_EQ(DragDistance(-3, 0, 2, 1), 5);
    EXPECT_EQ(DragDistance(0, -1920, 0, 1080), 3000);
    EXPECT_EQ(DragDistance(INT32_MIN, 0, INT32_MAX, 0), INT32_MAX);
}

TEST_F(DragOutline, SameRectangleTwiceDrawsOnce)
{
    DrawDragRect(true, {10, 20, 110, 220});
    DrawDragRect(true, {10, 20, 110, 220});
    EXPECT_EQ(Painter.Calls, (std::vector<std::string>{"show 10,20,110,220"}));
}

TEST_F(DragOutline, NewRectangleErasesTheOldFirst)
{
    DrawDragRect(true, {0, 0, 50, 50});
    DrawDragRect(true, {5, 0, 55, 50});
    DrawDragRect(false, {1, 2, 3, 4});   // ending the drag: any rectangle
    DrawDragRect(false, {5, 0, 55, 50}); // nothing left to erase
    EXPECT_EQ(Painter.Calls, (std::vector<std::string>{"show 0,0,50,50", "hide", "show 5,0,55,50", "hide"}));
}

TEST_F(DragOutline, HidingWithNothingShownDrawsNothing)
{
    DrawDragRect(false, {0, 0, 50, 50});
    EXPECT_TRUE(Painter.Calls.empty());
}

TEST_F(DragOutline, AnOutlineAtTheOriginIsStillErased)
{
    DrawDragRect(true, {0, 0, 0, 0});
    DrawDragRect(false, {0, 0, 0, 0});
    EXPECT_EQ(Painter.Calls, (std::vector<std::string>{"show 0,0,0,0", "hide"}));
}

TEST_F(DragOutline, ReplacingThePainterTakesItsOutlineAway)
{
    DrawDragRect(true, {1, 1, 9, 9});
    TRecordingPainter next;
    SetDragOutlinePainter(&next);
    DrawDragRect(true, {1, 1, 9, 9});
    EXPECT_EQ(Painter.Calls, (std::vector<std::string>{"show 1,1,9,9", "hide"}));
    EXPECT_EQ(next.Calls, (std::vector<std::string>{"show 1,1,9,9"}));
    DrawDragRect(false, {});
    SetDragOutlinePainter(&Painter);
}

TEST(GetFileLength, OfRegularFiles)
{
    TTempFolder folder;
    std::ofstream(folder.File("empty"));
    EXPECT_EQ(GetFileLength(folder.File("empty")), 0);
    std::ofstream(folder.File("seven"), std::ios::binary) << std::string("ab\0\0\r\nz", 7);
    EXPECT_EQ(GetFileLength(folder.File("seven")), 7);
}

TEST(GetFileLength, RefusesWhatItCannotOpenOrMeasure)
{
    TTempFolder folder;
    EXPECT_EQ(ErrorTextOf(folder.File("missing")), "Can not open selected file!");
    EXPECT_EQ(ErrorTextOf(folder.Path()), "Can not open selected file!");
    ASSERT_EQ(::mkfifo(folder.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(ErrorTextOf(folder.File("pipe")), "Can not open selected file!");   // and does not block
    EXPECT_EQ(ErrorTextOf("/dev/null"), "Can not open selected file!");
}

TEST(GetFileLength, TwoGigabytesAndMoreAreRefused)
{
    TTempFolder folder;
    const std::string largest = folder.File("largest");
    const std::string tooLarge = folder.File("too-large");
    std::ofstream(largest).close();
    std::ofstream(tooLarge).close();
    // Sparse files: no disk space is used.
    if (::truncate(largest.c_str(), 0x7FFFFFFF) != 0 || ::truncate(tooLarge.c_str(), 0x80000000LL) != 0)
        GTEST_SKIP() << "the temporary folder does not allow files of 2 GB";
    EXPECT_EQ(GetFileLength(largest), 0x7FFFFFFF);
    EXPECT_EQ(ErrorTextOf(tooLarge), "Can not open selected file!");
}
