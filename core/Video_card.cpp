#include "core/Video_card.h"

#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Z80.h"

#include <algorithm>

namespace {

// The phase after `tstates` T-states of which `noted` only counted: every
// other one latched and turned it.
bool TurnPhase(bool phase, i64 tstates, i64 noted)
{
    return phase != (((tstates - noted) & 1) != 0);
}

} // namespace

TVideoCard::TVideoCard(TMemory* memory, TZ80* cpu) : Memory(memory), Cpu(cpu)
{
    const TSettings& settings = *g_Settings;
    AllocatePorts(1);
    AddPort(new TPort(settings.BorderPort, settings.BorderPortMask,
                      TOutHandler::Bind<TVideoCard, &TVideoCard::BorderWrite>(this)));
    ResetScreenMemory();
    ApplySettings();
}

TVideoCard::~TVideoCard() = default;

void TVideoCard::CopyGeometry()
{
    const TSettings& settings = *g_Settings;
    const i32 tStatesPerLine = static_cast<i32>(settings.TStatesPerLine);
    const i32 tStatesPerFrame = static_cast<i32>(settings.TStatesPerFrame);
    // Every table is indexed by frame T-state; a frame without T-states
    // would leave nothing to index (and nothing to wrap by).
    if (tStatesPerLine <= 0 || tStatesPerFrame <= 0)
        throw TTextError("Invalid frame timings.");
    FirstTopBorderLine = static_cast<i32>(settings.LinesPerVSync);
    FirstPaperLine = FirstTopBorderLine + static_cast<i32>(settings.LinesPerTopBorder);
    SyncAndBlankPixels = static_cast<i32>(settings.PixelsPerHSync + settings.PixelsPerHBlank);
    FirstPaperPixel = SyncAndBlankPixels + static_cast<i32>(settings.PixelsPerLeftBorder);
    TStatesPerLine = tStatesPerLine;
    LinesPerFrame = static_cast<i32>(settings.LinesPerFrame);
    FirstBottomBorderLine = LinesPerFrame - static_cast<i32>(settings.LinesPerBottomBorder);
    TStatesPerFrame = tStatesPerFrame;
}

void TVideoCard::ApplySettings()
{
    CopyGeometry();
    BuildAddressTable();
    BuildLatchTable();
    ResizeBorderLog();
    LatchWholeScreen();
}

u32 TVideoCard::WrapTact(i32 tact) const
{
    i32 t = tact % TStatesPerFrame;
    if (t < 0)
        t += TStatesPerFrame;
    return static_cast<u32>(t);
}

// --- Border ---

void TVideoCard::BorderWrite(u8 value)
{
    const u8 colour = value & 7;
    if (colour == BorderColour)
        return;
    BorderColour = colour;
    // The change is stamped one T-state before the OUT's count, so the
    // renderer blends it into the second pixel of that T-state. A write at
    // T-state 0 (a snapshot setting the border) stamps 0: the renderer
    // compares stamps as unsigned numbers.
    const i32 tact = Cpu ? Cpu->Tact : 0;
    RingTStates[RingWritePosition] = static_cast<u32>(std::max(tact - 1, 0));
    RingColours[RingWritePosition] = colour;
    RingWritePosition = (RingWritePosition + 1) & RingMask;
}

// --- Tables ---

void TVideoCard::ResizeBorderLog()
{
    // Room for a change every 5.5 T-states of a frame, the fastest an OUT
    // loop can switch colours, so the renderer rarely finds it overrun.
    const u32 needed = static_cast<u32>(TStatesPerFrame) * 2 / 11;
    u32 size = 1;
    while (size < needed)
        size <<= 1;
    RingTStates.assign(size, 0);
    RingColours.assign(size, 0);
    RingMask = size - 1;
    RingWritePosition = 0;
}

