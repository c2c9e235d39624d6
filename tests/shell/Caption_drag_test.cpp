// Dragging a tool window by its caption: the threshold, the outline and its
// dock previews, and what each kind of drop does with the window.
#include "tests/shell/Docking_fixture.h"

#include "platform/Outline_overlay.h"

#include <QElapsedTimer>

namespace {

class CaptionDrag : public TDockingTest {};

TScreenRect ScreenRectOf(const QWidget* w, int left, int top, int right, int bottom)
{
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    return {origin.x() + left, origin.y() + top, origin.x() + right, origin.y() + bottom};
}

} // namespace

TEST_F(CaptionDrag, PressAndReleaseWithoutMovingLeavesNoOutline)
{
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    const QPoint press = CaptionPoint(window);
    Press(window, press);
    EXPECT_TRUE(window->Pressed);
    Release(window, press);
    EXPECT_FALSE(window->Pressed);
    EXPECT_FALSE(window->Dragging);
    EXPECT_EQ(Outline.Shows, 0);
    EXPECT_FALSE(Outline.Visible);
    EXPECT_EQ(window->pos(), QPoint(100, 100));
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr) << "the capture ends with the click";
}

TEST_F(CaptionDrag, FourPixelsDoNotStartADragFiveDoAndTheOutlineFollows)
{
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    const QPoint press = CaptionPoint(window);
    Press(window, press);
    MoveTo(window, press + QPoint(4, -4));
    EXPECT_TRUE(window->Pressed);
    EXPECT_FALSE(window->Dragging);
    EXPECT_EQ(Outline.Shows, 0);

    MoveTo(window, press + QPoint(5, 0));
    EXPECT_TRUE(window->Dragging);
    ASSERT_TRUE(Outline.Visible);
    EXPECT_EQ(Outline.Current, (TScreenRect{105, 100, 395, 490}));

    // Left of and above the first screen: the same arithmetic.
    MoveTo(window, press + QPoint(-350, -180));
    EXPECT_EQ(Outline.Current, (TScreenRect{-250, -80, 40, 310}));
    Release(window, press + QPoint(-350, -180));
    EXPECT_FALSE(Outline.Visible);
    EXPECT_EQ(window->pos(), QPoint(-250, -80));
}

TEST_F(CaptionDrag, OverAnotherWindowTheOutlinePreviewsTheZone)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    TParentF* target = Root(a);
    const int w = target->width(), h = target->height();
    TFramesF* moving = Window(b);
    const QPoint press = CaptionPoint(moving);
    Press(moving, press);
    MoveTo(moving, press + QPoint(5, 5));

    // Near the left edge: the left half.
    MoveTo(moving, At(target, 10, h / 2));
    EXPECT_EQ(Outline.Current, ScreenRectOf(target, 0, 0, w / 2, h));
    // In the middle: the quarter-inset centre.
    MoveTo(moving, At(target, w / 2, h / 2));
    EXPECT_EQ(Outline.Current, ScreenRectOf(target, w / 4, h / 4, w - w / 4, h - h / 4));
    // Near the bottom: the lower half.
    MoveTo(moving, At(target, w / 2, -10));
    EXPECT_EQ(Outline.Current, ScreenRectOf(target, 0, h / 2, w, h));
    // Away from every window: the window's own outline again.
    MoveTo(moving, QPoint(1500, 800));
    EXPECT_EQ(Outline.Current.Right - Outline.Current.Left, 290);
    Release(moving, press);
}

TEST_F(CaptionDrag, DropInTheMiddleOfASingleFrameMakesATabbedFrame)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    QPointer<TFramesF> dropped = Window(b);
    const int deactivationsBefore = b->Deactivations;
    Drag(dropped, CaptionPoint(dropped), GlobalCentre(Root(a)));

    auto* tabbed = qobject_cast<TTabbedF*>(Root(a));
    ASSERT_NE(tabbed, nullptr);
    ASSERT_EQ(tabbed->TabCount(), 2);
    EXPECT_EQ(tabbed->GetTabFrame(0), a->GetFrame());
    EXPECT_EQ(tabbed->GetTabFrame(1), b->GetFrame());
    EXPECT_EQ(tabbed->SelectedIndex(), 1);
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(a->isVisible());
    EXPECT_EQ(Window(a)->windowTitle(), QStringLiteral("Z80 View #1, Memory View #2"));
    EXPECT_EQ(tabbed->FramesTS->tabText(0), QStringLiteral("Z80 View #1"));
    EXPECT_EQ(tabbed->FramesTS->tabText(1), QStringLiteral("Memory View #2"));
    // No title bars inside tabs.
    EXPECT_FALSE(a->GetFrame()->FrameP->isVisibleTo(a->GetFrame()));
    EXPECT_FALSE(b->GetFrame()->FrameP->isVisibleTo(b->GetFrame()));
    // The emptied window is gone, and its active view was deactivated.
    EXPECT_TRUE(dropped.isNull());
    EXPECT_EQ(Ide.ToolWindows().size(), 1u);
    EXPECT_GT(b->Deactivations, deactivationsBefore);
    EXPECT_FALSE(Outline.Visible);
}

