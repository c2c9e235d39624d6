#include "host/Render_gdi_8bit.h"

#include "core/Settings.h"
#include "core/Video_card.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "a paper byte is stored as one 64-bit word");

// For each pixel byte, a word with 0xFF in every pixel position whose bit is
// set; pixel 0 (the first in memory, the lowest byte) is bit 7.
constexpr std::array<u64, 256> MakePixelMasks()
{
    std::array<u64, 256> masks{};
    for (u32 value = 0; value < 256; ++value)
        for (u32 pixel = 0; pixel < 8; ++pixel)
            if (value & (0x80u >> pixel))
                masks[value] |= u64{0xFF} << (8 * pixel);
    return masks;
}

constexpr std::array<u64, 256> PixelMasks = MakePixelMasks();
constexpr u64 EveryByte = 0x0101010101010101ull;

// The eight pixels of one screen byte: a set bit takes the pair's first
// colour, a clear bit its second.
inline u64 PaperWord(u8 pixels, TRender::TColourPair pair)
{
    const u64 mask = PixelMasks[pixels];
    return (pair.Ink * EveryByte & mask) | (pair.Paper * EveryByte & ~mask);
}

// A colour pair spread over the eight pixels of a byte: all paper, and the
// bits that turn a paper pixel into an ink one. Of gives PaperWord's result.
struct TPaperWords {
    u64 Paper = 0;
    u64 InkFlip = 0;
    u64 Of(u8 pixels) const { return Paper ^ (InkFlip & PixelMasks[pixels]); }
};

inline TPaperWords PaperWords(TRender::TColourPair pair)
{
    return {pair.Paper * EveryByte, static_cast<u8>(pair.Ink ^ pair.Paper) * EveryByte};
}

u8 Option(const std::atomic<u8>& option)
{
    return option.load(std::memory_order_relaxed);
}

} // namespace

TRenderGDI8Bit::TRenderGDI8Bit() = default;

TRenderGDI8Bit::~TRenderGDI8Bit() = default;

bool TRenderGDI8Bit::CanDraw() const
{
    return VideoCard && Mix && Bits && IsGeometryValid() && Bits == Surface.GetBits()
        && Surface.GetWidth() == PixelsPerLine && Surface.GetHeight() == LinesPerFrame
        && LineTable.size() == static_cast<size_t>(LinesPerFrame);
}

u8 TRenderGDI8Bit::GetPixel(i32 x, i32 y) const
{
    const u8* bits = Surface.GetBits();
    if (!bits || x < 0 || y < 0 || x >= Surface.GetWidth() || y >= Surface.GetHeight())
        return 0;
    return bits[static_cast<size_t>(y) * static_cast<size_t>(Surface.GetWidth()) + static_cast<size_t>(x)];
}

bool TRenderGDI8Bit::PutPixel(i32 x, i32 y, u8 index)
{
    u8* bits = Surface.GetBits();
    if (!bits || x < 0 || y < 0 || x >= Surface.GetWidth() || y >= Surface.GetHeight() || x >= PixelsPerLine
        || y >= LinesPerFrame)
        return false;
    u8& pixel = bits[static_cast<size_t>(y) * static_cast<size_t>(Surface.GetWidth()) + static_cast<size_t>(x)];
    const bool changed = pixel != index;
    pixel = index;
    return changed;
}

// --- Picture and tables ---

void TRenderGDI8Bit::CreateDIB()
{
    Requests.fetch_and(~static_cast<u32>(ChangeRecreate), std::memory_order_acq_rel);
    RemoveMarker();
    g_Palette.Build(0);
    if (!IsGeometryValid())
        return;
    std::array<TIndexedSurface::TRgb, TIndexedSurface::ColourTableSize> colours{};
    const i32 count = static_cast<i32>(std::min<u32>(g_Palette.GetCount(), TIndexedSurface::ColourTableSize));
    const TPaletteEntry* entries = g_Palette.GetEntries(true);
    for (i32 i = 0; i < count; ++i)
        colours[static_cast<size_t>(i)] = TIndexedSurface::MakeRgb(entries[i].Red, entries[i].Green, entries[i].Blue);
    // On failure the previous picture and its colours stay; the pixels of a
    // successful re-creation keep their indices, which now mean the new colours.
    if (!Surface.Create(PixelsPerLine, LinesPerFrame, colours.data(), count))
        return;
    CreateLineTable();
    Publish();
}

