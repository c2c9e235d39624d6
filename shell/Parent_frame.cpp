#include "shell/Parent_frame.h"

#include "platform/Component_registry.h"
#include "shell/Frames_form.h"
#include "shell/Tabbed_frames.h"
#include "shell/View_frame.h"

#include <QBoxLayout>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

int g_FrameCounter = 0;

namespace {

// A panel whose one frame fills it.
QWidget* NewPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    return panel;
}

} // namespace

TParentF::TParentF(QWidget* owner, QWidget* parent, int kind)
    : QWidget(nullptr)
    , Kind(kind)
    , OwnerWidget(owner)
{
    setObjectName(QStringLiteral("Frame") + QString::number(g_FrameCounter));
    ++g_FrameCounter;
    TComponentRegistry::Of(owner).Add(this);
    // The size the parent will give the frame, so a split can divide it
    // before it is placed (the concrete class places it when it is built).
    resize(AvailableSize(parent));
}

TParentF::~TParentF()
{
    // A frame deleted in the middle of its drag takes its outline along.
    if (Dragging)
        DrawDragRect(false, {});
}

int TParentF::HitTest(int x, int y, int depth, TParentF*& hit)
{
    return BaseHitTest(x, y, depth, hit);
}

int TParentF::BaseHitTest(int x, int y, int depth, TParentF*& hit)
{
    const QPoint p = mapFromGlobal(QPoint(x, y));
    const int px = p.x(), py = p.y();
    hit = this;
    const int left = 0, top = 0, right = width(), bottom = height();
    const int dl = px - left, dr = right - px, dt = py - top, db = bottom - py;

    int innerLeft, innerTop, innerRight, innerBottom;
    if (Kind == KindSingle) {
        // The outer quarters of a single frame are its side zones.
        const int w = right - left, h = bottom - top;
        innerLeft = left + w / 4;
        innerRight = right - w / 4;
        innerTop = top + h / 4;
        innerBottom = bottom - h / 4;
    } else {
        // A band along the edges that widens with each level of nesting,
        // so the outer container can still be reached near its edge.
        const int inset = (depth + 1) * MarginStep;
        innerLeft = left + inset;
        innerRight = right - inset;
        innerTop = top + inset;
        innerBottom = bottom - inset;
    }
    const bool withinRows = innerTop <= py && py <= innerBottom;
    const bool withinColumns = innerLeft <= px && px <= innerRight;

    // In a corner the nearer edge wins; on a diagonal the order of these
    // tests decides.
    if (px <= innerLeft && (withinRows || (dl < dt && dl < db)))
        return ZoneLeft;
    if (px >= innerRight && (withinRows || (dr <= dt && dr <= db)))
        return ZoneRight;
    if (py <= innerTop && (withinColumns || (dt <= dl && dt <= dr)))
        return ZoneTop;
    if (py >= innerBottom && (withinColumns || (db < dl && db < dr)))
        return ZoneBottom;
    if (Kind == KindHorisontal || Kind == KindVertical)
        return ZoneNone;
    return withinRows && withinColumns ? ZoneCentre : ZoneNone;
}

void TParentF::RemoveChild(TParentF*) {}
void TParentF::ReplaceChild(TParentF*, TParentF*) {}
void TParentF::SetViewSize(int, int) {}

QSize TParentF::GetViewSize() const
{
    return size();
}

QSize TParentF::GetContentSize() const
{
    return size();
}

void TParentF::FitChildren() {}

void TParentF::CancelDrag()
{
    EndGesture();
}

QRect TParentF::GetZoneRect(int x, int y, TParentF*& hit)
{
    const int zone = HitTest(x, y, 0, hit);
    const int w = hit->width(), h = hit->height();
    const int left = 0, top = 0, right = w, bottom = h;
    auto rect = [](int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); };
    switch (zone) {
    case ZoneTop: return rect(left, top, right, top + h / 2);
    case ZoneBottom: return rect(left, top + h / 2, right, bottom);
    case ZoneLeft: return rect(left, top, left + w / 2, bottom);
    case ZoneRight: return rect(right - w / 2, top, right, bottom);
    case ZoneCentre: return rect(left + w / 4, top + h / 4, right - w / 4, bottom - h / 4);
    default: return QRect();
    }
}

TFramesF* TParentF::GetRootForm() const
{
    return TFramesF::WindowOf(this);
}

TParentF* TParentF::GetParentContainer() const
{
    return ContainerAbove(parentWidget());
}

