// The 86 colours of the renderer's 8-bit picture: the fifteen Spectrum
// colours, the 28 blends drawn where the border colour changes inside a
// T-state's pixel pair, and a shaded copy of those 43 that dims the raster
// outside the visible TV picture. Also the 8 x 8 table naming the blend
// index of two border colours.
//
// Index layout after Build:
//   0-7    normal black, blue, red, magenta, green, cyan, yellow, white
//   8-14   bright blue to bright white (bright black is index 0)
//   15-42  blends of normal colours i < j: (0,1), (0,2) .. (0,7), (1,2) .. (6,7)
//   43-85  shaded copies of 0-42 (index + 43)
#pragma once

#include "core/Types.h"

#include <array>

// One colour in the layout of a bitmap colour table.
struct TPaletteEntry {
    u8 Blue = 0;
    u8 Green = 0;
    u8 Red = 0;
    u8 Reserved = 0;

    bool operator==(const TPaletteEntry&) const = default;
};

class TPalette {
public:
    static constexpr u32 Size = 256;
    static constexpr u8 ColourCount = 15;   // the Spectrum colours, 0-14
    static constexpr u8 FirstBlend = 15;
    static constexpr u8 BlendCount = 28;
    static constexpr u8 BaseCount = 43;     // colours and blends
    static constexpr u8 ShadeOffset = 43;   // shaded copy of index k is k + 43
    static constexpr u8 EntryCount = 86;

    using TMixTable = std::array<std::array<u8, 8>, 8>;

    // Builds the blend table; the colours wait for the first Build.
    TPalette();

    // The blend index of the unordered pair of normal colours {i, j}: 15 for
    // {0,1} counting up to 42 for {6,7}; 0 when i equals j (or either is not
    // a normal colour 0-7).
    static u8 GetMixIndex(u8 i, u8 j);

    // Fills entries 0-85 from the colour options of g_Settings (levels,
    // grey mode, blend and shading percentages) and sets the count to 86.
    // Only base 0 is used; other entries stay as they are.
    void Build(u32 base = 0);

    // The colour table, from the base entry when asked (base being 0, the
    // same pointer either way).
    const TPaletteEntry* GetEntries(bool fromBase = true) const;
    u32 GetBase() const { return Base; }
    u32 GetCount() const { return Count; }
    const TPaletteEntry& Entry(u32 index) const { return Entries[index & (Size - 1)]; }

    // Mix[i][j]: the palette index drawn where colour i changes to colour j.
    const TMixTable& GetMix() const { return Mix; }

private:
    u32 Base = 0;
    u32 Count = 0;
    std::array<TPaletteEntry, Size> Entries{};
    TMixTable Mix{};
};

// The one palette; its blend table is ready at start-up, its colours are
// built when the renderer creates its picture.
extern TPalette g_Palette;
