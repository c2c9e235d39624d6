// The press-then-drag gesture every docking handle shares (a tool window's
// caption, a single frame's title, a tabbed frame's tab): a press arms it,
// a move past DragThreshold turns it into a drag with an outline, and the
// release ends either a click or the drag.
#pragma once

#include "shell/Helper.h"

#include <QPoint>

class TMouseCapture;

class TDragGesture {
public:
    // The outline follows the mouse only after it moved more than this.
    static constexpr int DragThreshold = 4;

    bool Pressed = false;   // pressed on the drag handle, not yet moved far
    bool Dragging = false;  // a drag is under way
    QPoint PressPoint;      // where the mouse went down, screen coordinates
    TScreenRect DragRect;   // the outline last computed, screen coordinates

protected:
    // A press on the handle at the screen point.
    void PressAt(const QPoint& global);
    // A move to the screen point; true while a drag is under way.
    bool DragTo(const QPoint& global);
    // The button went up: the capture goes back, and the outline of a drag
    // goes. True when a drag ended, so the caller drops.
    bool ReleaseAt(TMouseCapture& capture);
    // Ends the gesture without a drop.
    void EndGesture();
};
