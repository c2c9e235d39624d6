// The 8-bit renderer's drawing: the border from the ring with blends at the
// changes, the paper from the latches, the dimming outside the TV picture,
// the sync and interrupt marks, the beam marker, the still pictures, and the
// picture's re-creation and publishing.
#include "tests/host/Render_test_machine.h"

#include "core/Clock.h"
#include "host/Palette.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TPixels = std::pair<u8, u8>;
constexpr u8 Shade = TPalette::ShadeOffset;

// A tick source that never ticks: the test turns the clock by hand.
class TManualTicks : public TTickSource {
public:
    bool Start(std::function<void()>) override { return true; }
    void Stop() override {}
};

// A clock installed as g_Clock whose flash phase the test sets.
class TFlashClock {
public:
    TFlashClock() : Clock(std::make_unique<TManualTicks>()), Previous(g_Clock) { g_Clock = &Clock; }
    ~TFlashClock() { g_Clock = Previous; }

    // Turns the phase to the mask (0xFF or 0x7F).
    void SetMask(u8 mask)
    {
        Clock.SetEmulating(1);
        for (int i = 0; i < 64 && Clock.GetFlashMask() != mask; ++i)
            Clock.TimerProc();
        Clock.SetEmulating(0);
    }

private:
    TClock Clock;
    TClock* Previous;
};

i32 TStateOf(i32 x, i32 line)
{
    return line * TRenderTestMachine::LineTStates + x / 2;
}

// --- Border ---