void TVideoCard::BuildAddressTable()
{
    const TSettings& settings = *g_Settings;
    const i32 beamStart =
        static_cast<i32>((settings.PixelsPerHSync + settings.PixelsPerHBlank) / 2 + settings.PixelsPerLeftBorder / 2);
    AddressTable.assign(static_cast<size_t>(TStatesPerFrame + LatchLead), TScreenAddress{0, 0});
    for (i32 tact = 0; tact < TStatesPerFrame + LatchLead; ++tact) {
        const i32 frameTact = tact % TStatesPerFrame;
        const u16 y = static_cast<u16>(frameTact / TStatesPerLine - FirstPaperLine);
        const i32 x = (frameTact % TStatesPerLine - beamStart) >> 2;
        // x is masked to a column so that every entry, not only those of the
        // paper, stays inside the 16 KB page.
        const u32 attribute = 0x1800u | ((y * 4u) & 0x3E0u) | (static_cast<u32>(x) & 0x1Fu);
        const u32 pixel = (attribute & 0xFFu) | ((y * 256u) & 0x700u) | ((y * 32u) & 0x1800u);
        AddressTable[static_cast<size_t>(tact)] = {static_cast<u16>(pixel), static_cast<u16>(attribute)};
    }
    RebuildRequest.store(0, std::memory_order_relaxed);
    CheckUniformColumns();
}

void TVideoCard::BuildLatchTable()
{
    LatchTable.assign(static_cast<size_t>(TStatesPerFrame), 0);
    for (i32 y = 0; y < PaperLines; ++y) {
        const i64 lineStart = LatchWindowStart(y);
        for (i32 c = 0; c < LatchWindow; ++c) {
            if (c % 4 == 0)
                continue;
            const i64 tact = lineStart + c;
            // Only a frame that cannot hold the paper puts entries outside.
            if (tact < 0 || tact >= TStatesPerFrame)
                continue;
            LatchTable[static_cast<size_t>(tact)] = static_cast<u16>(y * PaperColumns + c / 4 + 1);
        }
    }
    FreeRun.assign(static_cast<size_t>(TStatesPerFrame), 0);
    u32 run = 0;
    for (i32 tact = TStatesPerFrame - 1; tact >= 0; --tact) {
        run = LatchTable[static_cast<size_t>(tact)] ? 0 : std::min<u32>(run + 1, 255);
        FreeRun[static_cast<size_t>(tact)] = static_cast<u8>(run);
    }
    CheckUniformColumns();
}

void TVideoCard::CheckUniformColumns()
{
    UniformColumns = false;
    if (TStatesPerLine < LatchWindow || LatchTable.size() != static_cast<size_t>(TStatesPerFrame)
        || AddressTable.size() != static_cast<size_t>(TStatesPerFrame + LatchLead))
        return;
    for (i32 y = 0; y < PaperLines; ++y) {
        const i64 windowStart = LatchWindowStart(y);
        if (windowStart < 0 || windowStart + LatchWindow > TStatesPerFrame)
            return;
        const TScreenAddress first = AddressTable[static_cast<size_t>(windowStart + 1 + LatchLead)];
        // Writes are checked against the latches only inside the screen.
        if (u32{first.Pixel} + PaperColumns > ScreenBytes || u32{first.Attribute} + PaperColumns > ScreenBytes)
            return;
        for (i32 c = 0; c < LatchWindow; ++c) {
            if (c % 4 == 0)
                continue;
            const size_t tact = static_cast<size_t>(windowStart + c);
            const u16 column = static_cast<u16>(c / 4);
            const TScreenAddress address = AddressTable[tact + LatchLead];
            if (LatchTable[tact] != y * PaperColumns + column + 1 || address.Pixel != first.Pixel + column
                || address.Attribute != first.Attribute + column)
                return;
        }
        LinePixelAddress[static_cast<size_t>(y)] = first.Pixel;
        LineAttributeAddress[static_cast<size_t>(y)] = first.Attribute;
    }
    // A byte no latch reads has an empty span.
    ScreenByteLatchSpans.assign(ScreenBytes, TLatchSpan{TStatesPerFrame, 0});
    for (i32 y = 0; y < PaperLines; ++y) {
        for (i32 column = 0; column < PaperColumns; ++column) {
            const i32 first = static_cast<i32>(LatchWindowStart(y)) + 4 * column + 1;
            for (const u32 offset : {u32{LinePixelAddress[static_cast<size_t>(y)]} + column,
                                     u32{LineAttributeAddress[static_cast<size_t>(y)]} + column}) {
                TLatchSpan& span = ScreenByteLatchSpans[offset];
                span.First = std::min(span.First, first);
                span.End = std::max(span.End, first + 3);
            }
        }
    }
    UniformColumns = true;
}