void TRenderGDI8Bit::CreateLineTable()
{
    Bits = Surface.GetBits();
    LineTable.clear();
    if (Bits) {
        const size_t width = static_cast<size_t>(Surface.GetWidth());
        LineTable.reserve(static_cast<size_t>(Surface.GetHeight()));
        for (i32 y = 0; y < Surface.GetHeight(); ++y)
            LineTable.push_back(Bits + static_cast<size_t>(y) * width);
    }
    BuildDimRegions();
}

void TRenderGDI8Bit::BuildDimRegions()
{
    DimRegionCount = 0;
    if (!CanDraw())
        return;
    const bool wide = Option(g_Settings->WideBorder) != 0;
    const i32 tl = TVTopBorderLines, tb = TVBottomBorderLines, vl = TVLeftBorderPixels, vr = TVRightBorderPixels;
    const i32 visibleTop = FirstPaperLine - tl;
    const i32 visibleHeight = tl + PaperHeight + tb;
    const i32 belowTop = FirstBottomBorderLine + tb;
    const i32 borderWidth = LeftBorderPixels + PaperWidth + RightBorderPixels;
    struct TRect {
        i32 X, Y, Width, Height;
    };
    std::array<TRect, MaxDimRegions> rects{};
    i32 count = 0;
    if (wide) {
        rects[count++] = {0, 0, PixelsPerLine, visibleTop};
        rects[count++] = {0, visibleTop, FirstPaperPixel - vl, visibleHeight};
        rects[count++] = {FirstRightBorderPixel + vr, visibleTop, RightBorderPixels - vr + RestPixels, visibleHeight};
        rects[count++] = {0, belowTop, PixelsPerLine, BottomBorderLines - tb};
    } else {
        rects[count++] = {SyncAndBlankPixels, FirstTopBorderLine, borderWidth, TopBorderLines - tl};
        rects[count++] = {SyncAndBlankPixels, visibleTop, LeftBorderPixels - vl, visibleHeight};
        rects[count++] = {FirstRightBorderPixel + vr, visibleTop, RightBorderPixels - vr, visibleHeight};
        rects[count++] = {SyncAndBlankPixels, belowTop, borderWidth, BottomBorderLines - tb};
    }
    // Without the paper the border segments cover it, so it is redrawn every
    // frame and may be dimmed like the border.
    if (!Option(g_Settings->Screen))
        rects[count++] = {FirstPaperPixel, FirstPaperLine, PaperWidth, PaperHeight};

    for (i32 i = 0; i < count; ++i) {
        const TRect& r = rects[static_cast<size_t>(i)];
        const i32 x0 = std::clamp(r.X, 0, PixelsPerLine), x1 = std::clamp(r.X + r.Width, 0, PixelsPerLine);
        const i32 y0 = std::clamp(r.Y, 0, LinesPerFrame), y1 = std::clamp(r.Y + r.Height, 0, LinesPerFrame);
        if (x1 <= x0 || y1 <= y0)
            continue;
        DimRegions[static_cast<size_t>(DimRegionCount++)] = {LineTable[static_cast<size_t>(y0)] + x0, x1 - x0, y1 - y0,
                                                             x0, y0};
    }
}

// --- Drawing ---

TRenderGDI8Bit::TPaperProgress TRenderGDI8Bit::PaperProgressAt(i32 tact) const
{
    if (tact <= 0)
        return {};
    i32 line = tact / TStatesPerLine;
    i32 into = tact % TStatesPerLine - FirstPaperPixel / 2;  // T-states into the paper of the line
    const i32 paperTStates = PaperWidth / 2;
    // Before the paper of its line the beam has finished the previous line.
    if (into < 0) {
        --line;
        into = paperTStates;
    }
    const i32 y = line - FirstPaperLine;
    if (y < 0)
        return {};
    if (y >= PaperHeight)
        return {PaperBytes, 0};
    if (into >= paperTStates)
        return {(y + 1) * PaperColumns, 0};
    return {y * PaperColumns + into / 4, 2 * (into % 4)};
}

