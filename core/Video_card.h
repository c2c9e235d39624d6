// The emulated video chip: the border out-port with its T-state-stamped
// colour ring, and the screen latches that capture each paper byte as the
// beam reaches it, so the renderer draws what memory held at that moment.
//
// The processor latches nearly every T-state (3.5 million times per emulated
// second); it is inline here. Outside the paper's latch windows a whole bus
// cycle is passed with one lookup (PassLatchFreeCycle, LatchScreenRun);
// inside them a cycle reads the tables once (LatchCycle), each T-state's
// decision is one table lookup and a latch is a load and a store.
#pragma once

#include "core/Device.h"
#include "core/Types.h"

#include <array>
#include <atomic>
#include <vector>

class TMemory;
class TZ80;

class TVideoCard : public TDevice {
public:
    static constexpr i32 PaperLines = 192;
    static constexpr i32 PaperColumns = 32;
    // Latch indices are 1-based (line x 32 + column + 1); 0 in the latch
    // table means "nothing latches at this T-state", so the latches hold one
    // unused entry at index 0.
    static constexpr i32 LatchCount = PaperLines * PaperColumns;  // 6,144
    // T-states of one paper line that carry latches: from 4 T-states before
    // the paper starts, three of every four.
    static constexpr i32 LatchWindow = 128;
    // The latches run this many T-states ahead of the beam.
    static constexpr i32 LatchLead = 4;

    // Offsets into the screen page of the bytes under the beam at one T-state.
    struct TScreenAddress {
        u16 Pixel;
        u16 Attribute;
    };

    using TLatch = std::array<u8, LatchCount + 1>;

    // Geometry comes from g_Settings, the screen page from the memory (bank 5
    // in the 128K model, the RAM page at 0x4000 in the 48K model); border
    // changes are stamped with the CPU's frame T-state.
    TVideoCard(TMemory* memory, TZ80* cpu);
    ~TVideoCard() override;
    TVideoCard(const TVideoCard&) = delete;
    TVideoCard& operator=(const TVideoCard&) = delete;

    // Copies the geometry from the settings and rebuilds every table, the
    // border ring (emptied) and the latches (from current memory).
    void ApplySettings();

    // --- Border ---
    // The out-port handler; also sets the border for the snapshot readers.
    void BorderWrite(u8 value);
    u8 GetBorder() const { return BorderColour; }
    // Empties the ring (after a snapshot load, with the renderer's reset).
    void ResetBorderLog() { RingWritePosition = 0; }

    // --- Screen latches ---
    // The latch due at this frame T-state. Any i32 is safe: a T-state at or
    // past the frame end (the CPU wraps its counter only at the end of a
    // step) latches as the same T-state of the next frame.
    inline void LatchScreen(i32 tact);
    // The same as LatchScreen for each of the count T-states from first on,
    // in order; a run that latches nothing (the border, the sync, most of
    // every line) is one lookup.
    inline void LatchScreenRun(i32 first, i32 count);
    // For a bus cycle of `span` T-states from first on that latches only
    // `latched` of them (a memory cycle at 0x4000 or above only counts its
    // second): when none of the span's T-states carries a latch, the phase
    // moves on by `latched` and the result is true, exactly what latching
    // them one by one would do; otherwise nothing changes and the caller
    // latches them one by one.
    inline bool PassLatchFreeCycle(i32 first, i32 span, i32 latched);
    // The same as LatchScreen for T-state first + i, for each i below span
    // (at most 8) whose bit is set in `latched`, in order: the part of a bus
    // cycle that meets the latch windows, with the tables and the screen
    // read once for the cycle rather than once per T-state.
    inline void LatchCycle(i32 first, i32 span, u32 latched);
    // Latches every paper position from current memory.
    void LatchWholeScreen();

    // --- Tables ---
    void BuildAddressTable();  // also clears the rebuild request
    void BuildLatchTable();
    void ResizeBorderLog();
    // The screen view asks for an address-table rebuild during a run; the
    // computer serves it at the next frame end.
    void RequestRebuild() { RebuildRequest.store(1, std::memory_order_relaxed); }
    bool IsRebuildRequested() const { return RebuildRequest.load(std::memory_order_relaxed) != 0; }

