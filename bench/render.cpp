// Frames rendered per second by the 8-bit renderer (the machine needs 50):
// a frame end with a still border, one with loading stripes (a border change
// every 200 T-states), and the still picture that stepping draws. Every
// drawing includes publishing the front copy.
#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Settings.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Render_gdi_8bit.h"
#include "host/Zoomed_picture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

double Measure(const char* what, int count, const std::function<void(int)>& body)
{
    body(0);  // warm up
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        body(i);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perSecond = count / seconds;
    std::printf("%-44s %9.0f per second  (%7.1f us each)\n", what, perSecond, 1e6 / perSecond);
    return perSecond;
}

} // namespace

int main()
{
    char folder[] = "/tmp/quorvane-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    {
        TSettings settings(std::string(folder) + "/registry.ini");
        g_Settings = &settings;
        TMemory memory(TMemory::Model128);
        TPorts ports;
        TZ80 cpu(&memory, &ports);
        TVideoCard video(&memory, &cpu);
        TRenderGDI8Bit render;
        render.Init(&video);

        std::mt19937 random(1);
        u8* screen = memory.GetBankPtr(5);
        for (u32 i = 0; i < 6912; ++i)
            screen[i] = static_cast<u8>(random());
        video.LatchWholeScreen();

        std::printf("Renderer, %d x %d picture, %d border segments\n", render.GetPixelsPerLine(),
                    render.GetLinesPerFrame(), render.GetSegmentCount());
        Measure("RenderFrame, still border", 5000, [&](int) { render.RenderFrame(); });
        Measure("RenderFrame, loading stripes (358 changes)", 5000, [&](int frame) {
            for (i32 t = 100 + frame % 7; t < 71'600; t += 200) {
                cpu.Tact = t;
                video.BorderWrite(static_cast<u8>((t / 200 + frame) & 7));
            }
            render.RenderFrame();
        });
        settings.Screen = 0;
        render.BuildLineSegments();
        render.BuildDimRegions();
        Measure("RenderFrame, border only (\"Screen\" off)", 5000, [&](int) { render.RenderFrame(); });
        settings.Screen = 1;
        render.BuildLineSegments();
        render.BuildDimRegions();
        render.RenderFrame();
        Measure("DrawUpToTact (stepping, RayTrace)", 5000,
                [&](int i) { render.DrawUpToTact(static_cast<i32>((i * 997) % 71'680)); });
        Measure("DrawStatic", 5000, [&](int) { render.DrawStatic(0xFF); });
        Measure("ShowBeamMarker + HideBeamMarker", 20000, [&](int i) {
            render.ShowBeamMarker(static_cast<i32>((i * 331) % 71'680));
            render.HideBeamMarker();
        });

        TIndexedSurface& surface = *render.GetDC();
        TZoomedPicture picture;
        const i32 width = surface.GetWidth();
        const i32 height = surface.GetHeight();
        picture.Update(surface, 0, 0, width, height, 2);
        Measure("Zoomed picture (x2), unchanged frame", 5000, [&](int) {
            surface.Publish();
            picture.Update(surface, 0, 0, width, height, 2);
        });
        Measure("Zoomed picture (x2), every pixel changed", 2000, [&](int) {
            u8* bits = surface.GetBits();
            for (i32 i = 0; i < width * height; ++i)
                bits[i] = static_cast<u8>(bits[i] ^ 1);
            surface.Publish();
            picture.Update(surface, 0, 0, width, height, 2);
        });
        g_Settings = nullptr;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
