// What the screen view paints: a rectangle of an indexed surface's front
// copy, turned into 32-bit colours through the front copy's colour table
// and scaled by a whole zoom factor (each pixel a zoom x zoom block), so that
// painting is a plain 1:1 copy of 0xFFRRGGBB pixels (a QImage::Format_RGB32).
//
// Update keeps the indices it last converted and compares the front copy
// with them, so only what changed is converted again, and it reports that
// area: the view repaints just that, and nothing at all when a publish
// brought nothing new (a still machine, the beam marker's idle ticks).
// User-interface thread only; the front copy is read under its lock, the
// conversion happens after.
#pragma once

#include "core/Types.h"
#include "host/Indexed_surface.h"

#include <vector>

class TZoomedPicture {
public:
    static constexpr i32 MaxZoom = 8;

    using TRgb = TIndexedSurface::TRgb;

    // An area of the zoomed picture, in its own pixels.
    struct TArea {
        i32 X = 0;
        i32 Y = 0;
        i32 Width = 0;
        i32 Height = 0;
        bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    };

    // Brings the picture up to the front copy's rectangle (x, y, width,
    // height) at `zoom`. Pixels of the rectangle outside the front copy
    // take index 0. Returns the area that changed: all of it after a change
    // of rectangle, zoom or colours, nothing when the front copy shows the
    // same as last time. Before the first publish, or for a size outside
    // 1..MaxSide or a zoom outside 1..MaxZoom, the picture is empty.
    TArea Update(const TIndexedSurface& surface, i32 x, i32 y, i32 width, i32 height, i32 zoom);

    bool IsEmpty() const { return Pixels.empty(); }
    // Zoomed size; rows top-down, stride = width.
    i32 GetWidth() const { return Pixels.empty() ? 0 : Width * Zoom; }
    i32 GetHeight() const { return Pixels.empty() ? 0 : Height * Zoom; }
    const TRgb* GetPixels() const { return Pixels.empty() ? nullptr : Pixels.data(); }

private:
    // The front copy's row `y` from column `x`, `Width` pixels: a pointer
    // into the front copy, or Scratch with index 0 outside it.
    const u8* SourceRow(const TIndexedSurface::TFrontView& front, i32 x, i32 y);
    // Converts and scales rows [top, bottom] x columns [left, right] of Indices.
    void Expand(i32 top, i32 bottom, i32 left, i32 right);
    void Clear();

    i32 SourceX = 0;
    i32 SourceY = 0;
    i32 Width = 0;
    i32 Height = 0;
    i32 Zoom = 0;
    u64 Serial = 0;
    TIndexedSurface::TColourTable Colours{};
    std::vector<u8> Indices;  // Width x Height, what Pixels shows
    std::vector<u8> Scratch;
    std::vector<TRgb> Pixels;  // (Width x Zoom) x (Height x Zoom)
};
