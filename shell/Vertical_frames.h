// TVerticalF: two frames one above the other with a splitter between them.
// Made by docking a frame at the top or bottom of another; it collapses
// (the remaining child takes its place) when one child leaves.
#pragma once

#include "shell/Parent_frame.h"

class TVerticalF : public TSplitF {
    Q_OBJECT

public:
    // The top frame goes into TopP, the bottom frame into BottomP, which
    // share the height equally; the split goes into parent.
    TVerticalF(QWidget* owner, QWidget* parent, TParentF* top, TParentF* bottom);

    QWidget* const TopP;
    QWidget* const BottomP;

    TParentF* TopChild() const { return FirstChild(); }
    TParentF* BottomChild() const { return SecondChild(); }
};
