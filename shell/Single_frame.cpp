#include "shell/Single_frame.h"

#include "platform/System_metrics.h"
#include "shell/Frames_form.h"
#include "shell/View_frame.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The close box's X, as one polygon in 14 x 14 pixels.
const QPolygon CloseCross({{2, 4}, {2, 3}, {3, 2}, {4, 2}, {6, 4}, {7, 4}, {9, 2}, {10, 2},
                           {11, 3}, {11, 4}, {9, 6}, {9, 7}, {11, 9}, {11, 10}, {10, 11}, {9, 11},
                           {7, 9}, {6, 9}, {4, 11}, {3, 11}, {2, 10}, {2, 9}, {4, 7}, {4, 6}});

QFont TitleFont(bool bold)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

} // namespace

TSingleFrameF::TSingleFrameF(QWidget* owner, QWidget* parent, TViewF* view)
    : TDraggedF(owner, parent, KindSingle)
    , FrameP(new QWidget(this))
    , FrameS(new QWidget(FrameP))
    , FrameL(new QLabel(FrameP))
    , ClosePB(new QWidget(FrameP))
    , ViewPanel(new QWidget(this))
    , View(view)
    , Capture([this] { CancelDrag(); })
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(FrameP);
    layout->addWidget(ViewPanel, 1);

    FrameP->setObjectName(QStringLiteral("FrameP"));
    FrameP->setFixedHeight(TitleHeight);
    FrameP->setAutoFillBackground(true);
    QPalette palette = FrameP->palette();
    palette.setColor(QPalette::Window, SystemColors::ButtonFace());
    palette.setColor(QPalette::WindowText, SystemColors::ButtonText());
    FrameP->setPalette(palette);
    FrameP->installEventFilter(this);

    FrameS->setObjectName(QStringLiteral("FrameS"));
    FrameS->installEventFilter(this);

    FrameL->setObjectName(QStringLiteral("FrameL"));
    FrameL->setFont(TitleFont(false));
    FrameL->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FrameL->setAttribute(Qt::WA_TranslucentBackground);
    FrameL->installEventFilter(this);

    ClosePB->setObjectName(QStringLiteral("ClosePB"));
    ClosePB->setFixedSize(CloseBoxSize, CloseBoxSize);
    ClosePB->setMouseTracking(true);
    ClosePB->installEventFilter(this);

    ViewPanel->setObjectName(QStringLiteral("ViewPanel"));
    auto* viewLayout = new QVBoxLayout(ViewPanel);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    viewLayout->setSizeConstraint(QLayout::SetNoConstraint);
    if (view) {
        viewLayout->addWidget(view);
        view->show();
        FrameL->setText(view->Caption);
    }
    FrameP->hide();
    LayoutTitle();
    UpdateActiveState();
    PlaceFrame(parent, this);
}

TSingleFrameF::~TSingleFrameF()
{
    delete View.data();
}

void TSingleFrameF::SetRoot(bool isRoot)
{
    FrameP->setVisible(!isRoot);
}

QString TSingleFrameF::GetCaption() const
{
    return View ? View->Caption : QString();
}

void TSingleFrameF::SetViewSize(int width, int height)
{
    if (!View)
        return;
    View->PreferredWidth = width;
    View->PreferredHeight = height;
}

QSize TSingleFrameF::GetViewSize() const
{
    return View ? QSize(View->PreferredWidth, View->PreferredHeight) : QSize();
}

void TSingleFrameF::UpdateViews()
{
    if (View)
        View->UpdateView();
    UpdateActiveState();
}

void TSingleFrameF::UpdateActiveState()
{
    ActiveLook = View && View->IsActive();
    FrameL->setFont(TitleFont(ActiveLook));
    FrameS->update();
    if (View)
        View->update();
}

TViewF* TSingleFrameF::FindView(const QString& className)
{
    return View && View->ClassName() == className ? View.data() : nullptr;
}

QSize TSingleFrameF::GetContentSize() const
{
    // The view's preferred size is the outer size of a window of its own.
    const QSize chrome = TFramesF::OuterSizeFor(QSize(0, 0));
    QSize content = (GetViewSize() - chrome).expandedTo(QSize(0, 0));
    if (!FrameP->isHidden()) {
        // The caption in the active (bold) look, between its left inset and
        // the close box.
        const QFontMetricsF metrics(TitleFont(true), FrameL);
        const int title = int(std::ceil(metrics.horizontalAdvance(GetCaption()))) + TitleInsets;
        content = QSize(std::max(content.width(), title), content.height() + TitleHeight);
    }
    return content;
}

void TSingleFrameF::CancelDrag()
{
    TParentF::CancelDrag();
    Capture.Release();
}

void TSingleFrameF::Close()
{
    TFramesF* window = GetRootForm();
    if (window)
        window->ForgetViewsIn(this);
    if (!GetParentContainer()) {
        // The root has no close box of its own; closing it closes its window.
        if (window && window->GetRootFrame() == this)
            window->Release();
        else
            Release();
        return;
    }
    TakeOutOfContainer(this);
    if (window)
        window->UpdateCaption();
    Release();
}

