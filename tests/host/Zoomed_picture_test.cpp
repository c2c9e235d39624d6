// The zoomed picture: the colours of each block at every zoom (rectangles
// reaching past the front copy included), and the changed area it reports,
// which decides what the screen view repaints.
#include "host/Zoomed_picture.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using TRgb = TIndexedSurface::TRgb;
using TArea = TZoomedPicture::TArea;

// A 40 x 30 surface whose pixels and colours all differ from their
// neighbours, published once.
class ZoomedPicture : public ::testing::Test {
protected:
    static constexpr i32 Width = 40;
    static constexpr i32 Height = 30;

    void SetUp() override
    {
        for (i32 i = 0; i < 256; ++i)
            Colours[static_cast<size_t>(i)] = TIndexedSurface::MakeRgb(static_cast<u8>(i), static_cast<u8>(255 - i),
                                                                       static_cast<u8>(i * 7));
        ASSERT_TRUE(Surface.Create(Width, Height, Colours.data(), 256));
        for (i32 i = 0; i < Width * Height; ++i)
            Surface.GetBits()[i] = static_cast<u8>(i * 31 + i / Width);
        Surface.Publish();
    }

    void Set(i32 x, i32 y, u8 index) { Surface.GetBits()[y * Width + x] = index; }

    // Every pixel of the picture against the colour of its source pixel
    // (index 0 outside the surface); the number of mismatches.
    int Mismatches(i32 x, i32 y, i32 width, i32 height, i32 zoom) const
    {
        if (Picture.GetWidth() != width * zoom || Picture.GetHeight() != height * zoom)
            return -1;
        int mismatches = 0;
        for (i32 py = 0; py < height * zoom; ++py)
            for (i32 px = 0; px < width * zoom; ++px) {
                const i32 sx = x + px / zoom;
                const i32 sy = y + py / zoom;
                const bool inside = sx >= 0 && sx < Width && sy >= 0 && sy < Height;
                const u8 index = inside ? Surface.GetBits()[sy * Width + sx] : 0;
                if (Picture.GetPixels()[py * width * zoom + px] != (Colours[index] | TIndexedSurface::Opaque))
                    ++mismatches;
            }
        return mismatches;
    }

    TIndexedSurface Surface;
    std::array<TRgb, 256> Colours{};
    TZoomedPicture Picture;
};

void ExpectArea(const TArea& area, i32 x, i32 y, i32 width, i32 height)
{
    EXPECT_EQ(area.X, x);
    EXPECT_EQ(area.Y, y);
    EXPECT_EQ(area.Width, width);
    EXPECT_EQ(area.Height, height);
}

TEST_F(ZoomedPicture, EachSourcePixelBecomesABlockOfItsColourAtEveryZoom)
{
    struct TCase {
        i32 X, Y, W, H, Zoom;
    };
    const std::vector<TCase> cases = {
        {0, 0, Width, Height, 1}, {0, 0, Width, Height, 2}, {3, 5, 17, 11, 3},
        {7, 2, 9, 4, 5},
        // Past every edge: index 0 there.
        {-4, -3, Width + 9, Height + 5, 2}, {Width - 2, Height - 1, 6, 4, 1}, {Width + 3, 0, 4, 4, 3},
    };
    for (const TCase& c : cases) {
        const TArea area = Picture.Update(Surface, c.X, c.Y, c.W, c.H, c.Zoom);
        ExpectArea(area, 0, 0, c.W * c.Zoom, c.H * c.Zoom);
        EXPECT_EQ(Mismatches(c.X, c.Y, c.W, c.H, c.Zoom), 0) << c.X << "," << c.Y << " zoom " << c.Zoom;
    }
}

