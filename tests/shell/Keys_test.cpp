// Keys and wheel turns reach the window's active view; a view's own
// shortcut wins over the same shortcut further out, and the main window's
// application-wide shortcuts are left to Qt.
#include "tests/shell/Docking_fixture.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace {

class Keys : public TDockingTest {
protected:
    // Sends a shortcut override for the key to the widget, as Qt does before
    // it looks for shortcuts; true when something in the window took it.
    static bool Override(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::ShortcutOverride, key, modifiers);
        event.ignore();
        QApplication::sendEvent(widget, &event);
        return event.isAccepted();
    }
    static void KeyPress(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(widget, &event);
    }
    static QAction* ViewAction(QWidget* view, const QKeySequence& keys, int* count)
    {
        auto* action = new QAction(view);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        view->addAction(action);
        QObject::connect(action, &QAction::triggered, [count] { ++*count; });
        return action;
    }
};

} // namespace

TEST_F(Keys, KeysGoToTheActiveView)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneRight);
    a->SetActive();
    KeyPress(b, Qt::Key_PageDown);  // whichever widget has the focus
    KeyPress(a, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(a->Keys, (std::vector<int>{Qt::Key_PageDown, Qt::Key_Up}));
    EXPECT_TRUE(b->Keys.empty());
}

TEST_F(Keys, WheelTurnsGoToTheActiveView)
{
    TStubView* a = Open(TIDE::KindDasm, {100, 100});
    // A real turn over the view reaches the window when the view ignores
    // it (a synthetic event is not passed up, so it goes to the window).
    TFramesF* window = Window(a);
    const QPointF at = QPointF(GlobalCentre(a));
    QWheelEvent down(window->mapFromGlobal(at), at, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(window, &down);
    QWheelEvent up(window->mapFromGlobal(at), at, QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(window, &up);
    EXPECT_EQ(a->WheelDowns, 1);
    EXPECT_EQ(a->WheelUps, 1);
}

TEST_F(Keys, NoActiveViewNoKeys)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    Window(a)->SetActiveView(nullptr);
    KeyPress(a, Qt::Key_Down);
    EXPECT_TRUE(a->Keys.empty());
}

TEST_F(Keys, TheInnermostShortcutWins)
{
    TStubView* a = Open(TIDE::KindDasm, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    Dock(b, a->GetFrame(), TParentF::ZoneCentre);
    auto* tabbed = qobject_cast<TTabbedF*>(Root(a));
    ASSERT_NE(tabbed, nullptr);

    // The main window's F8, application-wide, and the view's own F8.
    int runs = 0, viewSteps = 0;
    auto* stepOver = new QAction(&Owner);
    stepOver->setShortcut(Qt::Key_F8);
    stepOver->setShortcutContext(Qt::ApplicationShortcut);
    Owner.addAction(stepOver);
    QObject::connect(stepOver, &QAction::triggered, [&] { ++runs; });
    ViewAction(b, QKeySequence(Qt::Key_F8), &viewSteps);

    b->SetActive();
    b->setFocus();
    EXPECT_TRUE(Override(b, Qt::Key_F8));
    EXPECT_EQ(viewSteps, 1);
    EXPECT_EQ(runs, 0);
    // The key itself does not reach the view as a key any more.
    KeyPress(b, Qt::Key_F8);
    EXPECT_TRUE(b->Keys.empty());
    // A key no view action takes is left to Qt (and the main window).
    EXPECT_FALSE(Override(b, Qt::Key_F9));
    KeyPress(b, Qt::Key_F9);
    EXPECT_EQ(b->Keys, (std::vector<int>{Qt::Key_F9}));

    // Ctrl+F4 closes the page from inside it: the tabbed frame's action.
    EXPECT_TRUE(Override(b, Qt::Key_F4, Qt::ControlModifier));
    EXPECT_EQ(Root(a), a->GetFrame());
}

TEST_F(Keys, ADisabledOrHiddenActionIsPassedOver)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    int inner = 0;
    QAction* action = ViewAction(a, QKeySequence(Qt::CTRL | Qt::Key_H), &inner);
    action->setEnabled(false);
    EXPECT_FALSE(Override(a, Qt::Key_H, Qt::ControlModifier));
    action->setEnabled(true);
    action->setVisible(false);
    EXPECT_FALSE(Override(a, Qt::Key_H, Qt::ControlModifier));
    action->setVisible(true);
    EXPECT_TRUE(Override(a, Qt::Key_H, Qt::ControlModifier));
    EXPECT_EQ(inner, 1);
}

TEST_F(Keys, NestedTabsCloseTheInnermostPage)
{
    TStubView* a = Open(TIDE::KindZ80, {100, 100});
    TStubView* b = Open(TIDE::KindMemory, {500, 100});
    TStubView* c = Open(TIDE::KindStack, {900, 100});
    TStubView* d = Open(TIDE::KindDasm, {900, 500});
    Dock(b, a->GetFrame(), TParentF::ZoneCentre);
    auto* outer = qobject_cast<TTabbedF*>(Root(a));
    ASSERT_NE(outer, nullptr);
    // C and D as tabs of their own, then that tabbed frame as a tab of A's.
    Dock(d, c->GetFrame(), TParentF::ZoneCentre);
    auto* inner = qobject_cast<TTabbedF*>(Root(c));
    ASSERT_NE(inner, nullptr);
    Dock(c, outer, TParentF::ZoneCentre);
    ASSERT_EQ(outer->TabCount(), 3);
    ASSERT_EQ(outer->GetTabFrame(2), inner);

    d->setFocus();
    EXPECT_TRUE(Override(d, Qt::Key_F4, Qt::ControlModifier));
    // The inner page went; the outer frame still has its three tabs.
    EXPECT_EQ(outer->TabCount(), 3);
    EXPECT_EQ(outer->GetTabFrame(2), c->GetFrame());
}
