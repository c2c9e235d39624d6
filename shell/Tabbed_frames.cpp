#include "shell/Tabbed_frames.h"

#include "platform/Application.h"
#include "shell/Frames_form.h"
#include "shell/Single_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTabBar>

#include <algorithm>

namespace {

// Inside a tab a single frame shows no title bar (the tab is its title);
// a split inside a tab shows the title bars of its frames.
void SetTabRoot(TParentF* frame)
{
    if (frame)
        frame->SetRoot(frame->Kind == TParentF::KindSingle);
}

// The tab set, which also tells how long its tabs are with whole captions
// (the tabs are shortened only when the set is narrower than that).
class TTabSet : public QTabBar {
public:
    using QTabBar::QTabBar;

    int FullLength() const
    {
        const bool across = shape() == QTabBar::RoundedNorth || shape() == QTabBar::RoundedSouth;
        int length = 0;
        for (int i = 0; i < count(); ++i) {
            const QSize hint = tabSizeHint(i);
            length += across ? hint.width() : hint.height();
        }
        return length;
    }
};

const char* const TabSetStyle =
    "QTabBar::tab { background: #D4D0C8; border: 1px solid #808080; padding: 2px 8px; }"
    "QTabBar::tab:!selected { background: silver; }";

} // namespace

TTabbedF::TTabbedF(QWidget* owner, QWidget* parent, TParentF* first, TParentF* second)
    : TParentF(owner, parent, KindTabbed)
    , FramesTS(new TTabSet(this))
    , CurrentP(new QStackedWidget(this))
    , TabMI(new QMenu(this))
    , TopMI(new QAction(QStringLiteral("&Top"), this))
    , BottomMI(new QAction(QStringLiteral("&Bottom"), this))
    , LeftMI(new QAction(QStringLiteral("&Left"), this))
    , RightMI(new QAction(QStringLiteral("&Right"), this))
    , N1(new QAction(this))
    , CloseTabMI(new QAction(QStringLiteral("&Close Page"), this))
    , Layout(new QBoxLayout(QBoxLayout::TopToBottom, this))
    , Capture([this] { CancelDrag(); })
{
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    Layout->setSizeConstraint(QLayout::SetNoConstraint);
    Layout->addWidget(FramesTS);
    Layout->addWidget(CurrentP, 1);

    FramesTS->setObjectName(QStringLiteral("FramesTS"));
    FramesTS->setFixedHeight(TabSetHeight);
    FramesTS->setExpanding(false);
    FramesTS->setUsesScrollButtons(true);
    FramesTS->setElideMode(Qt::ElideRight);
    FramesTS->setDrawBase(false);
    FramesTS->setStyleSheet(QString::fromLatin1(TabSetStyle));
    FramesTS->setContextMenuPolicy(Qt::CustomContextMenu);
    FramesTS->installEventFilter(this);
    connect(FramesTS, &QTabBar::currentChanged, this, Guard([this](int index) { FramesTSChange(index); }));
    connect(FramesTS, &QWidget::customContextMenuRequested, this,
            Guard([this](const QPoint& pos) { TabMI->popup(FramesTS->mapToGlobal(pos)); }));

    CurrentP->setObjectName(QStringLiteral("CurrentP"));

    TabMI->setObjectName(QStringLiteral("TabMI"));
    auto* positions = new QActionGroup(this);
    int position = PositionTop;
    for (QAction* item : {TopMI, BottomMI, LeftMI, RightMI}) {
        item->setCheckable(true);
        positions->addAction(item);
        TabMI->addAction(item);
        connect(item, &QAction::triggered, this, Guard([this, position] { SetTabPosition(position); }));
        ++position;
    }
    TopMI->setChecked(true);
    N1->setSeparator(true);
    TabMI->addAction(N1);
    CloseTabMI->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    CloseTabMI->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    TabMI->addAction(CloseTabMI);
    addAction(CloseTabMI);
    connect(CloseTabMI, &QAction::triggered, this, Guard([this] { CloseTabMIClick(); }));

    for (TParentF* frame : {first, second}) {
        if (!frame)
            continue;
        const QSignalBlocker block(FramesTS);
        FramesTS->addTab(frame->GetCaption());
        Frames.emplace_back(frame);
        PlaceFrame(CurrentP, frame);
    }
    SelectTab(TabCount() - 1);
    SetRoot(true);
    PlaceFrame(parent, this);
}

void TTabbedF::AddTab(TParentF* frame)
{
    if (!frame)
        return;
    {
        const QSignalBlocker block(FramesTS);
        FramesTS->addTab(frame->GetCaption());
    }
    Frames.emplace_back(frame);
    PlaceFrame(CurrentP, frame);
    SetRoot(true);
    SelectTab(TabCount() - 1);
}

