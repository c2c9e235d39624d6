// An independent check of the whole picture: a Spectrum screen file (.scr,
// 6,912 bytes) made here is loaded into screen memory and latched, the frame
// is drawn with a blue border, and every paper pixel of the published copy
// is compared, as a colour, with this file's own decode of the screen format.
#include "tests/host/Render_test_machine.h"

#include "core/Clock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

constexpr size_t ScrSize = 6912;

// Writes a .scr of random bytes, with a few rows of known content so the
// file also holds solid and flashing cells of every colour.
std::string MakeScr(const std::string& path)
{
    std::string scr(ScrSize, '\0');
    std::mt19937 random(2024);
    for (char& c : scr)
        c = static_cast<char>(random());
    for (int a = 0; a < 256; ++a)  // every attribute once, in the last eight rows
        scr[6144 + 16 * 32 + a] = static_cast<char>(a);
    std::ofstream(path, std::ios::binary).write(scr.data(), static_cast<std::streamsize>(scr.size()));
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The Spectrum's screen, decoded from its description: pixel (x, y) is bit
// 7 - (x mod 8) of the byte at 010 y7 y6 y2 y1 y0 y5 y4 y3 x7 x6 x5 x4 x3
// (offset from 0x4000); its attribute byte, one per 8 x 8 cell, is
// FLASH BRIGHT PAPER(3) INK(3) at 6144 + 32 x (y / 8) + x / 8. Colour bits
// are G R B; a normal colour is at level 0xBB, a bright one at 0xFF.
u32 SpectrumColour(const std::string& scr, int x, int y, bool flashSwapped)
{
    const int y76 = (y >> 6) & 3, y210 = y & 7, y543 = (y >> 3) & 7;
    const int offset = (y76 << 11) | (y210 << 8) | (y543 << 5) | (x >> 3);
    const u8 pixels = static_cast<u8>(scr[static_cast<size_t>(offset)]);
    const u8 attribute = static_cast<u8>(scr[static_cast<size_t>(6144 + 32 * (y / 8) + x / 8)]);
    bool ink = (pixels >> (7 - (x & 7))) & 1;
    if ((attribute & 0x80) && flashSwapped)
        ink = !ink;
    const int colour = ink ? (attribute & 7) : ((attribute >> 3) & 7);
    const u32 level = (attribute & 0x40) ? 0xFF : 0xBB;
    const u32 red = (colour & 2) ? level : 0, green = (colour & 4) ? level : 0, blue = (colour & 1) ? level : 0;
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

class TNoTicks : public TTickSource {
public:
    bool Start(std::function<void()>) override { return true; }
    void Stop() override {}
};

class RenderScrTest : public ::testing::Test {
protected:
    TTempFolder Folder;
    TRenderTestMachine Machine;
    std::string Scr;

    void SetUp() override
    {
        Scr = MakeScr(Folder.File("test.scr"));
        ASSERT_EQ(Scr.size(), ScrSize);
        std::copy(Scr.begin(), Scr.end(), Machine.Screen());
        Machine.Video.LatchWholeScreen();
        Machine.Cpu.Tact = 1;
        Machine.Video.BorderWrite(1);  // blue, as a snapshot sets it
        Machine.Video.ResetBorderLog();
        Machine.Render.Reset();
    }

    // Every paper pixel of the published frame against the decode.
    void ComparePaper(bool flashSwapped)
    {
        int mismatches = 0;
        Machine.Render.GetDC()->ReadFront([&](const TIndexedSurface::TFrontView& front) {
            ASSERT_NE(front.Pixels, nullptr);
            ASSERT_EQ(front.Width, 448);
            for (int y = 0; y < 192; ++y) {
                for (int x = 0; x < 256; ++x) {
                    const u8 index = front.Pixels[(80 + y) * front.Stride + 136 + x];
                    const u32 expected = SpectrumColour(Scr, x, y, flashSwapped);
                    if (front.Colours[index] != expected && ++mismatches <= 5)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << front.Colours[index]
                                      << " expected " << expected;
                }
            }
        });
        EXPECT_EQ(mismatches, 0);
    }

    u32 FrontColour(int x, int y)
    {
        u32 colour = 0;
        Machine.Render.GetDC()->ReadFront([&](const TIndexedSurface::TFrontView& front) {
            colour = front.Colours[front.Pixels[y * front.Stride + x]];
        });
        return colour;
    }
};

TEST_F(RenderScrTest, EveryPaperPixelMatchesTheScreenFormat)
{
    TClock clock(std::make_unique<TNoTicks>());
    TClock* previous = g_Clock;
    g_Clock = &clock;

    // The clock starts in the phase that shows flashing cells swapped.
    ASSERT_EQ(clock.GetFlashMask(), 0xFF);
    Machine.Render.RenderFrame();
    ComparePaper(true);

    clock.SetEmulating(1);
    for (int tick = 0; tick < 16; ++tick)
        clock.TimerProc();
    clock.SetEmulating(0);
    ASSERT_EQ(clock.GetFlashMask(), 0x7F);
    Machine.Render.RenderFrame();
    ComparePaper(false);

    // The still picture from memory decodes the same way.
    Machine.Render.DrawStatic(0x7F);
    ComparePaper(false);
    g_Clock = previous;
}

TEST_F(RenderScrTest, TheBorderIsBlueAndShadedOutsideTheTVPicture)
{
    Machine.Render.RenderFrame();
    const u32 blue = 0xFF0000BBu;
    const u32 shadedBlue = 0xFF40409Du;  // 64, 64, 128 + 50 x 59 / 100
    EXPECT_EQ(FrontColour(96, 100), blue);     // the TV picture's left edge
    EXPECT_EQ(FrontColour(135, 100), blue);
    EXPECT_EQ(FrontColour(95, 100), shadedBlue);
    EXPECT_EQ(FrontColour(427, 100), blue);
    EXPECT_EQ(FrontColour(428, 100), shadedBlue);
    EXPECT_EQ(FrontColour(200, 34), blue);
    EXPECT_EQ(FrontColour(200, 33), shadedBlue);
    EXPECT_EQ(FrontColour(200, 297), blue);
    EXPECT_EQ(FrontColour(200, 298), shadedBlue);
    for (int y = 34; y < 298; ++y) {
        ASSERT_EQ(FrontColour(96, y), blue) << y;
        ASSERT_EQ(FrontColour(427, y), blue) << y;
    }
}

} // namespace
