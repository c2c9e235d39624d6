// The indexed surface: creation, kept pixels, refused sizes, the colour table
// and the published front copy with its repaint coalescing.
#include "host/Indexed_surface.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using TRgb = TIndexedSurface::TRgb;

TEST(IndexedSurface, CreateKeepsThePixelsAndBlacksTheRestOfTheTable)
{
    TIndexedSurface surface;
    EXPECT_FALSE(surface.IsCreated());
    EXPECT_EQ(surface.GetBits(), nullptr);

    const TRgb colours[3] = {TIndexedSurface::MakeRgb(1, 2, 3), TIndexedSurface::MakeRgb(4, 5, 6), 0x00070809};
    ASSERT_TRUE(surface.Create(5, 3, colours, 3));
    EXPECT_EQ(surface.GetWidth(), 5);
    EXPECT_EQ(surface.GetHeight(), 3);
    EXPECT_EQ(surface.GetStride(), 5);
    EXPECT_EQ(surface.GetColours()[0], 0xFF010203u);
    EXPECT_EQ(surface.GetColours()[2], 0xFF070809u);  // always opaque
    for (int i = 3; i < 256; ++i)
        ASSERT_EQ(surface.GetColours()[static_cast<size_t>(i)], 0xFF000000u) << i;
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(surface.GetBits()[i], 0);

    for (int i = 0; i < 15; ++i)
        surface.GetBits()[i] = static_cast<u8>(i + 1);
    // The same size with other colours keeps every pixel.
    ASSERT_TRUE(surface.Create(5, 3, colours + 1, 1));
    EXPECT_EQ(surface.GetColours()[0], 0xFF040506u);
    EXPECT_EQ(surface.GetColours()[1], 0xFF000000u);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(surface.GetBits()[i], i + 1);

    // Another size keeps the overlap, top-left; new pixels are 0.
    ASSERT_TRUE(surface.Create(3, 4, colours, 3));
    const std::vector<u8> expected = {1, 2, 3, 6, 7, 8, 11, 12, 13, 0, 0, 0};
    EXPECT_EQ(std::vector<u8>(surface.GetBits(), surface.GetBits() + 12), expected);
}

TEST(IndexedSurface, RefusedSizesAndCountsKeepThePreviousPicture)
{
    TIndexedSurface surface;
    const TRgb colours[2] = {0xFF112233u, 0xFF445566u};
    ASSERT_TRUE(surface.Create(4, 4, colours, 2));
    surface.GetBits()[5] = 9;
    const u8* bits = surface.GetBits();

    EXPECT_FALSE(surface.Create(0, 4, colours, 1));
    EXPECT_FALSE(surface.Create(4, -1, colours, 1));
    EXPECT_FALSE(surface.Create(TIndexedSurface::MaxSide + 1, 4, colours, 1));
    EXPECT_FALSE(surface.Create(4, 4, colours, 257));
    EXPECT_FALSE(surface.Create(4, 4, colours, -1));
    EXPECT_FALSE(surface.Create(4, 4, nullptr, 2));
    EXPECT_FALSE(surface.SetColours(colours, 300));

    EXPECT_EQ(surface.GetBits(), bits);
    EXPECT_EQ(surface.GetWidth(), 4);
    EXPECT_EQ(surface.GetBits()[5], 9);
    EXPECT_EQ(surface.GetColours()[1], 0xFF445566u);
}

TEST(IndexedSurface, PublishCopiesPictureAndColours)
{
    TIndexedSurface surface;
    bool called = false;
    surface.ReadFront([&](const TIndexedSurface::TFrontView& front) {
        called = true;
        EXPECT_EQ(front.Pixels, nullptr);
        EXPECT_EQ(front.Serial, 0u);
    });
    EXPECT_TRUE(called);

    const TRgb colours[1] = {0xFF0000FFu};
    ASSERT_TRUE(surface.Create(2, 2, colours, 1));
    surface.GetBits()[3] = 7;
    surface.Publish();
    surface.GetBits()[3] = 8;  // drawing goes on in the back buffer
    surface.SetColours(nullptr, 0);

    std::vector<u8> pixels;
    TIndexedSurface::TColourTable table;
    i32 width = 0, height = 0;
    EXPECT_EQ(surface.CopyFront(pixels, table, width, height), 1u);
    EXPECT_EQ(pixels, (std::vector<u8>{0, 0, 0, 7}));
    EXPECT_EQ(table[0], 0xFF0000FFu);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 2);

    surface.Publish();
    surface.ReadFront([&](const TIndexedSurface::TFrontView& front) {
        EXPECT_EQ(front.Serial, 2u);
        EXPECT_EQ(front.Stride, 2);
        EXPECT_EQ(front.Pixels[3], 8);
        EXPECT_EQ(front.Colours[0], 0xFF000000u);
    });
}

TEST(IndexedSurface, OneRepaintIsPendingAtATime)
{
    TIndexedSurface surface;
    EXPECT_TRUE(surface.ClaimRepaint());
    EXPECT_FALSE(surface.ClaimRepaint());
    EXPECT_FALSE(surface.ClaimRepaint());
    surface.ReadFront([](const TIndexedSurface::TFrontView&) {});
    EXPECT_TRUE(surface.ClaimRepaint());
}

} // namespace
