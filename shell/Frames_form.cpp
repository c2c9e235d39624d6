#include "shell/Frames_form.h"

#include "platform/Component_registry.h"
#include "shell/Horisontal_frames.h"
#include "shell/Parent_frame.h"
#include "shell/Single_frame.h"
#include "shell/Tabbed_frames.h"
#include "shell/Vertical_frames.h"
#include "shell/View_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace {

// The tool windows from the topmost down: the one most recently shown,
// activated or raised comes first. Finding the window under the cursor
// needs the stacking order, which Qt does not tell on every platform.
std::vector<TFramesF*>& StackingOrder()
{
    static std::vector<TFramesF*> order;
    return order;
}

void RemoveFromStack(TFramesF* window)
{
    auto& order = StackingOrder();
    order.erase(std::remove(order.begin(), order.end(), window), order.end());
}

void BringToFront(TFramesF* window)
{
    RemoveFromStack(window);
    StackingOrder().insert(StackingOrder().begin(), window);
}

} // namespace

TFramesF::TFramesF(QWidget* owner)
    : TToolWindow(owner)
    , OwnerWidget(owner)
    , Capture([this] { CancelCaptionDrag(); })
{
    setObjectName(QStringLiteral("FramesF"));
    // The design client size, until a root frame gives the window its own.
    resize(OuterSizeFor(QSize(535, 349)));
    setFocusPolicy(Qt::StrongFocus);
    TComponentRegistry::Of(owner).Add(this);
    FocusConnection =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

TFramesF::~TFramesF()
{
    // Focus moves while the children go: this part is gone by then.
    disconnect(FocusConnection);
    RemoveFromStack(this);
    CancelCaptionDrag();
    if (ActiveView)
        ActiveView->Deactivate();
}

TFramesF* TFramesF::WindowOf(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* window = qobject_cast<TFramesF*>(const_cast<QWidget*>(w)))
            return window;
        if (w->isWindow())
            return nullptr;
    }
    return nullptr;
}

QSize TFramesF::WindowSizeFor(const TParentF* frame)
{
    if (!frame)
        return {};
    const QSize size = frame->GetViewSize();
    return frame->Kind == TParentF::KindSingle ? size : OuterSizeFor(size);
}

TParentF* TFramesF::GetRootFrame() const
{
    return findChild<TParentF*>(QString(), Qt::FindDirectChildrenOnly);
}

void TFramesF::AddView(TViewF* view)
{
    if (!view)
        return;
    new TSingleFrameF(Owner(), this, view);
    resize(view->PreferredWidth, view->PreferredHeight);
    ActiveView = view;
    UpdateCaption();
}

void TFramesF::SetRootFrame(TParentF* frame)
{
    if (!frame)
        return;
    const QSize size = WindowSizeFor(frame);
    TParentF::PlaceFrame(this, frame);
    resize(size);
    UpdateCaption();
}

void TFramesF::UpdateCaption()
{
    TParentF* root = GetRootFrame();
    setWindowTitle(root ? root->GetCaption() : QString());
    if (root)
        root->SetRoot(true);
    // A window with one view shows that view's name only in its caption:
    // it is made wide enough to show it whole.
    if (root && root->Kind == TParentF::KindSingle) {
        const QSize grown = GrownTo(QSize(CaptionFitWidth(windowTitle()), 0));
        if (grown != size())
            resize(grown);
    }
}

void TFramesF::RefreshRoot()
{
    if (TParentF* root = GetRootFrame())
        root->SetRoot(true);
}

void TFramesF::RefreshRootIfSingle()
{
    if (TParentF* root = GetRootFrame(); root && root->Kind == TParentF::KindSingle)
        root->SetRoot(true);
}

void TFramesF::UpdateViews()
{
    if (TParentF* root = GetRootFrame())
        root->UpdateViews();
}

TViewF* TFramesF::FindView(const QString& className)
{
    TParentF* root = GetRootFrame();
    return root ? root->FindView(className) : nullptr;
}

void TFramesF::RefreshLook(TViewF* view)
{
    if (TParentF* container = view->GetContainer())
        container->UpdateActiveState();
    else if (TSingleFrameF* frame = view->GetFrame())
        frame->UpdateActiveState();
}

void TFramesF::SetActiveView(TViewF* view)
{
    const QPointer<TViewF> old = ActiveView;
    ActiveView = view;
    if (old == view)
        return;
    if (old) {
        RefreshLook(old);
        old->Deactivate();
    }
    if (view && ActiveView == view) {
        RefreshLook(view);
        view->Activate();
        // Keys go to the focus widget first: keep it inside the active view.
        QWidget* focus = QApplication::focusWidget();
        if (view && focus != view && !view->isAncestorOf(focus) && view->isVisibleTo(this))
            view->setFocus(Qt::OtherFocusReason);
    }
}

TViewF* TFramesF::GetActiveView() const
{
    return ActiveView.data();
}

bool TFramesF::IsActiveView(const TViewF* view) const
{
    return Active && view && view == ActiveView;
}

void TFramesF::ForgetViewsIn(const QWidget* part)
{
    if (ActiveView && part && (part == ActiveView || part->isAncestorOf(ActiveView)))
        SetActiveView(nullptr);
}