    // --- Screen memory ---
    // The page the 128K paging selected (bank 5 or 7). It is shown only
    // while the screen view follows the paging (TSettings::VideoPage 0), but
    // always remembered, so returning to "Selected" shows it.
    void SetScreenMemory(u8* page);
    // Back to the page at 0x4000 (bank 5 in the 128K model), or the fixed
    // page the screen view shows; called after the memory rebuilt its pages
    // for another model, since the old pointers then point nowhere.
    void ResetScreenMemory();
    void SaveScreenMemory();               // saved = shown
    void SetShownScreenMemory(u8* page);   // shown = page
    void RestoreScreenMemory();            // shown = saved
    // The screen view's "Video Page" choice: 0 "Selected" (follow the
    // paging), 5 "Primary", 7 "Secondary". Sets TSettings::VideoPage. The
    // fixed pages exist only in the 128K model; the 48K model ignores them.
    void SelectVideoPage(u8 choice);
    const u8* GetScreenMemory() const { return ScreenMemory.load(std::memory_order_relaxed); }
    const u8* GetSavedScreenMemory() const { return SavedScreenMemory.load(std::memory_order_relaxed); }

    // --- Read access for the renderer ---
    // The ring arrays are reallocated only by ResizeBorderLog (ApplySettings).
    const u32* GetRingTStates() const { return RingTStates.data(); }
    const u8* GetRingColours() const { return RingColours.data(); }
    u32 GetRingMask() const { return RingMask; }
    u32 GetRingWritePosition() const { return RingWritePosition; }
    // Indexed 1 to LatchCount by line x 32 + column + 1; entry 0 is unused.
    const u8* GetAttributeLatch() const { return AttributeLatch.data(); }
    const u8* GetPixelLatch() const { return PixelLatch.data(); }

    // --- Inspection (debugger views and tests) ---
    // The latch index due at a frame T-state (0: none); out-of-range T-states
    // are wrapped as LatchScreen wraps them.
    u32 GetLatchIndex(i32 tact) const { return LatchTable[WrapTact(tact)]; }
    TScreenAddress GetScreenAddress(i32 tact) const { return AddressTable[WrapTact(tact)]; }
    u8 GetLatchPhase() const { return LatchPhase; }
    i32 GetTStatesPerFrame() const { return TStatesPerFrame; }
    // First T-state of the latch window of the first paper line.
    i32 GetFirstLatchTact() const { return FirstPaperLine * TStatesPerLine + FirstPaperPixel / 2 - LatchLead; }

    // --- Seam for tests only; the program never calls it ---
    // Sends every bus cycle down the T-state-by-T-state path (until the
    // latch table is rebuilt): the reference the batched paths must match.
    void LatchEveryTStateForTesting()
    {
        FreeRun.assign(FreeRun.size(), 0);
        CycleLimit = 0;
    }

private:
    // A T-state inside 0 .. frame length - 1 (floored modulo).
    u32 WrapTact(i32 tact) const;
    void CopyGeometry();

    TMemory* Memory;
    std::atomic<u8> RebuildRequest{0};
    // Written by the paging port on the stepping thread and by the screen
    // view's page choice on the user-interface thread.
    std::atomic<u8*> ScreenMemory{nullptr};
    std::atomic<u8*> SavedScreenMemory{nullptr};
    // Flips at every LatchScreen call; true latches the attribute. A bool
    // rather than a byte: a store through a byte type may alias anything, and
    // the compiler would reload the tables after every flip.
    bool LatchPhase = false;
    u8 BorderColour = 0;
    bool Model128 = true;
    std::vector<u8> RingColours;
    TLatch AttributeLatch{};
    TLatch PixelLatch{};
    std::vector<u32> RingTStates;
    u32 RingMask = 0;
    u32 RingWritePosition = 0;
    TZ80* Cpu;
    // Latch index per frame T-state; u16 (6,144 fits) keeps the table small
    // in cache.
    std::vector<u16> LatchTable;
    // Per frame T-state: how many T-states from it on latch nothing (up to
    // 255, and never past the frame end).
    std::vector<u8> FreeRun;
    // LatchCycle takes its one-pass path for cycles that end at or before
    // this T-state (the frame length; 0 sends every cycle T-state by
    // T-state through LatchScreen, for the tests).
    i32 CycleLimit = 0;