TParentF* TTabbedF::GetTabFrame(int index) const
{
    return index >= 0 && index < TabCount() ? Frames[std::size_t(index)].data() : nullptr;
}

int TTabbedF::IndexOfFrame(const TParentF* frame) const
{
    for (int i = 0; i < TabCount(); ++i)
        if (frame && Frames[std::size_t(i)] == frame)
            return i;
    return -1;
}

int TTabbedF::SelectedIndex() const
{
    return FramesTS->currentIndex();
}

void TTabbedF::SelectTab(int index)
{
    if (index < 0 || index >= TabCount())
        return;
    {
        const QSignalBlocker block(FramesTS);
        FramesTS->setCurrentIndex(index);
    }
    FramesTSChange(index);
}

void TTabbedF::FramesTSChange(int index)
{
    if (TParentF* frame = GetTabFrame(index)) {
        if (CurrentP->indexOf(frame) < 0)
            PlaceFrame(CurrentP, frame);
        CurrentP->setCurrentWidget(frame);
    }
}

TParentF* TTabbedF::RemoveTab(int index)
{
    TParentF* frame = GetTabFrame(index);
    if (index < 0 || index >= TabCount())
        return nullptr;
    TFramesF* window = GetRootForm();
    const QPointer<TParentF> selected = GetTabFrame(SelectedIndex());
    {
        const QSignalBlocker block(FramesTS);
        FramesTS->removeTab(index);
    }
    Frames.erase(Frames.begin() + index);
    DetachFrame(frame);
    Frames.erase(std::remove_if(Frames.begin(), Frames.end(), [](const QPointer<TParentF>& f) { return f.isNull(); }),
                 Frames.end());

    if (TabCount() < 2) {
        // The last tab's frame takes this frame's place.
        TParentF* remaining = GetTabFrame(0);
        TParentF* container = GetParentContainer();
        if (remaining) {
            Frames.clear();
            ReplaceFrame(this, remaining);
            if (container)
                container->ReplaceChild(this, remaining);
            else if (window && window->GetRootFrame() == remaining)
                window->RefreshRootIfSingle();
        } else {
            TakeOutOfContainer(this);
        }
        Release();
    } else {
        const int keep = IndexOfFrame(selected);
        SelectTab(keep >= 0 ? keep : std::min(index, TabCount() - 1));
    }
    if (window)
        window->UpdateCaption();
    return frame;
}

void TTabbedF::CloseTabMIClick()
{
    const int index = SelectedIndex();
    TParentF* frame = GetTabFrame(index);
    if (!frame)
        return;
    if (TFramesF* window = GetRootForm())
        window->ForgetViewsIn(frame);
    RemoveTab(index);
    frame->Release();
}

void TTabbedF::SetTabPosition(int position)
{
    Position = position;
    switch (position) {
    case PositionBottom:
        Layout->setDirection(QBoxLayout::BottomToTop);
        FramesTS->setShape(QTabBar::RoundedSouth);
        BottomMI->setChecked(true);
        break;
    case PositionLeft:
        Layout->setDirection(QBoxLayout::LeftToRight);
        FramesTS->setShape(QTabBar::RoundedWest);
        LeftMI->setChecked(true);
        break;
    case PositionRight:
        Layout->setDirection(QBoxLayout::RightToLeft);
        FramesTS->setShape(QTabBar::RoundedEast);
        RightMI->setChecked(true);
        break;
    default:
        Position = PositionTop;
        Layout->setDirection(QBoxLayout::TopToBottom);
        FramesTS->setShape(QTabBar::RoundedNorth);
        TopMI->setChecked(true);
        break;
    }
    if (Position == PositionTop || Position == PositionBottom) {
        FramesTS->setMinimumWidth(0);
        FramesTS->setMaximumWidth(QWIDGETSIZE_MAX);
        FramesTS->setFixedHeight(TabSetHeight);
    } else {
        FramesTS->setMinimumHeight(0);
        FramesTS->setMaximumHeight(QWIDGETSIZE_MAX);
        FramesTS->setFixedWidth(TabSetHeight);
    }
    // Tabs along a side take the window's height rather than its width.
    if (TFramesF* window = GetRootForm())
        window->FitToContent();
}

void TTabbedF::SetRoot(bool)
{
    for (const auto& frame : Frames)
        SetTabRoot(frame);
}

QString TTabbedF::GetCaption() const
{
    QStringList captions;
    for (const auto& frame : Frames)
        if (frame)
            captions << frame->GetCaption();
    return captions.join(QStringLiteral(", "));
}

