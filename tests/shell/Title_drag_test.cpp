// Dragging a single frame out by its title bar and a tab out of a tabbed
// frame: new windows on the desktop, docking into other windows, zone-0
// drops, cancelled drags, and the click that activates a dragged-out view.
#include "tests/shell/Docking_fixture.h"

#include <QElapsedTimer>

namespace {

class TitleDrag : public TDockingTest {
protected:
    // A window with A on the left and B on the right, and C in its own
    // window.
    void OpenSplitAndOne()
    {
        A = Open(TIDE::KindZ80, {100, 100});
        B = Open(TIDE::KindMemory, {500, 100});
        C = Open(TIDE::KindStack, {900, 100});
        TFramesF* emptied = Window(B);
        ASSERT_TRUE(TFramesF::DockFrame(Window(A), A->GetFrame(), B->GetFrame(), TParentF::ZoneRight));
        emptied->Release();
        Window(A)->resize(600, 400);
        Window(A)->Realign();
        Settle();
    }

    static QPoint TitlePoint(TSingleFrameF* frame) { return GlobalCentre(frame->FrameL); }

    TStubView* A = nullptr;
    TStubView* B = nullptr;
    TStubView* C = nullptr;
};

} // namespace

TEST_F(TitleDrag, FourPixelsAreAClickFivePixelsADrag)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = B->GetFrame();
    const QPoint press = TitlePoint(frame);
    Press(frame->FrameL, press);
    EXPECT_TRUE(frame->Pressed);
    MoveTo(frame->FrameL, press + QPoint(0, 4));
    EXPECT_FALSE(frame->Dragging);
    EXPECT_EQ(Outline.Shows, 0);
    Release(frame->FrameL, press + QPoint(0, 4));
    EXPECT_FALSE(frame->Pressed);
    EXPECT_EQ(Outline.Shows, 0);
    EXPECT_EQ(B->GetContainer(), Root(A)) << "a click leaves the frame where it is";

    Press(frame->FrameL, press);
    MoveTo(frame->FrameL, press + QPoint(0, 5));
    EXPECT_TRUE(frame->Dragging);
    ASSERT_TRUE(Outline.Visible);
    // The outline has the view's preferred size and keeps the grip offset.
    const QPoint origin = frame->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(Outline.Current, (TScreenRect{origin.x(), origin.y() + 5, origin.x() + 290, origin.y() + 5 + 390}));
    Release(frame->FrameL, press + QPoint(0, 5));
    Settle();
}

TEST_F(TitleDrag, TitleDragOutToTheDesktopGivesTheFrameAWindowOfItsOwn)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = B->GetFrame();
    TFramesF* old = Window(A);
    const QPoint press = TitlePoint(frame);
    const QPoint grip = press - frame->mapToGlobal(QPoint(0, 0));
    const QPoint drop(1400, 700);
    Drag(frame->FrameL, press, drop);

    TFramesF* window = Window(B);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, old);
    EXPECT_EQ(window->GetRootFrame(), frame);
    EXPECT_EQ(window->pos(), drop - grip);
    EXPECT_EQ(window->size(), QSize(290, 390));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Memory View #2"));
    EXPECT_FALSE(frame->FrameP->isVisibleTo(frame)) << "a root has no title bar";
    // The old window collapsed to A alone.
    EXPECT_EQ(old->GetRootFrame(), A->GetFrame());
    EXPECT_EQ(old->windowTitle(), QStringLiteral("Z80 View #1"));
    EXPECT_EQ(Ide.ToolWindows().size(), 3u);
    EXPECT_FALSE(Outline.Visible);
}

TEST_F(TitleDrag, ADragOutFollowedByAClickActivatesTheView)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = B->GetFrame();
    B->SetActive();
    Drag(frame->FrameL, TitlePoint(frame), QPoint(1400, 700));
    TFramesF* window = Window(B);
    EXPECT_EQ(window->GetActiveView(), nullptr);
    ASSERT_TRUE(ActivateAndWait(window));
    const int activations = B->Activations;
    Press(B, GlobalCentre(B));
    Release(B, GlobalCentre(B));
    EXPECT_EQ(window->GetActiveView(), B);
    EXPECT_EQ(B->Activations, activations + 1) << "activated though no view was active before";
    EXPECT_TRUE(B->IsActive());
}

