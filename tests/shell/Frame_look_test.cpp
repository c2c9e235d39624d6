// What the close box and the title bar look like: the few pixels that tell
// the states apart.
#include "tests/shell/Docking_fixture.h"

#include "platform/System_metrics.h"

#include <QImage>

namespace {

class FrameLook : public TDockingTest {
protected:
    // A and B side by side, so both title bars show.
    void OpenSplit()
    {
        A = Open(TIDE::KindZ80, {100, 100});
        B = Open(TIDE::KindMemory, {500, 100});
        Dock(B, A->GetFrame(), TParentF::ZoneRight);
        Window(A)->resize(600, 300);
        Window(A)->Realign();
        Settle();
    }

    static QColor Pixel(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

    TStubView* A = nullptr;
    TStubView* B = nullptr;
};

} // namespace

TEST_F(FrameLook, CloseBoxStates)
{
    OpenSplit();
    QWidget* box = B->GetFrame()->ClosePB;
    ASSERT_EQ(box->size(), QSize(14, 14));
    // 3 pixels from the top and the right of the title bar.
    const QWidget* title = B->GetFrame()->FrameP;
    EXPECT_EQ(box->geometry(), QRect(title->width() - 17, 3, 14, 14));

    const QImage normal = box->grab().toImage();
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(box, &enter);
    EXPECT_EQ(B->GetFrame()->CloseState, 1);
    const QImage hot = box->grab().toImage();
    Press(box, GlobalCentre(box));
    EXPECT_EQ(B->GetFrame()->CloseState, 2);
    const QImage pressed = box->grab().toImage();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box, &leave);

    const QColor face = SystemColors::ButtonFace(), shadow = SystemColors::ButtonShadow();
    // The outline (left edge) and the fill (inside, left of the X).
    EXPECT_EQ(Pixel(normal, 0, 7), face);
    EXPECT_EQ(Pixel(normal, 1, 7), face);
    EXPECT_EQ(Pixel(hot, 0, 7), shadow);
    EXPECT_EQ(Pixel(hot, 1, 7), face);
    EXPECT_EQ(Pixel(pressed, 0, 7), shadow);
    EXPECT_EQ(Pixel(pressed, 1, 7), shadow);
    // The X: white inside, black outline, in every state.
    for (const QImage* image : {&normal, &hot, &pressed}) {
        EXPECT_EQ(Pixel(*image, 6, 6), QColor(Qt::white));
        EXPECT_EQ(Pixel(*image, 3, 3), QColor(Qt::white));
        EXPECT_EQ(Pixel(*image, 2, 3), QColor(Qt::black));
        EXPECT_EQ(Pixel(*image, 11, 10), QColor(Qt::black));
    }
}

TEST_F(FrameLook, TitleBarShowsTheActiveView)
{
    OpenSplit();
    ASSERT_TRUE(ActivateAndWait(Window(A)));
    B->SetActive();
    Settle();
    QWidget* activeTitle = B->GetFrame()->FrameP;
    QWidget* inactiveTitle = A->GetFrame()->FrameP;
    ASSERT_EQ(activeTitle->height(), 20);
    const QImage active = activeTitle->grab().toImage();
    const QImage inactive = inactiveTitle->grab().toImage();
    // Inside the shape, right of the caption text and left of the box.
    const int x = activeTitle->width() - 24;
    EXPECT_EQ(Pixel(active, x, 10), QColor(Qt::white));
    EXPECT_EQ(Pixel(inactive, inactiveTitle->width() - 24, 10), SystemColors::ButtonFace());
    // The shape's outline in the button-shadow colour, 1 pixel in.
    EXPECT_EQ(Pixel(active, 1, 10), SystemColors::ButtonShadow());
    EXPECT_EQ(Pixel(inactive, 1, 10), SystemColors::ButtonShadow());
    // The caption text: bold while active.
    EXPECT_TRUE(B->GetFrame()->FrameL->font().bold());
    EXPECT_FALSE(A->GetFrame()->FrameL->font().bold());
    EXPECT_EQ(B->GetFrame()->FrameL->text(), QStringLiteral("Memory View #2"));
    int dark = 0;
    for (int px = 7; px < 60; ++px)
        for (int py = 3; py < 18; ++py)
            dark += Pixel(active, px, py).lightness() < 100;
    EXPECT_GT(dark, 10) << "the caption is written on the title bar";

    // When the window loses the activation the title bar loses the look.
    QWidget other;
    other.show();
    ASSERT_TRUE(ActivateAndWait(&other));
    const QImage deactivated = activeTitle->grab().toImage();
    EXPECT_EQ(Pixel(deactivated, x, 10), SystemColors::ButtonFace());
}
