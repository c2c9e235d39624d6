#include "host/Indexed_surface.h"

#include <algorithm>
#include <cstring>
#include <new>

TIndexedSurface::TIndexedSurface()
{
    Colours.fill(Opaque);
    FrontColours.fill(Opaque);
}

void TIndexedSurface::FillTable(TColourTable& table, const TRgb* colours, i32 count)
{
    table.fill(Opaque);
    for (i32 i = 0; i < count; ++i)
        table[static_cast<size_t>(i)] = colours[i] | Opaque;
}

bool TIndexedSurface::Create(i32 width, i32 height, const TRgb* colours, i32 count)
{
    if (width < 1 || width > MaxSide || height < 1 || height > MaxSide)
        return false;
    if (count < 0 || count > ColourTableSize || (count > 0 && !colours))
        return false;
    if (width != Width || height != Height) {
        std::vector<u8> pixels;
        try {
            pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        // Keep what the old picture had where the two overlap.
        const i32 rows = std::min(height, Height);
        const i32 columns = std::min(width, Width);
        for (i32 y = 0; y < rows; ++y)
            std::memcpy(&pixels[static_cast<size_t>(y) * width], &Pixels[static_cast<size_t>(y) * Width],
                        static_cast<size_t>(columns));
        Pixels.swap(pixels);
        Width = width;
        Height = height;
    }
    FillTable(Colours, colours, count);
    return true;
}

bool TIndexedSurface::SetColours(const TRgb* colours, i32 count)
{
    if (count < 0 || count > ColourTableSize || (count > 0 && !colours))
        return false;
    FillTable(Colours, colours, count);
    return true;
}

void TIndexedSurface::Publish()
{
    std::lock_guard<std::mutex> lock(FrontLock);
    if (FrontPixels.size() != Pixels.size())
        FrontPixels.resize(Pixels.size());
    if (!Pixels.empty())
        std::memcpy(FrontPixels.data(), Pixels.data(), Pixels.size());
    FrontWidth = Width;
    FrontHeight = Height;
    FrontColours = Colours;
    Serial.fetch_add(1, std::memory_order_release);
}

u64 TIndexedSurface::CopyFront(std::vector<u8>& pixels, TColourTable& colours, i32& width, i32& height) const
{
    std::lock_guard<std::mutex> lock(FrontLock);
    pixels = FrontPixels;
    colours = FrontColours;
    width = FrontWidth;
    height = FrontHeight;
    return Serial.load(std::memory_order_relaxed);
}
