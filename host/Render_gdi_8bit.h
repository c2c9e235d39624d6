// The renderer of the emulated raster into an 8-bit indexed surface of
// PixelsPerLine x LinesPerFrame pixels (448 x 320), one palette index per
// pixel, rows top-down with no padding, so T-state t of the frame is the
// byte pair at 2 x t from the first row.
//
// Each frame redraws only the border segments, the 6,144 paper bytes and the
// dim regions: fills are plain memory fills, a paper byte is one 8-byte
// store, and nothing is allocated per frame (the publish reuses its copy).
#pragma once

#include "host/Indexed_surface.h"
#include "host/Render.h"

#include <array>
#include <vector>

class TRenderGDI8Bit : public TRender {
public:
    // Picture index 14 and 0, the colours of the beam marker's cross.
    static constexpr u8 MarkerLight = 14;
    static constexpr u8 MarkerDark = 0;
    static constexpr i32 MarkerArm = 7;
    static constexpr i32 MaxDimRegions = 5;

    // An area the dimming shades, already clipped to the picture.
    struct TDimRegion {
        u8* TopLeft = nullptr;
        i32 Width = 0;   // pixels
        i32 Height = 0;  // lines
        i32 X = 0;
        i32 Y = 0;
    };

    // The picture exists only after Init (or CreateDIB).
    TRenderGDI8Bit();
    ~TRenderGDI8Bit() override;

    void CreateLineTable() override;
    void RenderFrame() override;
    void DrawFrame() override;
    void DrawScreen() override;
    void DrawStatic(u8 flashMask) override;
    void Clear() override;
    void HideBeamMarker() override;
    void ShowBeamMarker(i32 tact) override;
    void RemoveBeamMarker() override;
    void CreateDIB() override;
    TIndexedSurface* GetDC() override { return &Surface; }
    void BuildDimRegions() override;
    void DrawUpToTact(i32 tact) override;

    // --- Inspection (tests) ---
    i32 GetDimRegionCount() const { return DimRegionCount; }
    const TDimRegion& GetDimRegion(i32 index) const { return DimRegions[static_cast<size_t>(index)]; }
    i32 GetPaperPosition() const { return PaperPosition; }
    bool IsBeamMarkerShown() const { return MarkerShown != 0; }
    bool IsBeamMarkerActive() const { return MarkerActive != 0; }
    // The palette index at (x, y); 0 outside the picture.
    u8 GetPixel(i32 x, i32 y) const;

private:
    // How far the paper is drawn at a T-state: whole bytes (latch order,
    // 0 to 6,144) and the pixels of the next byte.
    struct TPaperProgress {
        i32 Bytes = 0;
        i32 Pixels = 0;
    };
    // The border drawing's place in the ring.
    struct TRingPlace {
        u32 Position = 0;
        u8 Colour = 0;
    };

    // The picture matches the geometry and the video chip is there.
    bool CanDraw() const;
    TPaperProgress PaperProgressAt(i32 tact) const;
    // Paper bytes [first, last) from the latches with the clock's flash
    // mask, then `pixels` pixels of byte `last`.
    void DrawLatchedPaper(i32 first, i32 last, i32 pixels);
    void DrawPaperFromMemory(u8 flashMask);
    void FillSegments(u8 colour);
    // Draws the segments that start before `limit`, each ended at `limit`,
    // from ring place `from` with the entries up to `end`; with `consumeAll`
    // the entries left after the last segment are followed too.
    TRingPlace DrawBorder(TRingPlace from, u32 end, i32 limit, bool consumeAll);
    void Dim();
    // Each returns whether a pixel of the picture changed.
    bool HideMarker();
    bool RemoveMarker();
    bool PutPixel(i32 x, i32 y, u8 index);
    void Publish() { Surface.Publish(); }

    TIndexedSurface Surface;
    std::vector<u8*> LineTable;
    u8* Bits = nullptr;
    i32 DimRegionCount = 0;
    std::array<TDimRegion, MaxDimRegions> DimRegions{};

    // The beam marker: the pixel under the centre and, for each distance 1
    // to 7, those under the right, left, lower and upper arm.
    u8 SavedCentre = 0;
    std::array<std::array<u8, 4>, MarkerArm> SavedArms{};
    u8 MarkerActive = 0;  // the saved pixels belong to the remembered position
    u8 MarkerShown = 0;   // the cross is on the picture
    i32 MarkerTact = 0;
    i32 MarkerX = 0;
    i32 MarkerY = 0;
};
