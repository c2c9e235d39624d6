// What the list-like debugger views (memory, disassembly, stack, registers)
// share around their painting: the paint box that hands its paint, presses,
// double clicks and context menu to the view, the vertical scroll bar laid
// out beside it, and the Go to dialog of the address views.
#pragma once

#include "core/Types.h"

#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class QScrollBar;
class TComputer;

// A child widget the view paints into. Paints and mouse handlers run
// guarded (a text error becomes a message, not a crash); an event with no
// handler goes on to the view as a plain widget's would.
class TViewPaintBox : public QWidget {
public:
    TViewPaintBox(QWidget* view, const QString& name);

    std::function<void()> OnPaint;
    std::function<void(Qt::MouseButton, const QPoint&)> OnMouseDown;
    // Qt delivers a double click in place of the second press.
    std::function<void(const QPoint&)> OnDblClick;
    // Runs before the menu opens (to bring its items up to date).
    std::function<void()> OnPopup;
    QMenu* PopupMenu = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// Lays the paint box out beside a new vertical scroll bar ("VertScrollBar",
// range 0..0 until the view sets it) filling the view; moving the bar
// repaints the box.
QScrollBar* AddVertScrollBar(QWidget* view, QWidget* paintBox);

// Asks "Enter Address to Position to" with "$" the computer's PC (0 without
// a processor); nothing when cancelled, invalid, or when the view went while
// the dialog was open.
std::optional<u16> AskGotoAddress(QWidget* view, TComputer* computer);