TEST_F(TitleDrag, TitleDragOntoAnotherWindowDocksThere)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = A->GetFrame();
    const QPoint press = TitlePoint(frame);
    Press(frame->FrameL, press);
    MoveTo(frame->FrameL, press + QPoint(5, 5));
    // Over C's window the outline previews C's centre.
    const QPoint centre = GlobalCentre(Root(C));
    MoveTo(frame->FrameL, centre);
    TParentF* target = Root(C);
    const QPoint origin = target->mapToGlobal(QPoint(0, 0));
    const int w = target->width(), h = target->height();
    EXPECT_EQ(Outline.Current, (TScreenRect{origin.x() + w / 4, origin.y() + h / 4, origin.x() + w - w / 4,
                                            origin.y() + h - h / 4}));
    Release(frame->FrameL, centre);
    Settle();

    auto* tabbed = qobject_cast<TTabbedF*>(Root(C));
    ASSERT_NE(tabbed, nullptr);
    EXPECT_EQ(tabbed->GetTabFrame(1), frame);
    EXPECT_EQ(Window(C)->windowTitle(), QStringLiteral("Stack View #3, Z80 View #1"));
    EXPECT_EQ(Root(B), B->GetFrame());
    EXPECT_EQ(Window(B)->windowTitle(), QStringLiteral("Memory View #2"));
}

TEST_F(TitleDrag, OwnWindowIsNeverATarget)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = B->GetFrame();
    // Dropped onto A in the same window: it leaves as a window of its own.
    Drag(frame->FrameL, TitlePoint(frame), GlobalCentre(A));
    EXPECT_NE(Window(B), Window(A));
    EXPECT_EQ(Root(A), A->GetFrame());
}

TEST_F(TitleDrag, ZoneZeroDropLosesNothing)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = A->GetFrame();
    const QPoint drop = At(Root(C), 2, -2);
    TParentF* hit = nullptr;
    ASSERT_EQ(Window(C)->HitTest(drop.x(), drop.y(), hit), TParentF::ZoneNone);
    Drag(frame->FrameL, TitlePoint(frame), drop);
    TFramesF* window = Window(A);
    ASSERT_NE(window, nullptr) << "the frame is still in a window";
    EXPECT_EQ(window->GetRootFrame(), frame);
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(window, Window(C));
    EXPECT_EQ(Root(C), C->GetFrame());
    EXPECT_EQ(Ide.ToolWindows().size(), 3u);
}

