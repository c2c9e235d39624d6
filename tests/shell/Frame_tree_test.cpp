// The docking tree's own operations: docking by zone, split collapse,
// tabs, captions, searches and refreshes through nested trees, the close
// box, Close Page and the tool window's close button.
#include "tests/shell/Docking_fixture.h"

namespace {

class FrameTree : public TDockingTest {
protected:
    // Three windows A (Z80 View #1), B (Memory View #2), C (Stack View #3).
    void OpenThree()
    {
        A = Open(TIDE::KindZ80, {100, 100});
        B = Open(TIDE::KindMemory, {500, 100});
        C = Open(TIDE::KindStack, {900, 100});
    }
    // Clicks a widget's centre with the left button.
    static void Click(QWidget* widget)
    {
        const QPoint centre = GlobalCentre(widget);
        Press(widget, centre);
        Release(widget, centre);
    }

    TStubView* A = nullptr;
    TStubView* B = nullptr;
    TStubView* C = nullptr;
};

} // namespace

TEST_F(FrameTree, DockingByZoneBuildsSplitsAndTabs)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneRight);
    auto* split = qobject_cast<THorisontalF*>(Root(A));
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->LeftChild(), A->GetFrame());
    EXPECT_EQ(split->RightChild(), B->GetFrame());
    EXPECT_EQ(split->GetCaption(), QStringLiteral("Z80 View #1, Memory View #2"));

    Dock(C, B->GetFrame(), TParentF::ZoneBottom);
    auto* vertical = qobject_cast<TVerticalF*>(split->RightChild());
    ASSERT_NE(vertical, nullptr);
    EXPECT_EQ(vertical->TopChild(), B->GetFrame());
    EXPECT_EQ(vertical->BottomChild(), C->GetFrame());
    EXPECT_EQ(vertical->GetParentContainer(), split);
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1, Memory View #2, Stack View #3"));
    // Every single frame inside splits shows its title bar.
    for (TStubView* view : {A, B, C})
        EXPECT_TRUE(view->GetFrame()->FrameP->isVisible());
    // Containers seen from the views.
    EXPECT_EQ(A->GetContainer(), split);
    EXPECT_EQ(C->GetContainer(), vertical);
}

TEST_F(FrameTree, ZoneZeroDocksNothing)
{
    OpenThree();
    EXPECT_FALSE(TFramesF::DockFrame(Window(A), A->GetFrame(), Root(B), TParentF::ZoneNone));
    EXPECT_FALSE(TFramesF::DockFrame(Window(A), A->GetFrame(), Root(B), 6));
    EXPECT_EQ(Root(A), A->GetFrame());
    EXPECT_EQ(Root(B), B->GetFrame());
}

TEST_F(FrameTree, RemoveChildCollapsesTheSplitIntoItsParent)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneLeft);
    Dock(C, A->GetFrame(), TParentF::ZoneTop);
    auto* outer = qobject_cast<THorisontalF*>(Root(A));
    ASSERT_NE(outer, nullptr);
    QPointer<TVerticalF> inner = qobject_cast<TVerticalF*>(outer->RightChild());
    ASSERT_FALSE(inner.isNull());

    // The inner split loses C: A takes its place in the outer split.
    inner->RemoveChild(C->GetFrame());
    EXPECT_EQ(outer->RightChild(), A->GetFrame());
    EXPECT_EQ(C->GetFrame()->parentWidget(), nullptr) << "removed, not deleted";
    EXPECT_TRUE(A->GetFrame()->FrameP->isVisible());
    Settle();
    EXPECT_TRUE(inner.isNull()) << "the split deleted itself";

    // The root split loses B: A becomes the root, without its title bar.
    QPointer<THorisontalF> root = outer;
    outer->RemoveChild(B->GetFrame());
    EXPECT_EQ(Root(A), A->GetFrame());
    EXPECT_FALSE(A->GetFrame()->FrameP->isVisibleTo(A->GetFrame()));
    Settle();
    EXPECT_TRUE(root.isNull());
    // B and C are left without a parent; the owner deletes them at the end.
}

TEST_F(FrameTree, TabbedFrameOfAAndBShowsBAndNamesBoth)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    EXPECT_EQ(tabbed->SelectedIndex(), 1);
    EXPECT_EQ(tabbed->CurrentP->currentWidget(), B->GetFrame());
    EXPECT_EQ(tabbed->GetCaption(), QStringLiteral("Z80 View #1, Memory View #2"));
    // Every tab's frame stays inside the tabbed frame, shown or not.
    EXPECT_TRUE(tabbed->isAncestorOf(A));
    EXPECT_EQ(A->GetRootForm(), Window(B));
    EXPECT_EQ(A->GetContainer(), tabbed);
    // Switching tabs shows the other frame.
    tabbed->FramesTS->setCurrentIndex(0);
    EXPECT_EQ(tabbed->CurrentP->currentWidget(), A->GetFrame());
}

