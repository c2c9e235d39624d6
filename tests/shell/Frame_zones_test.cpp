// The dock-zone test and the zone previews: the quarters of a single frame,
// the margin band of a split that widens with nesting, and frame naming.
#include "tests/shell/Docking_fixture.h"

namespace {

class FrameZones : public TDockingTest {
protected:
    // A single frame of exactly this size as the root of a window.
    TSingleFrameF* SingleFrame(int width, int height)
    {
        TStubView* view = Open(1, {100, 100});
        Window(view)->SetClientSizeForView(width, height);
        Window(view)->Realign();
        Settle();
        return view->GetFrame();
    }

    static int Zone(TParentF* frame, const QPoint& global, TParentF** hit = nullptr)
    {
        TParentF* found = nullptr;
        const int zone = frame->HitTest(global.x(), global.y(), 0, found);
        if (hit)
            *hit = found;
        return zone;
    }
};

} // namespace

TEST_F(FrameZones, SingleFrameQuartersAndDiagonals)
{
    TSingleFrameF* frame = SingleFrame(400, 200);
    ASSERT_EQ(frame->size(), QSize(400, 200));
    TParentF* hit = nullptr;
    EXPECT_EQ(Zone(frame, At(frame, 10, 100), &hit), TParentF::ZoneLeft);
    EXPECT_EQ(hit, frame);
    EXPECT_EQ(Zone(frame, At(frame, 200, 100)), TParentF::ZoneCentre);
    EXPECT_EQ(Zone(frame, At(frame, 390, 100)), TParentF::ZoneRight);
    EXPECT_EQ(Zone(frame, At(frame, 200, 5)), TParentF::ZoneTop);
    EXPECT_EQ(Zone(frame, At(frame, 200, 195)), TParentF::ZoneBottom);
    // Corners: the top wins the top-left diagonal; the bottom-left
    // diagonal has no zone; the right wins over the top and the bottom.
    EXPECT_EQ(Zone(frame, At(frame, 2, 2)), TParentF::ZoneTop);
    EXPECT_EQ(Zone(frame, At(frame, 2, 198)), TParentF::ZoneNone);
    EXPECT_EQ(Zone(frame, At(frame, 398, 2)), TParentF::ZoneRight);
    EXPECT_EQ(Zone(frame, At(frame, 398, 198)), TParentF::ZoneRight);
    // Inner rectangle bounds belong to the centre: left edge x = 100.
    EXPECT_EQ(Zone(frame, At(frame, 101, 100)), TParentF::ZoneCentre);
    EXPECT_EQ(Zone(frame, At(frame, 100, 100)), TParentF::ZoneLeft);
}

TEST_F(FrameZones, ZoneRectanglesAreHalvesAndTheQuarterInsetCentre)
{
    TSingleFrameF* frame = SingleFrame(400, 200);
    TParentF* hit = nullptr;
    EXPECT_EQ(frame->GetZoneRect(At(frame, 10, 100).x(), At(frame, 10, 100).y(), hit), QRect(0, 0, 200, 200));
    EXPECT_EQ(hit, frame);
    const QPoint centre = At(frame, 200, 100);
    EXPECT_EQ(frame->GetZoneRect(centre.x(), centre.y(), hit), QRect(100, 50, 200, 100));
    const QPoint right = At(frame, 390, 100);
    EXPECT_EQ(frame->GetZoneRect(right.x(), right.y(), hit), QRect(200, 0, 200, 200));
    const QPoint top = At(frame, 200, 5);
    EXPECT_EQ(frame->GetZoneRect(top.x(), top.y(), hit), QRect(0, 0, 400, 100));
    const QPoint bottom = At(frame, 200, 195);
    EXPECT_EQ(frame->GetZoneRect(bottom.x(), bottom.y(), hit), QRect(0, 100, 400, 100));
    const QPoint none = At(frame, 2, 198);
    EXPECT_TRUE(frame->GetZoneRect(none.x(), none.y(), hit).isNull());

    // In screen coordinates through the window.
    TScreenRect rect{1, 2, 3, 4};
    Window(frame->GetView())->GetDockRect(rect, centre.x(), centre.y());
    const QPoint origin = frame->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(rect, (TScreenRect{origin.x() + 100, origin.y() + 50, origin.x() + 300, origin.y() + 150}));
    // No zone: the rectangle stays as it was.
    TScreenRect unchanged{1, 2, 3, 4};
    Window(frame->GetView())->GetDockRect(unchanged, none.x(), none.y());
    EXPECT_EQ(unchanged, (TScreenRect{1, 2, 3, 4}));
}

