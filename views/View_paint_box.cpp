#include "views/View_paint_box.h"

#include "core/Computer.h"
#include "core/Z80.h"
#include "platform/Application.h"
#include "views/Debugger_views.h"
#include "views/Expression_form.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>

TViewPaintBox::TViewPaintBox(QWidget* view, const QString& name) : QWidget(view)
{
    setObjectName(name);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TViewPaintBox::paintEvent(QPaintEvent*)
{
    if (OnPaint)
        RunGuarded(OnPaint);
}

void TViewPaintBox::mousePressEvent(QMouseEvent* event)
{
    if (!OnMouseDown) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    RunGuarded([&] { OnMouseDown(event->button(), event->position().toPoint()); });
}

void TViewPaintBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!OnDblClick) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    RunGuarded([&] { OnDblClick(event->position().toPoint()); });
}

void TViewPaintBox::contextMenuEvent(QContextMenuEvent* event)
{
    if (!PopupMenu) {
        QWidget::contextMenuEvent(event);
        return;
    }
    event->accept();
    if (OnPopup)
        OnPopup();
    PopupMenu->exec(event->globalPos());
}

QScrollBar* AddVertScrollBar(QWidget* view, QWidget* paintBox)
{
    auto* bar = new QScrollBar(Qt::Vertical, view);
    bar->setObjectName(QStringLiteral("VertScrollBar"));
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setTracking(true);
    bar->setRange(0, 0);
    auto* layout = new QHBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(paintBox, 1);
    layout->addWidget(bar);
    QObject::connect(bar, &QScrollBar::valueChanged, paintBox, [paintBox] { paintBox->update(); });
    return bar;
}

std::optional<u16> AskGotoAddress(QWidget* view, TComputer* computer)
{
    if (!ExpressionF)
        return std::nullopt;
    u16 pc = 0;
    if (computer && computer->Z80) {
        auto pause = PauseMachine(computer);
        pc = computer->Z80->PC;
    }
    const QPointer<QWidget> self(view);
    const bool ok = ExpressionF->Execute(QStringLiteral("Enter Address to Position to"), QStringLiteral("Go to"),
                                         TExpressionF::KeepPosition, pc, TExpressionF::SizeWord);
    if (!self || !ok || !ExpressionF || !ExpressionF->IsValid())
        return std::nullopt;
    return ExpressionF->GetWord();
}