void TRenderGDI8Bit::DrawLatchedPaper(i32 first, i32 last, i32 pixels)
{
    const u8 flashMask = CurrentFlashMask();
    first = std::clamp(first, 0, PaperBytes);
    last = std::clamp(last, first, PaperBytes);
    // The eight pixels of every attribute as two words, this frame's flash
    // mask applied: a byte then costs two table loads and no multiplies.
    std::array<TPaperWords, 256> words;
    for (u32 attribute = 0; attribute < 256; ++attribute)
        words[attribute] = PaperWords(ColourPairs[attribute & flashMask]);
    // Locals: the stores into the picture may alias any byte, members too.
    const u8* pixelLatch = PixelLatch + 1;
    const u8* attributeLatch = AttributeLatch + 1;
    for (i32 index = first; index < last;) {
        const i32 line = index >> 5;
        const i32 lineEnd = std::min(last, (line + 1) * PaperColumns);
        u8* row = LineTable[static_cast<size_t>(FirstPaperLine + line)] + FirstPaperPixel;
        for (; index < lineEnd; ++index) {
            const u64 word = words[attributeLatch[index]].Of(pixelLatch[index]);
            std::memcpy(row + 8 * (index & 31), &word, 8);
        }
    }
    if (pixels > 0 && last < PaperBytes) {
        u8* dest = LineTable[static_cast<size_t>(FirstPaperLine + (last >> 5))] + FirstPaperPixel + 8 * (last & 31);
        const u64 word = PaperWord(PixelLatch[last + 1], ColourPairs[AttributeLatch[last + 1] & flashMask]);
        std::memcpy(dest, &word, static_cast<size_t>(std::min(pixels, 8)));
    }
}

void TRenderGDI8Bit::DrawPaperFromMemory(u8 flashMask)
{
    const u8* screen = VideoCard->GetScreenMemory();
    if (!screen)
        return;
    for (i32 y = 0; y < PaperHeight; ++y) {
        const u8* pixelRow = screen + (((y & 0xC0) << 5) | ((y & 7) << 8) | ((y & 0x38) << 2));
        const u8* attributeRow = screen + 0x1800 + (y >> 3) * PaperColumns;
        u8* dest = LineTable[static_cast<size_t>(FirstPaperLine + y)] + FirstPaperPixel;
        for (i32 x = 0; x < PaperColumns; ++x) {
            const u64 word = PaperWord(pixelRow[x], ColourPairs[attributeRow[x] & flashMask]);
            std::memcpy(dest + 8 * x, &word, 8);
        }
    }
}

void TRenderGDI8Bit::FillSegments(u8 colour)
{
    for (const TSegment& segment : Segments) {
        if (segment.Start < 0 || segment.End > TStatesPerFrame || segment.Start >= segment.End)
            continue;
        std::memset(Bits + 2 * static_cast<size_t>(segment.Start), colour,
                    2 * static_cast<size_t>(segment.End - segment.Start));
    }
}

TRenderGDI8Bit::TRingPlace TRenderGDI8Bit::DrawBorder(TRingPlace from, u32 end, i32 limit, bool consumeAll)
{
    const u32 mask = RingMask;
    u32 r = from.Position & mask;
    const u32 p = end & mask;
    u8 c = from.Colour & 7;
    const TPalette::TMixTable& mix = *Mix;
    auto fill = [this](u32 first, u32 last, u8 colour) {
        if (last > first)
            std::memset(Bits + 2 * static_cast<size_t>(first), colour, 2 * static_cast<size_t>(last - first));
    };

    for (const TSegment& segment : Segments) {
        if (segment.Start >= limit)
            break;
        if (segment.Start < 0 || segment.End > TStatesPerFrame || segment.Start >= segment.End)
            continue;
        const u32 s = static_cast<u32>(segment.Start);
        const u32 e = static_cast<u32>(std::min(segment.End, limit));
        // Changes before the segment only set its starting colour.
        while (r != p && RingTStates[r] < s) {
            c = RingColours[r] & 7;
            r = (r + 1) & mask;
        }
        u32 t = s;
        while (r != p && RingTStates[r] < e) {
            const u32 stamp = RingTStates[r];
            const u8 next = RingColours[r] & 7;
            r = (r + 1) & mask;
            // A second change at the same stamp lands on the next pair; one
            // that would land at the segment's end only sets the colour.
            const u32 at = std::max(t, stamp);
            if (at < e) {
                fill(t, at, c);
                Bits[2 * static_cast<size_t>(at)] = c;
                Bits[2 * static_cast<size_t>(at) + 1] = mix[c][next];
                t = at + 1;
            }
            c = next;
        }
        fill(t, e, c);
    }
    if (consumeAll) {
        while (r != p) {
            c = RingColours[r] & 7;
            r = (r + 1) & mask;
        }
    }
    return {r, c};
}