// --- Screen latches ---

void TVideoCard::LatchWholeScreen()
{
    for (i32 line = FirstPaperLine; line < FirstBottomBorderLine; ++line) {
        const i32 first = static_cast<i32>(LatchWindowStart(line - FirstPaperLine));
        for (i32 c = 0; c < LatchWindow; ++c)
            LatchScreen(first + c);
    }
}

// --- Latching behind the processor ---

void TVideoCard::OpenLatchRegion(i32 tact)
{
    NotedCount = TNoteCount{0};
    RegionStart = tact;
    RegionOpen = true;
}

void TVideoCard::CloseLatchRegion(i32 tact)
{
    CatchUpLatches(tact);
    RegionOpen = false;
}

void TVideoCard::CatchUpLatches(i32 tact)
{
    const TNotedTState* noted = Noted.data();
    const TNotedTState* notedEnd = noted + static_cast<u32>(NotedCount);
    NotedCount = TNoteCount{0};
    if (!RegionOpen || tact <= RegionStart)
        return;
    const i32 first = RegionStart;
    RegionStart = tact;
    const bool phaseAfter = TurnPhase(LatchPhase, static_cast<i64>(tact) - first, notedEnd - noted);
    // A region runs past the frame end by at most a step, which in the
    // standard geometry reaches no latch of the next frame.
    if (UniformColumns && first >= 0 && first < TStatesPerFrame && tact - TStatesPerFrame <= LatchWindowStart(0))
        ReplayColumns(first, std::min(tact, TStatesPerFrame), noted, notedEnd);
    else
        ReplayTStates(first, tact, LatchPhase, noted, notedEnd);
    LatchPhase = phaseAfter;
}

bool TVideoCard::ReplayTStates(i32 first, i32 last, bool phase, const TNotedTState* noted,
                               const TNotedTState* notedEnd)
{
    const u8* screen = ScreenMemory.load(std::memory_order_relaxed);
    i32 tact = first;
    while (tact < last) {
        const u32 t = static_cast<u32>(tact) < static_cast<u32>(TStatesPerFrame) ? static_cast<u32>(tact) : WrapTact(tact);
        if (const i32 free = FreeRun[t]; free > 0) {
            // Nothing latches here: only the phase turns.
            const i32 stop = static_cast<i32>(std::min<i64>(last, static_cast<i64>(tact) + free));
            i32 counted = 0;
            for (; noted != notedEnd && static_cast<i32>(*noted) < stop; ++noted)
                ++counted;
            phase = TurnPhase(phase, stop - tact, counted);
            tact = stop;
            continue;
        }
        if (noted != notedEnd && static_cast<i32>(*noted) == tact) {
            ++noted;
        } else {
            phase = !phase;
            LatchAt(t, phase, screen);
        }
        ++tact;
    }
    return phase;
}

