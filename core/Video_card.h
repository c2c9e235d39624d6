// The emulated video chip: the border out-port with its T-state-stamped
// colour ring, and the screen latches that capture each paper byte as the
// beam reaches it, so the renderer draws what memory held at that moment.
//
// Nearly every T-state latches (3.5 million a second of emulated time), so
// the processor does not latch as it goes: it notes the few T-states that do
// not, and the latches are caught up from memory when something could tell
// the difference (see "Latching behind the processor" below).
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
    // Latches every paper position from current memory.
    void LatchWholeScreen();

    // --- Latching behind the processor ---
    // The processor does not latch as its bus cycles go by. Within a region
    // it opens at the start of a step (or run of steps) and closes at its
    // end, it only notes the T-states its cycles count without latching
    // (the second T-state of an opcode fetch or memory cycle at 0x4000 or
    // above); every other T-state latches. The latches are brought up to
    // date from memory, T-state for T-state as latching each one in turn
    // would, whenever the difference could show: before a write to a byte
    // of the shown screen that the beam has passed in the region, before
    // the paging port changes the screen page, when the notes fill up and
    // when the region closes. Between regions the latches and the phase are
    // exactly those of latching each T-state as it passes.
    void OpenLatchRegion(i32 tact);
    inline void NoteCounted(i32 tact);
    // True when a write landing at `tact` to this address of the page
    // starting at `page` changes a byte of the shown screen that latches at
    // a T-state of the region not yet caught up: then the latches must be
    // caught up before the write. (Bytes the beam has not passed in the
    // region latch the new value when they are caught up, as they should.)
    inline bool WriteMeetsPendingLatch(const u8* page, u16 address, i32 tact) const;
    // Latches the region's T-states before tact from current memory; the
    // region then goes on from tact. Nothing outside a region.
    void CatchUpLatches(i32 tact);
    void CloseLatchRegion(i32 tact);

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
    i32 GetFirstLatchTact() const { return static_cast<i32>(LatchWindowStart(0)); }

    // --- Seam for tests only; the program never calls it ---
    // Catches the latches up T-state by T-state, never a paper column at a
    // time (until the tables are rebuilt): the reference the column copies
    // must match.
    void LatchEveryTStateForTesting() { UniformColumns = false; }

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

    // The counted-only T-states noted in the open region, in order. Their
    // own types keep the processor's stores of them from aliasing its
    // counters and registers in the compiler's eyes.
    enum class TNotedTState : i32 {};
    enum class TNoteCount : u32 {};
    static constexpr u32 NoteCapacity = 4096;
    std::array<TNotedTState, NoteCapacity> Noted{};
    TNoteCount NotedCount{};
    i32 RegionStart = 0;
    bool RegionOpen = false;
    // Every paper column latches at three T-states in a row with one pixel
    // and one attribute address, and the columns of a line lie side by side
    // in memory (the standard geometry): a column whose three T-states all
    // fall between two catch-ups then latches both its bytes, whatever the
    // phase, since no two counted-only T-states are closer than three apart.
    // Such columns are copied a line at a time; others go T-state by T-state.
    bool UniformColumns = false;
    std::array<u16, PaperLines> LinePixelAddress{};
    std::array<u16, PaperLines> LineAttributeAddress{};
    // Per byte of the screen (pixels, then attributes): the first latch
    // T-state that reads it and the T-state after the last (an attribute
    // byte serves eight lines). Set with UniformColumns.
    static constexpr u32 ScreenBytes = 0x1B00;
    struct TLatchSpan {
        i32 First;
        i32 End;
    };
    std::vector<TLatchSpan> ScreenByteLatchSpans;
    void CheckUniformColumns();
    // First T-state of the latch window of paper line `line` (its first
    // T-state latches nothing).
    i64 LatchWindowStart(i32 line) const
    {
        return static_cast<i64>(FirstPaperLine + line) * TStatesPerLine + FirstPaperPixel / 2 - LatchLead;
    }
    // Latches frame T-state t, the attribute or the pixel byte as the phase
    // it turned to says.
    inline void LatchAt(u32 t, bool attribute, const u8* screen);
    // Latches first .. last - 1 one by one, given the phase before first and
    // the noted T-states from first on; returns the phase after.
    bool ReplayTStates(i32 first, i32 last, bool phase, const TNotedTState* noted, const TNotedTState* notedEnd);
    void ReplayColumns(i32 first, i32 last, const TNotedTState* noted, const TNotedTState* notedEnd);
    void CopyColumns(i32 line, i32 firstColumn, i32 lastColumn);

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
    LatchAt(t, LatchPhase, ScreenMemory.load(std::memory_order_relaxed));
}

[[gnu::always_inline]] inline void TVideoCard::LatchAt(u32 t, bool attribute, const u8* screen)
{
    const u32 index = LatchTable[t];
    if (index == 0)
        return;
    const TScreenAddress address = AddressTable[t + LatchLead];
    if (attribute)
        AttributeLatch[index] = screen[address.Attribute];
    else
        PixelLatch[index] = screen[address.Pixel];
}

[[gnu::always_inline]] inline void TVideoCard::NoteCounted(i32 tact)
{
    u32 count = static_cast<u32>(NotedCount);
    if (count == NoteCapacity) [[unlikely]] {
        CatchUpLatches(tact);
        count = 0;
    }
    Noted[count] = static_cast<TNotedTState>(tact);
    NotedCount = static_cast<TNoteCount>(count + 1);
}

[[gnu::always_inline]] inline bool TVideoCard::WriteMeetsPendingLatch(const u8* page, u16 address, i32 tact) const
{
    const u32 offset = address & 0x3FFFu;
    if (offset >= ScreenBytes || page != ScreenMemory.load(std::memory_order_relaxed))
        return false;
    if (!UniformColumns)
        return true;
    // The region may run past the frame end, by a step at most.
    const TLatchSpan span = ScreenByteLatchSpans[offset];
    return (span.First < tact && span.End > RegionStart)
        || (span.First < tact - TStatesPerFrame && span.End > RegionStart - TStatesPerFrame);
}
