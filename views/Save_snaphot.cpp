#include "views/Save_snaphot.h"

#include "core/Computer.h"
#include "media/Snapshot_sna.h"
#include "platform/Application.h"
#include "platform/Dialog_services.h"
#include "platform/System_metrics.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <exception>

TSaveSnapshotF* SaveSnapshotF = nullptr;

TSaveSnapshotF::TSaveSnapshotF(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("SaveSnapshotF"));
    setWindowTitle(QStringLiteral("Save Snapshot to File"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(555, 123);

    FormatL = new QLabel(QStringLiteral("Format:"), this);
    FormatL->setGeometry(8, 12, 44, 15);
    FormatCB = new QComboBox(this);
    FormatCB->setGeometry(56, 8, 145, 21);
    FormatCB->addItem(QStringLiteral("SNA Format 48k"));
    FormatCB->addItem(QStringLiteral("SNA Format 128k"));
    FormatCB->setCurrentIndex(TSnapshotSNA::Kind48);
    FormatL->setBuddy(FormatCB);

    FileNameL = new QLabel(QStringLiteral("File name:"), this);
    FileNameL->setGeometry(8, 36, 100, 15);
    FileNameLE = new QLineEdit(this);
    FileNameLE->setGeometry(8, 52, 508, 21);
    FileNameL->setBuddy(FileNameLE);
    SelectB = new QPushButton(QStringLiteral("..."), this);
    SelectB->setGeometry(520, 52, 25, 21);
    SelectB->setAutoDefault(false);

    GeneratorCB = new QCheckBox(QStringLiteral("QuickSave Name Generator"), this);
    GeneratorCB->setGeometry(8, 88, 190, 17);
    GeneratorCB->setEnabled(false);
    OverwriteCB = new QCheckBox(QStringLiteral("Overwrite old files"), this);
    OverwriteCB->setGeometry(204, 88, 140, 17);
    OverwriteCB->setEnabled(false);

    SaveBB = new QPushButton(QStringLiteral("Save shapshot"), this);
    SaveBB->setGeometry(362, 88, 100, 25);
    SaveBB->setDefault(true);
    CancelBB = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBB->setGeometry(470, 88, 75, 25);
    CancelBB->setAutoDefault(false);

    connect(FileNameLE, &QLineEdit::textChanged, this, Guard([this] { FileNameLEChange(); }));
    connect(SelectB, &QPushButton::clicked, this, Guard([this] { SelectBClick(); }));
    connect(SaveBB, &QPushButton::clicked, this, Guard([this] { SaveBBClick(); }));
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);
    FileNameLEChange();
}

TSaveSnapshotF::~TSaveSnapshotF() = default;

int TSaveSnapshotF::Execute(TComputer* computer)
{
    const int result = exec();
    if (result == QDialog::Accepted && computer)
        SaveSnapshot(computer);
    return result;
}

bool TSaveSnapshotF::SaveSnapshot(TComputer* computer)
{
    try {
        auto pause = computer->PauseRun();
        TSnapshotSNA().Save(*computer, QFile::encodeName(GetFileName()).toStdString(), GetKind());
        return true;
    } catch (const std::exception& error) {
        MessageBoxes().MessageBox(this, QString::fromLatin1(SaveFailedCaption), QString::fromStdString(error.what()),
                                  TMessageIcon::Error, TMessageButtons::Ok);
        return false;
    }
}

i32 TSaveSnapshotF::GetKind() const
{
    return FormatCB->currentIndex() == TSnapshotSNA::Kind128 ? TSnapshotSNA::Kind128 : TSnapshotSNA::Kind48;
}

QString TSaveSnapshotF::GetFileName() const
{
    return FileNameLE->text();
}

void TSaveSnapshotF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { FormShow(); });
}

void TSaveSnapshotF::FormShow()
{
    FileNameLEChange();
}

void TSaveSnapshotF::FileNameLEChange()
{
    const bool empty = FileNameLE->text().isEmpty();
    SaveBB->setEnabled(!empty);
    QPalette palette = FileNameLE->palette();
    palette.setColor(QPalette::Base, empty ? QColor(Qt::yellow) : SystemColors::Window());
    FileNameLE->setPalette(palette);
}

void TSaveSnapshotF::SelectBClick()
{
    const QString start = FileNameLE->text().isEmpty() ? QString::fromLatin1(DefaultFileName) : FileNameLE->text();
    const QString path =
        FileDialogs().GetSaveFileName(this, windowTitle(), start, QString::fromLatin1(SaveDialogFilter));
    if (path.isEmpty())
        return;
    FileNameLE->setText(path);
    BrowsedName = path;
}

void TSaveSnapshotF::SaveBBClick()
{
    const QString name = GetFileName();
    if (name.isEmpty())
        return;
    if (name != BrowsedName && !MayReplaceFile(this, name))
        return;  // the dialog stays open, the file untouched
    // The answer given while browsing covers this one save.
    BrowsedName.clear();
    accept();
}
