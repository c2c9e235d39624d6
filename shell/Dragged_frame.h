// TDraggedF: a frame that can be dragged out by its own handle. It adds
// nothing to TParentF; it marks the frames (the single frames) that are
// leaves of the tree rather than containers.
#pragma once

#include "shell/Parent_frame.h"

class TDraggedF : public TParentF {
    Q_OBJECT

public:
    TDraggedF(QWidget* owner, QWidget* parent, int kind)
        : TParentF(owner, parent, kind)
    {
    }
};
