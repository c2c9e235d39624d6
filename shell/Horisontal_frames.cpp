#include "shell/Horisontal_frames.h"

#include <QSplitter>

THorisontalF::THorisontalF(QWidget* owner, QWidget* parent, TParentF* left, TParentF* right)
    : TSplitF(owner, parent, KindHorisontal, left, right)
    , LeftP(FirstP)
    , RightP(SecondP)
{
    LeftP->setObjectName(QStringLiteral("LeftP"));
    RightP->setObjectName(QStringLiteral("RightP"));
}