TEST_F(ZoomedPicture, OnlyWhatChangedIsReportedAndConverted)
{
    const i32 zoom = 3;
    ExpectArea(Picture.Update(Surface, 4, 2, 30, 20, zoom), 0, 0, 90, 60);

    // Nothing new: neither without a publish nor with an identical one.
    EXPECT_TRUE(Picture.Update(Surface, 4, 2, 30, 20, zoom).IsEmpty());
    Surface.Publish();
    EXPECT_TRUE(Picture.Update(Surface, 4, 2, 30, 20, zoom).IsEmpty());
    // A change outside the rectangle shows nothing new either.
    Set(1, 1, 200);
    Set(35, 25, 201);
    Surface.Publish();
    EXPECT_TRUE(Picture.Update(Surface, 4, 2, 30, 20, zoom).IsEmpty());

    // One pixel: its block, at the rectangle's coordinates.
    Set(10, 7, static_cast<u8>(Surface.GetBits()[7 * Width + 10] + 1));
    Surface.Publish();
    ExpectArea(Picture.Update(Surface, 4, 2, 30, 20, zoom), 6 * zoom, 5 * zoom, zoom, zoom);
    EXPECT_EQ(Mismatches(4, 2, 30, 20, zoom), 0);

    // Two pixels: the box around both, from the first changed column of any
    // row to the last.
    Set(20, 4, static_cast<u8>(Surface.GetBits()[4 * Width + 20] + 1));
    Set(8, 15, static_cast<u8>(Surface.GetBits()[15 * Width + 8] + 1));
    Surface.Publish();
    ExpectArea(Picture.Update(Surface, 4, 2, 30, 20, zoom), 4 * zoom, 2 * zoom, 13 * zoom, 12 * zoom);
    EXPECT_EQ(Mismatches(4, 2, 30, 20, zoom), 0);

    // New colours, another rectangle or another zoom: all of it.
    Colours[Surface.GetBits()[0]] ^= 0x00FF00;
    Surface.SetColours(Colours.data(), 256);
    Surface.Publish();
    ExpectArea(Picture.Update(Surface, 4, 2, 30, 20, zoom), 0, 0, 90, 60);
    EXPECT_EQ(Mismatches(4, 2, 30, 20, zoom), 0);
    ExpectArea(Picture.Update(Surface, 5, 2, 30, 20, zoom), 0, 0, 90, 60);
    ExpectArea(Picture.Update(Surface, 5, 2, 30, 20, 2), 0, 0, 60, 40);
    EXPECT_EQ(Mismatches(5, 2, 30, 20, 2), 0);
}

TEST_F(ZoomedPicture, NothingPublishedOrAnImpossibleShapeLeavesItEmpty)
{
    TIndexedSurface unpublished;
    ASSERT_TRUE(unpublished.Create(8, 8, Colours.data(), 256));
    EXPECT_TRUE(Picture.Update(unpublished, 0, 0, 8, 8, 2).IsEmpty());
    EXPECT_TRUE(Picture.IsEmpty());
    EXPECT_EQ(Picture.GetPixels(), nullptr);

    ASSERT_FALSE(Picture.Update(Surface, 0, 0, 8, 8, 2).IsEmpty());
    EXPECT_TRUE(Picture.Update(Surface, 0, 0, 8, 8, 0).IsEmpty());
    EXPECT_TRUE(Picture.IsEmpty());
    EXPECT_TRUE(Picture.Update(Surface, 0, 0, 0, 8, 1).IsEmpty());
    EXPECT_TRUE(Picture.Update(Surface, 0, 0, 8, -1, 1).IsEmpty());
    EXPECT_TRUE(Picture.Update(Surface, 0, 0, 8, 8, TZoomedPicture::MaxZoom + 1).IsEmpty());
    EXPECT_TRUE(Picture.Update(Surface, 0, 0, TIndexedSurface::MaxSide, 8, 2).IsEmpty());
    EXPECT_TRUE(Picture.IsEmpty());
    EXPECT_EQ(Picture.GetWidth(), 0);
    // A sound shape again: the whole picture.
    ExpectArea(Picture.Update(Surface, 0, 0, 8, 8, 1), 0, 0, 8, 8);
    EXPECT_EQ(Mismatches(0, 0, 8, 8, 1), 0);
}

} // namespace