TEST_F(TitleDrag, ALostMouseCancelsTheTitleDrag)
{
    OpenSplitAndOne();
    TSingleFrameF* frame = B->GetFrame();
    const QPoint press = TitlePoint(frame);
    Press(frame->FrameL, press);
    MoveTo(frame->FrameL, press + QPoint(30, 30));
    ASSERT_TRUE(Outline.Visible);
    QWidget thief;
    thief.show();
    thief.grabMouse();
    QElapsedTimer timer;
    timer.start();
    while (frame->Dragging && timer.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    thief.releaseMouse();
    EXPECT_FALSE(frame->Dragging);
    EXPECT_FALSE(Outline.Visible);
    Release(frame->FrameL, press + QPoint(30, 30));
    Settle();
    EXPECT_EQ(B->GetContainer(), Root(A)) << "nothing moved";
}

TEST_F(TitleDrag, PressingATitleMakesItsViewActive)
{
    OpenSplitAndOne();
    ASSERT_TRUE(ActivateAndWait(Window(A)));
    ASSERT_EQ(Window(A)->GetActiveView(), A) << "the first view of a window is its active view";
    EXPECT_TRUE(A->GetFrame()->TitleActive());
    EXPECT_FALSE(B->GetFrame()->TitleActive());

    // Any button on another view's title moves the activation there.
    const int aDeactivations = A->Deactivations, bActivations = B->Activations;
    Press(B->GetFrame()->FrameS, TitlePoint(B->GetFrame()), Qt::RightButton);
    Release(B->GetFrame()->FrameS, TitlePoint(B->GetFrame()), Qt::RightButton);
    EXPECT_EQ(Window(A)->GetActiveView(), B);
    EXPECT_EQ(A->Deactivations, aDeactivations + 1);
    EXPECT_EQ(B->Activations, bActivations + 1);
    EXPECT_FALSE(A->GetFrame()->TitleActive());
    EXPECT_TRUE(B->GetFrame()->TitleActive());
    EXPECT_FALSE(B->GetFrame()->Pressed) << "only the left button starts a drag";

    // The window's own activation passes on to its active view.
    QWidget other;
    other.show();
    ASSERT_TRUE(ActivateAndWait(&other));
    EXPECT_FALSE(B->GetFrame()->TitleActive());
    EXPECT_FALSE(B->IsActive());
    ASSERT_TRUE(ActivateAndWait(Window(A)));
    EXPECT_TRUE(B->GetFrame()->TitleActive());
    EXPECT_TRUE(B->IsActive());
}

TEST_F(TitleDrag, TabDragOutToTheDesktop)
{
    A = Open(TIDE::KindZ80, {100, 100});
    B = Open(TIDE::KindMemory, {500, 100});
    TFramesF* emptied = Window(B);
    TFramesF::DockFrame(Window(A), A->GetFrame(), B->GetFrame(), TParentF::ZoneCentre);
    emptied->Release();
    Settle();
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    QPointer<TTabbedF> watched = tabbed;
    TFramesF* old = Window(A);

    const QPoint press = tabbed->FramesTS->mapToGlobal(tabbed->FramesTS->tabRect(0).center());
    Press(tabbed->FramesTS, press);
    EXPECT_TRUE(tabbed->Pressed);
    MoveTo(tabbed->FramesTS, press + QPoint(5, 0));
    EXPECT_TRUE(tabbed->Dragging);
    ASSERT_TRUE(Outline.Visible);
    EXPECT_EQ(Outline.Current.Right - Outline.Current.Left, 290) << "the tab frame's preferred size";
    MoveTo(tabbed->FramesTS, QPoint(1300, 600));
    Release(tabbed->FramesTS, QPoint(1300, 600));
    Settle();

    EXPECT_NE(Window(A), old);
    EXPECT_EQ(Window(A)->GetRootFrame(), A->GetFrame());
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1"));
    EXPECT_EQ(old->GetRootFrame(), B->GetFrame());
    EXPECT_EQ(old->windowTitle(), QStringLiteral("Memory View #2"));
    EXPECT_TRUE(watched.isNull()) << "one tab left: the tabbed frame went";
    EXPECT_FALSE(Outline.Visible);
}

TEST_F(TitleDrag, TabDragOntoAnotherWindowDocksTheTab)
{
    A = Open(TIDE::KindZ80, {100, 100});
    B = Open(TIDE::KindMemory, {500, 100});
    C = Open(TIDE::KindStack, {900, 100});
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    Dock(C, tabbed, TParentF::ZoneCentre);
    ASSERT_EQ(tabbed->TabCount(), 3);
    TStubView* d = Open(TIDE::KindDasm, {900, 100});

    const QPoint press = tabbed->FramesTS->mapToGlobal(tabbed->FramesTS->tabRect(1).center());
    const QPoint drop = At(Root(d), 10, Root(d)->height() / 2);
    Drag(tabbed->FramesTS, press, drop);

    auto* split = qobject_cast<THorisontalF*>(Root(d));
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->LeftChild(), B->GetFrame());
    EXPECT_TRUE(B->GetFrame()->FrameP->isVisible());
    EXPECT_EQ(tabbed->TabCount(), 2);
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1, Stack View #3"));
    EXPECT_EQ(Window(d)->windowTitle(), QStringLiteral("Memory View #2, Dasm View #4"));
}

TEST_F(TitleDrag, APressBesideTheTabsStartsNothing)
{
    A = Open(TIDE::KindZ80, {100, 100});
    B = Open(TIDE::KindMemory, {500, 100});
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    const QPoint empty = tabbed->FramesTS->mapToGlobal(QPoint(tabbed->FramesTS->width() - 3, 10));
    ASSERT_EQ(tabbed->FramesTS->tabAt(tabbed->FramesTS->mapFromGlobal(empty)), -1);
    Press(tabbed->FramesTS, empty);
    MoveTo(tabbed->FramesTS, empty + QPoint(50, 50));
    EXPECT_FALSE(tabbed->Pressed);
    EXPECT_FALSE(tabbed->Dragging);
    Release(tabbed->FramesTS, empty + QPoint(50, 50));
    EXPECT_EQ(tabbed->TabCount(), 2);
}
