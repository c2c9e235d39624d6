// The paper drawn from the latches, byte by byte, against the decoding rule
// written out pixel by pixel: bit 7 of a screen byte is its leftmost pixel;
// a set bit takes the ink (attribute bits 0-2), a clear one the paper (bits
// 3-5); bright (bit 6) moves both to the palette's bright half (index 8 +
// colour - 1, bright black staying 0); flash (bit 7) swaps them in the
// clock's flash phase. Every attribute value meets every pixel value.
#include "tests/host/Render_test_machine.h"

#include "core/Clock.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class TManualTicks : public TTickSource {
public:
    bool Start(std::function<void()>) override { return true; }
    void Stop() override {}
};

u8 PaletteIndex(u32 colour, bool bright)
{
    return static_cast<u8>(bright && colour != 0 ? 7 + colour : colour);
}

// Offset of the pixel byte of paper line y, column x in the screen page.
u32 PixelOffset(u32 y, u32 x)
{
    return ((y & 0xC0) << 5) | ((y & 0x07) << 8) | ((y & 0x38) << 2) | x;
}

TEST(RenderPaper, EveryAttributeAndPixelByteFollowsTheDecodingRule)
{
    TRenderTestMachine m;
    TClock clock(std::make_unique<TManualTicks>());
    TClock* previous = g_Clock;
    g_Clock = &clock;
    clock.SetEmulating(1);

    // Pixel byte value y x 32 + x (mod 256) and attribute value: every
    // attribute appears under 24 different pixel bytes, every pixel byte
    // under many attributes.
    auto attributeAt = [](u32 line, u32 column) { return static_cast<u8>((line >> 3) * 32 + column); };
    auto pixelsAt = [](u32 line, u32 column) { return static_cast<u8>(line * 37 + column * 11); };
    for (u32 y = 0; y < 192; ++y) {
        for (u32 x = 0; x < 32; ++x) {
            m.Screen()[PixelOffset(y, x)] = pixelsAt(y, x);
            m.Screen()[0x1800 + (y >> 3) * 32 + x] = attributeAt(y, x);
        }
    }
    m.Video.LatchWholeScreen();

    for (int phase = 0; phase < 2; ++phase) {
        const bool swapped = clock.GetFlashMask() == 0xFF;
        m.Render.RenderFrame();
        for (u32 y = 0; y < 192; ++y) {
            for (u32 x = 0; x < 32; ++x) {
                const u8 attribute = attributeAt(y, x);
                const bool bright = (attribute & 0x40) != 0;
                u8 ink = PaletteIndex(attribute & 7, bright);
                u8 paper = PaletteIndex(attribute >> 3 & 7, bright);
                if ((attribute & 0x80) && swapped)
                    std::swap(ink, paper);
                for (u32 bit = 0; bit < 8; ++bit) {
                    const u8 expected = (pixelsAt(y, x) & (0x80 >> bit)) ? ink : paper;
                    ASSERT_EQ(m.Pixel(static_cast<i32>(TRenderTestMachine::FirstPaperPixel + 8 * x + bit),
                                      static_cast<i32>(TRenderTestMachine::FirstPaperLine + y)),
                              expected)
                        << "line " << y << ", column " << x << ", pixel " << bit << ", flash "
                        << (swapped ? "swapped" : "plain");
                }
            }
        }
        // The other flash phase.
        const u8 mask = clock.GetFlashMask();
        for (int i = 0; i < 64 && clock.GetFlashMask() == mask; ++i)
            clock.TimerProc();
        ASSERT_NE(clock.GetFlashMask(), mask);
    }
    g_Clock = previous;
}

} // namespace