TEST_F(CaptionDrag, DropOnATabbedFrameAddsATabAndSelectsIt)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    Drag(Window(b), CaptionPoint(Window(b)), GlobalCentre(Root(a)));
    TStubView* c = Open(3, {600, 100});
    Drag(Window(c), CaptionPoint(Window(c)), GlobalCentre(Root(a)));

    auto* tabbed = qobject_cast<TTabbedF*>(Root(a));
    ASSERT_NE(tabbed, nullptr);
    ASSERT_EQ(tabbed->TabCount(), 3);
    EXPECT_EQ(tabbed->GetTabFrame(2), c->GetFrame());
    EXPECT_EQ(tabbed->SelectedIndex(), 2);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(Window(a)->windowTitle(), QStringLiteral("Z80 View #1, Memory View #2, Stack View #3"));
    EXPECT_EQ(Ide.ToolWindows().size(), 1u);
}

TEST_F(CaptionDrag, DropOnEmptyDesktopMovesTheWindow)
{
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    TParentF* root = Root(a);
    const QPoint press = CaptionPoint(window);
    Drag(window, press, press + QPoint(700, 300));
    EXPECT_EQ(window->pos(), QPoint(800, 400));
    EXPECT_EQ(window->size(), QSize(290, 390));
    EXPECT_EQ(Root(a), root);
    EXPECT_FALSE(window->IsReleased());
}

TEST_F(CaptionDrag, DropsOnTheSidesMakeSplits)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    Drag(Window(b), CaptionPoint(Window(b)), At(Root(a), 10, Root(a)->height() / 2));
    auto* split = qobject_cast<THorisontalF*>(Root(a));
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->LeftChild(), b->GetFrame());
    EXPECT_EQ(split->RightChild(), a->GetFrame());
    EXPECT_EQ(Window(a)->windowTitle(), QStringLiteral("Memory View #2, Z80 View #1"));
    // Title bars come back inside a split.
    EXPECT_TRUE(a->GetFrame()->FrameP->isVisible());
    EXPECT_TRUE(b->GetFrame()->FrameP->isVisible());
    // Halves: (client width - 3) / 2 on the left.
    EXPECT_NEAR(split->LeftP->width(), (split->width() - 3) / 2, 1);

    TStubView* c = Open(3, {600, 100});
    Drag(Window(c), CaptionPoint(Window(c)), At(Root(a), Root(a)->width() / 2, 2));
    auto* vertical = qobject_cast<TVerticalF*>(Root(a));
    ASSERT_NE(vertical, nullptr);
    EXPECT_EQ(vertical->TopChild(), c->GetFrame());
    EXPECT_EQ(vertical->BottomChild(), split);
    EXPECT_EQ(Window(a)->windowTitle(), QStringLiteral("Stack View #3, Memory View #2, Z80 View #1"));
}

