#include "host/Render.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/Video_card.h"
#include "host/Indexed_surface.h"

#include <algorithm>

namespace {

u8 Option(const std::atomic<u8>& option)
{
    return option.load(std::memory_order_relaxed);
}

i32 ClampTo(i32 value, i32 maximum)
{
    return std::clamp(value, 0, std::max(maximum, 0));
}

} // namespace

TRender::TRender() = default;

TRender::~TRender() = default;

u8 TRender::CurrentFlashMask()
{
    return g_Clock ? g_Clock->GetFlashMask() : TClock::FlashOn;
}

void TRender::SyncVideoCard()
{
    if (!VideoCard)
        return;
    RingColours = VideoCard->GetRingColours();
    RingTStates = VideoCard->GetRingTStates();
    RingMask = VideoCard->GetRingMask();
    AttributeLatch = VideoCard->GetAttributeLatch();
    PixelLatch = VideoCard->GetPixelLatch();
}

void TRender::Init(TVideoCard* videoCard)
{
    Requests.store(0, std::memory_order_relaxed);
    BuildColourPairs();
    Mix = &g_Palette.GetMix();
    VideoCard = videoCard;
    SyncVideoCard();
    BorderColour = FrameStartBorderColour = VideoCard ? VideoCard->GetBorder() : 0;
    RingReadPosition = FrameStartReadPosition = VideoCard ? VideoCard->GetRingWritePosition() : 0;
    PaperPosition = 0;
    LoadTimings();
    BuildLineSegments();
    CreateDIB();
    CreateLineTable();
    Clear();
    DrawStatic(0xFF);
}

void TRender::LoadTimings()
{
    const TSettings& settings = *g_Settings;
    LinesPerFrame = static_cast<i32>(settings.LinesPerFrame);
    TStatesPerLine = static_cast<i32>(settings.TStatesPerLine);
    FirstTopBorderLine = static_cast<i32>(settings.LinesPerVSync);
    FirstPaperLine = FirstTopBorderLine + static_cast<i32>(settings.LinesPerTopBorder);
    SyncPixels = static_cast<i32>(settings.PixelsPerHSync);
    SyncAndBlankPixels = SyncPixels + static_cast<i32>(settings.PixelsPerHBlank);
    RestPixels = settings.PixelsPerLineRest;
    FirstPaperPixel = SyncAndBlankPixels + static_cast<i32>(settings.PixelsPerLeftBorder);
    FirstBottomBorderLine = LinesPerFrame - static_cast<i32>(settings.LinesPerBottomBorder);
    TStatesPerFrame = static_cast<i32>(settings.TStatesPerFrame);
    PixelsPerLine = static_cast<i32>(settings.PixelsPerLine);
    TopBorderLines = static_cast<i32>(settings.LinesPerTopBorder);
    BottomBorderLines = static_cast<i32>(settings.LinesPerBottomBorder);
    SyncLines = static_cast<i32>(settings.LinesPerVSync);
    LeftBorderPixels = static_cast<i32>(settings.PixelsPerLeftBorder);
    RightBorderPixels = static_cast<i32>(settings.PixelsPerRightBorder);
    FirstRightBorderPixel = FirstPaperPixel + PaperWidth;
    // The visible picture cannot be wider than the border it shows: a larger
    // value would put the dim regions outside the bitmap.
    TVTopBorderLines = ClampTo(settings.LinesPerTVTopBorder.load(std::memory_order_relaxed), TopBorderLines);
    TVBottomBorderLines = ClampTo(settings.LinesPerTVBottomBorder.load(std::memory_order_relaxed), BottomBorderLines);
    TVLeftBorderPixels = ClampTo(settings.PixelsPerTVLeftBorder.load(std::memory_order_relaxed), LeftBorderPixels);
    TVRightBorderPixels = ClampTo(settings.PixelsPerTVRightBorder.load(std::memory_order_relaxed), RightBorderPixels);
}