void TSingleFrameF::LayoutTitle()
{
    const QRect inner = FrameP->rect().adjusted(1, 1, -1, -1);
    FrameS->setGeometry(inner);
    FrameL->setGeometry(inner.adjusted(6, 2, -20, 0));
    ClosePB->move(FrameP->width() - CloseBoxMargin - CloseBoxSize, CloseBoxMargin);
    ClosePB->raise();
}

void TSingleFrameF::PaintShape()
{
    QPainter p(FrameS);
    const QRect r = FrameS->rect();
    const qreal radius = std::min(r.width(), r.height()) / 8.0;
    p.setPen(SystemColors::ButtonShadow());
    if (ActiveLook)
        p.setBrush(SystemColors::Window());
    else
        p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0, 0, -1, -1), radius, radius);
}

void TSingleFrameF::PaintCloseBox()
{
    QPainter p(ClosePB);
    QColor fill = SystemColors::ButtonFace(), outline = SystemColors::ButtonFace();
    if (CloseState == 1)
        outline = SystemColors::ButtonShadow();
    else if (CloseState == 2)
        fill = outline = SystemColors::ButtonShadow();
    p.setPen(outline);
    p.setBrush(fill);
    p.drawRoundedRect(QRect(0, 0, CloseBoxSize - 1, CloseBoxSize - 1), 1.5, 1.5);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawPolygon(CloseCross);
}

void TSingleFrameF::SetCloseState(int state)
{
    if (state == CloseState)
        return;
    CloseState = state;
    ClosePB->update();
}

bool TSingleFrameF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FrameP) {
        if (event->type() == QEvent::Resize)
            LayoutTitle();
        return false;
    }
    if (watched == ClosePB) {
        switch (event->type()) {
        case QEvent::Paint:
            PaintCloseBox();
            return true;
        case QEvent::Enter:
            SetCloseState(1);
            return true;
        case QEvent::Leave:
            SetCloseState(0);
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                CloseMouseDown = true;
                SetCloseState(2);
            }
            return true;
        case QEvent::MouseMove: {
            const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
            const bool inside = QRect(0, 0, CloseBoxSize, CloseBoxSize).contains(p);
            SetCloseState(inside ? (CloseMouseDown ? 2 : 1) : 0);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
                return true;
            if (CloseState == 2) {
                CloseMouseDown = false;
                Close();
            } else {
                CloseMouseDown = false;
                SetCloseState(1);
            }
            return true;
        default:
            return false;
        }
    }
    if (watched == FrameS && event->type() == QEvent::Paint) {
        PaintShape();
        return true;
    }
    if (watched == FrameS || watched == FrameL) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            TitleMouseDown(mouse->button(), mouse->globalPosition().toPoint(), static_cast<QWidget*>(watched));
            return true;
        }
        case QEvent::MouseMove:
            TitleMouseMove(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            TitleMouseUp(mouse->button(), mouse->globalPosition().toPoint());
            return true;
        }
        default:
            return false;
        }
    }
    return false;
}

void TSingleFrameF::TitleMouseDown(Qt::MouseButton button, const QPoint& global, QWidget* handle)
{
    if (View)
        View->SetActive();
    if (button != Qt::LeftButton)
        return;
    if (TFramesF* window = GetRootForm())
        window->ActivateNow();
    Capture.Capture(handle);
    PressAt(global);
    FrameOffset = global - mapToGlobal(QPoint(0, 0));
}

void TSingleFrameF::TitleMouseMove(const QPoint& global)
{
    if (!DragTo(global) || !Capture.Check())
        return;
    TFramesF* window = GetRootForm();
    TFramesF* target = window ? window->FramesFormAt(global.x(), global.y()) : nullptr;
    DragRect = OutlineAt(global);
    if (target)
        target->GetDockRect(DragRect, global.x(), global.y());
    DrawDragRect(true, DragRect);
}

void TSingleFrameF::TitleMouseUp(Qt::MouseButton button, const QPoint& global)
{
    if (button != Qt::LeftButton)
        return;
    if (ReleaseAt(Capture))
        Drop(global);
}

TScreenRect TSingleFrameF::OutlineAt(const QPoint& c) const
{
    const QSize size = GetViewSize();
    const int left = c.x() - FrameOffset.x(), top = c.y() - FrameOffset.y();
    return {left, top, left + size.width(), top + size.height()};
}

void TSingleFrameF::Drop(const QPoint& c)
{
    TFramesF* oldWindow = GetRootForm();
    // Only a frame inside a split shows the title bar it is dragged by.
    if (!oldWindow || !GetParentContainer())
        return;
    TParentF* hit = nullptr;
    int zone = ZoneNone;
    TFramesF* target = oldWindow->FramesFormAt(c.x(), c.y());
    if (target) {
        zone = target->HitTest(c.x(), c.y(), hit);
        // No zone (the bottom-left diagonal of a margin): as if dropped
        // beside every window, so nothing is lost.
        if (zone == ZoneNone || !hit)
            target = nullptr;
    }
    const TScreenRect outline = OutlineAt(c);
    oldWindow->SetActiveView(nullptr);
    TakeOutOfContainer(this);
    if (target) {
        TFramesF::DockFrame(hit->GetRootForm(), hit, this, zone);
        target->Realign();
        target->update();
    } else {
        auto* window = new TFramesF(Owner());
        window->move(outline.Left, outline.Top);
        window->SetRootFrame(this);
        window->show();
        window->raise();
    }
    oldWindow->UpdateCaption();
}
