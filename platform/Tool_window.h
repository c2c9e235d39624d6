// A small floating tool window that draws its own frame: a 4-pixel sizing
// border and an 18-pixel caption bar with the window's title and a close
// button. The desktop's window manager would move the window itself when
// its caption is dragged; docking needs to see that drag, so the window is
// frameless and reports every press, move and release on its caption to
// the derived class (by default they move the window).
//
// The client area is what is left inside the border and below the caption;
// widgets added to ClientLayout() fill it. The outer size is the client
// size plus 2 x 4 pixels across and 18 + 2 x 4 pixels down.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

class QVBoxLayout;

class TToolWindow : public QWidget {
    Q_OBJECT

public:
    // A tool window owned by (and kept above) the given window, which may be
    // null.
    explicit TToolWindow(QWidget* owner);

    QVBoxLayout* ClientLayout() const { return Layout; }
    // Areas in the window's own coordinates.
    QRect ClientRect() const;
    QRect CaptionRect() const;
    QRect CloseButtonRect() const;
    // The outer size that gives the client area this size.
    static QSize OuterSizeFor(const QSize& client);
    // The outer width at which the caption shows the title whole, in the
    // caption font as this window renders it.
    int CaptionFitWidth(const QString& title) const;

    // Close-button look: 0 normal, 1 pressed (and under the mouse).
    int CloseButtonState() const { return CloseDown && CloseHot ? 1 : 0; }
    // Whether a caption press is being followed.
    bool CaptionHeld() const { return CaptionPressed; }

protected:
    // The caption was pressed (any button), the mouse moved after such a
    // press, and it was released. Points are global screen coordinates. The
    // defaults move the window with a left-button drag.
    virtual void CaptionMouseDown(Qt::MouseButton button, const QPoint& global);
    virtual void CaptionMouseMove(const QPoint& global);
    virtual void CaptionMouseUp(Qt::MouseButton button, const QPoint& global);
    // The close button was clicked. Default: close().
    virtual void CloseButtonClick();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum TEdge { EdgeLeft = 1, EdgeTop = 2, EdgeRight = 4, EdgeBottom = 8 };
    int EdgesAt(const QPoint& local) const;
    void UpdateCursor(const QPoint& local);

    QVBoxLayout* Layout;
    // Caption press.
    bool CaptionPressed = false;
    bool Moving = false;
    QPoint MovePress;
    QPoint MoveOrigin;
    // Close button.
    bool CloseDown = false;
    bool CloseHot = false;
    // Border resize.
    int ResizeEdges = 0;
    QPoint ResizePress;
    QRect ResizeOrigin;
};
