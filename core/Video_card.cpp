#include "core/Video_card.h"

#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Z80.h"

#include <algorithm>

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
}

void TVideoCard::BuildLatchTable()
{
    LatchTable.assign(static_cast<size_t>(TStatesPerFrame), 0);
    for (i32 y = 0; y < PaperLines; ++y) {
        const i64 lineStart = static_cast<i64>(FirstPaperLine + y) * TStatesPerLine + FirstPaperPixel / 2 - LatchLead;
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
    CycleLimit = TStatesPerFrame;
}

// --- Screen latches ---

void TVideoCard::LatchWholeScreen()
{
    for (i32 line = FirstPaperLine; line < FirstBottomBorderLine; ++line) {
        const i32 first = line * TStatesPerLine + FirstPaperPixel / 2 - LatchLead;
        for (i32 c = 0; c < LatchWindow; ++c)
            LatchScreen(first + c);
    }
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
