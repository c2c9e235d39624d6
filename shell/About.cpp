#include "shell/About.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

TAboutF* AboutF = nullptr;

namespace {

const char* const ReleaseNotes =
    "0.1\n"
    "- ZX Spectrum 48K and 128K: Z80 with exact T-state timing, 128K paging, AY sound chip, beeper, "
    "Kempston joystick and mouse.\n"
    "- Opens SNA and Z80 snapshots and TAP and TZX tape images; saves SNA snapshots.\n"
    "- Debugger: registers, disassembly, memory, stack, screen and tape recorder views in docking tool "
    "windows; run, step, step over, run to cursor and until the next interrupt.\n"
    "- One-line assembler, expression evaluator, loading and saving of memory dumps.\n"
    "- Options: TV border sizes, default zoom and sound sync.\n";

} // namespace

TAboutF::TAboutF(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutF"));
    setWindowTitle(QStringLiteral("About Quorvane"));
    setFixedSize(497, 425);

    TitleL = new QLabel(QString::fromLatin1(ProductName), this);
    QFont big(QStringLiteral("Tahoma"), 28, QFont::Bold);
    TitleL->setFont(big);
    VersionL = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(Version), this);
    VersionL->setAlignment(Qt::AlignRight | Qt::AlignTop);
    CloseB = new QPushButton(QStringLiteral("Close"), this);
    CloseB->setDefault(true);
    VersionHistoryL = new QLabel(QStringLiteral("Version History"), this);
    VersionHistoryM = new QPlainTextEdit(this);
    VersionHistoryM->setReadOnly(true);
    VersionHistoryM->setPlainText(QString::fromLatin1(ReleaseNotes));
    VersionHistoryL->setBuddy(VersionHistoryM);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(12, 8, 12, 12);
    layout->addWidget(TitleL, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(VersionL, 0, 1, Qt::AlignRight | Qt::AlignTop);
    layout->addWidget(VersionHistoryL, 1, 0);
    layout->addWidget(CloseB, 1, 1, Qt::AlignRight);
    layout->addWidget(VersionHistoryM, 2, 0, 1, 2);
    layout->setRowStretch(2, 1);

    // Escape rejects the dialog as well.
    connect(CloseB, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutF::~TAboutF() = default;

void TAboutF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}