void TRenderGDI8Bit::Dim()
{
    if (!Option(g_Settings->BorderShading))
        return;
    for (i32 i = 0; i < DimRegionCount; ++i) {
        const TDimRegion& region = DimRegions[static_cast<size_t>(i)];
        // Locals, not the region's fields: the stores through `row` could
        // alias those, and the reloads would keep the loop from being
        // vectorised.
        u8* row = region.TopLeft;
        const i32 width = region.Width;
        const i32 height = region.Height;
        const size_t stride = static_cast<size_t>(PixelsPerLine);
        for (i32 y = 0; y < height; ++y, row += stride) {
            // Only unshaded colours are shaded: a byte is never shaded twice,
            // whatever drew (or failed to redraw) it.
            for (i32 x = 0; x < width; ++x)
                row[x] = static_cast<u8>(row[x] + (row[x] < TPalette::ShadeOffset ? TPalette::ShadeOffset : 0));
        }
    }
}

void TRenderGDI8Bit::RenderFrame()
{
    DrawFrame();
    if (CanDraw())
        Publish();
}

void TRenderGDI8Bit::DrawFrame()
{
    RemoveMarker();
    PaperPosition = 0;
    if (!CanDraw()) {
        // Nothing to draw into: keep up with the ring all the same.
        if (VideoCard) {
            RingReadPosition = FrameStartReadPosition = VideoCard->GetRingWritePosition();
            BorderColour = FrameStartBorderColour = VideoCard->GetBorder();
        }
        return;
    }
    SyncVideoCard();
    if (Option(g_Settings->Screen))
        DrawLatchedPaper(0, PaperBytes, 0);
    FrameStartReadPosition = RingReadPosition;
    FrameStartBorderColour = BorderColour;
    const TRingPlace place =
        DrawBorder({RingReadPosition, BorderColour}, VideoCard->GetRingWritePosition(), INT_MAX, true);
    RingReadPosition = place.Position;
    BorderColour = place.Colour;
    Dim();
}

void TRenderGDI8Bit::DrawScreen()
{
    RemoveMarker();
    if (!CanDraw())
        return;
    SyncVideoCard();
    DrawLatchedPaper(0, PaperBytes, 0);
    Publish();
}

void TRenderGDI8Bit::DrawStatic(u8 flashMask)
{
    RemoveMarker();
    if (!CanDraw())
        return;
    if (Option(g_Settings->Screen))
        DrawPaperFromMemory(flashMask);
    FillSegments(VideoCard->GetBorder() & 7);
    Dim();
    Publish();
}

void TRenderGDI8Bit::DrawUpToTact(i32 tact)
{
    RemoveMarker();
    if (!CanDraw())
        return;
    SyncVideoCard();
    const bool screen = Option(g_Settings->Screen) != 0;
    if (Option(g_Settings->DebugMode) == 1) {
        // "RealTime": the machine as it is now.
        FillSegments(VideoCard->GetBorder() & 7);
        if (screen)
            DrawPaperFromMemory(0xFF);
    } else {
        // "RayTrace": this frame where the beam has passed, the last one beyond.
        if (screen) {
            const TPaperProgress to = PaperProgressAt(tact);
            // A beam behind the last drawing (the T-state was set from
            // outside) draws this frame's paper again from its start.
            const i32 from = tact < PaperPosition ? 0 : PaperProgressAt(PaperPosition).Bytes;
            DrawLatchedPaper(from, to.Bytes, to.Pixels);
        }
        PaperPosition = tact;
        const TRingPlace kept{RingReadPosition, BorderColour};
        DrawBorder({FrameStartReadPosition, FrameStartBorderColour}, kept.Position, INT_MAX, false);
        DrawBorder(kept, VideoCard->GetRingWritePosition(), tact, false);
    }
    Dim();
    Publish();
}

