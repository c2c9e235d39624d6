// What the load-dump and save-dump dialogs share: the number texts and the
// expression fields they evaluate, the binding to the memory and the
// computer while they are open, the edits they write back into without
// starting their handlers, and their controls' common shapes.
#pragma once

#include "core/Types.h"

#include "platform/Dialog_services.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QRect;
class TComputer;
class TDataArray;

// The text a dump dialog writes back into one of its own edits: "#" and
// four upper-case hexadecimal digits, more digits for larger values, a minus
// sign before negative ones; the evaluator reads it back as the same value.
QString DumpNumberText(i64 value);

// The value of an expression edit, "$" being the computer's program counter
// (0 without a computer); nothing when the text does not evaluate. The 32
// bits the evaluator gives are taken as a signed number. Evaluated inside
// the computer's pause guard, since register names read the live processor.
std::optional<i32> EvaluateDumpField(const QString& text, TComputer* computer);

// Opens an existing regular file without blocking (a name that has become
// a pipe cannot stall a dialog) and gives its size; -1 when it cannot be
// opened or is no regular file.
int OpenRegularFile(const std::string& path, int flags, i64& size);

// The file-system name of a path the user typed or chose.
std::string LocalPath(const QString& path);

class TDumpDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* SelectFilter = "Binary File (*.Bin)|*.Bin|Any File (*.*)|*.*";
    static constexpr const char* SelectTitle = "Select Binary File Location";
    // The browse dialog of both: "bin" added to a bare name, hidden files
    // listed, and no question of its own about replacing a file (the save
    // dialog asks itself, and only in the mode that replaces one).
    static TFileDialogOptions SelectOptions() { return {QStringLiteral("bin"), true, false}; }

    // Shows the dialog modally over this memory; returns the modal result.
    int Execute(TDataArray* data, TComputer* computer);

    // --- Inspection (tests) ---
    bool AreFieldEventsOn() const { return FieldEvents; }
    // Binds the memory and the computer without showing the dialog, with
    // the field events on (what Execute does around the modal loop).
    virtual void BeginForTest(TDataArray* data, TComputer* computer);
    void EndForTest() { FieldEvents = false; }

protected:
    explicit TDumpDialog(QWidget* owner);

    // Writes a value into one of the dialog's own edits without starting
    // its handler.
    void WriteField(QLineEdit* edit, i64 value);
    // A 21-pixel edit at (editX, y) with its label from labelX up to it,
    // the label leading to the edit by its mnemonic.
    static QLineEdit* LabelledEdit(QWidget* parent, const char* caption, int labelX, int editX, int y, int width,
                                   QLabel** labelOut = nullptr);
    // The status line that shows a problem in red.
    static QLabel* NewStatusLabel(QWidget* parent, const QRect& geometry);

    TDataArray* Data = nullptr;
    TComputer* Computer = nullptr;
    // Off while the dialog is closed and while it writes its own edits.
    bool FieldEvents = false;
};
