// What the one-line entry dialogs (the expression dialog and the one-line
// assembler) share: their font, the editable box with its history, and the
// look of a good or bad entry.
#pragma once

#include <QFont>

class QComboBox;
class QLabel;
class QPushButton;
class QRect;
class QWidget;

// Tahoma at 11 pixels.
QFont EntryFont();

// The editable "ExprCB" box at the rectangle. Entered texts go into its
// history on OK only (RememberEntry), never by the box itself.
QComboBox* NewEntryBox(QWidget* dialog, const QRect& geometry);

// Puts the box's text first in its history (trimmed; an empty text is not
// kept), dropping an older copy and the oldest beyond the limit, without
// starting the box's change handler.
void RememberEntry(QComboBox* box, int historyLimit);

// A good entry: OK enabled, a white box and a black result. A bad one: OK
// disabled, a yellow box and a red result.
void ShowEntryState(QComboBox* box, QLabel* result, QPushButton* ok, bool good);
