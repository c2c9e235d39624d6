// TLoadDumpF (LoadDumpF): the modal dialog that copies a range of bytes of
// any file into the emulated memory. The memory view opens it through
// Execute with its data array (the CPU memory) and the computer.
//
// Every number is an evaluator expression in which "$" is the current
// program counter. The dialog checks its fields after every change, shows
// the first problem in its red status line and offers Load only when
// everything is consistent. It lives from start-up to exit: texts, boxes and
// values persist between openings.
//
// The load reads the whole range first and writes memory only when all of
// it was read, inside the computer's pause guard, so a run goes on around
// it and a file that shrank since it was chosen changes no byte.
#pragma once

#include "core/Types.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
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

class TLoadDumpF : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* NoFileError = "You must select binary file for loading!";
    static constexpr const char* FileNotFoundError = "Selected file not found!";
    static constexpr const char* LoadFailedText = "Can't load memory block from binary file.";
    static constexpr const char* LoadFailedCaption = " Error!";
    static constexpr const char* SelectFilter = "Binary File (*.Bin)|*.Bin|Any File (*.*)|*.*";
    static constexpr const char* SelectTitle = "Select Binary File Location";
    static constexpr i32 MaxBlock = 65536;

    explicit TLoadDumpF(QWidget* owner = nullptr);
    ~TLoadDumpF() override;

    // Shows the dialog modally over this memory; returns the modal result.
    int Execute(TDataArray* data, TComputer* computer);

    // --- Handlers (connected to the controls) ---
    void LocationLEChange();
    void SelectBClick();
    void AllCBClick();
    void FromLEChange();
    void ToLEChange();
    void LengthLEChange();
    void StartDumpLEChange();
    void LoadBBClick();
    // The common check every handler ends in: the first problem goes into
    // the status line and disables Load; none empties it and enables Load.
    void Validate();

    // --- Inspection (tests) ---
    bool AreFieldEventsOn() const { return FieldEvents; }
    bool IsFileValid() const { return FileValid; }
    i64 GetFrom() const { return From; }
    i64 GetTo() const { return To; }
    i64 GetLength() const { return Length; }
    i64 GetMemoryStart() const { return MemoryStart; }
    i64 GetFileSize() const { return FileSize; }
    // Binds the memory and the computer without showing the dialog, with
    // the field events on (what Execute does around the modal loop).
    void BeginForTest(TDataArray* data, TComputer* computer);
    void EndForTest() { FieldEvents = false; }

    // --- Components ---
    QGroupBox* FileGB;
    QLineEdit* LocationLE;
    QPushButton* SelectB;
    QCheckBox* AllCB;
    QLineEdit* FromLE;
    QLineEdit* LengthLE;
    QLineEdit* ToLE;
    QGroupBox* DumpGB;
    QLineEdit* StartDumpLE;
    QCheckBox* WrapCheckBox;
    QCheckBox* RomCheckBox;
    QLabel* StatusL;
    QPushButton* LoadBB;
    QPushButton* CancelBB;

private:
    // Runs a handler's work; a TTextError it throws goes into the status
    // line and disables Load.
    template <class TWork>
    void Checked(TWork work);
    void Report(const QString& text);
    // The common part of the four expression edits.
    void ExpressionChange(QLineEdit* edit, bool& entered, i64& field, const char* invalidText);
    // Writes a value into one of the dialog's own edits without starting
    // its handler.
    void WriteField(QLineEdit* edit, i64 value);
    void DoValidate();
    // The local path of the location text.
    std::string LocationPath() const;

    bool FieldEvents = false;
    bool MemoryStartEntered = false;
    bool FileValid = false;
    bool FromEntered = false;
    bool ToEntered = false;
    bool LengthEntered = false;
    i64 MemoryStart = 0;
    i64 From = 0;
    i64 To = 0;
    i64 Length = 0;
    i64 FileSize = 0;
    TDataArray* Data = nullptr;
    TComputer* Computer = nullptr;
};

extern TLoadDumpF* LoadDumpF;
