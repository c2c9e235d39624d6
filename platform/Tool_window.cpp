#include "platform/Tool_window.h"

#include "platform/System_metrics.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

using namespace SystemMetrics;

// Corners grip over this length along each edge, so a diagonal resize is
// easy to hit on a 4-pixel border.
constexpr int CornerGrip = 12;

QFont CaptionFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

} // namespace

TToolWindow::TToolWindow(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
    , Layout(new QVBoxLayout(this))
{
    Layout->setContentsMargins(SizingBorder, SizingBorder + SmallCaptionHeight, SizingBorder, SizingBorder);
    Layout->setSpacing(0);
    // The contents never push the window's size: the window keeps the size
    // it is given, down to its own minimum.
    Layout->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(MinToolWindowWidth, MinToolWindowHeight);
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, SystemColors::ButtonFace());
    setPalette(palette);
}

QRect TToolWindow::ClientRect() const
{
    return rect().adjusted(SizingBorder, SizingBorder + SmallCaptionHeight, -SizingBorder, -SizingBorder);
}

QRect TToolWindow::CaptionRect() const
{
    return QRect(SizingBorder, SizingBorder, width() - 2 * SizingBorder, SmallCaptionHeight);
}

QRect TToolWindow::CloseButtonRect() const
{
    const QRect caption = CaptionRect();
    return QRect(caption.right() - 1 - CaptionButtonWidth, caption.top() + (SmallCaptionHeight - CaptionButtonHeight) / 2,
                 CaptionButtonWidth, CaptionButtonHeight);
}

QSize TToolWindow::OuterSizeFor(const QSize& client)
{
    return QSize(client.width() + 2 * SizingBorder, client.height() + SmallCaptionHeight + 2 * SizingBorder);
}

int TToolWindow::CaptionFitWidth(const QString& title) const
{
    // The caption text runs from 3 pixels into the caption bar to 5 pixels
    // before the close button (see paintEvent); the button sits 1 pixel in
    // from the bar's right end.
    const QFontMetricsF metrics(CaptionFont(), this);
    const int text = int(std::ceil(metrics.horizontalAdvance(title)));
    return 2 * SizingBorder + 3 + text + 5 + CaptionButtonWidth + 2;
}

void TToolWindow::CaptionMouseDown(Qt::MouseButton button, const QPoint& global)
{
    Moving = button == Qt::LeftButton;
    MovePress = global;
    MoveOrigin = pos();
}

void TToolWindow::CaptionMouseMove(const QPoint& global)
{
    if (Moving)
        move(MoveOrigin + (global - MovePress));
}

void TToolWindow::CaptionMouseUp(Qt::MouseButton, const QPoint&)
{
    Moving = false;
}

void TToolWindow::CloseButtonClick()
{
    close();
}

int TToolWindow::EdgesAt(const QPoint& p) const
{
    if (!rect().contains(p))
        return 0;
    int edges = 0;
    const bool nearLeft = p.x() < SizingBorder, nearRight = p.x() >= width() - SizingBorder;
    const bool nearTop = p.y() < SizingBorder, nearBottom = p.y() >= height() - SizingBorder;
    if (nearLeft || nearRight || nearTop || nearBottom) {
        if (nearLeft || (p.x() < CornerGrip && (nearTop || nearBottom)))
            edges |= EdgeLeft;
        if (nearRight || (p.x() >= width() - CornerGrip && (nearTop || nearBottom)))
            edges |= EdgeRight;
        if (nearTop || (p.y() < CornerGrip && (nearLeft || nearRight)))
            edges |= EdgeTop;
        if (nearBottom || (p.y() >= height() - CornerGrip && (nearLeft || nearRight)))
            edges |= EdgeBottom;
    }
    return edges;
}

void TToolWindow::UpdateCursor(const QPoint& local)
{
    const int edges = EdgesAt(local);
    const bool horizontal = edges & (EdgeLeft | EdgeRight), vertical = edges & (EdgeTop | EdgeBottom);
    if (horizontal && vertical) {
        const bool mainDiagonal = (edges & EdgeLeft) == ((edges & EdgeTop) ? EdgeLeft : 0);
        setCursor(mainDiagonal ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal) {
        setCursor(Qt::SizeHorCursor);
    } else if (vertical) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
}

void TToolWindow::mousePressEvent(QMouseEvent* event)
{
    const QPoint local = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton && CloseButtonRect().contains(local)) {
        CloseDown = CloseHot = true;
        update(CloseButtonRect());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        if (const int edges = EdgesAt(local)) {
            ResizeEdges = edges;
            ResizePress = global;
            ResizeOrigin = geometry();
            return;
        }
    }
    if (CaptionRect().contains(local)) {
        CaptionPressed = true;
        CaptionMouseDown(event->button(), global);
        return;
    }
    QWidget::mousePressEvent(event);
}

void TToolWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint local = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    if (CloseDown) {
        const bool hot = CloseButtonRect().contains(local);
        if (hot != CloseHot) {
            CloseHot = hot;
            update(CloseButtonRect());
        }
        return;
    }
    if (ResizeEdges) {
        QRect r = ResizeOrigin;
        const QPoint d = global - ResizePress;
        const int minW = std::max(minimumWidth(), 1), minH = std::max(minimumHeight(), 1);
        if (ResizeEdges & EdgeLeft)
            r.setLeft(std::min(r.left() + d.x(), r.right() + 1 - minW));
        if (ResizeEdges & EdgeRight)
            r.setRight(std::max(r.right() + d.x(), r.left() + minW - 1));
        if (ResizeEdges & EdgeTop)
            r.setTop(std::min(r.top() + d.y(), r.bottom() + 1 - minH));
        if (ResizeEdges & EdgeBottom)
            r.setBottom(std::max(r.bottom() + d.y(), r.top() + minH - 1));
        setGeometry(r);
        return;
    }
    if (CaptionPressed && event->buttons() == Qt::NoButton) {
        // The release went elsewhere (the mouse was taken from us).
        CaptionPressed = false;
    }
    if (CaptionPressed) {
        CaptionMouseMove(global);
        return;
    }
    if (!event->buttons())
        UpdateCursor(local);
    QWidget::mouseMoveEvent(event);
}

void TToolWindow::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint local = event->position().toPoint();
    if (CloseDown && event->button() == Qt::LeftButton) {
        const bool click = CloseButtonRect().contains(local);
        CloseDown = CloseHot = false;
        update(CloseButtonRect());
        if (click)
            CloseButtonClick();
        return;
    }
    if (ResizeEdges && event->button() == Qt::LeftButton) {
        ResizeEdges = 0;
        return;
    }
    if (CaptionPressed) {
        CaptionPressed = event->buttons() != Qt::NoButton;
        CaptionMouseUp(event->button(), event->globalPosition().toPoint());
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TToolWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click on the caption is a press like any other (no maximise).
    mousePressEvent(event);
}

void TToolWindow::leaveEvent(QEvent* event)
{
    if (!ResizeEdges)
        unsetCursor();
    QWidget::leaveEvent(event);
}

void TToolWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowTitleChange)
        update(CaptionRect());
    QWidget::changeEvent(event);
}

void TToolWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    // A raised frame: light outer top-left, dark outer bottom-right.
    p.setPen(SystemColors::ButtonFace());
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(SystemColors::ButtonDarkShadow());
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(SystemColors::ButtonHighlight());
    p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
    p.setPen(SystemColors::ButtonShadow());
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);

    const bool active = isActiveWindow();
    const QRect caption = CaptionRect();
    p.fillRect(caption, active ? SystemColors::ActiveCaption() : SystemColors::InactiveCaption());
    const QRect button = CloseButtonRect();
    p.setFont(CaptionFont());
    p.setPen(active ? SystemColors::CaptionText() : SystemColors::InactiveCaptionText());
    const QRect textRect(caption.left() + 3, caption.top(), button.left() - caption.left() - 5, caption.height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, textRect.width()));

    // The close button: a raised (or, while held, sunken) square with an X.
    const bool sunken = CloseButtonState() == 1;
    p.fillRect(button, SystemColors::ButtonFace());
    const QRect b = button.adjusted(0, 0, -1, -1);
    p.setPen(sunken ? SystemColors::ButtonDarkShadow() : SystemColors::ButtonHighlight());
    p.drawLine(b.topLeft(), b.topRight());
    p.drawLine(b.topLeft(), b.bottomLeft());
    p.setPen(sunken ? SystemColors::ButtonHighlight() : SystemColors::ButtonDarkShadow());
    p.drawLine(b.bottomLeft(), b.bottomRight());
    p.drawLine(b.topRight(), b.bottomRight());
    const QPoint c = b.center() + (sunken ? QPoint(1, 1) : QPoint(0, 0));
    p.setPen(QPen(SystemColors::ButtonText(), 2));
    p.drawLine(c + QPoint(-3, -3), c + QPoint(3, 3));
    p.drawLine(c + QPoint(-3, 3), c + QPoint(3, -3));
}