TEST_F(FrameTree, RemoveTabKeepsTheSelectedFrameOrTheNearestTab)
{
    OpenThree();
    TStubView* d = Open(TIDE::KindDasm, {100, 600});
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    Dock(C, tabbed, TParentF::ZoneCentre);
    Dock(d, tabbed, TParentF::ZoneCentre);
    ASSERT_EQ(tabbed->TabCount(), 4);  // A B C D, D selected

    // Removing a tab before the selected one keeps D selected.
    TParentF* removed = tabbed->RemoveTab(0);
    EXPECT_EQ(removed, A->GetFrame());
    EXPECT_EQ(removed->parentWidget(), nullptr);
    EXPECT_EQ(tabbed->GetTabFrame(tabbed->SelectedIndex()), d->GetFrame());
    EXPECT_EQ(Window(B)->windowTitle(), QStringLiteral("Memory View #2, Stack View #3, Dasm View #4"));
    // Removing the selected one selects the tab now at its place.
    tabbed->SelectTab(1);
    tabbed->RemoveTab(1);  // C goes; D moves to index 1
    EXPECT_EQ(tabbed->GetTabFrame(tabbed->SelectedIndex()), d->GetFrame());
    EXPECT_EQ(tabbed->CurrentP->currentWidget(), d->GetFrame());
    delete removed;
}

TEST_F(FrameTree, RemovingTheLastButOneTabPutsTheOtherFrameInItsPlace)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    Dock(C, tabbed, TParentF::ZoneLeft);
    QPointer<TTabbedF> watched = tabbed;
    auto* split = qobject_cast<THorisontalF*>(Root(A));
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(split->RightChild(), tabbed);

    TParentF* removed = tabbed->RemoveTab(1);
    EXPECT_EQ(removed, B->GetFrame());
    // In a split: A takes the tabbed frame's place and gets its title back.
    EXPECT_EQ(split->RightChild(), A->GetFrame());
    EXPECT_TRUE(A->GetFrame()->FrameP->isVisible());
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Stack View #3, Z80 View #1"));
    Settle();
    EXPECT_TRUE(watched.isNull());
    delete removed;
}

TEST_F(FrameTree, SplitCollapseInsideATabKeepsTheTab)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    // A split in B's tab: B and C one above the other.
    Dock(C, B->GetFrame(), TParentF::ZoneBottom);
    auto* split = qobject_cast<TVerticalF*>(tabbed->GetTabFrame(1));
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(tabbed->FramesTS->tabText(1), QStringLiteral("Memory View #2")) << "the label stays";
    EXPECT_EQ(tabbed->CurrentP->currentWidget(), split);
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1, Memory View #2, Stack View #3"));

    // C's close box: B takes the split's tab, without a title bar.
    C->GetFrame()->Close();
    EXPECT_EQ(tabbed->GetTabFrame(1), B->GetFrame());
    EXPECT_EQ(tabbed->CurrentP->currentWidget(), B->GetFrame());
    EXPECT_FALSE(B->GetFrame()->FrameP->isVisibleTo(B->GetFrame()));
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1, Memory View #2"));
}

TEST_F(FrameTree, CloseBoxClosesTheFrameWithItsView)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneRight);
    QPointer<TStubView> closed = B;
    QPointer<TSingleFrameF> frame = B->GetFrame();
    TSingleFrameF* f = B->GetFrame();
    ASSERT_TRUE(f->ClosePB->isVisible());

    // A press that leaves the box does not close.
    const QPoint box = GlobalCentre(f->ClosePB);
    Press(f->ClosePB, box);
    EXPECT_EQ(f->CloseState, 2);
    MoveTo(f->ClosePB, box + QPoint(30, 0));
    EXPECT_EQ(f->CloseState, 0);
    Release(f->ClosePB, box + QPoint(30, 0));
    EXPECT_EQ(f->CloseState, 1);
    EXPECT_EQ(B->GetFrame(), f);

    Press(f->ClosePB, box);
    Release(f->ClosePB, box);
    // At once: out of the tree, the caption recomputed, the title bar of
    // the remaining root hidden.
    EXPECT_EQ(Root(A), A->GetFrame());
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1"));
    EXPECT_FALSE(A->GetFrame()->FrameP->isVisibleTo(A->GetFrame()));
    EXPECT_EQ(Ide.FindView(TIDE::KindMemory, false), nullptr);
    // Later: deleted with its view.
    Settle();
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(closed.isNull());
}

TEST_F(FrameTree, ClosingTheActiveViewClearsTheWindowsActiveView)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneRight);
    B->SetActive();
    ASSERT_EQ(Window(A)->GetActiveView(), B);
    const int deactivations = B->Deactivations;
    B->GetFrame()->Close();
    EXPECT_EQ(Window(A)->GetActiveView(), nullptr);
    EXPECT_EQ(B->Deactivations, deactivations + 1);
}