TEST_F(CaptionDrag, DockedViewsGetTheirPreferredSizesAndWholeCaptions)
{
    // Narrow views, as the stack and registers views are, with long names.
    const std::pair<int, QSize> kinds[] = {{TIDE::KindStack, {120, 215}},
                                           {TIDE::KindZ80, {115, 219}},
                                           {TIDE::KindBetaDisk, {50, 20}},
                                           {TIDE::KindBreakpoints, {50, 20}}};
    for (const auto& entry : kinds)
        Ide.RegisterView(entry.first, [kind = entry.first, size = entry.second](QWidget* owner, TComputer*, TIDE&) {
            return new TStubView(owner, TIDE::ViewClassName(kind), size.width(), size.height());
        });
    const QSize chrome = TFramesF::OuterSizeFor(QSize(0, 0));
    auto wholeTitle = [](const TSingleFrameF* frame) {
        QFont bold = frame->FrameL->font();
        bold.setBold(true);
        return QFontMetrics(bold).horizontalAdvance(frame->FrameL->text()) <= frame->FrameL->width();
    };

    // A side drop: the window grows until neither view loses a column.
    TStubView* stack = Open(TIDE::KindStack, {20, 20});
    TStubView* registers = Open(TIDE::KindZ80, {400, 20});
    DockCaption(registers, Root(stack), Root(stack)->width() - 5, Root(stack)->height() / 2);
    ASSERT_NE(qobject_cast<THorisontalF*>(Root(stack)), nullptr);
    for (TStubView* view : {stack, registers}) {
        const QSize wanted = QSize(view->PreferredWidth, view->PreferredHeight) - chrome;
        EXPECT_GE(view->width(), wanted.width()) << view->Caption.toStdString();
        EXPECT_GE(view->height(), wanted.height()) << view->Caption.toStdString();
        EXPECT_TRUE(wholeTitle(view->GetFrame())) << view->Caption.toStdString();
    }

    // A centre drop: every tab shows its whole caption.
    TStubView* disk = Open(TIDE::KindBetaDisk, {20, 400});
    TStubView* breakpoints = Open(TIDE::KindBreakpoints, {400, 400});
    DockCaption(breakpoints, Root(disk), Root(disk)->width() / 2, Root(disk)->height() / 2);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(disk));
    ASSERT_NE(tabbed, nullptr);
    const QFontMetrics tabFont(tabbed->FramesTS->font());
    for (int i = 0; i < tabbed->FramesTS->count(); ++i)
        EXPECT_GT(tabbed->FramesTS->tabRect(i).width(), tabFont.horizontalAdvance(tabbed->FramesTS->tabText(i)))
            << tabbed->FramesTS->tabText(i).toStdString();
}

TEST_F(CaptionDrag, ZoneZeroDropMovesTheWindowAndLosesNothing)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    TParentF* target = Root(a);
    // The bottom-left diagonal of a single frame's margin has no zone.
    const QPoint drop = At(target, 2, -2);
    TParentF* hit = nullptr;
    ASSERT_EQ(Window(a)->HitTest(drop.x(), drop.y(), hit), TParentF::ZoneNone);

    TFramesF* moving = Window(b);
    const QPoint press = CaptionPoint(moving);
    Drag(moving, press, drop);
    EXPECT_FALSE(moving->IsReleased());
    EXPECT_EQ(moving->pos(), QPoint(600, 100) + (drop - press));
    EXPECT_EQ(Root(b), b->GetFrame());
    EXPECT_EQ(Root(a), a->GetFrame());
    EXPECT_EQ(Ide.ToolWindows().size(), 2u);
}

TEST_F(CaptionDrag, ALostMouseCancelsTheDrag)
{
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    const QPoint press = CaptionPoint(window);
    Press(window, press);
    MoveTo(window, press + QPoint(40, 40));
    ASSERT_TRUE(Outline.Visible);

    QWidget thief;
    thief.show();
    thief.grabMouse();
    QElapsedTimer timer;
    timer.start();
    while (window->Dragging && timer.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    thief.releaseMouse();
    EXPECT_FALSE(window->Dragging);
    EXPECT_FALSE(window->Pressed);
    EXPECT_FALSE(Outline.Visible);
    // The release that may still arrive moves nothing.
    Release(window, press + QPoint(40, 40));
    EXPECT_EQ(window->pos(), QPoint(100, 100));
}

TEST_F(CaptionDrag, LosingTheActivationCancelsTheDrag)
{
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    const QPoint press = CaptionPoint(window);
    Press(window, press);
    MoveTo(window, press + QPoint(40, 40));
    ASSERT_TRUE(window->Dragging);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(window, &deactivate);
    EXPECT_FALSE(window->Dragging);
    EXPECT_FALSE(Outline.Visible);
}

TEST_F(CaptionDrag, TheOverlayDrawsTheOutlineOnTheScreen)
{
    TOutlineOverlay overlay;
    SetDragOutlinePainter(&overlay);
    TStubView* a = Open(1, {100, 100});
    TFramesF* window = Window(a);
    const QPoint press = CaptionPoint(window);
    Press(window, press);
    MoveTo(window, press + QPoint(60, 70));
    EXPECT_TRUE(overlay.IsShown());
    EXPECT_EQ(overlay.Strip(0)->geometry(), QRect(160, 170, 290, 3));
    EXPECT_EQ(overlay.Strip(1)->geometry(), QRect(160, 557, 290, 3));
    // The strips never become the window under the cursor.
    EXPECT_EQ(window->FramesFormAt(161, 171), nullptr);
    Release(window, press + QPoint(60, 70));
    EXPECT_FALSE(overlay.IsShown());
    EXPECT_FALSE(overlay.Strip(0)->isVisible());
    SetDragOutlinePainter(&Outline);
}
