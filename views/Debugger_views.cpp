#include "views/Debugger_views.h"

#include "core/Cpu_memory_array.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "views/Dasm_frame.h"
#include "views/Expression_form.h"
#include "views/Memory_frame.h"
#include "views/Quick_asm_form.h"
#include "views/Stack_frame.h"
#include "views/Z80_frame.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QRect>
#include <QString>

#include <memory>

namespace {

// Cleared by Qt when the owner deletes the dialog first.
QPointer<TExpressionF> OwnedExpressionF;
QPointer<TQuickAsmF> OwnedQuickAsmF;

// The view whose own change is being passed on to the others.
const TViewF* RefreshingFrom = nullptr;

} // namespace

void RegisterDebuggerViews(TIDE& ide)
{
    ide.RegisterView(TIDE::KindMemory, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        if (!computer || !computer->Memory)
            return nullptr;
        return new TMemoryF(owner, computer, std::make_unique<TCpuMemoryArray>(computer->Memory));
    });
    ide.RegisterView(TIDE::KindZ80, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        if (!computer || !computer->Z80)
            return nullptr;
        return new TZ80F(owner, computer->Z80, computer);
    });
    ide.RegisterView(TIDE::KindDasm, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        if (!computer || !computer->Memory)
            return nullptr;
        auto* view = new TDasmF(owner);
        view->SetSource(std::make_unique<TCpuMemoryArray>(computer->Memory), computer);
        return view;
    });
    ide.RegisterView(TIDE::KindStack, [](QWidget* owner, TComputer* computer, TIDE&) -> TViewF* {
        if (!computer || !computer->Z80 || !computer->Memory)
            return nullptr;
        return new TStackF(owner, computer->Z80, std::make_unique<TCpuMemoryArray>(computer->Memory), computer);
    });
}

void CreateExpressionDialog(QWidget* owner)
{
    if (ExpressionF)
        return;
    OwnedExpressionF = new TExpressionF(owner);
    ExpressionF = OwnedExpressionF;
    QObject::connect(OwnedExpressionF, &QObject::destroyed, [] { ExpressionF = nullptr; });
}

void CreateQuickAsmDialog(QWidget* owner)
{
    if (QuickAsmF)
        return;
    OwnedQuickAsmF = new TQuickAsmF(owner);
    QuickAsmF = OwnedQuickAsmF;
    QObject::connect(OwnedQuickAsmF, &QObject::destroyed, [] { QuickAsmF = nullptr; });
}

void CreateDebuggerDialogs(QWidget* owner)
{
    CreateExpressionDialog(owner);
    CreateQuickAsmDialog(owner);
}

void DestroyDebuggerDialogs()
{
    delete OwnedQuickAsmF.data();
    delete OwnedExpressionF.data();
    QuickAsmF = nullptr;
    ExpressionF = nullptr;
}

TComputer::TPauseGuard PauseMachine(TComputer* computer)
{
    if (!computer)
        computer = g_IDE.GetComputer();
    return computer ? computer->PauseRun() : TComputer::TPauseGuard();
}

void UpdateOtherViews(TViewF* except)
{
    const TViewF* previous = RefreshingFrom;
    RefreshingFrom = except;
    try {
        g_IDE.UpdateViews();
    } catch (...) {
        RefreshingFrom = previous;
        throw;
    }
    RefreshingFrom = previous;
}

bool IsRefreshSuppressed(const TViewF* view)
{
    return view && view == RefreshingFrom;
}

void RepaintViews()
{
    // A window's repaint leaves out the children that paint opaquely, as the
    // views' paint boxes do: every widget in it asks for its own.
    for (TFramesF* window : g_IDE.ToolWindows()) {
        window->update();
        for (QWidget* widget : window->findChildren<QWidget*>())
            widget->update();
    }
}

QFont ViewFont(bool bold)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(13);
    font.setBold(bold);
    return font;
}

void TextRect(QPainter& painter, const QRect& rect, int x, int y, const QString& text, const QColor& brush)
{
    painter.fillRect(rect, brush);
    painter.save();
    painter.setClipRect(rect);
    painter.drawText(x, y + painter.fontMetrics().ascent(), text);
    painter.restore();
}
