#include "shell/Drag_gesture.h"

#include "platform/Mouse_capture.h"

#include <QWidget>

void TDragGesture::PressAt(const QPoint& global)
{
    PressPoint = global;
    Pressed = true;
    Dragging = false;
}

bool TDragGesture::DragTo(const QPoint& global)
{
    if (Pressed && DragDistance(global.x(), global.y(), PressPoint.x(), PressPoint.y()) > DragThreshold) {
        Pressed = false;
        Dragging = true;
    }
    return Dragging;
}

bool TDragGesture::ReleaseAt(TMouseCapture& capture)
{
    if (Pressed) {
        // A plain click on the handle.
        Pressed = false;
        capture.Release();
        return false;
    }
    if (!Dragging)
        return false;
    DrawDragRect(false, {});
    capture.Release();
    Dragging = false;
    return true;
}

void TDragGesture::EndGesture()
{
    if (Dragging)
        DrawDragRect(false, {});
    Pressed = false;
    Dragging = false;
}