TEST_F(FrameTree, ClosePageDeletesTheSelectedFrameAndLeavesTheOther)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    QPointer<TTabbedF> tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_FALSE(tabbed.isNull());
    QPointer<TStubView> closed = B;
    EXPECT_EQ(tabbed->CloseTabMI->text(), QStringLiteral("&Close Page"));
    EXPECT_EQ(tabbed->CloseTabMI->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    tabbed->CloseTabMI->trigger();
    EXPECT_EQ(Root(A), A->GetFrame());
    EXPECT_EQ(Window(A)->windowTitle(), QStringLiteral("Z80 View #1"));
    EXPECT_TRUE(A->isVisible());
    Settle();
    EXPECT_TRUE(tabbed.isNull());
    EXPECT_TRUE(closed.isNull());
}

TEST_F(FrameTree, TabPositionsFollowTheMenu)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(A));
    ASSERT_NE(tabbed, nullptr);
    EXPECT_TRUE(tabbed->TopMI->isChecked());
    tabbed->LeftMI->trigger();
    Window(A)->Realign();
    Settle();
    EXPECT_TRUE(tabbed->LeftMI->isChecked());
    EXPECT_FALSE(tabbed->TopMI->isChecked());
    EXPECT_EQ(tabbed->FramesTS->shape(), QTabBar::RoundedWest);
    EXPECT_EQ(tabbed->FramesTS->x(), 0);
    EXPECT_GT(tabbed->CurrentP->x(), 0);
    tabbed->BottomMI->trigger();
    Window(A)->Realign();
    Settle();
    EXPECT_EQ(tabbed->FramesTS->shape(), QTabBar::RoundedSouth);
    EXPECT_GT(tabbed->FramesTS->y(), tabbed->CurrentP->y());
}

TEST_F(FrameTree, TheWindowsCloseButtonDeletesItWithEveryView)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    Dock(C, Root(A), TParentF::ZoneLeft);
    QPointer<TFramesF> window = Window(A);
    QPointer<TStubView> a = A, b = B, c = C;
    const QPoint button = window->mapToGlobal(window->CloseButtonRect().center());
    Press(window, button);
    Release(window, button);
    // At once: no view can be found or refreshed any more.
    EXPECT_TRUE(Ide.ToolWindows().empty());
    EXPECT_EQ(Ide.FindView(TIDE::KindMemory, false), nullptr);
    EXPECT_FALSE(window->isVisible());
    Settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull()) << "the hidden tab's view goes too";
    EXPECT_TRUE(c.isNull());
}

TEST_F(FrameTree, FindViewSearchesEveryFrameOfTheTree)
{
    OpenThree();
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    Dock(C, A->GetFrame(), TParentF::ZoneBottom);  // a split in A's (hidden) tab
    TFramesF* window = Window(A);
    EXPECT_EQ(window->FindView(QStringLiteral("TZ80F")), A);
    EXPECT_EQ(window->FindView(QStringLiteral("TMemoryF")), B);
    EXPECT_EQ(window->FindView(QStringLiteral("TStackF")), C);
    EXPECT_EQ(window->FindView(QStringLiteral("TDasmF")), nullptr);
    EXPECT_EQ(window->FindView(QStringLiteral("TStack")), nullptr) << "exact names only";
}

TEST_F(FrameTree, UpdateViewsReachesEachViewOnce)
{
    OpenThree();
    TStubView* d = Open(TIDE::KindDasm, {100, 600});
    Dock(B, A->GetFrame(), TParentF::ZoneCentre);
    Dock(C, A->GetFrame(), TParentF::ZoneRight);
    Ide.UpdateViews();
    for (TStubView* view : {A, B, C, d})
        EXPECT_EQ(view->Updates, 1) << view->Caption.toStdString();
}

TEST_F(FrameTree, ViewSizesAreTheWindowsOuterSize)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    EXPECT_EQ(Window(a)->size(), QSize(290, 390));
    Window(a)->resize(300, 400);
    Settle();
    EXPECT_EQ(a->PreferredWidth, 300);
    EXPECT_EQ(a->PreferredHeight, 400);

    a->SetClientSize(896, 640);
    EXPECT_EQ(Window(a)->size(), QSize(904, 666));
    EXPECT_EQ(a->size(), QSize(896, 640)) << "the view gets exactly that client size";

    // Not while the view shares its window.
    TStubView* b = Open(TIDE::KindMemory, {1100, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneRight);
    const QSize before = Window(a)->size();
    a->SetClientSize(200, 100);
    EXPECT_EQ(Window(a)->size(), before);
}

TEST_F(FrameTree, NoToolWindowIsSmallerThan120By60)
{
    Ide.RegisterView(TIDE::KindPages, [](QWidget* owner, TComputer*, TIDE&) {
        return new TStubView(owner, QStringLiteral("TPagesF"), 50, 20);
    });
    TViewF* view = Ide.ShowView(TIDE::KindPages);
    Settle();
    EXPECT_EQ(Window(view)->size(), QSize(120, 60));
}