TParentF* TParentF::ContainerAbove(QWidget* widget)
{
    for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget())
        if (auto* frame = qobject_cast<TParentF*>(w); frame && frame->Kind != KindSingle)
            return frame;
    return nullptr;
}

void TParentF::Release()
{
    auto& registry = TComponentRegistry::Of(Owner());
    for (TParentF* frame : findChildren<TParentF*>())
        registry.Remove(frame);
    for (TViewF* view : findChildren<TViewF*>())
        registry.Remove(view);
    CancelDrag();
    if (parentWidget())
        DetachFrame(this);
    hide();
    registry.Release(this);
}

QSize TParentF::AvailableSize(QWidget* container)
{
    if (!container)
        return {};
    if (qobject_cast<QStackedWidget*>(container))
        return container->size();
    if (QLayout* layout = container->layout())
        return container->rect().marginsRemoved(layout->contentsMargins()).size();
    return container->size();
}

void TParentF::PlaceFrame(QWidget* container, TParentF* frame)
{
    if (!container || !frame)
        return;
    frame->resize(AvailableSize(container));
    if (auto* stack = qobject_cast<QStackedWidget*>(container)) {
        if (stack->indexOf(frame) < 0)
            stack->addWidget(frame);
        return;
    }
    if (auto* box = qobject_cast<QBoxLayout*>(container->layout())) {
        if (box->indexOf(frame) < 0)
            box->addWidget(frame);
    } else {
        frame->setParent(container);
        frame->setGeometry(container->rect());
    }
    frame->show();
}

void TParentF::ReplaceFrame(TParentF* oldFrame, TParentF* newFrame)
{
    if (!oldFrame || !newFrame || oldFrame == newFrame)
        return;
    QWidget* container = oldFrame->parentWidget();
    if (!container) {
        DetachFrame(newFrame);
        return;
    }
    if (auto* stack = qobject_cast<QStackedWidget*>(container)) {
        const bool current = stack->currentWidget() == oldFrame;
        newFrame->resize(oldFrame->size());
        stack->insertWidget(stack->indexOf(oldFrame), newFrame);
        if (current)
            stack->setCurrentWidget(newFrame);
        stack->removeWidget(oldFrame);
        oldFrame->setParent(nullptr);
        return;
    }
    newFrame->setGeometry(oldFrame->geometry());
    if (QLayout* layout = container->layout()) {
        delete layout->replaceWidget(oldFrame, newFrame);
    } else {
        newFrame->setParent(container);
    }
    oldFrame->setParent(nullptr);
    newFrame->show();
}

void TParentF::DetachFrame(TParentF* frame)
{
    if (!frame || !frame->parentWidget())
        return;
    if (auto* stack = qobject_cast<QStackedWidget*>(frame->parentWidget()))
        stack->removeWidget(frame);
    frame->setParent(nullptr);
}

void TParentF::TakeOutOfContainer(TParentF* frame)
{
    TParentF* container = frame ? frame->GetParentContainer() : nullptr;
    if (!container) {
        DetachFrame(frame);
        return;
    }
    if (auto* tabbed = qobject_cast<TTabbedF*>(container)) {
        const int index = tabbed->IndexOfFrame(frame);
        if (index >= 0)
            tabbed->RemoveTab(index);
        else
            DetachFrame(frame);
        return;
    }
    container->RemoveChild(frame);
    // A container that did not know the frame leaves it where it was.
    if (frame->parentWidget() && frame->GetParentContainer() == container)
        DetachFrame(frame);
}

TScreenRect TParentF::ToScreen(const QRect& local) const
{
    const QPoint g = mapToGlobal(local.topLeft());
    return {g.x(), g.y(), g.x() + local.width(), g.y() + local.height()};
}

// ---- Splits ----

TSplitF::TSplitF(QWidget* owner, QWidget* parent, int kind, TParentF* first, TParentF* second)
    : TParentF(owner, parent, kind)
    , Splitter1(new QSplitter(kind == KindHorisontal ? Qt::Horizontal : Qt::Vertical, this))
    , FirstP(NewPanel(Splitter1))
    , SecondP(NewPanel(Splitter1))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(Splitter1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(FirstP);
    Splitter1->addWidget(SecondP);
    Splitter1->resize(size());

    PlaceFrame(FirstP, first);
    PlaceFrame(SecondP, second);

    const int total = kind == KindHorisontal ? width() : height();
    const int firstSize = (total - SplitterWidth) / 2;
    Splitter1->setSizes({firstSize, total - SplitterWidth - firstSize});
    if (kind == KindHorisontal) {
        FirstP->setGeometry(0, 0, firstSize, height());
        SecondP->setGeometry(firstSize + SplitterWidth, 0, total - SplitterWidth - firstSize, height());
    } else {
        FirstP->setGeometry(0, 0, width(), firstSize);
        SecondP->setGeometry(0, firstSize + SplitterWidth, width(), total - SplitterWidth - firstSize);
    }
    PlaceFrame(parent, this);
}

