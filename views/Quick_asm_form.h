// TQuickAsmF (QuickAsmF): the modal dialog of the one-line assembler. It
// assembles the typed instruction at every keystroke (and when it is shown,
// so a kept text is assembled again at the new address) with g_QuickAsm,
// shows the address and the encoded bytes or the assembler's message, and
// allows "Set" only while the line assembles. The disassembly view writes
// the bytes into memory.
//
//     if (QuickAsmF->Execute(cursor) == QDialog::Accepted) {
//         const TQAResult* code = QuickAsmF->GetResult();   // Size, Code
//         ...
//     }
#pragma once

#include "core/Types.h"
#include "tools/Quick_asm.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

class TQuickAsmF : public QDialog {
    Q_OBJECT

public:
    static constexpr int HistoryLimit = 16;

    explicit TQuickAsmF(QWidget* owner);
    ~TQuickAsmF() override;

    // Shows the dialog modally to assemble at the address; the modal result
    // (QDialog::Accepted, 1, for OK).
    int Execute(u16 address);
    // The last assembly: a copy owned by the dialog, so later uses of the
    // assembler do not change it. Look at Error first.
    const TQAResult* GetResult() const { return &Result; }
    u16 GetAddress() const { return Address; }

    // Handlers, named as the form names them.
    void ExprCBChange();
    void FormShow();

    // The result panel's text for a result at the address.
    static QString FormatResult(u16 address, const TQAResult& result);

    // Components.
    QComboBox* ExprCB;
    QLabel* EvalP;
    QPushButton* OkBB;
    QPushButton* CancelBB;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Assemble();
    void RememberText();

    u16 Address = 0;
    TQAResult Result;
};

// The dialog; set between CreateQuickAsmDialog and DestroyDebuggerDialogs
// (or the owner's destruction).
extern TQuickAsmF* QuickAsmF;
