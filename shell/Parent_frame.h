// TParentF: the base of every docking frame inside a floating tool window.
//
// A window's views sit in a tree of frames: a leaf is a single frame
// (TSingleFrameF, one view under a small title bar), an inner node a
// horizontal split (THorisontalF), a vertical split (TVerticalF) or a tabbed
// frame (TTabbedF). The root is the window's only child frame. Every frame
// fills the area its parent gives it.
//
// Frames are components of the main window (found and, when left over,
// deleted through its component registry); their Qt parent is whatever
// panel shows them now, and it changes as the user docks. A frame that
// leaves the tree for good is released: it leaves the registry at once and
// is deleted when control is back in the event loop, because that often
// happens inside one of its own event handlers.
#pragma once

#include "shell/Drag_gesture.h"
#include "shell/Helper.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class TFramesF;
class TViewF;
class QSplitter;

// Frames are named Frame0, Frame1, ... in creation order, whatever their
// class; the counter is never reset.
extern int g_FrameCounter;

class TParentF : public QWidget, public TDragGesture {
    Q_OBJECT

public:
    enum TKind { KindSingle = 0, KindHorisontal = 1, KindVertical = 2, KindTabbed = 3 };
    // Dock zones of HitTest.
    enum TZone { ZoneNone = 0, ZoneTop = 1, ZoneBottom = 2, ZoneLeft = 3, ZoneRight = 4, ZoneCentre = 5 };
    // Width of the margin band of a split or tabbed frame per nesting level.
    static constexpr int MarginStep = 5;

    // Names the frame, registers it with the owner and sizes it for the
    // parent (null: none yet); the concrete class puts it into the parent
    // once it is built.
    TParentF(QWidget* owner, QWidget* parent, int kind);
    ~TParentF() override;

    const int Kind;

    // The dock zone under the screen point, and the frame it belongs to.
    virtual int HitTest(int x, int y, int depth, TParentF*& hit);
    virtual void SetRoot(bool isRoot) = 0;
    virtual QString GetCaption() const = 0;
    virtual void RemoveChild(TParentF* frame);
    virtual void ReplaceChild(TParentF* oldFrame, TParentF* newFrame);
    virtual void SetViewSize(int width, int height);
    virtual QSize GetViewSize() const;
    virtual void UpdateViews() = 0;
    virtual void UpdateActiveState() = 0;
    virtual TViewF* FindView(const QString& className) = 0;
    // The smallest client size at which nothing the frame shows is cut:
    // its views at their preferred sizes, title bars and tabs with their
    // whole captions, in the fonts in use. The base: the frame's own size.
    virtual QSize GetContentSize() const;
    // Divides the frame's area between its children by their content
    // sizes, all the way down (splits; the base does nothing).
    virtual void FitChildren();
    // Ends a drag that cannot finish (its window lost the activation or the
    // mouse): the outline goes, nothing moves.
    virtual void CancelDrag();

    // The preview of the zone under the screen point, in the hit frame's
    // coordinates (empty for no zone).
    QRect GetZoneRect(int x, int y, TParentF*& hit);
    TFramesF* GetRootForm() const;
    TParentF* GetParentContainer() const;
    QWidget* Owner() const { return OwnerWidget; }

    // Leaves the tree and the owner's registry at once, with every frame
    // and view inside; deleted once control is back in the event loop.
    void Release();

    // The nearest split or tabbed frame at or above the widget (single
    // frames are passed over); null when there is none below the window.
    static TParentF* ContainerAbove(QWidget* widget);
    // Puts the frame into a container widget (a window's client area, a
    // panel or a tabbed frame's page stack), filling it, and shows it.
    static void PlaceFrame(QWidget* container, TParentF* frame);
    // Puts the new frame where the old one is; the old one loses its parent.
    static void ReplaceFrame(TParentF* oldFrame, TParentF* newFrame);
    // Takes the frame out of whatever shows it; it has no parent afterwards.
    static void DetachFrame(TParentF* frame);
    // Takes the frame out of its enclosing split (which collapses) or
    // tabbed frame (which loses the tab), or out of its window.
    static void TakeOutOfContainer(TParentF* frame);
    // The size a frame put into this container gets.
    static QSize AvailableSize(QWidget* container);
    // A rectangle in the frame's coordinates as screen coordinates.
    TScreenRect ToScreen(const QRect& local) const;

protected:
    // The zone test common to every frame (HitTest's base behaviour).
    int BaseHitTest(int x, int y, int depth, TParentF*& hit);

private:
    QPointer<QWidget> OwnerWidget;
};

// What the horizontal and vertical splits share: two frames in two panels
// with a 3-pixel splitter between them that resizes live.
class TSplitF : public TParentF {
    Q_OBJECT

public:
    static constexpr int SplitterWidth = 3;

    TSplitF(QWidget* owner, QWidget* parent, int kind, TParentF* first, TParentF* second);

    QSplitter* const Splitter1;
    QWidget* const FirstP;   // left or top panel
    QWidget* const SecondP;  // right or bottom panel

    // The children: the first frame of each panel.
    TParentF* FirstChild() const;
    TParentF* SecondChild() const;

    int HitTest(int x, int y, int depth, TParentF*& hit) override;
    void SetRoot(bool isRoot) override;
    QString GetCaption() const override;
    void RemoveChild(TParentF* frame) override;
    void ReplaceChild(TParentF* oldFrame, TParentF* newFrame) override;
    void UpdateViews() override;
    void UpdateActiveState() override;
    TViewF* FindView(const QString& className) override;
    QSize GetContentSize() const override;
    void FitChildren() override;
};
