// The frameless tool window: its metrics, its own caption, close button and
// sizing border, and the caption look.
#include "platform/Mouse_capture.h"
#include "platform/System_metrics.h"
#include "platform/Tool_window.h"
#include "tests/shell/Qt_test_app.h"

#include <QImage>
#include <QLabel>
#include <QElapsedTimer>
#include <QVBoxLayout>

namespace {

class TRecordingToolWindow : public TToolWindow {
public:
    TRecordingToolWindow()
        : TToolWindow(nullptr)
    {
    }
    int Closes = 0;
    bool UseDefaultMove = true;

protected:
    void CloseButtonClick() override { ++Closes; }
};

} // namespace

TEST(ToolWindow, OuterSizeIsClientPlusBorderAndSmallCaption)
{
    EXPECT_EQ(TToolWindow::OuterSizeFor(QSize(896, 640)), QSize(904, 666));
    TRecordingToolWindow window;
    window.setGeometry(100, 100, 300, 200);
    EXPECT_EQ(window.ClientRect(), QRect(4, 22, 292, 174));
    EXPECT_EQ(window.CaptionRect(), QRect(4, 4, 292, 18));
    EXPECT_TRUE(window.CaptionRect().contains(window.CloseButtonRect()));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ((window.windowFlags() & Qt::WindowType_Mask), Qt::Tool);
}

TEST(ToolWindow, ClientWidgetsFillTheClientArea)
{
    TRecordingToolWindow window;
    auto* content = new QLabel(QStringLiteral("x"));
    window.ClientLayout()->addWidget(content);
    window.setGeometry(50, 50, 200, 150);
    window.show();
    Settle();
    EXPECT_EQ(content->geometry(), window.ClientRect());
}

TEST(ToolWindow, NeverSmallerThan120By60)
{
    TRecordingToolWindow window;
    window.resize(10, 10);
    EXPECT_EQ(window.size(), QSize(120, 60));
}

TEST(ToolWindow, DraggingTheCaptionMovesTheWindowByDefault)
{
    TRecordingToolWindow window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    Settle();
    const QPoint press = window.mapToGlobal(QPoint(60, 10));
    Press(&window, press);
    EXPECT_TRUE(window.CaptionHeld());
    MoveTo(&window, press + QPoint(30, -40));
    Release(&window, press + QPoint(30, -40));
    EXPECT_EQ(window.pos(), QPoint(130, 60));
    EXPECT_FALSE(window.CaptionHeld());
}

TEST(ToolWindow, CloseButtonClicksOnlyWhenReleasedOverIt)
{
    TRecordingToolWindow window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    Settle();
    const QPoint button = window.mapToGlobal(window.CloseButtonRect().center());
    Press(&window, button);
    EXPECT_EQ(window.CloseButtonState(), 1);
    MoveTo(&window, button + QPoint(0, 40));
    EXPECT_EQ(window.CloseButtonState(), 0);
    Release(&window, button + QPoint(0, 40));
    EXPECT_EQ(window.Closes, 0);
    Press(&window, button);
    Release(&window, button);
    EXPECT_EQ(window.Closes, 1);
}

TEST(ToolWindow, SizingBorderResizesDownToTheMinimum)
{
    TRecordingToolWindow window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    Settle();
    const QPoint right = window.mapToGlobal(QPoint(298, 100));
    Press(&window, right);
    MoveTo(&window, right + QPoint(50, 0));
    EXPECT_EQ(window.geometry(), QRect(100, 100, 350, 200));
    MoveTo(&window, right + QPoint(-500, 0));
    EXPECT_EQ(window.geometry(), QRect(100, 100, 120, 200));
    Release(&window, right + QPoint(-500, 0));

    const QPoint topLeft = window.mapToGlobal(QPoint(1, 1));
    Press(&window, topLeft);
    MoveTo(&window, topLeft + QPoint(-10, -20));
    Release(&window, topLeft + QPoint(-10, -20));
    EXPECT_EQ(window.geometry(), QRect(90, 80, 130, 220));
}

TEST(ToolWindow, CaptionShowsTitleInActiveColours)
{
    TRecordingToolWindow window;
    window.setWindowTitle(QStringLiteral("Z80 View #1"));
    window.setGeometry(100, 100, 300, 200);
    window.show();
    Settle();
    if (!ActivateAndWait(&window))
        GTEST_SKIP() << "the platform does not activate windows";
    const QImage active = window.grab().toImage();
    // The caption's background away from the title text and button.
    const QPoint probe(window.CloseButtonRect().left() - 4, window.CaptionRect().top() + 1);
    EXPECT_EQ(QColor(active.pixel(probe)), SystemColors::ActiveCaption());
    EXPECT_EQ(QColor(active.pixel(window.ClientRect().center())), SystemColors::ButtonFace());
    // Some of the title is written in the caption text colour.
    bool text = false;
    for (int x = window.CaptionRect().left(); x < 80 && !text; ++x)
        for (int y = 5; y < 21 && !text; ++y)
            text = QColor(active.pixel(x, y)) == SystemColors::CaptionText();
    EXPECT_TRUE(text);

    QWidget other;
    other.setGeometry(600, 100, 100, 100);
    other.show();
    ASSERT_TRUE(ActivateAndWait(&other));
    const QImage inactive = window.grab().toImage();
    EXPECT_EQ(QColor(inactive.pixel(probe)), SystemColors::InactiveCaption());
}

TEST(MouseCapture, ALostCaptureCallsBackOnceAndAReleaseDoesNot)
{
    QWidget a, b;
    a.show();
    b.show();
    Settle();
    int lost = 0;
    TMouseCapture capture([&] { ++lost; });
    capture.Capture(&a);
    EXPECT_TRUE(capture.Check());
    capture.Release();
    EXPECT_FALSE(capture.Check());
    EXPECT_EQ(lost, 0);

    capture.Capture(&a);
    b.grabMouse();  // someone else takes the mouse
    QElapsedTimer timer;
    timer.start();
    while (lost == 0 && timer.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(capture.IsCaptured());
    EXPECT_EQ(QWidget::mouseGrabber(), &b) << "the new owner keeps the mouse";
    b.releaseMouse();
    Settle();
    EXPECT_EQ(lost, 1);
}