TParentF* TSplitF::FirstChild() const
{
    return FirstP->findChild<TParentF*>(QString(), Qt::FindDirectChildrenOnly);
}

TParentF* TSplitF::SecondChild() const
{
    return SecondP->findChild<TParentF*>(QString(), Qt::FindDirectChildrenOnly);
}

int TSplitF::HitTest(int x, int y, int depth, TParentF*& hit)
{
    if (const int zone = BaseHitTest(x, y, depth, hit))
        return zone;
    const QPoint p = mapFromGlobal(QPoint(x, y));
    const bool second = Kind == KindHorisontal ? p.x() > FirstP->width() + 1 : p.y() > FirstP->height() + 1;
    TParentF* child = second ? SecondChild() : FirstChild();
    if (!child)
        return ZoneNone;
    return child->HitTest(x, y, depth + 1, hit);
}

void TSplitF::SetRoot(bool)
{
    if (TParentF* first = FirstChild())
        first->SetRoot(false);
    if (TParentF* second = SecondChild())
        second->SetRoot(false);
}

QString TSplitF::GetCaption() const
{
    const TParentF* first = FirstChild();
    const TParentF* second = SecondChild();
    return (first ? first->GetCaption() : QString()) + QStringLiteral(", ") + (second ? second->GetCaption() : QString());
}

void TSplitF::RemoveChild(TParentF* frame)
{
    TParentF* first = FirstChild();
    TParentF* second = SecondChild();
    TParentF* other = frame == first ? second : frame == second ? first : nullptr;
    if (!frame || !other)
        return;
    TParentF* container = GetParentContainer();
    DetachFrame(frame);
    // The other child takes the split's place; the split goes.
    ReplaceFrame(this, other);
    if (container)
        container->ReplaceChild(this, other);
    else
        other->SetRoot(true);
    Release();
}

void TSplitF::ReplaceChild(TParentF*, TParentF* newFrame)
{
    if (newFrame)
        newFrame->SetRoot(false);
}

void TSplitF::UpdateViews()
{
    if (TParentF* first = FirstChild())
        first->UpdateViews();
    if (TParentF* second = SecondChild())
        second->UpdateViews();
}

void TSplitF::UpdateActiveState()
{
    if (TParentF* first = FirstChild())
        first->UpdateActiveState();
    if (TParentF* second = SecondChild())
        second->UpdateActiveState();
}

QSize TSplitF::GetContentSize() const
{
    const TParentF* first = FirstChild();
    const TParentF* second = SecondChild();
    const QSize a = first ? first->GetContentSize() : QSize(0, 0);
    const QSize b = second ? second->GetContentSize() : QSize(0, 0);
    if (Kind == KindHorisontal)
        return {a.width() + SplitterWidth + b.width(), std::max(a.height(), b.height())};
    return {std::max(a.width(), b.width()), a.height() + SplitterWidth + b.height()};
}

void TSplitF::FitChildren()
{
    TParentF* first = FirstChild();
    TParentF* second = SecondChild();
    if (!first || !second)
        return;
    const bool across = Kind == KindHorisontal;
    const QSize a = first->GetContentSize(), b = second->GetContentSize();
    const int wantFirst = across ? a.width() : a.height();
    const int wantSecond = across ? b.width() : b.height();
    const int total = std::max((across ? width() : height()) - SplitterWidth, 0);
    // Each side gets its content and half of what is left over; when the
    // room is short, each gets its share of it.
    int firstSize = total / 2;
    if (total >= wantFirst + wantSecond)
        firstSize = wantFirst + (total - wantFirst - wantSecond) / 2;
    else if (wantFirst + wantSecond > 0)
        firstSize = int(qint64(total) * wantFirst / (wantFirst + wantSecond));
    Splitter1->setSizes({firstSize, total - firstSize});
    for (QWidget* panel : {FirstP, SecondP})
        if (QLayout* l = panel->layout()) {
            l->invalidate();
            l->activate();
        }
    first->FitChildren();
    second->FitChildren();
}

TViewF* TSplitF::FindView(const QString& className)
{
    if (TParentF* first = FirstChild())
        if (TViewF* view = first->FindView(className))
            return view;
    if (TParentF* second = SecondChild())
        return second->FindView(className);
    return nullptr;
}
