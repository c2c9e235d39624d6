#include "shell/View_frame.h"

#include "platform/Component_registry.h"
#include "platform/System_metrics.h"
#include "shell/Frames_form.h"
#include "shell/Parent_frame.h"
#include "shell/Single_frame.h"

#include <QMouseEvent>

TViewF::TViewF(QWidget* owner)
    : QWidget(nullptr)
    , OwnerWidget(owner)
{
    setFocusPolicy(Qt::ClickFocus);
    TComponentRegistry::Of(owner).Add(this);
}

TViewF::~TViewF() = default;

void TViewF::KeyDown(int&, Qt::KeyboardModifiers) {}
void TViewF::MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool&) {}
void TViewF::MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool&) {}
void TViewF::Activate() {}
void TViewF::Deactivate() {}

QString TViewF::ClassName() const
{
    return QString::fromLatin1(metaObject()->className());
}

QColor TViewF::GetFrameColor(int part, bool highlighted) const
{
    const bool active = IsActive();
    switch (part) {
    case 0:
        if (!highlighted)
            return SystemColors::ButtonFace();
        return active ? SystemColors::ActiveCaption() : SystemColors::GrayText();
    case 1:
        if (!highlighted)
            return SystemColors::ButtonText();
        return active ? SystemColors::HighlightText() : SystemColors::ButtonFace();
    default:
        return QColor(0, 0, 0);
    }
}

TFramesF* TViewF::GetRootForm() const
{
    return TFramesF::WindowOf(this);
}

TParentF* TViewF::GetContainer() const
{
    return TParentF::ContainerAbove(parentWidget());
}

TSingleFrameF* TViewF::GetFrame() const
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<TSingleFrameF*>(w))
            return frame;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

bool TViewF::IsActive() const
{
    const TFramesF* window = GetRootForm();
    return window && window->IsActiveView(this);
}

void TViewF::SetActive()
{
    if (TFramesF* window = GetRootForm())
        window->SetActiveView(this);
}

void TViewF::SetClientSize(int width, int height)
{
    if (TFramesF* window = GetRootForm())
        window->SetClientSizeForView(width, height);
}

void TViewF::mousePressEvent(QMouseEvent* event)
{
    SetActive();
    QWidget::mousePressEvent(event);
}
