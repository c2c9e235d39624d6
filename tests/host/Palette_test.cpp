// The 86 colours and the blend table, against values worked out by hand from
// the colour levels (255 bright, 187 normal, 0 off, blends and shades at 50%).
#include "host/Palette.h"

#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct TRgb {
    int Red, Green, Blue;
    bool operator==(const TRgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TRgb& c)
{
    return out << "(" << c.Red << ", " << c.Green << ", " << c.Blue << ")";
}

class PaletteTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TPalette Palette;

    TRgb Colour(u32 index) const
    {
        const TPaletteEntry& e = Palette.GetEntries(false)[index];
        EXPECT_EQ(e.Reserved, 0) << "entry " << index;
        return {e.Red, e.Green, e.Blue};
    }
};

TEST_F(PaletteTest, SpectrumColoursFromTheLevels)
{
    Palette.Build(0);
    EXPECT_EQ(Palette.GetCount(), 86u);
    EXPECT_EQ(Palette.GetBase(), 0u);
    EXPECT_EQ(Palette.GetEntries(true), Palette.GetEntries(false));

    // Index: black blue red magenta green cyan yellow white, then bright
    // blue to bright white; GRB bits of the colour number.
    const TRgb expected[15] = {
        {0, 0, 0},       {0, 0, 187},     {187, 0, 0},     {187, 0, 187},   {0, 187, 0},
        {0, 187, 187},   {187, 187, 0},   {187, 187, 187}, {0, 0, 255},     {255, 0, 0},
        {255, 0, 255},   {0, 255, 0},     {0, 255, 255},   {255, 255, 0},   {255, 255, 255},
    };
    for (u32 i = 0; i < 15; ++i)
        EXPECT_EQ(Colour(i), expected[i]) << "index " << i;
    EXPECT_EQ(Colour(2), (TRgb{187, 0, 0}));      // normal red
    EXPECT_EQ(Colour(13), (TRgb{255, 255, 0}));   // bright yellow
}

TEST_F(PaletteTest, BlendsGoFromTheLowerColourAndTruncateTowardZero)
{
    Palette.Build(0);
    // Black and normal white: 0 + 187 x 50 / 100 = 93.
    EXPECT_EQ(Colour(21), (TRgb{93, 93, 93}));
    // Index 22 blends blue (1) into red (2): red 0 + 187 / 2 = 93, blue
    // 187 + (0 - 187) x 50 / 100 = 187 - 93 = 94 (flooring would give 93).
    EXPECT_EQ(Colour(22), (TRgb{93, 0, 94}));
    // The last blend, yellow into white: green and red stay, blue 0 + 93.
    EXPECT_EQ(Colour(42), (TRgb{187, 187, 93}));
    // Blends use the normal colours only: blue into white is 0->187 / 187->187.
    EXPECT_EQ(Colour(15 + 7 + 5), (TRgb{93, 93, 187}));  // (1, 7)
}

TEST_F(PaletteTest, ShadedCopiesFollowAtPlus43)
{
    Palette.Build(0);
    EXPECT_EQ(Colour(43), (TRgb{64, 64, 64}));      // black
    EXPECT_EQ(Colour(57), (TRgb{191, 191, 191}));   // bright white: 50 x 127 / 100 = 63
    EXPECT_EQ(Colour(45), (TRgb{157, 64, 64}));     // normal red: 50 x 59 / 100 = 29
    // A shade of a blend truncates toward zero too: 50 x (93 - 128) / 100 = -17.
    EXPECT_EQ(Colour(43 + 21), (TRgb{111, 111, 111}));
    for (u32 k = 0; k < 43; ++k) {
        const TRgb from = Colour(k), shaded = Colour(43 + k);
        for (auto [a, b] : {std::pair{from.Red, shaded.Red}, {from.Green, shaded.Green}, {from.Blue, shaded.Blue}})
            EXPECT_EQ(b, (50 * (a - 128)) / 100 + 128) << "index " << k;
    }
}

