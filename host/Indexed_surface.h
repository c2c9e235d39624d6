// The 8-bit picture the renderer draws into, and the published copy the
// screen view paints.
//
// The back buffer belongs to whichever thread drives the renderer (the run
// thread during a run, the user-interface thread while the machine is
// stopped): one palette index per pixel, rows top-down, stride = width, and a
// 256-entry colour table (entries past the palette's count are black).
//
// Publish copies the back buffer and its colour table into the front copy
// under a short mutex. The screen view reads only the front copy, on the
// user-interface thread, through host/Zoomed_picture.h, which copies out
// what changed under the lock and converts it to 32-bit colours after:
//
//     surface->ReadFront([&](const TIndexedSurface::TFrontView& front) {
//         // front.Pixels, front.Colours: borrowed, valid only in here
//     });
//
// Repaints are coalesced: the thread that publishes posts a repaint only
// when ClaimRepaint says none is pending; ReadFront ends the pending one.
#pragma once

#include "core/Types.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

class TIndexedSurface {
public:
    static constexpr i32 ColourTableSize = 256;
    // Large enough for any raster the settings can describe, small enough
    // that a broken geometry cannot ask for gigabytes.
    static constexpr i32 MaxSide = 4096;

    // 0xAARRGGBB, the layout of a QRgb.
    using TRgb = u32;
    using TColourTable = std::array<TRgb, ColourTableSize>;

    static constexpr TRgb Opaque = 0xFF000000u;
    static constexpr TRgb MakeRgb(u8 red, u8 green, u8 blue)
    {
        return Opaque | static_cast<TRgb>(red) << 16 | static_cast<TRgb>(green) << 8 | blue;
    }

    // What ReadFront lends its reader; valid only inside the call.
    struct TFrontView {
        const u8* Pixels = nullptr;  // nullptr until the first publish
        i32 Width = 0;
        i32 Height = 0;
        i32 Stride = 0;
        const TRgb* Colours = nullptr;  // ColourTableSize entries
        u64 Serial = 0;                 // counts publishes; 0 = nothing yet
    };

    TIndexedSurface();
    TIndexedSurface(const TIndexedSurface&) = delete;
    TIndexedSurface& operator=(const TIndexedSurface&) = delete;

    // --- The back buffer (the renderer's thread) ---

    // Makes a width x height picture with the given colours (the first
    // `count` entries; the rest of the table black). Pixels that the old
    // picture had at the same place are kept, so a palette change keeps the
    // picture; new pixels are 0. Returns false, and leaves the previous
    // picture and colour table as they were, for a size outside 1..MaxSide,
    // a count outside 0..ColourTableSize or a failed allocation.
    bool Create(i32 width, i32 height, const TRgb* colours, i32 count);
    // Replaces the colour table (the first `count` entries, the rest black);
    // false and nothing changed for a count outside 0..ColourTableSize.
    bool SetColours(const TRgb* colours, i32 count);

    bool IsCreated() const { return !Pixels.empty(); }
    i32 GetWidth() const { return Width; }
    i32 GetHeight() const { return Height; }
    i32 GetStride() const { return Width; }
    u8* GetBits() { return Pixels.empty() ? nullptr : Pixels.data(); }
    const u8* GetBits() const { return Pixels.empty() ? nullptr : Pixels.data(); }
    const TColourTable& GetColours() const { return Colours; }

    // --- Publishing ---

    // Copies the back buffer and its colour table into the front copy (the
    // renderer's thread). Allocates only when the size changed.
    void Publish();
    // Publishes so far (any thread).
    u64 GetSerial() const { return Serial.load(std::memory_order_acquire); }

    // True when no repaint is pending: the caller posts one and it is now
    // pending. False: one is already on its way and will show this frame too.
    bool ClaimRepaint() { return !RepaintPending.exchange(true, std::memory_order_acq_rel); }

    // Lends the front copy to the reader under the mutex (keep the reader
    // short: the renderer's next publish waits for it) and ends the pending
    // repaint, so a frame published after this read posts a new one.
    template <class TReader>
    void ReadFront(TReader&& reader) const
    {
        RepaintPending.store(false, std::memory_order_release);
        std::lock_guard<std::mutex> lock(FrontLock);
        TFrontView view;
        view.Pixels = FrontPixels.empty() ? nullptr : FrontPixels.data();
        view.Width = FrontWidth;
        view.Height = FrontHeight;
        view.Stride = FrontWidth;
        view.Colours = FrontColours.data();
        view.Serial = Serial.load(std::memory_order_relaxed);
        reader(static_cast<const TFrontView&>(view));
    }

    // Copies the front copy out (tests, a snapshot of the picture); returns
    // its serial. The sizes are 0 and the pixels empty before the first
    // publish.
    u64 CopyFront(std::vector<u8>& pixels, TColourTable& colours, i32& width, i32& height) const;

private:
    static void FillTable(TColourTable& table, const TRgb* colours, i32 count);

    i32 Width = 0;
    i32 Height = 0;
    std::vector<u8> Pixels;
    TColourTable Colours{};

    mutable std::mutex FrontLock;
    i32 FrontWidth = 0;
    i32 FrontHeight = 0;
    std::vector<u8> FrontPixels;
    TColourTable FrontColours{};
    std::atomic<u64> Serial{0};
    mutable std::atomic<bool> RepaintPending{false};
};