    // Geometry copied from the settings.
    i32 FirstTopBorderLine = 0;    // 16
    i32 FirstPaperLine = 0;        // 80
    i32 FirstPaperPixel = 0;       // 136
    i32 TStatesPerLine = 0;        // 224
    i32 SyncAndBlankPixels = 0;    // 64
    i32 FirstBottomBorderLine = 0; // 272
    i32 LinesPerFrame = 0;         // 320
    i32 TStatesPerFrame = 0;       // 71,680

    // One entry per frame T-state, plus LatchLead so that the look-ahead of
    // a latch never leaves it.
    std::vector<TScreenAddress> AddressTable;
};

[[gnu::always_inline]] inline void TVideoCard::LatchScreen(i32 tact)
{
    LatchPhase = !LatchPhase;
    u32 t = static_cast<u32>(tact);
    if (t >= static_cast<u32>(TStatesPerFrame)) [[unlikely]]
        t = WrapTact(tact);
    const u32 index = LatchTable[t];
    if (index == 0)
        return;
    const TScreenAddress address = AddressTable[t + LatchLead];
    const u8* screen = ScreenMemory.load(std::memory_order_relaxed);
    if (LatchPhase)
        AttributeLatch[index] = screen[address.Attribute];
    else
        PixelLatch[index] = screen[address.Pixel];
}

[[gnu::always_inline]] inline void TVideoCard::LatchScreenRun(i32 first, i32 count)
{
    if (count <= 0)
        return;
    const u32 t = static_cast<u32>(first);
    if (t < static_cast<u32>(TStatesPerFrame) && FreeRun[t] >= count) {
        LatchPhase ^= (count & 1) != 0;
        return;
    }
    if (count <= 8) {
        LatchCycle(first, count, (1u << count) - 1);
        return;
    }
    for (i32 i = 0; i < count; ++i)
        LatchScreen(static_cast<i32>(static_cast<u32>(first) + static_cast<u32>(i)));
}

[[gnu::always_inline]] inline bool TVideoCard::PassLatchFreeCycle(i32 first, i32 span, i32 latched)
{
    const u32 t = static_cast<u32>(first);
    if (t >= static_cast<u32>(TStatesPerFrame) || FreeRun[t] < span)
        return false;
    LatchPhase ^= (latched & 1) != 0;
    return true;
}

[[gnu::always_inline]] inline void TVideoCard::LatchCycle(i32 first, i32 span, u32 latched)
{
    const u32 t = static_cast<u32>(first);
    if (t >= static_cast<u32>(TStatesPerFrame) || first + span > CycleLimit) [[unlikely]] {
        for (i32 i = 0; i < span; ++i)
            if (latched >> i & 1)
                LatchScreen(static_cast<i32>(t + static_cast<u32>(i)));
        return;
    }
    // Locals: the latch stores may alias any byte, members included.
    const u16* indices = LatchTable.data() + t;
    const TScreenAddress* addresses = AddressTable.data() + t + LatchLead;
    const u8* screen = ScreenMemory.load(std::memory_order_relaxed);
    u8* attributes = AttributeLatch.data();
    u8* pixels = PixelLatch.data();
    bool phase = LatchPhase;
    for (i32 i = 0; i < span; ++i) {
        if (!(latched >> i & 1))
            continue;
        phase = !phase;
        const u32 index = indices[i];
        if (index == 0)
            continue;
        if (phase)
            attributes[index] = screen[addresses[i].Attribute];
        else
            pixels[index] = screen[addresses[i].Pixel];
    }
    LatchPhase = phase;
}
