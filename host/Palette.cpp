#include "host/Palette.h"

#include "core/Settings.h"

TPalette g_Palette;

TPalette::TPalette()
{
    for (u8 i = 0; i < 8; ++i)
        for (u8 j = 0; j < 8; ++j)
            Mix[i][j] = i == j ? i : GetMixIndex(i, j);
}

u8 TPalette::GetMixIndex(u8 i, u8 j)
{
    if (i == j || i > 7 || j > 7)
        return 0;
    if (i > j) {
        const u8 lower = j;
        j = i;
        i = lower;
    }
    // Pairs with a lower first colour come first: colour k pairs with the
    // 7 - k colours above it.
    u32 index = FirstBlend;
    for (u8 k = 0; k < i; ++k)
        index += 7u - k;
    return static_cast<u8>(index + (j - i - 1));
}

namespace {

// One component of a blend or a shade. The arithmetic is signed and the
// division truncates toward zero (C++ integer division does); the result is
// taken as a byte, as the colour table stores it.
u8 Blend(u8 from, u8 to, i32 percent)
{
    return static_cast<u8>(from + (static_cast<i32>(to) - from) * percent / 100);
}

u8 Shade(u8 component, i32 percent)
{
    return static_cast<u8>((100 - percent) * (static_cast<i32>(component) - 128) / 100 + 128);
}

} // namespace

void TPalette::Build(u32 base)
{
    const TSettings& settings = *g_Settings;
    Base = base;

    // Colour c is bright * 8 + GRB bits; bright black (8) is written and
    // then overwritten by bright blue, so index 8 ends as bright blue.
    for (u32 c = 0; c < 16; ++c) {
        TPaletteEntry& entry = Entries[c <= 8 ? c : c - 1];
        const bool bright = c > 7;
        if (settings.Grayscale.load(std::memory_order_relaxed)) {
            const u8 grey = static_cast<u8>((c & 7) * (bright ? 35 : 25) + 10);
            entry = {grey, grey, grey, 0};
        } else {
            const u8 level = bright ? settings.BrightLevel : settings.NormalLevel;
            const u8 zero = settings.ZeroLevel;
            entry.Blue = (c & 1) ? level : zero;
            entry.Red = (c & 2) ? level : zero;
            entry.Green = (c & 4) ? level : zero;
            entry.Reserved = 0;
        }
    }

    // The blends, from the lower colour number toward the higher.
    const i32 blend = settings.BlendPercent;
    u32 index = FirstBlend;
    for (u32 i = 0; i < 7; ++i) {
        for (u32 j = i + 1; j < 8; ++j) {
            const TPaletteEntry& a = Entries[i];
            const TPaletteEntry& b = Entries[j];
            Entries[index++] = {Blend(a.Blue, b.Blue, blend), Blend(a.Green, b.Green, blend),
                                Blend(a.Red, b.Red, blend), 0};
        }
    }

    const i32 shading = settings.ShadingPercent;
    for (u32 k = 0; k < BaseCount; ++k) {
        const TPaletteEntry& from = Entries[k];
        Entries[ShadeOffset + k] = {Shade(from.Blue, shading), Shade(from.Green, shading), Shade(from.Red, shading), 0};
    }

    Count = 2u * BaseCount;
}

const TPaletteEntry* TPalette::GetEntries(bool fromBase) const
{
    return fromBase ? &Entries[Base & (Size - 1)] : Entries.data();
}
