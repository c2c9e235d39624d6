// The view base: colours for highlighted rows, the container and window a
// view finds, and how the active view changes hands.
#include "tests/shell/Docking_fixture.h"

#include "platform/Component_registry.h"
#include "platform/System_metrics.h"

namespace {

class ViewBase : public TDockingTest {};

} // namespace

TEST_F(ViewBase, FrameColoursByPartHighlightAndActivity)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    ASSERT_TRUE(a->IsActive());
    ASSERT_FALSE(b->IsActive());

    EXPECT_EQ(a->GetFrameColor(0, true), SystemColors::ActiveCaption());
    EXPECT_EQ(a->GetFrameColor(1, true), SystemColors::HighlightText());
    EXPECT_EQ(b->GetFrameColor(0, true), SystemColors::GrayText());
    EXPECT_EQ(b->GetFrameColor(1, true), SystemColors::ButtonFace());
    for (TStubView* view : {a, b}) {
        EXPECT_EQ(view->GetFrameColor(0, false), SystemColors::ButtonFace());
        EXPECT_EQ(view->GetFrameColor(1, false), SystemColors::ButtonText());
        EXPECT_EQ(view->GetFrameColor(2, true), QColor(0, 0, 0));
        EXPECT_EQ(view->GetFrameColor(-1, false), QColor(0, 0, 0));
    }
}

TEST_F(ViewBase, ContainerAndWindow)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    EXPECT_EQ(a->GetContainer(), nullptr) << "its frame is the root";
    EXPECT_EQ(a->GetRootForm(), Window(a));
    EXPECT_EQ(a->GetFrame()->GetView(), a);
    Dock(b, a->GetFrame(), TParentF::ZoneBottom);
    EXPECT_EQ(a->GetContainer(), Root(a));
    EXPECT_EQ(b->GetRootForm(), Window(a));

    // A view outside every window finds nothing, and asks nothing.
    TStubView loose(&Owner, QStringLiteral("TTapeF"));
    EXPECT_EQ(loose.GetRootForm(), nullptr);
    EXPECT_EQ(loose.GetContainer(), nullptr);
    EXPECT_EQ(loose.GetFrame(), nullptr);
    EXPECT_FALSE(loose.IsActive());
    loose.SetActive();
    loose.SetClientSize(10, 10);
}

TEST_F(ViewBase, ViewsAreComponentsOfTheOwner)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    auto& registry = TComponentRegistry::Of(&Owner);
    EXPECT_TRUE(registry.Contains(a));
    EXPECT_TRUE(registry.Contains(a->GetFrame()));
    EXPECT_TRUE(registry.Contains(Window(a)));
}

TEST_F(ViewBase, SetActiveViewActivatesTheNewViewAndDeactivatesTheOld)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneRight);
    TFramesF* window = Window(a);
    ASSERT_TRUE(ActivateAndWait(window));

    window->SetActiveView(nullptr);
    const int aDeactivations = a->Deactivations;
    const int bActivations = b->Activations;
    // No active view before: the new one is activated all the same.
    window->SetActiveView(b);
    EXPECT_EQ(b->Activations, bActivations + 1);
    EXPECT_TRUE(b->GetFrame()->TitleActive());
    EXPECT_FALSE(a->GetFrame()->TitleActive());
    // The same view again: nothing.
    window->SetActiveView(b);
    EXPECT_EQ(b->Activations, bActivations + 1);
    // Another view: the old one is deactivated, both titles refreshed.
    const int bDeactivations = b->Deactivations;
    window->SetActiveView(a);
    EXPECT_EQ(b->Deactivations, bDeactivations + 1);
    EXPECT_TRUE(a->GetFrame()->TitleActive());
    EXPECT_FALSE(b->GetFrame()->TitleActive());
    EXPECT_EQ(a->Deactivations, aDeactivations);
    EXPECT_TRUE(a->IsActive());
    EXPECT_FALSE(b->IsActive());
}

TEST_F(ViewBase, ClickingAViewMakesItActive)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneRight);
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    const int deactivations = a->Deactivations;
    Press(b, GlobalCentre(b));
    Release(b, GlobalCentre(b));
    EXPECT_EQ(Window(a)->GetActiveView(), b);
    EXPECT_EQ(a->Deactivations, deactivations + 1);
}

TEST_F(ViewBase, WindowActivationPassesToTheActiveView)
{
    TStubView* a = Open(TIDE::KindScreen, {100, 100});
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    QWidget other;
    other.show();
    const int deactivations = a->Deactivations;
    ASSERT_TRUE(ActivateAndWait(&other));
    EXPECT_EQ(a->Deactivations, deactivations + 1);
    EXPECT_FALSE(Window(a)->Active);
    const int activations = a->Activations;
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    EXPECT_EQ(a->Activations, activations + 1);
    EXPECT_TRUE(Window(a)->Active);
}
