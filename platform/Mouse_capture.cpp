#include "platform/Mouse_capture.h"

#include <QWidget>

TMouseCapture::TMouseCapture(std::function<void()> onLost)
    : OnLost(std::move(onLost))
{
    Watch.setInterval(WatchIntervalMs);
    connect(&Watch, &QTimer::timeout, this, [this] { Check(); });
}

TMouseCapture::~TMouseCapture()
{
    Release();
}

void TMouseCapture::Capture(QWidget* widget)
{
    Release();
    if (!widget)
        return;
    Widget = widget;
    widget->grabMouse();
    Watch.start();
}

void TMouseCapture::Release()
{
    Watch.stop();
    if (Widget && QWidget::mouseGrabber() == Widget)
        Widget->releaseMouse();
    Widget = nullptr;
}

bool TMouseCapture::Check()
{
    if (!Watch.isActive())
        return false;
    if (Widget && Widget->isVisible() && QWidget::mouseGrabber() == Widget)
        return true;
    Release();
    if (OnLost)
        OnLost();
    return false;
}
