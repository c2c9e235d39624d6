// TSingleFrameF: the leaf of a docking tree, one view under a small title
// bar. The title bar shows the view's caption, lets the user drag the frame
// out of its window (onto another tool window, or onto the desktop where it
// gets a window of its own) and carries a close box. The title bar is
// hidden while the frame is its window's root or a tab's page: there the
// window's caption or the tab does its job.
#pragma once

#include "platform/Mouse_capture.h"
#include "shell/Dragged_frame.h"
#include "shell/View_frame.h"

class QLabel;

class TSingleFrameF : public TDraggedF {
    Q_OBJECT

public:
    static constexpr int TitleHeight = 20;
    static constexpr int CloseBoxSize = 14;
    // The close box's distance from the top and the right of the title bar.
    static constexpr int CloseBoxMargin = 3;
    // The title bar's width beside its caption text: the shape's border, the
    // label's left inset and the room kept for the close box, as the title
    // is laid out.
    static constexpr int TitleInsets = 1 + 6 + 20 + 1;

    // Puts the view into the frame's view panel and the frame into parent.
    TSingleFrameF(QWidget* owner, QWidget* parent, TViewF* view);
    ~TSingleFrameF() override;

    QWidget* const FrameP;      // title bar along the top
    QWidget* const FrameS;      // rounded shape filling the title bar
    QLabel* const FrameL;       // the view's caption
    QWidget* const ClosePB;     // the close box
    QWidget* const ViewPanel;   // the view fills it
    int CloseState = 0;         // 0 normal, 1 hot, 2 pressed
    bool CloseMouseDown = false;

    TViewF* GetView() const { return View; }
    // The title bar shows the active look.
    bool TitleActive() const { return ActiveLook; }

    void SetRoot(bool isRoot) override;
    QString GetCaption() const override;
    void SetViewSize(int width, int height) override;
    QSize GetViewSize() const override;
    void UpdateViews() override;
    void UpdateActiveState() override;
    TViewF* FindView(const QString& className) override;
    QSize GetContentSize() const override;
    void CancelDrag() override;

    // The close box's action: the frame leaves its container (which
    // collapses) and goes with its view.
    void Close();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayoutTitle();
    void PaintShape();
    void PaintCloseBox();
    void SetCloseState(int state);
    void TitleMouseDown(Qt::MouseButton button, const QPoint& global, QWidget* handle);
    void TitleMouseMove(const QPoint& global);
    void TitleMouseUp(Qt::MouseButton button, const QPoint& global);
    // The outline for the cursor at c, and the window under it.
    TScreenRect OutlineAt(const QPoint& c) const;
    void Drop(const QPoint& c);

    QPointer<TViewF> View;
    bool ActiveLook = false;
    QPoint FrameOffset;  // press point minus the frame's screen top-left
    TMouseCapture Capture;
};