void TVideoCard::ReplayColumns(i32 first, i32 last, const TNotedTState* noted, const TNotedTState* notedEnd)
{
    // Column k of a line latches at window start + 4k + 1 .. + 3.
    auto floorDiv4 = [](i64 v) { return static_cast<i32>(v >= 0 ? v / 4 : -((-v + 3) / 4)); };
    auto exactly = [&](i32 from, i32 to) {
        // The phase before `from`, turned by the region's T-states before it.
        const TNotedTState* at = std::lower_bound(noted, notedEnd, static_cast<TNotedTState>(from));
        ReplayTStates(from, to, TurnPhase(LatchPhase, static_cast<i64>(from) - first, at - noted), at, notedEnd);
    };
    // Windows start a line apart; the first one the region can meet:
    const i32 firstLine = std::clamp(static_cast<i32>((first - LatchWindowStart(0)) / TStatesPerLine), 0, PaperLines);
    for (i32 y = firstLine; y < PaperLines; ++y) {
        const i32 start = static_cast<i32>(LatchWindowStart(y));
        if (start + LatchWindow <= first)
            continue;
        if (start >= last)
            break;
        // Whole columns: start + 4k + 1 >= first and start + 4k + 4 <= last.
        const i32 whole = std::clamp(floorDiv4(static_cast<i64>(first) - start - 1 + 3), 0, PaperColumns);
        const i32 wholeEnd = std::clamp(floorDiv4(static_cast<i64>(last) - start - 4) + 1, 0, PaperColumns);
        if (whole < wholeEnd)
            CopyColumns(y, whole, wholeEnd);
        // At most one partial column at each end of the region, the same
        // one when the region lies inside a column.
        auto partial = [&](i32 column) {
            if (column < 0 || column >= PaperColumns)
                return;
            const i32 from = std::max(first, start + 4 * column + 1);
            const i32 to = std::min(last, start + 4 * column + 4);
            if (from < to)
                exactly(from, to);
        };
        partial(whole - 1);
        if (wholeEnd != whole - 1)
            partial(wholeEnd);
    }
}

void TVideoCard::CopyColumns(i32 line, i32 firstColumn, i32 lastColumn)
{
    const u8* screen = ScreenMemory.load(std::memory_order_relaxed);
    const size_t index = static_cast<size_t>(line * PaperColumns + firstColumn + 1);
    const size_t count = static_cast<size_t>(lastColumn - firstColumn);
    std::copy_n(screen + LinePixelAddress[static_cast<size_t>(line)] + firstColumn, count, PixelLatch.begin() + index);
    std::copy_n(screen + LineAttributeAddress[static_cast<size_t>(line)] + firstColumn, count,
                AttributeLatch.begin() + index);
}

// --- Screen memory ---

void TVideoCard::ResetScreenMemory()
{
    Model128 = Memory->GetModel() == TMemory::Model128;
    // The page at 0x4000 is the screen after a reset in both models (bank 5
    // in the 128K model); with no pages at all it is the unmapped page.
    u8* paged = Memory->GetBankPtr(Model128 ? 5 : 1);
    if (!paged)
        paged = Memory->GetPointer(0x4000);
    SavedScreenMemory.store(paged, std::memory_order_relaxed);
    u8* shown = paged;
    const u8 videoPage = g_Settings->VideoPage.load(std::memory_order_relaxed);
    if (Model128 && (videoPage == 5 || videoPage == 7)) {
        if (u8* fixed = Memory->GetBankPtr(videoPage))
            shown = fixed;
    }
    ScreenMemory.store(shown, std::memory_order_relaxed);
}

void TVideoCard::SetScreenMemory(u8* page)
{
    if (!page)
        return;
    // The paging port switches the page during a step: what the beam
    // passed until now it saw on the old one.
    if (RegionOpen && Cpu)
        CatchUpLatches(Cpu->Tact);
    SavedScreenMemory.store(page, std::memory_order_relaxed);
    if (g_Settings->VideoPage.load(std::memory_order_relaxed) == 0)
        ScreenMemory.store(page, std::memory_order_relaxed);
}

void TVideoCard::SaveScreenMemory()
{
    SavedScreenMemory.store(ScreenMemory.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void TVideoCard::SetShownScreenMemory(u8* page)
{
    if (page)
        ScreenMemory.store(page, std::memory_order_relaxed);
}

void TVideoCard::RestoreScreenMemory()
{
    ScreenMemory.store(SavedScreenMemory.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void TVideoCard::SelectVideoPage(u8 choice)
{
    std::atomic<u8>& videoPage = g_Settings->VideoPage;
    if (choice == 0) {
        RestoreScreenMemory();
        videoPage.store(0, std::memory_order_relaxed);
        return;
    }
    if ((choice != 5 && choice != 7) || !Model128)
        return;
    u8* page = Memory->GetBankPtr(choice);
    if (!page)
        return;
    if (videoPage.load(std::memory_order_relaxed) == 0)
        SaveScreenMemory();
    SetShownScreenMemory(page);
    videoPage.store(choice, std::memory_order_relaxed);
}