void TTabbedF::ReplaceChild(TParentF* oldFrame, TParentF* newFrame)
{
    const int index = IndexOfFrame(oldFrame);
    if (index < 0 || !newFrame)
        return;
    Frames[std::size_t(index)] = newFrame;
    if (CurrentP->indexOf(newFrame) < 0)
        PlaceFrame(CurrentP, newFrame);
    if (index == SelectedIndex())
        CurrentP->setCurrentWidget(newFrame);
    SetTabRoot(newFrame);
}

void TTabbedF::UpdateViews()
{
    for (const auto& frame : std::vector<QPointer<TParentF>>(Frames))
        if (frame)
            frame->UpdateViews();
}

void TTabbedF::UpdateActiveState()
{
    for (const auto& frame : Frames)
        if (frame)
            frame->UpdateActiveState();
}

TViewF* TTabbedF::FindView(const QString& className)
{
    for (const auto& frame : Frames)
        if (frame)
            if (TViewF* view = frame->FindView(className))
                return view;
    return nullptr;
}

QSize TTabbedF::GetContentSize() const
{
    QSize pages(0, 0);
    for (const auto& frame : Frames)
        if (frame)
            pages = pages.expandedTo(frame->GetContentSize());
    const int tabs = static_cast<const TTabSet*>(FramesTS)->FullLength();
    if (Position == PositionTop || Position == PositionBottom)
        return {std::max(pages.width(), tabs), pages.height() + TabSetHeight};
    return {pages.width() + TabSetHeight, std::max(pages.height(), tabs)};
}

void TTabbedF::FitChildren()
{
    for (const auto& frame : Frames)
        if (frame)
            frame->FitChildren();
}

void TTabbedF::CancelDrag()
{
    TParentF::CancelDrag();
    Capture.Release();
    DraggedTab = nullptr;
    DraggedTabIndex = -1;
}

bool TTabbedF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != FramesTS)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return TabMouseDown(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return TabMouseMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return TabMouseUp(static_cast<QMouseEvent*>(event));
    default:
        return false;
    }
}

bool TTabbedF::TabMouseDown(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const int index = FramesTS->tabAt(event->position().toPoint());
    if (index < 0)
        return false;
    DraggedTabIndex = index;
    DraggedTab = GetTabFrame(index);
    if (TFramesF* window = GetRootForm())
        window->ActivateNow();
    Capture.Capture(FramesTS);
    PressAt(event->globalPosition().toPoint());
    TabOffset = PressPoint - FramesTS->mapToGlobal(QPoint(0, 0));
    // The tab set still selects the pressed tab.
    return false;
}

bool TTabbedF::TabMouseMove(QMouseEvent* event)
{
    const QPoint c = event->globalPosition().toPoint();
    if (!DragTo(c))
        return false;
    if (!Capture.Check())
        return true;
    TFramesF* window = GetRootForm();
    TFramesF* target = window ? window->FramesFormAt(c.x(), c.y()) : nullptr;
    TabDragRect = TabOutlineAt(c);
    if (target)
        target->GetDockRect(TabDragRect, c.x(), c.y());
    DragRect = TabDragRect;
    DrawDragRect(true, TabDragRect);
    return true;
}

bool TTabbedF::TabMouseUp(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    if (!ReleaseAt(Capture))
        return false;
    DropTab(event->globalPosition().toPoint());
    return true;
}

TScreenRect TTabbedF::TabOutlineAt(const QPoint& c) const
{
    const QSize size = DraggedTab ? DraggedTab->GetViewSize() : QSize();
    const int left = c.x() - TabOffset.x(), top = c.y() - TabOffset.y();
    return {left, top, left + size.width(), top + size.height()};
}

void TTabbedF::DropTab(const QPoint& c)
{
    TParentF* frame = DraggedTab;
    const int index = IndexOfFrame(frame);
    const TScreenRect outline = TabOutlineAt(c);
    DraggedTab = nullptr;
    DraggedTabIndex = -1;
    if (index < 0)
        return;
    TFramesF* window = GetRootForm();
    TParentF* hit = nullptr;
    int zone = ZoneNone;
    TFramesF* target = window ? window->FramesFormAt(c.x(), c.y()) : nullptr;
    if (target) {
        zone = target->HitTest(c.x(), c.y(), hit);
        if (zone == ZoneNone || !hit)
            target = nullptr;
    }
    if (window)
        window->ForgetViewsIn(frame);
    RemoveTab(index);
    if (target) {
        TFramesF::DockFrame(hit->GetRootForm(), hit, frame, zone);
        target->Realign();
        target->update();
    } else {
        auto* newWindow = new TFramesF(Owner());
        newWindow->move(outline.Left, outline.Top);
        newWindow->SetRootFrame(frame);
        newWindow->show();
        newWindow->raise();
    }
}