TEST_F(FrameZones, SplitMarginBandThenTheChildAtTheNextDepth)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {700, 100});
    Window(a)->SetClientSizeForView(600, 300);
    Settle();
    Drag(Window(b), CaptionPoint(Window(b)), At(Root(a), Root(a)->width() - 10, 150));
    auto* split = qobject_cast<THorisontalF*>(Root(a));
    ASSERT_NE(split, nullptr);
    TParentF* hit = nullptr;
    // 4 pixels inside the split's left edge: the split's own left zone.
    EXPECT_EQ(Zone(split, At(split, 4, 150), &hit), TParentF::ZoneLeft);
    EXPECT_EQ(hit, split);
    // 10 pixels inside: passed to the left child (its outer quarter).
    EXPECT_EQ(Zone(split, At(split, 10, 150), &hit), TParentF::ZoneLeft);
    EXPECT_EQ(hit, split->LeftChild());
    // The right half goes to the right child.
    EXPECT_EQ(Zone(split, GlobalCentre(split->RightChild()), &hit), TParentF::ZoneCentre);
    EXPECT_EQ(hit, split->RightChild());
    // The split never offers its own centre.
    EXPECT_EQ(Zone(split, At(split, 4, 2), &hit), TParentF::ZoneTop);
    EXPECT_EQ(hit, split);
}

TEST_F(FrameZones, NestedSplitsWidenTheMarginByFivePerLevel)
{
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {800, 100});
    TStubView* c = Open(3, {800, 100});
    Window(a)->SetClientSizeForView(600, 400);
    Settle();
    Drag(Window(b), CaptionPoint(Window(b)), At(Root(a), -10, 200));
    Drag(Window(c), CaptionPoint(Window(c)), At(Root(a), 300, 2));
    auto* outer = qobject_cast<TVerticalF*>(Root(a));
    ASSERT_NE(outer, nullptr);
    auto* inner = qobject_cast<THorisontalF*>(outer->BottomChild());
    ASSERT_NE(inner, nullptr);
    TParentF* hit = nullptr;
    // Depth 1: the inner split's band is 10 pixels wide.
    EXPECT_EQ(Zone(outer, At(inner, 8, inner->height() / 2), &hit), TParentF::ZoneLeft);
    EXPECT_EQ(hit, inner);
    EXPECT_EQ(Zone(outer, At(inner, 12, inner->height() / 2), &hit), TParentF::ZoneLeft);
    EXPECT_EQ(hit, inner->LeftChild());
}

TEST_F(FrameZones, FramesAreNamedByOneCounterWhateverTheirClass)
{
    g_FrameCounter = 0;
    TStubView* a = Open(1, {100, 100});
    TStubView* b = Open(0, {600, 100});
    EXPECT_EQ(a->GetFrame()->objectName(), QStringLiteral("Frame0"));
    EXPECT_EQ(b->GetFrame()->objectName(), QStringLiteral("Frame1"));
    Drag(Window(b), CaptionPoint(Window(b)), GlobalCentre(Root(a)));
    EXPECT_EQ(Root(a)->objectName(), QStringLiteral("Frame2"));
    // The frame keeps its name when it moves.
    EXPECT_EQ(b->GetFrame()->objectName(), QStringLiteral("Frame1"));
}
