// The frame model shared by every renderer: attribute colour pairs, border
// segments, the timings it copies, the requests the user interface leaves
// for the frame end, and Reset.
#include "tests/host/Render_test_machine.h"

#include <gtest/gtest.h>

namespace {

using TPair = TRender::TColourPair;
using TSegment = TRender::TSegment;

// --- Colour pairs ---

TEST(RenderColourPairs, AttributeBitsGiveInkAndPaper)
{
    TRenderTestMachine m;
    EXPECT_EQ(m.Render.GetColourPair(0x38), (TPair{0, 7}));    // white paper, black ink
    EXPECT_EQ(m.Render.GetColourPair(0x78), (TPair{0, 14}));   // bright: bright black is black
    EXPECT_EQ(m.Render.GetColourPair(0xB8), (TPair{7, 0}));    // flash: stored swapped
    EXPECT_EQ(m.Render.GetColourPair(0x38 & 0x7F), (TPair{0, 7}));
    EXPECT_EQ(m.Render.GetColourPair(0x47), (TPair{14, 0}));   // bright white ink on black
    EXPECT_EQ(m.Render.GetColourPair(0x4F), (TPair{14, 8}));   // bright blue paper is index 8
    EXPECT_EQ(m.Render.GetColourPair(0x0A), (TPair{2, 1}));
    EXPECT_EQ(m.Render.GetColourPair(0xFF), (TPair{14, 14}));
}

TEST(RenderColourPairs, EveryAttributeAgainstTheBitFields)
{
    TRenderTestMachine m;
    for (u32 a = 0; a < 256; ++a) {
        const bool bright = a & 0x40;
        auto index = [bright](u32 colour) { return static_cast<u8>(bright && colour ? colour + 7 : colour); };
        TPair expected{index(a & 7), index((a >> 3) & 7)};
        if (a & 0x80)
            std::swap(expected.Ink, expected.Paper);
        EXPECT_EQ(m.Render.GetColourPair(static_cast<u8>(a)), expected) << "attribute " << a;
    }
}

TEST(RenderColourPairs, AttributesOffDrawsBlackOnWhite)
{
    TRenderTestMachine m;
    m.Settings->Attributes = 0;
    m.Render.BuildColourPairs();
    for (u32 a = 0; a < 256; ++a)
        ASSERT_EQ(m.Render.GetColourPair(static_cast<u8>(a)), (TPair{0, 7})) << "attribute " << a;
}

// --- Segments ---

TEST(RenderSegments, DefaultRasterWithPaper)
{
    TRenderTestMachine m;
    const std::vector<TSegment>& segments = m.Render.GetSegments();
    ASSERT_EQ(segments.size(), 496u);  // 64 + 48 + 192 x 2
    // The first top-border line starts after sync and blanking (32 T-states).
    EXPECT_EQ(segments.front(), (TSegment{16 * 224 + 32, 17 * 224}));
    // The first paper line: left border up to the paper, right border after it.
    EXPECT_EQ(segments[64], (TSegment{17'952, 17'988}));
    EXPECT_EQ(segments[65], (TSegment{18'116, 18'144}));
    EXPECT_EQ(segments.back(), (TSegment{319 * 224 + 32, 320 * 224}));
    for (size_t i = 1; i < segments.size(); ++i)
        EXPECT_LE(segments[i - 1].End, segments[i].Start) << "segment " << i;
}

TEST(RenderSegments, WithoutPaperOneSegmentALine)
{
    TRenderTestMachine m;
    m.Settings->Screen = 0;
    m.Render.BuildLineSegments();
    ASSERT_EQ(m.Render.GetSegmentCount(), 304);
    EXPECT_EQ(m.Render.GetSegments()[64], (TSegment{17'952, 18'144}));
}

TEST(RenderSegments, WideBorderAddsTheSyncLinesAndTheBlanking)
{
    TRenderTestMachine m;
    m.Settings->WideBorder = 1;
    m.Render.BuildLineSegments();
    const std::vector<TSegment>& segments = m.Render.GetSegments();
    ASSERT_EQ(segments.size(), 512u);
    EXPECT_EQ(segments[0], (TSegment{0, 224}));
    EXPECT_EQ(segments[15], (TSegment{15 * 224, 16 * 224}));
    EXPECT_EQ(segments[16], (TSegment{16 * 224, 17 * 224}));
    EXPECT_EQ(segments[16 + 64], (TSegment{17'920, 17'988}));
    // Every T-state of the frame outside the paper is in exactly one segment.
    i32 covered = 0;
    for (const TSegment& s : segments)
        covered += s.End - s.Start;
    EXPECT_EQ(covered, 71'680 - 192 * 128);
}

// --- Timings ---

TEST(RenderTimings, TVBordersAreClampedToTheFullBorder)
{
    TRenderTestMachine m;
    EXPECT_EQ(m.Render.GetTVLeftBorderPixels(), 40);
    EXPECT_EQ(m.Render.GetTVRightBorderPixels(), 36);
    EXPECT_EQ(m.Render.GetTVTopBorderLines(), 46);
    EXPECT_EQ(m.Render.GetTVBottomBorderLines(), 26);

    m.Settings->PixelsPerTVLeftBorder = 500;
    m.Settings->PixelsPerTVRightBorder = -3;
    m.Settings->LinesPerTVTopBorder = 65;
    m.Settings->LinesPerTVBottomBorder = -1;
    m.Render.LoadTimings();
    EXPECT_EQ(m.Render.GetTVLeftBorderPixels(), 72);
    EXPECT_EQ(m.Render.GetTVRightBorderPixels(), 0);
    EXPECT_EQ(m.Render.GetTVTopBorderLines(), 64);
    EXPECT_EQ(m.Render.GetTVBottomBorderLines(), 0);
    EXPECT_TRUE(m.Render.IsGeometryValid());
}

TEST(RenderTimings, AGeometryThatCannotBeDrawnBuildsNoSegments)
{
    TRenderTestMachine m;
    m.Settings->LinesPerFrame = 200;  // no room for the bottom border
    m.Render.LoadTimings();
    EXPECT_FALSE(m.Render.IsGeometryValid());
    m.Render.BuildLineSegments();
    EXPECT_EQ(m.Render.GetSegmentCount(), 0);
}

// --- Requests from the user interface ---

TEST(RenderRequests, WaitForTheFrameEnd)
{
    TRenderTestMachine m;
    m.Settings->Screen = 0;
    m.Settings->Attributes = 0;
    m.Settings->Grayscale = 1;
    m.Render.RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions | TRender::ChangeColourPairs);
    m.Render.RequestRecreate();
    EXPECT_TRUE(m.Render.IsRecreateRequested());
    EXPECT_TRUE(m.Render.HasRequests());

    // Nothing changes until the renderer's own thread applies them.
    EXPECT_EQ(m.Render.GetSegmentCount(), 496);
    EXPECT_EQ(m.Render.GetColourPair(0x47), (TPair{14, 0}));
    EXPECT_EQ(m.Render.GetDC()->GetColours()[7], TIndexedSurface::MakeRgb(187, 187, 187));

    const u32 applied = m.Render.ApplyRequests();
    EXPECT_EQ(applied, TRender::ChangeLineSegments | TRender::ChangeDimRegions | TRender::ChangeColourPairs
                           | TRender::ChangeRecreate);
    EXPECT_FALSE(m.Render.HasRequests());
    EXPECT_FALSE(m.Render.IsRecreateRequested());
    EXPECT_EQ(m.Render.GetSegmentCount(), 304);
    EXPECT_EQ(m.Render.GetColourPair(0x47), (TPair{0, 7}));
    EXPECT_EQ(m.Render.GetDC()->GetColours()[7], TIndexedSurface::MakeRgb(185, 185, 185));
    EXPECT_EQ(m.Render.GetDimRegionCount(), 5);  // the paper is dimmed without "Screen"
    EXPECT_EQ(m.Render.ApplyRequests(), 0u);
}

TEST(RenderRequests, TimingsRebuildTheDimRegions)
{
    TRenderTestMachine m;
    m.Settings->PixelsPerTVLeftBorder = 72;  // the whole left border visible
    m.Render.RequestChanges(TRender::ChangeTimings);
    EXPECT_EQ(m.Render.GetDimRegion(1).Width, 32);
    m.Render.ApplyRequests();
    EXPECT_EQ(m.Render.GetTVLeftBorderPixels(), 72);
    // The left region is now empty and left out.
    ASSERT_EQ(m.Render.GetDimRegionCount(), 3);
    EXPECT_EQ(m.Render.GetDimRegion(1).X, 428);
}

TEST(RenderRequests, CreateDIBClearsTheRecreateRequest)
{
    TRenderTestMachine m;
    m.Render.RequestRecreate();
    m.Render.CreateDIB();
    EXPECT_FALSE(m.Render.IsRecreateRequested());
}

TEST(RenderRequests, UnknownBitsAreIgnored)
{
    TRenderTestMachine m;
    m.Render.RequestChanges(0x8000'0000u);
    EXPECT_FALSE(m.Render.HasRequests());
}

// --- Reset ---

TEST(RenderReset, ReadPositionsFromTheStartAndTheChipsBorder)
{
    TRenderTestMachine m;
    m.Border(100, 3);
    m.Border(200, 5);
    m.Render.RenderFrame();
    EXPECT_EQ(m.Render.GetRingReadPosition(), 2u);
    EXPECT_EQ(m.Render.GetBorderColour(), 5);

    m.Render.DrawUpToTact(30'000);
    EXPECT_EQ(m.Render.GetPaperPosition(), 30'000);

    m.Video.ResetBorderLog();
    m.Video.BorderWrite(6);
    m.Render.Reset();
    EXPECT_EQ(m.Render.GetRingReadPosition(), 0u);
    EXPECT_EQ(m.Render.GetFrameStartReadPosition(), 0u);
    EXPECT_EQ(m.Render.GetBorderColour(), 6);
    EXPECT_EQ(m.Render.GetPaperPosition(), 0);
}

TEST(RenderInit, ReadsFromTheChipsCurrentRingPosition)
{
    TRenderTestMachine m(false);
    m.Border(10, 4);
    m.Border(20, 2);
    m.Render.Init(&m.Video);
    EXPECT_EQ(m.Render.GetRingReadPosition(), 2u);
    EXPECT_EQ(m.Render.GetBorderColour(), 2);
    // The still picture shows the chip's border everywhere.
    EXPECT_EQ(m.Pair(30'000), (std::pair<u8, u8>{2, 2}));
    EXPECT_EQ(m.Render.GetDC()->GetSerial() > 0, true);
}

} // namespace