void TRenderGDI8Bit::Clear()
{
    RemoveMarker();
    if (!CanDraw())
        return;
    const TSettings& settings = *g_Settings;
    const size_t width = static_cast<size_t>(PixelsPerLine);
    for (i32 y = 0; y < LinesPerFrame; ++y) {
        u8* row = LineTable[static_cast<size_t>(y)];
        if (y < SyncLines)
            std::memset(row, 0, width);
        else
            std::memset(row, 0, static_cast<size_t>(SyncAndBlankPixels));
    }
    if (Option(settings.SyncPulses)) {
        for (i32 y = 0; y < LinesPerFrame; ++y) {
            u8* row = LineTable[static_cast<size_t>(y)];
            if (y < SyncLines)
                std::memset(row + SyncPixels, settings.SyncColour, width - static_cast<size_t>(SyncPixels));
            else
                std::memset(row, settings.SyncColour, static_cast<size_t>(SyncPixels));
        }
    }
    if (Option(settings.InterruptPulse)) {
        const size_t length = std::min<size_t>(2 * static_cast<size_t>(settings.InterruptLength), width);
        std::memset(LineTable[0], settings.InterruptColour, length);
    }
    Publish();
}

// --- The beam marker ---

bool TRenderGDI8Bit::HideMarker()
{
    bool changed = false;
    if (MarkerShown && MarkerActive) {
        changed |= PutPixel(MarkerX, MarkerY, SavedCentre);
        for (i32 d = 1; d <= MarkerArm; ++d) {
            const std::array<u8, 4>& saved = SavedArms[static_cast<size_t>(d - 1)];
            changed |= PutPixel(MarkerX + d, MarkerY, saved[0]);
            changed |= PutPixel(MarkerX - d, MarkerY, saved[1]);
            changed |= PutPixel(MarkerX, MarkerY + d, saved[2]);
            changed |= PutPixel(MarkerX, MarkerY - d, saved[3]);
        }
    }
    MarkerShown = 0;
    return changed;
}

bool TRenderGDI8Bit::RemoveMarker()
{
    const bool changed = HideMarker();
    MarkerActive = 0;
    return changed;
}

// The marker operations publish only a picture they changed: the screen
// view's blinking calls them at every tick, and an unchanged copy would only
// cost the copy.
void TRenderGDI8Bit::HideBeamMarker()
{
    if (HideMarker())
        Publish();
}

void TRenderGDI8Bit::RemoveBeamMarker()
{
    if (RemoveMarker())
        Publish();
}

void TRenderGDI8Bit::ShowBeamMarker(i32 tact)
{
    if (!CanDraw())
        return;
    // A cross still standing at another T-state goes first, or it would
    // stay on the picture for good.
    bool changed = false;
    if (MarkerActive && tact != MarkerTact)
        changed = HideMarker();
    if (!MarkerActive || tact != MarkerTact) {
        MarkerTact = tact;
        MarkerX = (tact % TStatesPerLine) * 2;
        MarkerY = tact / TStatesPerLine;
        SavedCentre = GetPixel(MarkerX, MarkerY);
        for (i32 d = 1; d <= MarkerArm; ++d) {
            SavedArms[static_cast<size_t>(d - 1)] = {GetPixel(MarkerX + d, MarkerY), GetPixel(MarkerX - d, MarkerY),
                                                     GetPixel(MarkerX, MarkerY + d), GetPixel(MarkerX, MarkerY - d)};
        }
        MarkerActive = 1;
    }
    MarkerShown = 1;
    changed |= PutPixel(MarkerX, MarkerY, MarkerLight);
    for (i32 d = 1; d <= MarkerArm; ++d) {
        const u8 colour = (d & 1) ? MarkerDark : MarkerLight;
        changed |= PutPixel(MarkerX + d, MarkerY, colour);
        changed |= PutPixel(MarkerX - d, MarkerY, colour);
        changed |= PutPixel(MarkerX, MarkerY + d, colour);
        changed |= PutPixel(MarkerX, MarkerY - d, colour);
    }
    if (changed)
        Publish();
}
