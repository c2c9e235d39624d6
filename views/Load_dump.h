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

#include "views/Dump_dialog.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

class TLoadDumpF : public TDumpDialog {
    Q_OBJECT

public:
    static constexpr const char* NoFileError = "You must select binary file for loading!";
    static constexpr const char* FileNotFoundError = "Selected file not found!";
    static constexpr const char* LoadFailedText = "Can't load memory block from binary file.";
    static constexpr const char* LoadFailedCaption = " Error!";
    static constexpr i32 MaxBlock = 65536;

    explicit TLoadDumpF(QWidget* owner = nullptr);
    ~TLoadDumpF() override;

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
    bool IsFileValid() const { return FileValid; }
    i64 GetFrom() const { return From; }
    i64 GetTo() const { return To; }
    i64 GetLength() const { return Length; }
    i64 GetMemoryStart() const { return MemoryStart; }
    i64 GetFileSize() const { return FileSize; }
    // Also measures the chosen file again: it may have changed since the
    // last opening.
    void BeginForTest(TDataArray* data, TComputer* computer) override;

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
    void DoValidate();
    // The local path of the location text.
    std::string LocationPath() const;

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
};

extern TLoadDumpF* LoadDumpF;
