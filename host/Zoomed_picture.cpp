#include "host/Zoomed_picture.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// One row of indices into `out`, each pixel repeated Zoom times; the zoom a
// template argument for the usual ones, so the inner loop is unrolled.
template <i32 Zoom>
void ExpandRow(const u8* indices, i32 count, const TIndexedSurface::TRgb* colours, TIndexedSurface::TRgb* out)
{
    for (i32 i = 0; i < count; ++i) {
        const TIndexedSurface::TRgb colour = colours[indices[i]];
        for (i32 k = 0; k < Zoom; ++k)
            out[i * Zoom + k] = colour;
    }
}

void ExpandRow(const u8* indices, i32 count, i32 zoom, const TIndexedSurface::TRgb* colours,
               TIndexedSurface::TRgb* out)
{
    switch (zoom) {
    case 1: ExpandRow<1>(indices, count, colours, out); return;
    case 2: ExpandRow<2>(indices, count, colours, out); return;
    case 3: ExpandRow<3>(indices, count, colours, out); return;
    default:
        for (i32 i = 0; i < count; ++i)
            std::fill_n(out + static_cast<size_t>(i) * static_cast<size_t>(zoom), zoom, colours[indices[i]]);
        return;
    }
}

} // namespace

void TZoomedPicture::Clear()
{
    Pixels.clear();
    Indices.clear();
    Width = Height = Zoom = 0;
    Serial = 0;
}

const u8* TZoomedPicture::SourceRow(const TIndexedSurface::TFrontView& front, i32 x, i32 y)
{
    if (y >= 0 && y < front.Height && x >= 0 && x + Width <= front.Width)
        return front.Pixels + static_cast<size_t>(y) * static_cast<size_t>(front.Stride) + static_cast<size_t>(x);
    std::fill(Scratch.begin(), Scratch.end(), u8{0});
    if (y >= 0 && y < front.Height) {
        const i32 first = std::max(x, 0);
        const i32 end = std::min(x + Width, front.Width);
        if (first < end)
            std::memcpy(&Scratch[static_cast<size_t>(first - x)],
                        front.Pixels + static_cast<size_t>(y) * static_cast<size_t>(front.Stride)
                            + static_cast<size_t>(first),
                        static_cast<size_t>(end - first));
    }
    return Scratch.data();
}

TZoomedPicture::TArea TZoomedPicture::Update(const TIndexedSurface& surface, i32 x, i32 y, i32 width, i32 height,
                                             i32 zoom)
{
    const bool sameShape =
        !Pixels.empty() && x == SourceX && y == SourceY && width == Width && height == Height && zoom == Zoom;
    if (sameShape && surface.GetSerial() == Serial)
        return {};
    if (zoom < 1 || zoom > MaxZoom || width < 1 || height < 1 || width * zoom > TIndexedSurface::MaxSide
        || height * zoom > TIndexedSurface::MaxSide) {
        Clear();
        return {};
    }

    bool whole = !sameShape;
    if (whole) {
        try {
            Indices.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
            Scratch.resize(static_cast<size_t>(width));
            Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(zoom * zoom));
        } catch (const std::bad_alloc&) {
            Clear();
            return {};
        }
        SourceX = x;
        SourceY = y;
        Width = width;
        Height = height;
        Zoom = zoom;
    }

    // The changed rows and columns, found under the lock; converted after.
    bool published = false;
    i32 top = Height;
    i32 bottom = -1;
    i32 left = Width;
    i32 right = -1;
    surface.ReadFront([&](const TIndexedSurface::TFrontView& front) {
        if (!front.Pixels)
            return;
        published = true;
        Serial = front.Serial;
        if (!std::equal(Colours.begin(), Colours.end(), front.Colours)) {
            std::copy(front.Colours, front.Colours + TIndexedSurface::ColourTableSize, Colours.begin());
            whole = true;
        }
        const size_t rowBytes = static_cast<size_t>(Width);
        for (i32 row = 0; row < Height; ++row) {
            const u8* source = SourceRow(front, SourceX, SourceY + row);
            u8* kept = &Indices[static_cast<size_t>(row) * rowBytes];
            if (whole) {
                std::memcpy(kept, source, rowBytes);
                continue;
            }
            if (std::memcmp(kept, source, rowBytes) == 0)
                continue;
            i32 first = 0;
            while (kept[first] == source[first])
                ++first;
            i32 last = Width - 1;
            while (kept[last] == source[last])
                --last;
            std::memcpy(kept + first, source + first, static_cast<size_t>(last - first + 1));
            top = std::min(top, row);
            bottom = row;
            left = std::min(left, first);
            right = std::max(right, last);
        }
    });
    if (!published) {
        Clear();
        return {};
    }
    if (whole) {
        top = left = 0;
        bottom = Height - 1;
        right = Width - 1;
    }
    if (bottom < top)
        return {};
    Expand(top, bottom, left, right);
    return {left * Zoom, top * Zoom, (right - left + 1) * Zoom, (bottom - top + 1) * Zoom};
}

void TZoomedPicture::Expand(i32 top, i32 bottom, i32 left, i32 right)
{
    const size_t stride = static_cast<size_t>(Width) * static_cast<size_t>(Zoom);
    const i32 count = right - left + 1;
    const size_t spanBytes = static_cast<size_t>(count) * static_cast<size_t>(Zoom) * sizeof(TRgb);
    for (i32 row = top; row <= bottom; ++row) {
        const u8* indices = &Indices[static_cast<size_t>(row) * static_cast<size_t>(Width) + static_cast<size_t>(left)];
        TRgb* out = &Pixels[static_cast<size_t>(row) * static_cast<size_t>(Zoom) * stride
                            + static_cast<size_t>(left) * static_cast<size_t>(Zoom)];
        ExpandRow(indices, count, Zoom, Colours.data(), out);
        for (i32 k = 1; k < Zoom; ++k)
            std::memcpy(out + static_cast<size_t>(k) * stride, out, spanBytes);
    }
}