bool TRender::IsGeometryValid() const
{
    return TStatesPerLine > 0 && LinesPerFrame > 0 && LinesPerFrame <= TIndexedSurface::MaxSide
        && PixelsPerLine == 2 * TStatesPerLine && PixelsPerLine <= TIndexedSurface::MaxSide
        && TStatesPerFrame == TStatesPerLine * LinesPerFrame && SyncLines >= 0 && SyncLines == FirstTopBorderLine
        && FirstTopBorderLine <= FirstPaperLine && FirstPaperLine + PaperHeight == FirstBottomBorderLine
        && FirstBottomBorderLine <= LinesPerFrame && SyncPixels >= 0 && SyncPixels <= SyncAndBlankPixels
        && SyncAndBlankPixels <= FirstPaperPixel && RestPixels >= 0 && RightBorderPixels >= 0
        && FirstRightBorderPixel + RightBorderPixels + RestPixels == PixelsPerLine;
}

void TRender::BuildColourPairs()
{
    // Palette index by bright x 8 + colour; bright black is plain black.
    static constexpr u8 Map[16] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 8, 9, 10, 11, 12, 13, 14};
    if (!Option(g_Settings->Attributes)) {
        ColourPairs.fill(TColourPair{0, 7});
        return;
    }
    for (u32 a = 0; a < 256; ++a) {
        const u8 ink = Map[((a >> 3) & 8) | (a & 7)];
        const u8 paper = Map[(a >> 3) & 15];
        ColourPairs[a] = (a & 0x80) ? TColourPair{paper, ink} : TColourPair{ink, paper};
    }
}

void TRender::BuildLineSegments()
{
    Segments.clear();
    if (!IsGeometryValid())
        return;
    const bool wide = Option(g_Settings->WideBorder) != 0;
    const bool screen = Option(g_Settings->Screen) != 0;
    const i32 t = TStatesPerLine;
    const i32 lead = wide ? 0 : SyncAndBlankPixels / 2;
    const i32 trail = wide ? 0 : RestPixels / 2;
    Segments.reserve(static_cast<size_t>(LinesPerFrame + PaperHeight));
    if (wide) {
        for (i32 line = 0; line < SyncLines; ++line)
            Segments.push_back({line * t, (line + 1) * t});
    }
    for (i32 line = FirstTopBorderLine; line < FirstPaperLine; ++line)
        Segments.push_back({line * t + lead, (line + 1) * t - trail});
    for (i32 line = FirstPaperLine; line < FirstBottomBorderLine; ++line) {
        if (screen) {
            Segments.push_back({line * t + lead, line * t + FirstPaperPixel / 2});
            Segments.push_back({(line + 1) * t - (RestPixels + RightBorderPixels) / 2, (line + 1) * t - trail});
        } else {
            Segments.push_back({line * t + lead, (line + 1) * t - trail});
        }
    }
    for (i32 line = FirstBottomBorderLine; line < LinesPerFrame; ++line)
        Segments.push_back({line * t + lead, (line + 1) * t - trail});
}

void TRender::Reset()
{
    RingReadPosition = 0;
    FrameStartReadPosition = 0;
    BorderColour = FrameStartBorderColour = VideoCard ? VideoCard->GetBorder() : 0;
    PaperPosition = 0;
}

u32 TRender::ApplyRequests()
{
    const u32 changes = Requests.exchange(0, std::memory_order_acq_rel);
    if (changes & ChangeTimings)
        LoadTimings();
    if (changes & ChangeRecreate)
        CreateDIB();
    if (changes & (ChangeTimings | ChangeLineSegments))
        BuildLineSegments();
    if (changes & (ChangeTimings | ChangeDimRegions))
        BuildDimRegions();
    if (changes & ChangeColourPairs)
        BuildColourPairs();
    if (changes & ChangeClear)
        Clear();
    return changes;
}
