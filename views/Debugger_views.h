// The debugger's views (memory, registers, disassembly, stack) and its two
// small dialogs (expression, one-line assembler): registration with the
// view manager, creation and destruction of the dialogs, and the pause
// guard they share.
//
// Start-up (main window and application entry):
//
//     RegisterDebuggerViews(g_IDE);          // kinds 0 Memory, 1 Z80, 2 Dasm, 3 Stack
//     CreateExpressionDialog(mainWindow);    // before the options dialog
//     CreateQuickAsmDialog(mainWindow);      // after it
//     ...
//     DestroyDebuggerDialogs();              // at exit
#pragma once

#include "core/Computer.h"

class QWidget;
class TIDE;

// Registers the creation hooks of view kinds 0 (TMemoryF), 1 (TZ80F),
// 2 (TDasmF) and 3 (TStackF).
void RegisterDebuggerViews(TIDE& ide);

// ExpressionF and QuickAsmF, owned by the owner window (they go with it
// when it goes first). Creating one that exists does nothing.
void CreateExpressionDialog(QWidget* owner);
void CreateQuickAsmDialog(QWidget* owner);
// Both, in start-up order.
void CreateDebuggerDialogs(QWidget* owner);
// Deletes both dialogs (nothing for one already gone).
void DestroyDebuggerDialogs();

// Parks a run of the machine for the guard's lifetime, so the user
// interface may read or change it between two instructions. The computer
// given, else the view manager's; an empty guard when there is none or no
// run is active.
[[nodiscard]] TComputer::TPauseGuard PauseMachine(TComputer* computer = nullptr);

// --- Views that changed the machine themselves ---

class TViewF;

// Refreshes every open view but the given one, which shows the change its
// own way (its UpdateView asks IsRefreshSuppressed and does nothing).
void UpdateOtherViews(TViewF* except);
bool IsRefreshSuppressed(const TViewF* view);
// Repaints every tool window: the views that paint live memory show what
// was just written, without a refresh.
void RepaintViews();

// --- Painting shared by the list-like views ---

class QColor;
class QFont;
class QPainter;
class QRect;
class QString;

// "Courier New" at 13 pixels (Liberation Mono where it is missing).
QFont ViewFont(bool bold);
// Fills the rectangle with the brush colour and draws the text with its
// top-left corner at (x, y), clipped to the rectangle, in the painter's
// font and pen.
void TextRect(QPainter& painter, const QRect& rect, int x, int y, const QString& text, const QColor& brush);
