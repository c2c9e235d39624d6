// The screen renderer's interface and the frame model every renderer shares.
//
// The renderer draws the whole raster, 448 x 320 pixels with the default
// settings, two pixels per T-state: T-state t of the frame is the pixel pair
// (2 x (t mod 224), t / 224). The paper comes from the video chip's latches
// (what memory held when the beam passed), the border from its ring of
// T-state-stamped colour changes.
//
// Who calls what:
// - The computer builds the renderer after the video chip and calls Init
//   once. At every frame end, on the thread that steps the machine, it calls
//       render->ApplyRequests();   // changes the UI asked for meanwhile
//       render->RenderFrame();     // draws the frame and publishes it
//   and then refreshes the screen view (a headless computer calls DrawFrame
//   instead and publishes only when it stops stepping).
// - The screen view paints GetDC()'s published front copy (see
//   Indexed_surface.h), never the picture being drawn.
// - While the machine is stopped, the user-interface thread drives the
//   renderer itself (DrawUpToTact, DrawStatic, the beam marker, ...). Every
//   public drawing operation publishes its result.
// - During a run the user-interface thread does not touch the renderer's
//   tables: it changes the settings and calls RequestChanges; the stepping
//   thread applies the requests at the next frame end. While stopped the UI
//   calls ApplyRequests itself right after requesting, then redraws.
#pragma once

#include "core/Types.h"
#include "host/Palette.h"

#include <array>
#include <atomic>
#include <vector>

class TIndexedSurface;
class TVideoCard;

class TRender {
public:
    // A run of T-states of the raster that the border drawing paints: [Start, End).
    struct TSegment {
        i32 Start = 0;
        i32 End = 0;
        bool operator==(const TSegment&) const = default;
    };

    // The two palette indices of an attribute: a set pixel bit takes Ink
    // (the first), a clear bit Paper (the second). Flashing attributes are
    // stored swapped.
    struct TColourPair {
        u8 Ink = 0;
        u8 Paper = 0;
        bool operator==(const TColourPair&) const = default;
    };

    // Changes that the user interface asks for (RequestChanges). Applied in
    // this order: timings, re-creation, segments, dim regions, pairs, clear.
    enum TChange : u32 {
        ChangeRecreate = 1u << 0,     // palette ("Color", "Grayscale"): CreateDIB
        ChangeTimings = 1u << 1,      // TV border sizes: LoadTimings, BuildDimRegions
        ChangeLineSegments = 1u << 2, // "Screen", "Wide Border": BuildLineSegments
        ChangeDimRegions = 1u << 3,   // "Screen", "Wide Border": BuildDimRegions
        ChangeColourPairs = 1u << 4,  // "Attributes": BuildColourPairs
        ChangeClear = 1u << 5,        // "Wide Border" off, "Sync Pulses", "Interrupt Pulse": Clear
        ChangeAll = (1u << 6) - 1,
    };

    static constexpr i32 PaperWidth = 256;
    static constexpr i32 PaperHeight = 192;
    static constexpr i32 PaperColumns = 32;
    static constexpr i32 PaperBytes = PaperHeight * PaperColumns;  // 6,144

    TRender();
    TRender(const TRender&) = delete;
    TRender& operator=(const TRender&) = delete;

    // --- The thirteen operations, in slot order ---

    // (Re)builds the table of line starts from the picture, then the dim regions.
    virtual void CreateLineTable() = 0;
    // Once, by the computer, after the video chip is built: colour pairs,
    // the chip's ring and latches, timings, segments; then CreateDIB,
    // CreateLineTable, Clear and DrawStatic (0xFF).
    virtual void Init(TVideoCard* videoCard);
    // The frame just ended: paper from the latches, border from the ring,
    // dimming; resets the paper position and publishes.
    virtual void RenderFrame() = 0;
    // The paper from the latches.
    virtual void DrawScreen() = 0;
    // A still picture of the machine's state: paper from current memory
    // with (attribute AND flash mask), border in the current colour.
    virtual void DrawStatic(u8 flashMask) = 0;
    // The sync and blanking area with its marks; removes the beam marker.
    virtual void Clear() = 0;
    // Puts back the pixels under the beam marker.
    virtual void HideBeamMarker() = 0;
    // Draws a cross at the beam position of the T-state.
    virtual void ShowBeamMarker(i32 tact) = 0;
    // Hides the marker and forgets its saved pixels.
    virtual void RemoveBeamMarker() = 0;
    // Builds the palette and (re)creates the picture with its colours,
    // keeping the pixels. If the picture cannot be created the previous one
    // and its colours stay.
    virtual void CreateDIB() = 0;
    // The surface holding the picture; the screen view paints its front copy.
    virtual TIndexedSurface* GetDC() = 0;
    // The areas outside the visible TV picture that the dimming shades.
    virtual void BuildDimRegions() = 0;
    // The still picture while stepping: the current frame up to the T-state.
    virtual void DrawUpToTact(i32 tact) = 0;

    virtual ~TRender();

