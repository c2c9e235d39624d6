// THorisontalF: two frames side by side with a splitter between them.
// Made by docking a frame at the left or right of another; it collapses
// (the remaining child takes its place) when one child leaves.
#pragma once

#include "shell/Parent_frame.h"

class THorisontalF : public TSplitF {
    Q_OBJECT

public:
    // The left frame goes into LeftP, the right frame into RightP, which
    // share the width equally; the split goes into parent.
    THorisontalF(QWidget* owner, QWidget* parent, TParentF* left, TParentF* right);

    QWidget* const LeftP;
    QWidget* const RightP;

    TParentF* LeftChild() const { return FirstChild(); }
    TParentF* RightChild() const { return SecondChild(); }
};
