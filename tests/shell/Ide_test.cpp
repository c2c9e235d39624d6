// The view manager: the kinds table, the view counter and names, searches
// over the owner's tool windows, activation and CloseAll.
#include "tests/shell/Docking_fixture.h"

#include "platform/Component_registry.h"

namespace {

class ViewManager : public TDockingTest {};

} // namespace

TEST(ViewKinds, ClassNamesIncludingDiskAndPages)
{
    EXPECT_EQ(TIDE::ViewClassName(0), QStringLiteral("TMemoryF"));
    EXPECT_EQ(TIDE::ViewClassName(1), QStringLiteral("TZ80F"));
    EXPECT_EQ(TIDE::ViewClassName(4), QStringLiteral("TScreenF"));
    EXPECT_EQ(TIDE::ViewClassName(7), QStringLiteral("TProjectManagerF"));
    EXPECT_EQ(TIDE::ViewClassName(12), QStringLiteral("TEditorF"));
    EXPECT_EQ(TIDE::ViewClassName(13), QStringLiteral("TDiskF"));
    EXPECT_EQ(TIDE::ViewClassName(14), QStringLiteral("TPagesF"));
    EXPECT_EQ(TIDE::ViewClassName(15), QString());
    EXPECT_EQ(TIDE::ViewClassName(-1), QString());
    EXPECT_STREQ(TIDE::ViewKinds()[9].CaptionPrefix, "Beta Disk Interface #");
    EXPECT_STREQ(TIDE::ViewKinds()[5].NamePrefix, "TapeRecorder");
}

TEST_F(ViewManager, OneCounterNumbersEveryViewWhateverItsKind)
{
    TViewF* z80 = Ide.ShowView(TIDE::KindZ80);
    ASSERT_NE(z80, nullptr);
    EXPECT_EQ(z80->objectName(), QStringLiteral("Z80View1"));
    EXPECT_EQ(z80->Caption, QStringLiteral("Z80 View #1"));
    EXPECT_EQ(z80->GetRootForm()->windowTitle(), QStringLiteral("Z80 View #1"));
    EXPECT_TRUE(z80->GetRootForm()->isVisible());
    EXPECT_EQ(z80->GetRootForm()->GetActiveView(), z80);
    TViewF* memory = Ide.ShowView(TIDE::KindMemory);
    EXPECT_EQ(memory->objectName(), QStringLiteral("MemoryView2"));
    EXPECT_EQ(memory->Caption, QStringLiteral("Memory View #2"));

    // An unknown kind uses a number up and leaves no window behind.
    EXPECT_EQ(Ide.ShowView(15), nullptr);
    EXPECT_EQ(g_ViewCounter, 3);
    EXPECT_EQ(Ide.ToolWindows().size(), 2u);
    TViewF* beta = Ide.ShowView(TIDE::KindBetaDisk);
    EXPECT_EQ(beta->objectName(), QStringLiteral("BetaDisk4"));
    EXPECT_EQ(beta->Caption, QStringLiteral("Beta Disk Interface #4"));
}

TEST_F(ViewManager, AKindWithoutACreationHookOpensNothing)
{
    Ide.RegisterView(TIDE::KindOscilloscope, nullptr);
    EXPECT_FALSE(Ide.IsViewRegistered(TIDE::KindOscilloscope));
    EXPECT_EQ(Ide.ShowView(TIDE::KindOscilloscope), nullptr);
    EXPECT_TRUE(Ide.ToolWindows().empty());
    EXPECT_EQ(g_ViewCounter, 1);
}

TEST_F(ViewManager, AHookThatThrowsLeavesNoWindow)
{
    Ide.RegisterView(TIDE::KindTape, [](QWidget*, TComputer*, TIDE&) -> TViewF* { throw TTextError("no tape"); });
    EXPECT_THROW(Ide.ShowView(TIDE::KindTape), TTextError);
    EXPECT_TRUE(Ide.ToolWindows().empty());
}

TEST_F(ViewManager, HooksGetTheOwnerAndTheComputer)
{
    QWidget* seenOwner = nullptr;
    TComputer* seenComputer = reinterpret_cast<TComputer*>(1);
    Ide.RegisterView(TIDE::KindKeyboard, [&](QWidget* owner, TComputer* computer, TIDE& ide) {
        seenOwner = owner;
        seenComputer = computer;
        EXPECT_EQ(&ide, &Ide);
        return new TStubView(owner, QStringLiteral("TKeyboardF"));
    });
    Ide.ShowView(TIDE::KindKeyboard);
    EXPECT_EQ(seenOwner, &Owner);
    EXPECT_EQ(seenComputer, nullptr);
}

