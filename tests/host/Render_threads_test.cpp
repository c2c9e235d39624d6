// The renderer between two threads: the stepping thread draws, applies the
// user interface's requests at each frame end and publishes; the user
// interface changes display options, asks for changes and reads only the
// published copy. Run under ThreadSanitizer.
#include "tests/host/Render_test_machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(RenderThreads, PublishedFramesAreWholeFrames)
{
    TIndexedSurface surface;
    TIndexedSurface::TRgb colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = TIndexedSurface::MakeRgb(static_cast<u8>(i), 0, 0);
    ASSERT_TRUE(surface.Create(448, 320, colours, 256));

    std::atomic<bool> done{false};
    std::thread drawer([&] {
        for (int frame = 1; frame <= 400; ++frame) {
            std::fill(surface.GetBits(), surface.GetBits() + 448 * 320, static_cast<u8>(frame));
            colours[0] = TIndexedSurface::MakeRgb(0, static_cast<u8>(frame), 0);
            surface.SetColours(colours, 256);
            surface.Publish();
        }
        done = true;
    });

    int reads = 0, torn = 0;
    u64 lastSerial = 0;
    while (!done || reads == 0) {
        surface.ReadFront([&](const TIndexedSurface::TFrontView& front) {
            ++reads;
            EXPECT_GE(front.Serial, lastSerial);
            lastSerial = front.Serial;
            if (!front.Pixels)
                return;
            const u8 first = front.Pixels[0];
            // The pixels and the colour table always come from one frame.
            if (front.Pixels[448 * 320 - 1] != first || ((front.Colours[0] >> 8) & 0xFF) != first)
                ++torn;
        });
    }
    drawer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(surface.GetSerial(), 400u);
}

TEST(RenderThreads, RequestsFromTheUserInterfaceDuringARun)
{
    TRenderTestMachine m;
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};

    // The stepping thread: border changes during the frame, then the frame end.
    std::thread stepper([&] {
        int frame = 0;
        while (!stop.load()) {
            for (int change = 0; change < 50; ++change)
                m.Border(4'000 + change * 1'000 + frame % 7, static_cast<u8>((frame + change) & 7));
            m.Render.ApplyRequests();
            m.Render.RenderFrame();
            frames.fetch_add(1);
            ++frame;
        }
    });

    // The user interface: switches options as the screen view's menu does.
    TIndexedSurface& surface = *m.Render.GetDC();
    for (int i = 0; i < 200 || frames.load() < 50; ++i) {
        switch (i % 5) {
        case 0:
            m.Settings->Grayscale = static_cast<u8>(!m.Settings->Grayscale.load());
            m.Render.RequestRecreate();
            break;
        case 1:
            m.Settings->Screen = static_cast<u8>(!m.Settings->Screen.load());
            m.Render.RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions);
            break;
        case 2:
            m.Settings->WideBorder = static_cast<u8>(!m.Settings->WideBorder.load());
            m.Render.RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions | TRender::ChangeClear);
            break;
        case 3:
            m.Settings->Attributes = static_cast<u8>(!m.Settings->Attributes.load());
            m.Settings->PixelsPerTVLeftBorder = 20 + i % 40;
            m.Render.RequestChanges(TRender::ChangeColourPairs | TRender::ChangeTimings);
            break;
        case 4:
            surface.ReadFront([](const TIndexedSurface::TFrontView& front) {
                if (!front.Pixels)
                    return;
                for (i32 p = 0; p < front.Width * front.Height; p += 97)
                    ASSERT_LE(front.Pixels[p], 85);
            });
            break;
        }
        std::this_thread::yield();
    }
    stop = true;
    stepper.join();
    EXPECT_GE(frames.load(), 50);

    // Once the last requests are served, the picture is whole.
    m.Render.ApplyRequests();
    m.Render.RenderFrame();
    for (u8 pixel : m.Picture())
        ASSERT_LE(pixel, 85);
}

} // namespace
