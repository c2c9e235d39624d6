// TSaveDumpF (SaveDumpF): the modal dialog that writes a range of the
// emulated memory into a file, as a new file (New/Overwrite), after the end
// of an existing one (Append to End) or over an existing one from a file
// offset (Write at Offset). The memory view opens it through Execute.
//
// Its numbers are evaluator expressions ("$" is the program counter). Every
// change is checked at once: the first problem of a check goes into the red
// status line, every bad edit turns yellow, and Save is offered only when
// nothing is wrong. It lives from start-up to exit; texts, boxes and values
// persist between openings.
//
// No mode can cost the user the file's old contents: a new or overwritten
// file is written beside the target and renamed over it only when complete;
// an append that fails is cut back to the old length; a write at an offset
// goes into a copy that replaces the file only when complete. The memory is
// copied inside the computer's pause guard, so a run goes on around it; the
// file is then written on a thread of its own while the windows go on
// repainting, so copying a large file does not freeze them.
#pragma once

#include "views/Dump_dialog.h"

#include <functional>
#include <span>

class QCheckBox;
class QGroupBox;
class QPushButton;

class TSaveDumpF : public TDumpDialog {
    Q_OBJECT

public:
    static constexpr const char* SaveFailedText = "Can't save memory dump to binary file.";
    static constexpr const char* SaveFailedCaption = " Error!";

    explicit TSaveDumpF(QWidget* owner = nullptr);
    ~TSaveDumpF() override;

    // --- Handlers (connected to the controls) ---
    void FormShow();
    void StartLEChange();
    void LengthLEChange();
    void EndLEChange();
    void OffsetLEChange();
    void NewCBClick();
    void AppendCBClick();
    void SelectBClick();
    void SaveBBClick();

    void ClearStatus();
    // Only the first message of a check reaches the status line.
    void ShowError(const QString& message);
    // Evaluates the edit into the field when its value lies in min..max;
    // otherwise reports it, turns the edit yellow and keeps the field.
    bool ParseField(i64& field, QLineEdit* edit, const char* name, i64 min, i64 max);
    void Validate();

    // --- The three file operations (false on any failure; the file's old
    // contents are then as they were) ---
    static bool WriteNewFile(const QString& path, std::span<const u8> bytes);
    static bool AppendToFile(const QString& path, std::span<const u8> bytes);
    static bool WriteAtOffset(const QString& path, i64 offset, std::span<const u8> bytes);

    // While a save writes its file the dialog neither saves again nor closes.
    void done(int result) override;

    // --- Inspection (tests) ---
    bool IsSaving() const { return Busy; }
    // Runs on the writing thread before the file is touched (tests wait in
    // it for the user-interface thread); empty in the program.
    static inline std::function<void()> WriteStartsForTest;
    bool IsErrorShown() const { return ErrorShown; }
    bool IsLengthTyped() const { return LengthTyped; }
    bool IsEndTyped() const { return EndTyped; }
    i64 GetStart() const { return Start; }
    i64 GetEnd() const { return End; }
    i64 GetLength() const { return Length; }
    i64 GetFileOffset() const { return FileOffset; }
    bool IsOffsetMode() const;

    // --- Components ---
    QGroupBox* DumpGB;
    QLineEdit* StartLE;
    QLineEdit* LengthLE;
    QLineEdit* EndLE;
    QCheckBox* WrapCB;
    QGroupBox* FileGB;
    QLineEdit* LocationLE;
    QPushButton* SelectB;
    QCheckBox* NewCB;
    QCheckBox* AskCB;
    QCheckBox* AppendCB;
    QLineEdit* OffsetLE;
    QLabel* OffsetL;
    QLabel* StatusL;
    QPushButton* SaveBB;
    QPushButton* CancelBB;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetEditColour(QLineEdit* edit, bool bad);
    // Shows the Ask or the Append box and the offset edit for the mode.
    void ShowModeControls();
    bool Save();

    bool ErrorShown = false;
    bool Busy = false;
    bool LengthTyped = false;
    bool EndTyped = false;
    i64 Start = 0;
    i64 End = 0;
    i64 Length = 0;
    i64 FileOffset = 0;
};

extern TSaveDumpF* SaveDumpF;
