// TExpressionF (ExpressionF): the small modal dialog that reads one
// expression and gives back its value as a byte, word or double word. It
// evaluates the text at every keystroke with the program's evaluator
// (g_Expression), shows the value or "Error!", and allows OK only while the
// text is valid. The registers view edits registers with it; the
// disassembly and memory views ask it for a Go to address.
//
//     if (ExpressionF->Execute("Enter Address to Position to", "Go to", TExpressionF::KeepPosition, pc, 1))
//         address = ExpressionF->GetWord();
//
// One instance lives from start-up to exit and keeps its text, its history
// and its place between openings.
#pragma once

#include "core/Types.h"

#include <QDialog>
#include <QPoint>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

class TExpressionF : public QDialog {
    Q_OBJECT

public:
    enum TSize : i32 { SizeByte = 0, SizeWord = 1, SizeDword = 2 };
    // Execute's position for "leave the dialog where it is".
    static constexpr QPoint KeepPosition{-1, -1};
    static constexpr int HistoryLimit = 16;

    explicit TExpressionF(QWidget* owner);
    ~TExpressionF() override;

    // Shows the dialog modally with the caption and OK text, at the screen
    // position (or where it was), "$" standing for dollar, the value read
    // as the size. A limit other than 0 accepts only values below it: the
    // others show "Error!" like a text that does not evaluate. True when it
    // closed with OK.
    bool Execute(const QString& caption, const QString& okText, const QPoint& position, u16 dollar, i32 size,
                 u32 limit = 0);

    // The value of the last evaluation (a u8, u16 or u32 by the size asked
    // for), or null when it failed. A copy owned by the dialog: other uses
    // of the evaluator do not change it.
    const void* GetValue() const;
    bool IsValid() const { return Valid; }
    u8 GetByte() const { return static_cast<u8>(Value); }
    u16 GetWord() const { return static_cast<u16>(Value); }
    u32 GetDword() const { return Value; }
    i32 GetSize() const { return Size; }

    // Handlers, named as the form names them.
    void ExprCBChange();
    void FormShow();

    // The text of the value in the result panel for the size.
    static QString FormatResult(i32 size, u32 value);

    // Components.
    QComboBox* ExprCB;
    QLabel* EqualL;
    QLabel* EvalP;
    QPushButton* OkBB;
    QPushButton* CancelBB;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Evaluate();
    void ShowState();
    void RememberText();

    i32 Size = SizeWord;
    u16 Dollar = 0;
    u32 Limit = 0;
    bool Valid = false;
    u32 Value = 0;
};

// The dialog; set between CreateExpressionDialog and DestroyDebuggerDialogs
// (or the owner's destruction).
extern TExpressionF* ExpressionF;