TEST_F(ViewManager, FindViewTakesTheEarliestWindowAndCreatesOnRequest)
{
    TViewF* first = Ide.ShowView(TIDE::KindScreen);
    TViewF* second = Ide.ShowView(TIDE::KindScreen);
    ASSERT_NE(first, second);
    EXPECT_EQ(Ide.FindView(TIDE::KindScreen, false), first);
    EXPECT_EQ(Ide.FindView(TIDE::KindEditor, false), nullptr);
    EXPECT_EQ(Ide.ToolWindows().size(), 2u);

    TViewF* editor = Ide.FindView(TIDE::KindEditor, true);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), QStringLiteral("Editor3"));
    EXPECT_EQ(Ide.FindView(TIDE::KindEditor, true), editor);
    // Disk and Pages views can be found too.
    TViewF* pages = Ide.ShowView(TIDE::KindPages);
    EXPECT_EQ(Ide.FindView(TIDE::KindPages, false), pages);
}

TEST_F(ViewManager, FindViewLooksInsideDockedTrees)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindStack, {500, 100});
    TStubView* c = Open(TIDE::KindDasm, {900, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneCentre);
    Dock(c, Root(a), TParentF::ZoneBottom);
    EXPECT_EQ(Ide.FindView(TIDE::KindStack, false), b);
    EXPECT_EQ(Ide.FindView(TIDE::KindDasm, false), c);
    EXPECT_EQ(Ide.ToolWindows().size(), 1u);
}

TEST_F(ViewManager, FindActiveViewNeedsAnActiveWindow)
{
    EXPECT_EQ(Ide.FindActiveView(QString()), nullptr);
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    EXPECT_EQ(Ide.FindActiveView(QString()), a);
    EXPECT_EQ(Ide.FindActiveView(QStringLiteral("TZ80F")), a);
    EXPECT_EQ(Ide.FindActiveView(QStringLiteral("TMemoryF")), nullptr);
    ASSERT_TRUE(ActivateAndWait(Window(b)));
    EXPECT_EQ(Ide.FindActiveView(QString()), b);

    // A window whose active view went is passed over.
    Window(b)->SetActiveView(nullptr);
    EXPECT_EQ(Ide.FindActiveView(QString()), nullptr);
}

TEST_F(ViewManager, ApplicationActivationGoesToTheActiveView)
{
    TStubView* a = Open(TIDE::KindScreen, {100, 100});
    ASSERT_TRUE(ActivateAndWait(Window(a)));
    const int activations = a->Activations, deactivations = a->Deactivations;
    Ide.AppDeactivate();
    EXPECT_EQ(a->Deactivations, deactivations + 1);
    Ide.AppActivate();
    EXPECT_EQ(a->Activations, activations + 1);
}

TEST_F(ViewManager, CloseAllDeletesEveryWindowAndView)
{
    std::vector<QPointer<TViewF>> views;
    for (int kind : {0, 1, 2, 3, 4})
        views.emplace_back(Ide.ShowView(kind));
    Dock(views[1], views[0]->GetFrame(), TParentF::ZoneCentre);
    // A window closed by its button waits for deletion; CloseAll takes it.
    QPointer<TFramesF> closing = views[4]->GetRootForm();
    closing->close();
    ASSERT_FALSE(closing.isNull());

    Ide.CloseAll();
    EXPECT_TRUE(closing.isNull());
    for (const auto& view : views)
        EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(Ide.ToolWindows().empty());
    EXPECT_TRUE(TComponentRegistry::Of(&Owner).OfClass("TFramesF").empty());
}

TEST_F(ViewManager, UpdateViewsRefreshesEveryOpenViewOnce)
{
    std::vector<TStubView*> views;
    for (int kind : {0, 1, 2, 3})
        views.push_back(static_cast<TStubView*>(Ide.ShowView(kind)));
    Dock(views[1], views[0]->GetFrame(), TParentF::ZoneCentre);
    Dock(views[2], Root(views[0]), TParentF::ZoneRight);
    Ide.UpdateViews();
    for (TStubView* view : views)
        EXPECT_EQ(view->Updates, 1);
}

TEST_F(ViewManager, OwnsTheProjectGroupItIsGiven)
{
    EXPECT_EQ(Ide.GetProjectGroup(), nullptr);
    bool deleted = false;
    {
        TIDE ide;
        auto* group = reinterpret_cast<TProjectGroup*>(new int(0));
        ide.SetProjectGroup(std::shared_ptr<TProjectGroup>(group, [&deleted](TProjectGroup* g) {
            delete reinterpret_cast<int*>(g);
            deleted = true;
        }));
        EXPECT_EQ(ide.GetProjectGroup(), group);
    }
    EXPECT_TRUE(deleted);
}
