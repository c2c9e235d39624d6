#include "platform/Outline_overlay.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace {

// One strip of the outline: a checkerboard of black and white pixels.
class TOutlineStrip : public QWidget {
public:
    TOutlineStrip()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        // Anchored to the screen, so the dots of the four strips line up and
        // do not crawl as the outline moves by one pixel.
        const QPoint origin = mapToGlobal(QPoint(0, 0));
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if (((origin.x() + x) + (origin.y() + y)) % 2 == 0)
                    p.fillRect(x, y, 1, 1, Qt::black);
    }
};

} // namespace

TOutlineOverlay::TOutlineOverlay() = default;

TOutlineOverlay::~TOutlineOverlay()
{
    for (QWidget* strip : Strips)
        delete strip;
}

void TOutlineOverlay::CreateStrips()
{
    if (Strips[0])
        return;
    for (auto& strip : Strips)
        strip = new TOutlineStrip;
}

void TOutlineOverlay::Show(const TScreenRect& r)
{
    CreateStrips();
    const int width = std::max(r.Right - r.Left, 0), height = std::max(r.Bottom - r.Top, 0);
    const int across = std::min(Thickness, height), down = std::min(Thickness, width);
    const int sideHeight = std::max(height - 2 * across, 0);
    const std::array<QRect, 4> shapes = {
        QRect(r.Left, r.Top, width, across),
        QRect(r.Left, r.Bottom - across, width, across),
        QRect(r.Left, r.Top + across, down, sideHeight),
        QRect(r.Right - down, r.Top + across, down, sideHeight),
    };
    for (std::size_t i = 0; i < Strips.size(); ++i) {
        if (shapes[i].isEmpty()) {
            Strips[i]->hide();
            continue;
        }
        Strips[i]->setGeometry(shapes[i]);
        Strips[i]->show();
        Strips[i]->raise();
    }
    Shown = true;
    Current = r;
}

void TOutlineOverlay::Hide()
{
    for (QWidget* strip : Strips)
        if (strip)
            strip->hide();
    Shown = false;
    Current = {};
}
