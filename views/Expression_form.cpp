#include "views/Expression_form.h"

#include "core/Hex_text.h"
#include "platform/Application.h"
#include "tools/Expression.h"
#include "views/Debugger_views.h"
#include "views/Entry_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <bit>

static_assert(std::endian::native == std::endian::little, "GetValue hands out the low bytes of one u32");

TExpressionF* ExpressionF = nullptr;

TExpressionF::TExpressionF(QWidget* owner)
    : QDialog(owner, Qt::Tool)
{
    setObjectName(QStringLiteral("ExpressionF"));
    setWindowTitle(QStringLiteral("Expression"));
    setFont(EntryFont());
    setFixedSize(369, 83);

    ExprCB = NewEntryBox(this, QRect(8, 12, 249, 21));

    EqualL = new QLabel(QStringLiteral("="), this);
    EqualL->setObjectName(QStringLiteral("EqualL"));
    EqualL->setGeometry(263, 15, 10, 14);

    EvalP = new QLabel(QStringLiteral("#0000"), this);
    EvalP->setObjectName(QStringLiteral("EvalP"));
    EvalP->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    EvalP->setAlignment(Qt::AlignCenter);
    EvalP->setGeometry(278, 12, 83, 21);

    OkBB = new QPushButton(QStringLiteral("Go to"), this);
    OkBB->setObjectName(QStringLiteral("OkBB"));
    OkBB->setGeometry(198, 48, 75, 25);
    OkBB->setDefault(true);

    CancelBB = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBB->setObjectName(QStringLiteral("CancelBB"));
    CancelBB->setGeometry(286, 48, 75, 25);

    connect(ExprCB, &QComboBox::editTextChanged, this, Guard([this] { ExprCBChange(); }));
    connect(OkBB, &QPushButton::clicked, this, Guard([this] {
        if (!Valid)
            return;
        RememberText();
        accept();
    }));
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);

    ExprCBChange();
}

TExpressionF::~TExpressionF()
{
    if (ExpressionF == this)
        ExpressionF = nullptr;
}

bool TExpressionF::Execute(const QString& caption, const QString& okText, const QPoint& position, u16 dollar,
                           i32 size, u32 limit)
{
    Dollar = dollar;
    Limit = limit;
    if (position != KeepPosition)
        move(position);
    setWindowTitle(caption);
    OkBB->setText(okText);
    Size = size;
    // The kept text is evaluated afresh: the registers it names, "$" and
    // the size asked for may all differ from the last opening.
    ExprCBChange();
    return exec() == QDialog::Accepted;
}

const void* TExpressionF::GetValue() const
{
    return Valid ? &Value : nullptr;
}

void TExpressionF::ExprCBChange()
{
    Evaluate();
    ShowState();
}

void TExpressionF::FormShow()
{
    ExprCB->setFocus();
    ExprCB->lineEdit()->selectAll();
}

void TExpressionF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { FormShow(); });
}

void TExpressionF::Evaluate()
{
    Valid = false;
    if (!g_Expression)
        return;
    const std::string text = ExprCB->currentText().toStdString();
    // Register names read the live processor: not while it executes.
    auto pause = PauseMachine();
    const void* result = g_Expression->Evaluate(text, Size, Dollar);
    if (!result)
        return;
    switch (Size) {
    case SizeByte:
        Value = *static_cast<const u8*>(result);
        break;
    case SizeWord:
        Value = *static_cast<const u16*>(result);
        break;
    default:
        Value = *static_cast<const u32*>(result);
        break;
    }
    Valid = Limit == 0 || Value < Limit;
}

QString TExpressionF::FormatResult(i32 size, u32 value)
{
    switch (size) {
    case SizeByte:
        return QString::fromStdString("#" + HexByte(static_cast<u8>(value)));
    case SizeWord:
        return QString::fromStdString("#" + HexWord(static_cast<u16>(value)));
    case SizeDword:
        return QString::number(static_cast<i32>(value));
    default:
        return QStringLiteral("Error!");
    }
}

void TExpressionF::ShowState()
{
    EvalP->setText(Valid ? FormatResult(Size, Value) : QStringLiteral("Error!"));
    ShowEntryState(ExprCB, EvalP, OkBB, Valid);
}

void TExpressionF::RememberText()
{
    RememberEntry(ExprCB, HistoryLimit);
}
