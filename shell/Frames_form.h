// TFramesF: the floating tool window every tool view lives in. Its only
// child frame is the root of a docking tree (single, split and tabbed
// frames); its caption shows the views' captions joined by ", ".
//
// The window routes keys and wheel turns to its active view, and it can be
// dragged by its caption onto another tool window: while it moves, an
// outline previews where it would dock; on release its whole tree docks
// into the other window's tree as a split or a tab and the emptied window
// goes. Dropped elsewhere (or where no zone is), the window moves there.
//
// Tool windows are components of the main window (their owner, which also
// keeps them above itself); the view manager finds them among its
// components by the class name "TFramesF".
#pragma once

#include "platform/Mouse_capture.h"
#include "platform/Tool_window.h"
#include "shell/Drag_gesture.h"
#include "shell/Helper.h"

#include <QPointer>
#include <QRect>

class TParentF;
class TViewF;

class TFramesF : public TToolWindow, public TDragGesture {
    Q_OBJECT

public:
    explicit TFramesF(QWidget* owner);
    ~TFramesF() override;

    QPointer<TParentF> DraggedRoot;  // the root when the caption drag began
    bool Active = false;             // this is the active window
    QRect BoundsAtPress;

    // The tool window that holds the widget, or null.
    static TFramesF* WindowOf(const QWidget* widget);
    // The window's outer size for a frame that becomes its root: a view's
    // preferred size is already the outer size; a container's own size is
    // its client size.
    static QSize WindowSizeFor(const TParentF* frame);

    TParentF* GetRootFrame() const;
    // A single frame around the view becomes the root; the window takes the
    // view's preferred size and the view becomes the active view.
    void AddView(TViewF* view);
    // An existing frame becomes the root; the window takes its size.
    void SetRootFrame(TParentF* frame);
    // Caption := the root's caption; the root is told it is the root.
    void UpdateCaption();
    void RefreshRoot();
    void RefreshRootIfSingle();
    void UpdateViews();
    TViewF* FindView(const QString& className);

    // The view that gets keys and wheel turns. The old one is deactivated,
    // the new one activated, and both title bars show the change.
    void SetActiveView(TViewF* view);
    bool IsActiveView(const TViewF* view) const;
    TViewF* GetActiveView() const;
    // Clears the active view when it lies inside the given part of the tree.
    void ForgetViewsIn(const QWidget* part);

    // Gives the view the client size, while the root is a single frame.
    void SetClientSizeForView(int width, int height);
    int HitTest(int x, int y, TParentF*& hit);
    // Replaces the rectangle by the dock preview under the point, if any.
    void GetDockRect(TScreenRect& rect, int x, int y);
    // The other tool window under the screen point (the topmost), or null.
    TFramesF* FramesFormAt(int x, int y) const;
    // Docks the moving frame at the zone of the target frame (in window).
    // False for zone 0: nothing docked.
    static bool DockFrame(TFramesF* window, TParentF* target, TParentF* moving, int zone);
    static void ReplaceInParent(TParentF* oldFrame, TParentF* newFrame);

    // Lays the whole tree out again at once.
    void Realign();
    // Grows the window (never beyond the screen) until the root's content
    // fits, and divides every split by its children's content.
    void FitToContent();
    // Leaves the owner's registry at once with its frames and views, hides,
    // and is deleted once control is back in the event loop.
    void Release();
    bool IsReleased() const { return Released; }
    void ActivateNow();
    // Ends any caption, title or tab drag in this window without a drop.
    void CancelDrags();
    QWidget* Owner() const { return OwnerWidget; }

protected:
    void CaptionMouseDown(Qt::MouseButton button, const QPoint& global) override;
    void CaptionMouseMove(const QPoint& global) override;
    void CaptionMouseUp(Qt::MouseButton button, const QPoint& global) override;
    void CloseButtonClick() override;

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TScreenRect MovedBounds(const QPoint& c) const;
    // The size grown to at least the wanted size, as far as the screen
    // allows.
    QSize GrownTo(const QSize& wanted) const;
    bool DispatchShortcut(QKeyEvent* event);
    void FocusChanged(QWidget* now);
    void CancelCaptionDrag();
    static void RefreshLook(TViewF* view);

    QPointer<QWidget> OwnerWidget;
    QPointer<TViewF> ActiveView;
    TMouseCapture Capture;
    QMetaObject::Connection FocusConnection;
    int SwallowKey = 0;
    bool Released = false;
};