void TFramesF::SetClientSizeForView(int width, int height)
{
    if (TParentF* root = GetRootFrame(); root && root->Kind == TParentF::KindSingle)
        resize(OuterSizeFor(QSize(width, height)));
}

int TFramesF::HitTest(int x, int y, TParentF*& hit)
{
    hit = nullptr;
    TParentF* root = GetRootFrame();
    return root ? root->HitTest(x, y, 0, hit) : TParentF::ZoneNone;
}

void TFramesF::GetDockRect(TScreenRect& rect, int x, int y)
{
    TParentF* root = GetRootFrame();
    if (!root)
        return;
    TParentF* hit = nullptr;
    const QRect zone = root->GetZoneRect(x, y, hit);
    if (!zone.isNull() && hit)
        rect = hit->ToScreen(zone);
}

TFramesF* TFramesF::FramesFormAt(int x, int y) const
{
    for (TFramesF* window : StackingOrder())
        if (window->isVisible() && !window->Released && window->geometry().contains(x, y))
            return window == this ? nullptr : window;
    return nullptr;
}

bool TFramesF::DockFrame(TFramesF* window, TParentF* target, TParentF* moving, int zone)
{
    if (!target || !moving || target == moving || zone < TParentF::ZoneTop || zone > TParentF::ZoneCentre)
        return false;
    moving->SetRoot(false);
    target->SetRoot(false);
    QWidget* owner = window ? window->Owner() : target->Owner();
    QWidget* parent = target->parentWidget();
    TParentF* created = nullptr;
    switch (zone) {
    case TParentF::ZoneTop: created = new TVerticalF(owner, parent, moving, target); break;
    case TParentF::ZoneBottom: created = new TVerticalF(owner, parent, target, moving); break;
    case TParentF::ZoneLeft: created = new THorisontalF(owner, parent, moving, target); break;
    case TParentF::ZoneRight: created = new THorisontalF(owner, parent, target, moving); break;
    case TParentF::ZoneCentre:
        if (auto* tabbed = qobject_cast<TTabbedF*>(target))
            tabbed->AddTab(moving);
        else
            created = new TTabbedF(owner, parent, target, moving);
        break;
    }
    if (created)
        ReplaceInParent(target, created);
    if (window) {
        window->UpdateCaption();
        // The window takes the room the docked frames need.
        window->FitToContent();
    }
    return true;
}

void TFramesF::ReplaceInParent(TParentF* oldFrame, TParentF* newFrame)
{
    if (TParentF* container = newFrame ? newFrame->GetParentContainer() : nullptr)
        container->ReplaceChild(oldFrame, newFrame);
}

void TFramesF::Realign()
{
    // Parents before children, so each layout works with its final size.
    if (QLayout* own = layout()) {
        own->invalidate();
        own->activate();
    }
    for (QWidget* w : findChildren<QWidget*>())
        if (QLayout* l = w->layout()) {
            l->invalidate();
            l->activate();
        }
}