TEST_F(PaletteTest, GreyMode)
{
    Settings->Grayscale = 1;
    Palette.Build(0);
    const int normal[8] = {10, 35, 60, 85, 110, 135, 160, 185};
    for (u32 i = 0; i < 8; ++i)
        EXPECT_EQ(Colour(i), (TRgb{normal[i], normal[i], normal[i]})) << "index " << i;
    const int bright[7] = {45, 80, 115, 150, 185, 220, 255};
    for (u32 i = 0; i < 7; ++i)
        EXPECT_EQ(Colour(8 + i), (TRgb{bright[i], bright[i], bright[i]})) << "index " << 8 + i;
    // Blends and shades come from the greys.
    EXPECT_EQ(Colour(21), (TRgb{97, 97, 97}));  // 10 + 175 / 2
    EXPECT_EQ(Colour(43), (TRgb{69, 69, 69}));  // 50 x (10 - 128) / 100 + 128
}

TEST_F(PaletteTest, OtherLevelsAndPercentsAreRead)
{
    Settings->NormalLevel = 200;
    Settings->BrightLevel = 250;
    Settings->ZeroLevel = 20;
    Settings->BlendPercent = 25;
    Settings->ShadingPercent = 0;
    Palette.Build(0);
    EXPECT_EQ(Colour(1), (TRgb{20, 20, 200}));
    EXPECT_EQ(Colour(14), (TRgb{250, 250, 250}));
    EXPECT_EQ(Colour(15), (TRgb{20, 20, 65}));  // blue 20 + 180 x 25 / 100
    EXPECT_EQ(Colour(43 + 14), Colour(14));     // no shading
}

TEST_F(PaletteTest, MixIndexOfEveryPair)
{
    EXPECT_EQ(TPalette::GetMixIndex(3, 1), 23);
    EXPECT_EQ(TPalette::GetMixIndex(1, 3), 23);
    EXPECT_EQ(TPalette::GetMixIndex(0, 1), 15);
    EXPECT_EQ(TPalette::GetMixIndex(0, 7), 21);
    EXPECT_EQ(TPalette::GetMixIndex(6, 7), 42);
    EXPECT_EQ(TPalette::GetMixIndex(4, 4), 0);

    // The 28 unordered pairs take 15..42 in the order (0,1) .. (0,7), (1,2) .. (6,7).
    std::set<u8> seen;
    u8 next = 15;
    for (u8 i = 0; i < 8; ++i) {
        for (u8 j = i + 1; j < 8; ++j) {
            EXPECT_EQ(TPalette::GetMixIndex(i, j), next) << int(i) << "," << int(j);
            seen.insert(TPalette::GetMixIndex(j, i));
            ++next;
        }
    }
    EXPECT_EQ(seen.size(), 28u);

    const TPalette::TMixTable& mix = Palette.GetMix();
    for (u8 i = 0; i < 8; ++i)
        for (u8 j = 0; j < 8; ++j)
            EXPECT_EQ(mix[i][j], i == j ? i : TPalette::GetMixIndex(i, j)) << int(i) << "," << int(j);
}

TEST_F(PaletteTest, MixEntryIsTheBlendOfTheTwoColours)
{
    Palette.Build(0);
    // The blend table and the colours agree: mix[i][j] lies halfway between
    // colour i and colour j in every component (within the truncation).
    for (u8 i = 0; i < 8; ++i) {
        for (u8 j = 0; j < 8; ++j) {
            if (i == j)
                continue;
            const TRgb a = Colour(std::min(i, j)), b = Colour(std::max(i, j)), m = Colour(Palette.GetMix()[i][j]);
            EXPECT_EQ(m.Red, a.Red + (b.Red - a.Red) / 2);
            EXPECT_EQ(m.Green, a.Green + (b.Green - a.Green) / 2);
            EXPECT_EQ(m.Blue, a.Blue + (b.Blue - a.Blue) / 2);
        }
    }
}

} // namespace
