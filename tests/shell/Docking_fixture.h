// A main-window stand-in with the view manager bound to it, stub views for
// every kind, a recorded drag outline, and ways to drag captions, title
// bars and tabs.
#pragma once

#include "shell/Frames_form.h"
#include "shell/Horisontal_frames.h"
#include "shell/Ide.h"
#include "shell/Single_frame.h"
#include "shell/Tabbed_frames.h"
#include "shell/Vertical_frames.h"
#include "tests/shell/Qt_test_app.h"
#include "tests/shell/Stub_views.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>

class TDockingTest : public ::testing::Test {
protected:
    TDockingTest()
    {
        g_ViewCounter = 0;
        Ide.Init(&Owner, nullptr);
        RegisterStubViews(Ide);
    }
    ~TDockingTest() override
    {
        Ide.CloseAll();
        Settle();
    }

    // A stub view of the kind in a new tool window at the point.
    TStubView* Open(int kind, const QPoint& topLeft)
    {
        auto* view = static_cast<TStubView*>(Ide.ShowView(kind));
        view->GetRootForm()->move(topLeft);
        Settle();
        return view;
    }

    static TFramesF* Window(const TViewF* view) { return view->GetRootForm(); }
    static TParentF* Root(const TViewF* view) { return view->GetRootForm()->GetRootFrame(); }

    // A point on the window's caption, left of the close button.
    static QPoint CaptionPoint(TFramesF* window) { return window->mapToGlobal(QPoint(40, 10)); }

    // A global point at (dx, dy) from the frame's top-left corner; negative
    // values count from the right or bottom edge.
    static QPoint At(const QWidget* frame, int dx, int dy)
    {
        const int x = dx >= 0 ? dx : frame->width() + dx;
        const int y = dy >= 0 ? dy : frame->height() + dy;
        return frame->mapToGlobal(QPoint(x, y));
    }

    // Presses on the handle, moves past the drag threshold, moves to the
    // point and releases there.
    static void Drag(QWidget* handle, const QPoint& from, const QPoint& to)
    {
        Press(handle, from);
        MoveTo(handle, from + QPoint(5, 5));
        MoveTo(handle, to);
        Release(handle, to);
        Settle();
    }

    // Docks the window of the moving view into the target view's frame at a
    // point given relative to that frame.
    void DockCaption(TViewF* moving, TParentF* target, int dx, int dy)
    {
        TFramesF* window = Window(moving);
        Drag(window, CaptionPoint(window), At(target, dx, dy));
    }

    // Docks the whole tree of the moving view's window into the target
    // frame at the zone, as a caption drop does.
    void Dock(TViewF* moving, TParentF* target, int zone)
    {
        TFramesF* emptied = Window(moving);
        TFramesF* window = target->GetRootForm();
        ASSERT_TRUE(TFramesF::DockFrame(window, target, emptied->GetRootFrame(), zone));
        emptied->Release();
        window->Realign();
        Settle();
    }

    QWidget Owner;
    TRecordingOutline Outline;
    TIDE Ide;
};
