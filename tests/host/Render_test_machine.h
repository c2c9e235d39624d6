// The parts the renderer draws from, without the computer: memory (128K, its
// fresh pages seeded for repeatable pictures), the port bus, the processor
// whose T-state stamps border changes, the video chip and the renderer.
// The renderer is initialised as the computer does it.
#pragma once

#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Render_gdi_8bit.h"
#include "tests/support/Test_settings.h"

#include <cstring>
#include <utility>
#include <vector>

struct TRenderTestMachine {
    // Default geometry.
    static constexpr i32 Width = 448;
    static constexpr i32 Height = 320;
    static constexpr i32 LineTStates = 224;
    static constexpr i32 FirstPaperLine = 80;
    static constexpr i32 FirstPaperPixel = 136;

    struct TSeed {
        explicit TSeed(u32 seed) { TMemory::SeedRandom(seed); }
    };

    TTestSettings Settings;
    TSeed Seed{12345};
    TMemory Memory{TMemory::Model128};
    TPorts Ports;
    TZ80 Cpu{&Memory, &Ports};
    TVideoCard Video{&Memory, &Cpu};
    TRenderGDI8Bit Render;

    // Init is left to the test when it wants to change settings first.
    explicit TRenderTestMachine(bool init = true)
    {
        if (init)
            Render.Init(&Video);
    }

    // A border change that the video chip stamps `stamp`.
    void Border(i32 stamp, u8 colour)
    {
        Cpu.Tact = stamp + 1;
        Video.BorderWrite(colour);
    }

    // The screen page (bank 5).
    u8* Screen() { return Memory.GetBankPtr(5); }

    u8 Pixel(i32 x, i32 y) const { return Render.GetPixel(x, y); }
    // The pixel pair of a frame T-state.
    std::pair<u8, u8> Pair(i32 tact) const
    {
        const i32 x = 2 * (tact % LineTStates), y = tact / LineTStates;
        return {Pixel(x, y), Pixel(x + 1, y)};
    }

    std::vector<u8> Picture()
    {
        const TIndexedSurface& surface = *Render.GetDC();
        const u8* bits = surface.GetBits();
        return bits ? std::vector<u8>(bits, bits + surface.GetWidth() * surface.GetHeight()) : std::vector<u8>{};
    }

    // Every screen byte from a function of its offset, then every latch.
    template <class F>
    void FillScreen(F value)
    {
        for (u32 i = 0; i < 6912; ++i)
            Screen()[i] = value(i);
        Video.LatchWholeScreen();
    }
};
