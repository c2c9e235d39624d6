// TTabbedF: frames as the pages of a tab set. Made by docking a frame into
// the centre of a single frame; a further centre drop adds a tab. When one
// tab is left, its frame takes the tabbed frame's place and the tabbed
// frame goes.
//
// Every tab's frame stays a child of the tabbed frame (a page of CurrentP,
// a stacked widget), shown only while its tab is selected: a window's tree
// thus always holds every frame, so deleting the window deletes every view.
//
// The tab set's popup menu places the tabs on any edge and closes the
// selected page (Ctrl+F4); a tab dragged by the mouse leaves the tabbed
// frame like a single frame dragged by its title bar.
#pragma once

#include "platform/Mouse_capture.h"
#include "shell/Parent_frame.h"

#include <vector>

class QAction;
class QBoxLayout;
class QMenu;
class QStackedWidget;
class QTabBar;

class TTabbedF : public TParentF {
    Q_OBJECT

public:
    static constexpr int TabSetHeight = 21;
    enum TTabPosition { PositionTop = 0, PositionBottom = 1, PositionLeft = 2, PositionRight = 3 };

    // Tabs for the first and then the second frame; the second is selected.
    TTabbedF(QWidget* owner, QWidget* parent, TParentF* first, TParentF* second);

    QTabBar* const FramesTS;        // the tab set
    QStackedWidget* const CurrentP; // the pages
    QMenu* const TabMI;             // the tab set's popup menu
    QAction* const TopMI;
    QAction* const BottomMI;
    QAction* const LeftMI;
    QAction* const RightMI;
    QAction* const N1;
    QAction* const CloseTabMI;

    QPointer<TParentF> DraggedTab;  // the frame of the tab being dragged
    int DraggedTabIndex = -1;
    TScreenRect TabDragRect;

    // Appends a tab for the frame and selects it.
    void AddTab(TParentF* frame);
    TParentF* GetTabFrame(int index) const;
    int TabCount() const { return int(Frames.size()); }
    int IndexOfFrame(const TParentF* frame) const;
    int SelectedIndex() const;
    // Selects the tab and shows its frame.
    void SelectTab(int index);
    // Takes tab i out and returns its frame, which no longer has a parent.
    // With one tab left, that tab's frame takes this frame's place and this
    // frame is released. The window's caption is recomputed.
    TParentF* RemoveTab(int index);
    // Close Page: the selected tab's frame goes with its views.
    void CloseTabMIClick();
    void SetTabPosition(int position);
    int TabPosition() const { return Position; }

    void SetRoot(bool isRoot) override;
    QString GetCaption() const override;
    void ReplaceChild(TParentF* oldFrame, TParentF* newFrame) override;
    void UpdateViews() override;
    void UpdateActiveState() override;
    TViewF* FindView(const QString& className) override;
    QSize GetContentSize() const override;
    void FitChildren() override;
    void CancelDrag() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FramesTSChange(int index);
    bool TabMouseDown(QMouseEvent* event);
    bool TabMouseMove(QMouseEvent* event);
    bool TabMouseUp(QMouseEvent* event);
    TScreenRect TabOutlineAt(const QPoint& c) const;
    void DropTab(const QPoint& c);

    std::vector<QPointer<TParentF>> Frames;
    QBoxLayout* Layout;
    int Position = PositionTop;
    QPoint TabOffset;  // press point minus the tab set's screen top-left
    TMouseCapture Capture;
};