QSize TFramesF::GrownTo(const QSize& wanted) const
{
    QSize limit(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (const QScreen* s = screen())
        limit = s->availableGeometry().size();
    return size().expandedTo(wanted.boundedTo(limit));
}

void TFramesF::FitToContent()
{
    TParentF* root = GetRootFrame();
    if (!root)
        return;
    Realign();
    QSize wanted = OuterSizeFor(root->GetContentSize());
    if (root->Kind == TParentF::KindSingle)
        wanted.setWidth(std::max(wanted.width(), CaptionFitWidth(windowTitle())));
    const QSize grown = GrownTo(wanted);
    if (grown != size()) {
        resize(grown);
        Realign();
    }
    root->FitChildren();
    Realign();
}

void TFramesF::Release()
{
    if (Released)
        return;
    CancelDrags();
    SetActiveView(nullptr);
    Released = true;
    auto& registry = TComponentRegistry::Of(Owner());
    for (TParentF* frame : findChildren<TParentF*>())
        registry.Remove(frame);
    for (TViewF* view : findChildren<TViewF*>())
        registry.Remove(view);
    RemoveFromStack(this);
    hide();
    registry.Release(this);
}

void TFramesF::ActivateNow()
{
    BringToFront(this);
    raise();
    activateWindow();
}

void TFramesF::CancelDrags()
{
    CancelCaptionDrag();
    for (TParentF* frame : findChildren<TParentF*>())
        if (frame->Pressed || frame->Dragging)
            frame->CancelDrag();
}

void TFramesF::CancelCaptionDrag()
{
    EndGesture();
    Capture.Release();
}

TScreenRect TFramesF::MovedBounds(const QPoint& c) const
{
    const int left = c.x() - (PressPoint.x() - BoundsAtPress.left());
    const int top = c.y() - (PressPoint.y() - BoundsAtPress.top());
    return {left, top, left + BoundsAtPress.width(), top + BoundsAtPress.height()};
}

void TFramesF::CaptionMouseDown(Qt::MouseButton button, const QPoint& global)
{
    if (button != Qt::LeftButton)
        return;
    ActivateNow();
    Capture.Capture(this);
    PressAt(global);
    BoundsAtPress = geometry();
    DragRect = MovedBounds(global);
    DraggedRoot = GetRootFrame();
}

void TFramesF::CaptionMouseMove(const QPoint& c)
{
    if (!DragTo(c) || !Capture.Check())
        return;
    TFramesF* target = FramesFormAt(c.x(), c.y());
    DragRect = MovedBounds(c);
    if (target)
        target->GetDockRect(DragRect, c.x(), c.y());
    DrawDragRect(true, DragRect);
}

void TFramesF::CaptionMouseUp(Qt::MouseButton, const QPoint& c)
{
    if (!ReleaseAt(Capture))
        return;

    TParentF* root = GetRootFrame();
    TParentF* hit = nullptr;
    int zone = TParentF::ZoneNone;
    TFramesF* target = FramesFormAt(c.x(), c.y());
    if (target && root)
        zone = target->HitTest(c.x(), c.y(), hit);
    if (target && root && hit && zone != TParentF::ZoneNone) {
        DockFrame(hit->GetRootForm(), hit, root, zone);
        target->Realign();
        target->update();
        // Emptied: the view that was active here is no longer.
        SetActiveView(nullptr);
        Release();
    } else {
        // No target, or no zone under the cursor: the window moves to the
        // outline and keeps its tree.
        const TScreenRect bounds = MovedBounds(c);
        move(bounds.Left, bounds.Top);
    }
    update();
}

void TFramesF::CloseButtonClick()
{
    close();
}

void TFramesF::closeEvent(QCloseEvent* event)
{
    // Closing deletes the window with its frames and views: a hidden window
    // would keep views alive that nothing can show again.
    event->accept();
    Release();
}

void TFramesF::showEvent(QShowEvent* event)
{
    BringToFront(this);
    TToolWindow::showEvent(event);
}

bool TFramesF::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        Active = true;
        BringToFront(this);
        if (TParentF* root = GetRootFrame())
            root->UpdateActiveState();
        if (ActiveView)
            ActiveView->Activate();
        break;
    case QEvent::WindowDeactivate:
        Active = false;
        CancelDrags();
        if (TParentF* root = GetRootFrame())
            root->UpdateActiveState();
        if (ActiveView)
            ActiveView->Deactivate();
        break;
    case QEvent::ShortcutOverride:
        if (DispatchShortcut(static_cast<QKeyEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return TToolWindow::event(event);
}

bool TFramesF::DispatchShortcut(QKeyEvent* event)
{
    // Qt fires nothing when two shortcuts in scope match; the innermost
    // action (the view's, then its containers', then the window's) wins
    // here before Qt looks. Application-wide actions are left to Qt.
    SwallowKey = 0;
    const QKeySequence pressed(event->keyCombination());
    // From the widget with the focus inside this window; when the window
    // itself has it, from the active view.
    auto inside = [this](QWidget* w) { return w && w != this && isAncestorOf(w); };
    QWidget* start = QApplication::focusWidget();
    if (!inside(start))
        start = focusWidget();
    if (!inside(start))
        start = ActiveView ? static_cast<QWidget*>(ActiveView) : static_cast<QWidget*>(this);
    for (QWidget* w = start; w; w = w->parentWidget()) {
        for (QAction* action : w->actions()) {
            if (!action->isEnabled() || !action->isVisible() || action->shortcutContext() == Qt::ApplicationShortcut)
                continue;
            if (!action->shortcuts().contains(pressed))
                continue;
            SwallowKey = event->key();
            event->accept();
            action->trigger();
            return true;
        }
        if (w == this)
            break;
    }
    return false;
}

void TFramesF::keyPressEvent(QKeyEvent* event)
{
    if (SwallowKey && event->key() == SwallowKey) {
        // The key of a shortcut that already fired.
        SwallowKey = 0;
        event->accept();
        return;
    }
    if (!ActiveView) {
        event->ignore();
        return;
    }
    int key = event->key();
    ActiveView->KeyDown(key, event->modifiers());
    event->accept();
}

void TFramesF::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (!ActiveView || delta == 0) {
        event->ignore();
        return;
    }
    bool handled = false;
    const QPoint position = event->globalPosition().toPoint();
    if (delta < 0)
        ActiveView->MouseWheelDown(event->modifiers(), position, handled);
    else
        ActiveView->MouseWheelUp(event->modifiers(), position, handled);
    event->accept();
}

void TFramesF::resizeEvent(QResizeEvent* event)
{
    TToolWindow::resizeEvent(event);
    // A view keeps the window size the user gave it when it is dragged
    // out into a window of its own later.
    if (TParentF* root = GetRootFrame(); root && root->Kind == TParentF::KindSingle)
        root->SetViewSize(width(), height());
}

void TFramesF::FocusChanged(QWidget* now)
{
    if (!now || Released || !isAncestorOf(now))
        return;
    for (QWidget* w = now; w && w != this; w = w->parentWidget())
        if (auto* view = qobject_cast<TViewF*>(w)) {
            if (view != ActiveView)
                SetActiveView(view);
            return;
        }
}