TEST(RenderBorder, AChangeBlendsIntoTheSecondPixelOfItsTState)
{
    TRenderTestMachine m;
    m.Border(0, 1);       // blue from the frame's start
    m.Border(20'000, 2);  // red
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pair(19'999), (TPixels{1, 1}));
    EXPECT_EQ(m.Pair(20'000), (TPixels{1, 22}));  // 22: blue blended into red
    EXPECT_EQ(m.Pair(20'001), (TPixels{2, 2}));
    EXPECT_EQ(m.Render.GetBorderColour(), 2);
    EXPECT_EQ(m.Render.GetRingReadPosition(), 2u);
}

TEST(RenderBorder, TwoChangesAtOneStampUseConsecutivePairs)
{
    TRenderTestMachine m;
    m.Border(0, 1);
    m.Border(20'000, 2);
    m.Border(20'000, 4);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pair(20'000), (TPixels{1, TPalette::GetMixIndex(1, 2)}));
    EXPECT_EQ(m.Pair(20'001), (TPixels{2, TPalette::GetMixIndex(2, 4)}));
    EXPECT_EQ(m.Pair(20'002), (TPixels{4, 4}));
}

TEST(RenderBorder, AChangeThatWouldPassTheSegmentEndOnlySetsTheColour)
{
    TRenderTestMachine m;
    // The last T-state of the frame, three changes: the first is drawn
    // there, the next two would fall past the bitmap.
    m.Border(71'679, 2);
    m.Border(71'679, 3);
    m.Border(71'679, 5);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pair(71'679), (TPixels{Shade + 0, Shade + TPalette::GetMixIndex(0, 2)}));
    EXPECT_EQ(m.Render.GetBorderColour(), 5);
    // The next frame starts in the last colour.
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pair(30'000), (TPixels{5, 5}));
}

TEST(RenderBorder, ChangesOutsideTheSegmentsSetTheNextSegmentsColour)
{
    TRenderTestMachine m;
    m.Border(10, 6);                   // in the sync lines
    m.Border(TStateOf(20, 100), 3);    // in the blanking of line 100
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pair(TStateOf(400, 99)), (TPixels{6, 6}));
    EXPECT_EQ(m.Pair(TStateOf(100, 100)), (TPixels{3, 3}));
    // The blanking itself keeps Clear's marks.
    EXPECT_EQ(m.Pixel(20, 100), 1);
    EXPECT_EQ(m.Pixel(40, 100), 0);
}

TEST(RenderBorder, ShadingOutsideTheTVPicture)
{
    TRenderTestMachine m;
    m.Border(0, 2);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(200, 20), 45);   // above the picture (lines 16-33)
    EXPECT_EQ(m.Pixel(200, 40), 2);    // inside
    EXPECT_EQ(m.Pixel(70, 150), 45);   // left of x 96
    EXPECT_EQ(m.Pixel(100, 150), 2);
    EXPECT_EQ(m.Pixel(430, 150), 45);  // right of x 428
    EXPECT_EQ(m.Pixel(420, 150), 2);
    EXPECT_EQ(m.Pixel(200, 310), 45);  // below line 298
    // A second frame redraws before dimming: nothing is shaded twice.
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(200, 20), 45);

    m.Settings->BorderShading = 0;
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(200, 20), 2);
}

TEST(RenderBorder, DefaultDimRegions)
{
    TRenderTestMachine m;
    struct TRect {
        i32 X, Y, Width, Height;
    };
    const TRect expected[4] = {{64, 16, 384, 18}, {64, 34, 32, 264}, {428, 34, 20, 264}, {64, 298, 384, 22}};
    ASSERT_EQ(m.Render.GetDimRegionCount(), 4);
    for (i32 i = 0; i < 4; ++i) {
        const TRenderGDI8Bit::TDimRegion& r = m.Render.GetDimRegion(i);
        EXPECT_EQ(r.X, expected[i].X) << "region " << i;
        EXPECT_EQ(r.Y, expected[i].Y) << "region " << i;
        EXPECT_EQ(r.Width, expected[i].Width) << "region " << i;
        EXPECT_EQ(r.Height, expected[i].Height) << "region " << i;
        EXPECT_EQ(r.TopLeft, m.Render.GetDC()->GetBits() + expected[i].Y * 448 + expected[i].X);
    }
}

TEST(RenderBorder, WideBorderDimRegionsReachTheEdges)
{
    TRenderTestMachine m;
    m.Settings->WideBorder = 1;
    m.Settings->Screen = 0;
    m.Render.BuildLineSegments();
    m.Render.BuildDimRegions();
    ASSERT_EQ(m.Render.GetDimRegionCount(), 5);
    const TRenderGDI8Bit::TDimRegion& above = m.Render.GetDimRegion(0);
    EXPECT_EQ((std::vector<i32>{above.X, above.Y, above.Width, above.Height}), (std::vector<i32>{0, 0, 448, 34}));
    const TRenderGDI8Bit::TDimRegion& paper = m.Render.GetDimRegion(4);
    EXPECT_EQ((std::vector<i32>{paper.X, paper.Y, paper.Width, paper.Height}), (std::vector<i32>{136, 80, 256, 192}));

    // With the whole raster drawn and dimmed, every byte is a colour or its
    // shade, never a shade of a shade.
    m.Border(0, 7);
    m.Render.RenderFrame();
    m.Render.RenderFrame();
    for (u8 pixel : m.Picture())
        ASSERT_TRUE(pixel == 7 || pixel == 7 + Shade) << int(pixel);
    EXPECT_EQ(m.Pixel(0, 0), 7 + Shade);
    EXPECT_EQ(m.Pixel(200, 150), 7 + Shade);  // the paper, outside nothing
    EXPECT_EQ(m.Pixel(100, 150), 7);
}

TEST(RenderBorder, OddTVBordersNeverShadeAByteTwice)
{
    TRenderTestMachine m;
    m.Settings->PixelsPerTVLeftBorder = 37;
    m.Settings->PixelsPerTVRightBorder = 55;
    m.Settings->LinesPerTVTopBorder = 1;
    m.Settings->LinesPerTVBottomBorder = 47;
    m.Render.LoadTimings();
    m.Render.BuildDimRegions();
    m.Border(0, 6);
    for (int frame = 0; frame < 3; ++frame)
        m.Render.RenderFrame();
    for (u8 pixel : m.Picture())
        ASSERT_LE(pixel, 85);
    EXPECT_EQ(m.Pixel(136 - 38, 150), 6 + Shade);
    EXPECT_EQ(m.Pixel(136 - 37, 150), 6);
    EXPECT_EQ(m.Pixel(392 + 54, 150), 6);
    EXPECT_EQ(m.Pixel(392 + 55, 150), 6 + Shade);
}

TEST(RenderBorder, DimRegionsAheadOfTheirSegmentsStillShadeOnce)
{
    TRenderTestMachine m;
    m.FillScreen([](u32 offset) -> u8 { return offset < 0x1800 ? 0x00 : 0x38; });
    m.Render.RenderFrame();
    // "Screen" off with only the dim regions rebuilt (the segments follow
    // at the next frame end): the paper is dimmed but not redrawn.
    m.Settings->Screen = 0;
    m.Render.BuildDimRegions();
    for (int frame = 0; frame < 8; ++frame)
        m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(200, 150), 7 + Shade);
    for (u8 pixel : m.Picture())
        ASSERT_LE(pixel, 85);
}

// --- Paper ---

TEST(RenderPaper, LatchesWithTheFlashMask)
{
    TRenderTestMachine m;
    TFlashClock clock;
    // Line 0, column 0: pixels 0xF0, attribute 0xB8 (flashing black on white).
    m.FillScreen([](u32 offset) -> u8 { return offset == 0 ? 0xF0 : offset == 0x1800 ? 0xB8 : offset < 0x1800 ? 0 : 0x38; });
    clock.SetMask(0xFF);
    m.Render.RenderFrame();
    for (i32 x = 0; x < 8; ++x)
        EXPECT_EQ(m.Pixel(136 + x, 80), x < 4 ? 7 : 0) << "flash phase, pixel " << x;
    clock.SetMask(0x7F);
    m.Render.RenderFrame();
    for (i32 x = 0; x < 8; ++x)
        EXPECT_EQ(m.Pixel(136 + x, 80), x < 4 ? 0 : 7) << "normal phase, pixel " << x;
}

TEST(RenderPaper, ScreenAddressRule)
{
    TRenderTestMachine m;
    // Textbook addresses of the Spectrum screen (offsets from 0x4000): one
    // set bit in each, white ink on black elsewhere.
    struct TCase {
        i32 Line, Column;
        u16 Pixel, Attribute;
    };
    const TCase cases[] = {
        {0, 0, 0x0000, 0x1800},    {1, 0, 0x0100, 0x1800},  {7, 3, 0x0703, 0x1803},  {8, 0, 0x0020, 0x1820},
        {63, 31, 0x07FF, 0x18FF}, {64, 0, 0x0800, 0x1900}, {100, 17, 0x0C91, 0x1991}, {191, 31, 0x17FF, 0x1AFF},
    };
    for (const TCase& c : cases) {
        std::fill(m.Screen(), m.Screen() + 6912, u8{0});
        m.Screen()[c.Pixel] = 0x01;        // the last pixel of the byte
        m.Screen()[c.Attribute] = 0x47;    // bright white ink on black
        m.Render.DrawStatic(0xFF);
        const i32 x = 136 + 8 * c.Column + 7, y = 80 + c.Line;
        EXPECT_EQ(m.Pixel(x, y), 14) << "line " << c.Line << " column " << c.Column;
        EXPECT_EQ(m.Pixel(x - 1, y), 0);
        // And the chip's latches agree with memory.
        m.Video.LatchWholeScreen();
        m.Render.DrawScreen();
        EXPECT_EQ(m.Pixel(x, y), 14) << "latched, line " << c.Line << " column " << c.Column;
        EXPECT_EQ(m.Pixel(x - 1, y), 0);
    }
}

TEST(RenderPaper, WithoutScreenTheBorderCoversThePaper)
{
    TRenderTestMachine m;
    m.FillScreen([](u32) -> u8 { return 0xFF; });
    m.Settings->Screen = 0;
    m.Render.BuildLineSegments();
    m.Render.BuildDimRegions();
    m.Border(0, 4);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(200, 150), 4 + Shade);
}

TEST(RenderPaper, RayTraceDrawsOnlyWhereTheBeamHasPassed)
{
    TRenderTestMachine m;
    // The last frame: white paper everywhere.
    m.FillScreen([](u32 offset) -> u8 { return offset < 0x1800 ? 0x00 : 0x38; });
    m.Render.RenderFrame();
    // This frame's memory: all ink, bright blue paper / red ink.
    m.FillScreen([](u32 offset) -> u8 { return offset < 0x1800 ? 0xFF : 0x4A; });

    // The first paper T-state: not one byte of this frame yet.
    m.Render.DrawUpToTact(17'988);
    for (i32 x = 136; x < 392; ++x)
        ASSERT_EQ(m.Pixel(x, 80), 7) << x;
    // Five T-states on: byte 0 whole and two pixels of byte 1.
    m.Render.DrawUpToTact(17'993);
    for (i32 x = 136; x < 146; ++x)
        EXPECT_EQ(m.Pixel(x, 80), 9) << x;
    EXPECT_EQ(m.Pixel(146, 80), 7);
    // Early in line 81 (before its paper): line 80 is finished, 81 untouched.
    m.Render.DrawUpToTact(81 * 224 + 10);
    EXPECT_EQ(m.Pixel(391, 80), 9);
    EXPECT_EQ(m.Pixel(136, 81), 7);
    // Past the last paper line: everything.
    m.Render.DrawUpToTact(71'000);
    EXPECT_EQ(m.Pixel(391, 271), 9);
    // A T-state behind the last one (set from outside) starts over.
    m.FillScreen([](u32 offset) -> u8 { return offset < 0x1800 ? 0x00 : 0x38; });
    m.Render.DrawUpToTact(17'993);
    EXPECT_EQ(m.Pixel(136, 80), 7);
    EXPECT_EQ(m.Pixel(391, 80), 9);
}

TEST(RenderPaper, RayTraceBorderShowsTheLastFrameBeyondTheBeam)
{
    TRenderTestMachine m;
    m.Border(0, 1);
    m.Render.RenderFrame();  // a blue frame
    m.Border(100, 2);        // this frame turns red early on...
    m.Border(TStateOf(200, 150), 3);  // ...and magenta at line 150
    m.Cpu.Tact = TStateOf(300, 200);
    m.Render.DrawUpToTact(m.Cpu.Tact);
    EXPECT_EQ(m.Pixel(100, 100), 2);
    EXPECT_EQ(m.Pixel(100, 180), 3);
    EXPECT_EQ(m.Pixel(100, 250), 1);  // not reached yet: last frame
    EXPECT_EQ(m.Pixel(420, 199), 3);
    // The renderer is left where the last full frame ended.
    EXPECT_EQ(m.Render.GetRingReadPosition(), 1u);
    EXPECT_EQ(m.Render.GetBorderColour(), 1);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Pixel(100, 100), 2);
    EXPECT_EQ(m.Pixel(100, 250), 3);
}

TEST(RenderPaper, RealTimeShowsMemoryAndTheCurrentBorder)
{
    TRenderTestMachine m;
    m.FillScreen([](u32 offset) -> u8 { return offset < 0x1800 ? 0x00 : 0x38; });
    m.Render.RenderFrame();
    // Memory changes without the latches.
    std::fill(m.Screen(), m.Screen() + 0x1800, u8{0xFF});
    m.Border(100, 5);
    m.Settings->DebugMode = 1;
    m.Render.DrawUpToTact(100);
    EXPECT_EQ(m.Pixel(300, 250), 0);
    EXPECT_EQ(m.Pixel(100, 250), 5);
}

// --- Marks ---

TEST(RenderClear, SyncAndInterruptMarks)
{
    TRenderTestMachine m;
    m.Render.Clear();
    for (i32 x = 0; x < 46; ++x)
        ASSERT_EQ(m.Pixel(x, 0), 2) << "interrupt pulse at " << x;
    for (i32 x = 46; x < 448; ++x)
        ASSERT_EQ(m.Pixel(x, 0), 1) << "line 0 at " << x;
    for (i32 x = 0; x < 448; ++x)
        ASSERT_EQ(m.Pixel(x, 5), x < 32 ? 0 : 1) << "sync line at " << x;
    for (i32 y : {16, 100, 319})
        for (i32 x = 0; x < 64; ++x)
            ASSERT_EQ(m.Pixel(x, y), x < 32 ? 1 : 0) << "line " << y << " at " << x;

    m.Settings->SyncPulses = 0;
    m.Settings->InterruptPulse = 0;
    m.Render.Clear();
    for (i32 x = 0; x < 448; ++x)
        ASSERT_EQ(m.Pixel(x, 0), 0) << x;
    for (i32 x = 0; x < 64; ++x)
        ASSERT_EQ(m.Pixel(x, 100), 0) << x;
}

// --- Beam marker ---

TEST(RenderMarker, ShownThenHiddenLeavesThePictureAsItWas)
{
    TRenderTestMachine m;
    m.FillScreen([](u32 offset) { return static_cast<u8>(offset * 7 + 3); });
    m.Render.RenderFrame();
    const std::vector<u8> before = m.Picture();
    const i32 tact = TStateOf(140, 82);
    m.Render.ShowBeamMarker(tact);
    EXPECT_TRUE(m.Render.IsBeamMarkerShown());
    EXPECT_EQ(m.Pixel(140, 82), 14);
    for (i32 d = 1; d <= 7; ++d) {
        const u8 colour = d % 2 ? 0 : 14;
        EXPECT_EQ(m.Pixel(140 + d, 82), colour);
        EXPECT_EQ(m.Pixel(140 - d, 82), colour);
        EXPECT_EQ(m.Pixel(140, 82 + d), colour);
        EXPECT_EQ(m.Pixel(140, 82 - d), colour);
    }
    EXPECT_NE(m.Picture(), before);
    m.Render.HideBeamMarker();
    EXPECT_EQ(m.Picture(), before);
    // Blinking at one place, and moving without hiding first.
    m.Render.ShowBeamMarker(tact);
    m.Render.HideBeamMarker();
    m.Render.ShowBeamMarker(tact);
    m.Render.ShowBeamMarker(tact + 1000);
    m.Render.HideBeamMarker();
    EXPECT_EQ(m.Picture(), before);
}

TEST(RenderMarker, AtTheOriginArmsOffThePictureAreSkipped)
{
    TRenderTestMachine m;
    const std::vector<u8> before = m.Picture();
    m.Render.ShowBeamMarker(0);
    EXPECT_EQ(m.Pixel(0, 0), 14);
    EXPECT_EQ(m.Pixel(1, 0), 0);
    EXPECT_EQ(m.Pixel(2, 0), 14);
    EXPECT_EQ(m.Pixel(0, 7), 0);
    m.Render.HideBeamMarker();
    EXPECT_EQ(m.Picture(), before);
    // At the last T-state of the frame the arms leave the right and bottom.
    m.Render.ShowBeamMarker(71'679);
    EXPECT_EQ(m.Pixel(446, 319), 14);
    m.Render.RemoveBeamMarker();
    EXPECT_FALSE(m.Render.IsBeamMarkerActive());
    EXPECT_EQ(m.Picture(), before);
}

TEST(RenderMarker, RedrawingHidesItSoNoStaleCrossComesBack)
{
    TRenderTestMachine m;
    m.Border(0, 1);
    m.Render.RenderFrame();
    const i32 tact = TStateOf(120, 150);
    m.Render.ShowBeamMarker(tact);
    // The next frame is red; the saved blue pixels must not come back.
    m.Border(0, 2);
    m.Render.RenderFrame();
    EXPECT_FALSE(m.Render.IsBeamMarkerShown());
    m.Render.HideBeamMarker();
    m.Render.ShowBeamMarker(tact);
    m.Render.HideBeamMarker();
    for (i32 d = -7; d <= 7; ++d) {
        EXPECT_EQ(m.Pixel(120 + d, 150), 2) << d;
        EXPECT_EQ(m.Pixel(120, 150 + d), 2) << d;
    }
    // The same through the still pictures and Clear.
    for (int step = 0; step < 4; ++step) {
        m.Render.ShowBeamMarker(tact);
        switch (step) {
        case 0: m.Render.DrawStatic(0xFF); break;
        case 1: m.Render.DrawScreen(); break;
        case 2: m.Render.CreateDIB(); break;
        case 3: m.Render.Clear(); break;
        }
        EXPECT_FALSE(m.Render.IsBeamMarkerShown()) << step;
        EXPECT_EQ(m.Pixel(120, 150), 2) << step;
    }
}

// --- Picture, palette and publishing ---

TEST(RenderPicture, SizeAndColourTable)
{
    TRenderTestMachine m;
    const TIndexedSurface& surface = *m.Render.GetDC();
    EXPECT_EQ(surface.GetWidth(), 448);
    EXPECT_EQ(surface.GetHeight(), 320);
    EXPECT_EQ(surface.GetStride(), 448);
    for (u32 i = 0; i < 86; ++i) {
        const TPaletteEntry& e = g_Palette.Entry(i);
        EXPECT_EQ(surface.GetColours()[i], TIndexedSurface::MakeRgb(e.Red, e.Green, e.Blue)) << i;
    }
    for (u32 i = 86; i < 256; ++i)
        EXPECT_EQ(surface.GetColours()[i], TIndexedSurface::MakeRgb(0, 0, 0)) << i;
}

TEST(RenderPicture, AGreyModeSwitchKeepsThePicture)
{
    TRenderTestMachine m;
    m.FillScreen([](u32 offset) { return static_cast<u8>(offset * 13 + 5); });
    m.Border(0, 3);
    m.Render.RenderFrame();
    const std::vector<u8> before = m.Picture();
    const u64 serial = m.Render.GetDC()->GetSerial();
    m.Settings->Grayscale = 1;
    m.Render.CreateDIB();
    EXPECT_EQ(m.Picture(), before);
    EXPECT_EQ(m.Render.GetDC()->GetColours()[7], TIndexedSurface::MakeRgb(185, 185, 185));
    EXPECT_GT(m.Render.GetDC()->GetSerial(), serial);
    // The published copy carries the new colours with the same indices.
    std::vector<u8> front;
    TIndexedSurface::TColourTable colours;
    i32 width = 0, height = 0;
    m.Render.GetDC()->CopyFront(front, colours, width, height);
    EXPECT_EQ(front, before);
    EXPECT_EQ(colours[14], TIndexedSurface::MakeRgb(255, 255, 255));
    EXPECT_EQ(colours[8], TIndexedSurface::MakeRgb(45, 45, 45));
}

TEST(RenderPicture, AFailedRecreationKeepsThePreviousPicture)
{
    TRenderTestMachine m;
    m.Border(0, 4);
    m.Render.RenderFrame();
    const std::vector<u8> before = m.Picture();
    const TIndexedSurface::TColourTable colours = m.Render.GetDC()->GetColours();

    // A raster far beyond what a surface may hold.
    m.Settings->TStatesPerLine = 224'000;
    m.Settings->PixelsPerLine = 448'000;
    m.Settings->TStatesPerFrame = 224'000 * 320;
    m.Settings->PixelsPerLineRest = 448'000 - 448;
    m.Settings->Grayscale = 1;
    m.Render.LoadTimings();
    m.Render.CreateDIB();
    EXPECT_EQ(m.Picture(), before);
    EXPECT_EQ(m.Render.GetDC()->GetColours(), colours);
    // Nothing draws while the geometry and the picture disagree.
    m.Border(100, 6);
    m.Render.RenderFrame();
    m.Render.DrawUpToTact(50'000);
    m.Render.DrawStatic(0xFF);
    m.Render.ShowBeamMarker(40'000);
    m.Render.Clear();
    EXPECT_EQ(m.Picture(), before);
}

TEST(RenderPicture, EveryDrawingIsPublished)
{
    TRenderTestMachine m;
    TIndexedSurface& surface = *m.Render.GetDC();
    u64 serial = surface.GetSerial();
    auto published = [&] {
        const u64 now = surface.GetSerial();
        const bool more = now > serial;
        serial = now;
        return more;
    };
    m.Render.RenderFrame();
    EXPECT_TRUE(published());
    m.Render.DrawUpToTact(20'000);
    EXPECT_TRUE(published());
    m.Render.ShowBeamMarker(20'000);
    EXPECT_TRUE(published());
    // The marker's idle blinking ticks change nothing and publish nothing.
    m.Render.ShowBeamMarker(20'000);
    EXPECT_FALSE(published());
    m.Render.HideBeamMarker();
    EXPECT_TRUE(published());
    m.Render.HideBeamMarker();
    m.Render.RemoveBeamMarker();
    EXPECT_FALSE(published());
    m.Render.ShowBeamMarker(20'000);
    EXPECT_TRUE(published());
    m.Render.ShowBeamMarker(30'000);
    EXPECT_TRUE(published());
    m.Render.RemoveBeamMarker();
    EXPECT_TRUE(published());
    m.Render.DrawStatic(0x7F);
    EXPECT_TRUE(published());
    m.Render.Clear();
    EXPECT_TRUE(published());

    m.Border(0, 5);
    m.Render.RenderFrame();
    surface.ReadFront([&](const TIndexedSurface::TFrontView& front) {
        ASSERT_NE(front.Pixels, nullptr);
        EXPECT_EQ(front.Width, 448);
        EXPECT_EQ(front.Height, 320);
        EXPECT_EQ(front.Stride, 448);
        EXPECT_EQ(front.Pixels[150 * 448 + 100], 5);
        EXPECT_EQ(front.Colours[5], TIndexedSurface::MakeRgb(0, 187, 187));
    });
}

} // namespace
