#include "shell/Vertical_frames.h"

#include <QSplitter>

TVerticalF::TVerticalF(QWidget* owner, QWidget* parent, TParentF* top, TParentF* bottom)
    : TSplitF(owner, parent, KindVertical, top, bottom)
    , TopP(FirstP)
    , BottomP(SecondP)
{
    TopP->setObjectName(QStringLiteral("TopP"));
    BottomP->setObjectName(QStringLiteral("BottomP"));
    Splitter1->handle(1)->setCursor(Qt::SizeVerCursor);
}
