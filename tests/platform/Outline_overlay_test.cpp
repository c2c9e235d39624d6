// The drag outline's strips: four 3-pixel strips exactly around the
// rectangle, never taking input or focus, and gone when hidden.
#include "platform/Outline_overlay.h"
#include "tests/shell/Qt_test_app.h"

#include <QImage>

TEST(OutlineOverlay, FourThreePixelStripsAroundTheRectangle)
{
    TOutlineOverlay overlay;
    overlay.Show({100, 50, 300, 250});
    Settle();
    ASSERT_TRUE(overlay.IsShown());
    EXPECT_EQ(overlay.Strip(0)->geometry(), QRect(100, 50, 200, 3));    // top
    EXPECT_EQ(overlay.Strip(1)->geometry(), QRect(100, 247, 200, 3));   // bottom
    EXPECT_EQ(overlay.Strip(2)->geometry(), QRect(100, 53, 3, 194));    // left
    EXPECT_EQ(overlay.Strip(3)->geometry(), QRect(297, 53, 3, 194));    // right
    for (int i = 0; i < 4; ++i) {
        QWidget* strip = overlay.Strip(i);
        EXPECT_TRUE(strip->isVisible());
        EXPECT_TRUE(strip->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(strip->windowFlags() & Qt::WindowTransparentForInput);
        EXPECT_TRUE(strip->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(strip->focusPolicy(), Qt::NoFocus);
    }
}

TEST(OutlineOverlay, NegativeCoordinatesOfAScreenLeftOfTheFirst)
{
    TOutlineOverlay overlay;
    overlay.Show({-400, -20, -100, 180});
    EXPECT_EQ(overlay.Strip(0)->geometry(), QRect(-400, -20, 300, 3));
    EXPECT_EQ(overlay.Strip(3)->geometry(), QRect(-103, -17, 3, 194));
}

TEST(OutlineOverlay, IsDottedBlackAndWhite)
{
    TOutlineOverlay overlay;
    overlay.Show({10, 10, 110, 60});
    Settle();
    const QImage top = overlay.Strip(0)->grab().toImage();
    ASSERT_EQ(top.size(), QSize(100, 3));
    int black = 0, white = 0;
    for (int x = 0; x < top.width(); ++x) {
        const QRgb pixel = top.pixel(x, 0);
        black += pixel == qRgb(0, 0, 0);
        white += pixel == qRgb(255, 255, 255);
        if (x > 0) {
            EXPECT_NE(pixel, top.pixel(x - 1, 0)) << "dots alternate at x " << x;
        }
    }
    EXPECT_EQ(black, 50);
    EXPECT_EQ(white, 50);
}

TEST(OutlineOverlay, HideTakesEveryStripAway)
{
    TOutlineOverlay overlay;
    overlay.Hide();  // before anything was shown: nothing to do
    overlay.Show({0, 0, 50, 50});
    overlay.Hide();
    EXPECT_FALSE(overlay.IsShown());
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(overlay.Strip(i)->isVisible());
}

TEST(OutlineOverlay, ARectangleThinnerThanTwoStripsHasNoEmptySides)
{
    TOutlineOverlay overlay;
    overlay.Show({0, 0, 40, 4});
    EXPECT_TRUE(overlay.Strip(0)->isVisible());
    EXPECT_FALSE(overlay.Strip(2)->isVisible());
    EXPECT_FALSE(overlay.Strip(3)->isVisible());
}