    // RenderFrame without the publish, for a machine that nobody watches
    // (headless): the picture is drawn as always, the front copy is left
    // as it was until the caller publishes (GetDC()->Publish()).
    virtual void DrawFrame() = 0;

    // --- The frame model ---

    // Copies the geometry from the settings; the TV border sizes are clamped
    // to 0..their full border.
    void LoadTimings();
    // The 256 attribute colour pairs ("Attributes" off: every pair {0, 7}).
    void BuildColourPairs();
    // The border segments for "Wide Border" and "Screen".
    void BuildLineSegments();
    // After a snapshot or tape is opened (with the video chip's ResetBorderLog):
    // read positions 0, border colour from the chip, paper position 0.
    void Reset();

    // --- Requests from the user interface (any thread) ---
    // Release order: the settings the UI changed before asking are seen by
    // the thread that applies the request.
    void RequestChanges(u32 changes) { Requests.fetch_or(changes & ChangeAll, std::memory_order_release); }
    void RequestRecreate() { RequestChanges(ChangeRecreate); }
    bool IsRecreateRequested() const { return (Requests.load(std::memory_order_relaxed) & ChangeRecreate) != 0; }
    bool HasRequests() const { return Requests.load(std::memory_order_relaxed) != 0; }
    // Applies and clears the pending requests; returns what was applied. On
    // the thread that drives the renderer: the stepping thread at the frame
    // end, the user-interface thread while stopped.
    u32 ApplyRequests();

    // --- Inspection (tests, views) ---
    // The loaded geometry describes a raster the renderer can draw: lines of
    // two pixels per T-state, 192 paper lines, the paper inside the line,
    // within the surface's size limit. Nothing is drawn otherwise.
    bool IsGeometryValid() const;
    const std::vector<TSegment>& GetSegments() const { return Segments; }
    i32 GetSegmentCount() const { return static_cast<i32>(Segments.size()); }
    TColourPair GetColourPair(u8 attribute) const { return ColourPairs[attribute]; }
    u32 GetRingReadPosition() const { return RingReadPosition; }
    u32 GetFrameStartReadPosition() const { return FrameStartReadPosition; }
    u8 GetBorderColour() const { return BorderColour; }
    i32 GetTStatesPerLine() const { return TStatesPerLine; }
    i32 GetPixelsPerLine() const { return PixelsPerLine; }
    i32 GetLinesPerFrame() const { return LinesPerFrame; }
    i32 GetTVLeftBorderPixels() const { return TVLeftBorderPixels; }
    i32 GetTVRightBorderPixels() const { return TVRightBorderPixels; }
    i32 GetTVTopBorderLines() const { return TVTopBorderLines; }
    i32 GetTVBottomBorderLines() const { return TVBottomBorderLines; }

protected:
    // The flash mask of the clock (0xFF without one).
    static u8 CurrentFlashMask();
    // Re-reads the chip's ring and latch pointers (they move only when the
    // chip rebuilds its tables, but reading them is cheap).
    void SyncVideoCard();

    std::atomic<u32> Requests{0};  // the re-create request and the other changes
    u32 RingReadPosition = 0;      // how far the border ring has been drawn
    u32 FrameStartReadPosition = 0;
    std::vector<TSegment> Segments;
    const TPalette::TMixTable* Mix = nullptr;
    TVideoCard* VideoCard = nullptr;
    const u8* RingColours = nullptr;
    const u8* AttributeLatch = nullptr;  // indexed 1 to 6,144
    const u8* PixelLatch = nullptr;
    u8 BorderColour = 0;                 // at the ring read position
    u8 FrameStartBorderColour = 0;
    const u32* RingTStates = nullptr;
    u32 RingMask = 0;

    // Geometry (defaults in brackets).
    i32 LinesPerFrame = 0;           // 320
    i32 TStatesPerLine = 0;          // 224
    i32 FirstTopBorderLine = 0;      // 16
    i32 FirstPaperLine = 0;          // 80
    i32 SyncPixels = 0;              // 32
    i32 SyncAndBlankPixels = 0;      // 64
    i32 RestPixels = 0;              // 0
    i32 FirstPaperPixel = 0;         // 136
    i32 FirstBottomBorderLine = 0;   // 272
    i32 TStatesPerFrame = 0;         // 71,680
    i32 PixelsPerLine = 0;           // 448
    i32 TVTopBorderLines = 0;        // 46
    i32 TVBottomBorderLines = 0;     // 26
    i32 TopBorderLines = 0;          // 64
    i32 BottomBorderLines = 0;       // 48
    i32 SyncLines = 0;               // 16
    i32 TVLeftBorderPixels = 0;      // 40
    i32 TVRightBorderPixels = 0;     // 36
    i32 FirstRightBorderPixel = 0;   // 392
    i32 LeftBorderPixels = 0;        // 72
    i32 RightBorderPixels = 0;       // 56

    std::array<TColourPair, 256> ColourPairs{};

    // The T-state up to which DrawUpToTact has drawn the paper in this frame
    // (0 after RenderFrame and Reset). Kept here so that Reset reaches it.
    i32 PaperPosition = 0;
};
