#include "views/Quick_asm_form.h"

#include "core/Hex_text.h"
#include "platform/Application.h"
#include "views/Debugger_views.h"
#include "views/Entry_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TQuickAsmF* QuickAsmF = nullptr;

TQuickAsmF::TQuickAsmF(QWidget* owner)
    : QDialog(owner, Qt::Tool)
{
    setObjectName(QStringLiteral("QuickAsmF"));
    setWindowTitle(QStringLiteral("Enter assembler instruction"));
    setFont(EntryFont());
    setFixedSize(369, 115);

    ExprCB = NewEntryBox(this, QRect(15, 14, 339, 21));

    EvalP = new QLabel(QStringLiteral(" #0000"), this);
    EvalP->setObjectName(QStringLiteral("EvalP"));
    EvalP->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    EvalP->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    EvalP->setGeometry(15, 44, 339, 21);

    OkBB = new QPushButton(QStringLiteral("Set"), this);
    OkBB->setObjectName(QStringLiteral("OkBB"));
    OkBB->setGeometry(198, 78, 75, 25);
    OkBB->setDefault(true);

    CancelBB = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBB->setObjectName(QStringLiteral("CancelBB"));
    CancelBB->setGeometry(279, 78, 75, 25);

    connect(ExprCB, &QComboBox::editTextChanged, this, Guard([this] { ExprCBChange(); }));
    connect(OkBB, &QPushButton::clicked, this, Guard([this] {
        if (Result.Error)
            return;
        RememberText();
        accept();
    }));
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);

    // Nothing assembled yet: an empty line is no instruction.
    Result.Error = 1;
    OkBB->setEnabled(false);
}

TQuickAsmF::~TQuickAsmF()
{
    if (QuickAsmF == this)
        QuickAsmF = nullptr;
}

int TQuickAsmF::Execute(u16 address)
{
    Address = address;
    return exec();
}

void TQuickAsmF::ExprCBChange()
{
    Assemble();
}

void TQuickAsmF::FormShow()
{
    Assemble();
    ExprCB->setFocus();
    ExprCB->lineEdit()->selectAll();
}

void TQuickAsmF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { FormShow(); });
}

QString TQuickAsmF::FormatResult(u16 address, const TQAResult& result)
{
    if (result.Error)
        return QString::fromStdString("  Error! " + result.Message);
    std::string text = "  #" + HexWord(address) + ": ";
    for (int i = 0; i < result.Size && i < int(result.Code.size()); ++i)
        text += "#" + HexByte(result.Code[std::size_t(i)]) + " ";
    return QString::fromStdString(text);
}

void TQuickAsmF::Assemble()
{
    const std::string text = ExprCB->currentText().toStdString();
    {
        // Numbers may name registers, which the evaluator reads live.
        auto pause = PauseMachine();
        Result = *g_QuickAsm.Assemble(Address, text);
    }
    ShowEntryState(ExprCB, EvalP, OkBB, Result.Error == 0);
    EvalP->setText(FormatResult(Address, Result));
}

void TQuickAsmF::RememberText()
{
    RememberEntry(ExprCB, HistoryLimit);
}
