#include "views/Load_dump.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "core/Z80.h"
#include "platform/Application.h"
#include "platform/Dialog_services.h"
#include "shell/Helper.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

TLoadDumpF* LoadDumpF = nullptr;

namespace {

// Reads exactly length bytes at offset of a regular file; false when the
// file cannot be opened or holds fewer bytes there.
bool ReadFileRange(const std::string& path, i64 offset, i64 length, std::vector<u8>& bytes)
{
    i64 size = 0;
    const int fd = OpenRegularFile(path, O_RDONLY, size);
    if (fd < 0)
        return false;
    bool ok = offset >= 0 && length >= 0;
    bytes.assign(ok ? static_cast<size_t>(length) : 0, 0);
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + i64(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;  // an error, or the end of the file before the range ended
        else
            done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

} // namespace

TLoadDumpF::TLoadDumpF(QWidget* owner)
    : TDumpDialog(owner)
{
    setObjectName(QStringLiteral("LoadDumpF"));
    setWindowTitle(QStringLiteral(" Load dump"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(489, 233);

    FileGB = new QGroupBox(QStringLiteral(" File "), this);
    FileGB->setGeometry(8, 4, 473, 92);
    LocationLE = LabelledEdit(FileGB, "Lo&cation: ", 8, 66, 22, 368);
    SelectB = new QPushButton(QStringLiteral("&..."), FileGB);
    SelectB->setGeometry(438, 22, 25, 21);
    SelectB->setAutoDefault(false);
    AllCB = new QCheckBox(QStringLiteral("&All File"), FileGB);
    AllCB->setGeometry(8, 58, 80, 17);
    FromLE = LabelledEdit(FileGB, "&Start: ", 96, 134, 56, 78);
    LengthLE = LabelledEdit(FileGB, "&Length: ", 218, 262, 56, 78);
    ToLE = LabelledEdit(FileGB, "&End: ", 346, 380, 56, 83);

    DumpGB = new QGroupBox(QStringLiteral(" Dump "), this);
    DumpGB->setGeometry(8, 100, 473, 56);
    StartDumpLE = LabelledEdit(DumpGB, "&Start: ", 8, 66, 22, 100);
    WrapCheckBox = new QCheckBox(QStringLiteral("&Wrap Around"), DumpGB);
    WrapCheckBox->setGeometry(190, 24, 110, 17);
    RomCheckBox = new QCheckBox(QStringLiteral("&Preserve ROM Area"), DumpGB);
    RomCheckBox->setGeometry(318, 24, 145, 17);
    RomCheckBox->setChecked(true);

    StatusL = NewStatusLabel(this, QRect(10, 166, 469, 16));
    StatusL->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    LoadBB = new QPushButton(QStringLiteral("Load"), this);
    LoadBB->setGeometry(318, 198, 75, 25);
    LoadBB->setDefault(true);
    CancelBB = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBB->setGeometry(404, 198, 75, 25);
    CancelBB->setAutoDefault(false);

    connect(LocationLE, &QLineEdit::textChanged, this, Guard([this] { LocationLEChange(); }));
    connect(SelectB, &QPushButton::clicked, this, Guard([this] { SelectBClick(); }));
    connect(AllCB, &QCheckBox::toggled, this, Guard([this] { AllCBClick(); }));
    connect(FromLE, &QLineEdit::textChanged, this, Guard([this] { FromLEChange(); }));
    connect(ToLE, &QLineEdit::textChanged, this, Guard([this] { ToLEChange(); }));
    connect(LengthLE, &QLineEdit::textChanged, this, Guard([this] { LengthLEChange(); }));
    connect(StartDumpLE, &QLineEdit::textChanged, this, Guard([this] { StartDumpLEChange(); }));
    connect(LoadBB, &QPushButton::clicked, this, Guard([this] { LoadBBClick(); }));
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);
}

TLoadDumpF::~TLoadDumpF() = default;

void TLoadDumpF::BeginForTest(TDataArray* data, TComputer* computer)
{
    TDumpDialog::BeginForTest(data, computer);
    // The file may have changed since the last opening: measure it again, so
    // the status line and Load tell the truth about it now.
    if (!LocationLE->text().isEmpty())
        LocationLEChange();
}

// ---------------------------------------------------------------------------
// Reporting

template <class TWork>
void TLoadDumpF::Checked(TWork work)
{
    try {
        work();
    } catch (const TTextError& error) {
        Report(QString::fromStdString(error.what()));
    }
}

void TLoadDumpF::Report(const QString& text)
{
    StatusL->setText(text);
    LoadBB->setEnabled(false);
}

std::string TLoadDumpF::LocationPath() const
{
    return LocalPath(LocationLE->text());
}

// ---------------------------------------------------------------------------
// Handlers

void TLoadDumpF::ExpressionChange(QLineEdit* edit, bool& entered, i64& field, const char* invalidText)
{
    if (!FieldEvents)
        return;
    Checked([&] {
        entered = false;
        const std::optional<i32> value = EvaluateDumpField(edit->text(), Computer);
        entered = true;
        if (!value)
            throw TTextError(invalidText);
        field = *value;
        if (edit == LengthLE) {
            // Typing a length moves the end and keeps the start. The end
            // shown is then one the user has (indirectly) given.
            To = From + Length - 1;
            ToEntered = true;
            WriteField(ToLE, To);
        }
        DoValidate();
    });
}

void TLoadDumpF::FromLEChange()
{
    ExpressionChange(FromLE, FromEntered, From, "Invalid 'Start Offset' expression!");
}

void TLoadDumpF::ToLEChange()
{
    ExpressionChange(ToLE, ToEntered, To, "Invalid 'End Offset' expression!");
}

void TLoadDumpF::LengthLEChange()
{
    ExpressionChange(LengthLE, LengthEntered, Length, "Invalid 'Block Length' expression!");
}

void TLoadDumpF::StartDumpLEChange()
{
    ExpressionChange(StartDumpLE, MemoryStartEntered, MemoryStart, "Invalid 'Start Dump' expression!");
}

void TLoadDumpF::LocationLEChange()
{
    Checked([&] {
        FileValid = false;
        const QString name = LocationLE->text();
        if (name.isEmpty())
            throw TTextError(NoFileError);
        if (!QFileInfo::exists(name))
            throw TTextError(FileNotFoundError);
        FileSize = GetFileLength(LocationPath());
        FileValid = true;
        DoValidate();
    });
}

void TLoadDumpF::SelectBClick()
{
    const QString path = FileDialogs().GetOpenFileName(this, QString::fromLatin1(SelectTitle), LocationLE->text(),
                                                       QString::fromLatin1(SelectFilter), SelectOptions());
    if (!path.isEmpty())
        LocationLE->setText(path);
}

void TLoadDumpF::AllCBClick()
{
    const bool all = AllCB->isChecked();
    FromLE->setEnabled(!all);
    ToLE->setEnabled(!all);
    LengthLE->setEnabled(!all);
    Validate();
}

void TLoadDumpF::Validate()
{
    Checked([&] { DoValidate(); });
}

void TLoadDumpF::DoValidate()
{
    if (!FileValid)
        throw TTextError(NoFileError);
    if (AllCB->isChecked()) {
        From = 0;
        To = FileSize - 1;
        Length = FileSize;
        FromEntered = ToEntered = LengthEntered = true;
        WriteField(FromLE, From);
        WriteField(ToLE, To);
        WriteField(LengthLE, Length);
    }
    if (!FromEntered)
        throw TTextError("You must input From file position!");
    if (From < 0 || From >= FileSize)
        throw TTextError("From position must be in file size range!");
    if (!ToEntered)
        throw TTextError("You must input To file position!");
    if (To < 0 || To >= FileSize)
        throw TTextError("To position must be in file size range!");
    if (From > To)
        throw TTextError("From position must be not above To position!");
    if (!LengthEntered)
        throw TTextError("You must input length of loading block!");
    const char* lengthRange = "Block length must be in range 1-65536!";
    if (Length < 1 || Length > MaxBlock)
        throw TTextError(lengthRange);
    if (To - From + 1 != Length) {
        Length = To - From + 1;
        WriteField(LengthLE, Length);
        if (Length < 1 || Length > MaxBlock)
            throw TTextError(lengthRange);
    }
    if (!MemoryStartEntered)
        throw TTextError("You must input Memory Block Start!");
    if (MemoryStart < 0 || MemoryStart > 65535)
        throw TTextError("Start position must be in range 0-65535!");
    if (!WrapCheckBox->isChecked() && MemoryStart + Length > 65536)
        throw TTextError("Block size is too big to fit in memory!");
    StatusL->clear();
    LoadBB->setEnabled(true);
}

void TLoadDumpF::LoadBBClick()
{
    // The Wrap Around box starts no check of its own: check again, so a
    // block is never loaded past 0xFFFF after the box was cleared.
    Validate();
    if (!LoadBB->isEnabled())
        return;

    std::vector<u8> bytes;
    if (ReadFileRange(LocationPath(), From, Length, bytes) && Data) {
        auto pause = Computer ? Computer->PauseRun() : TComputer::TPauseGuard();
        for (size_t i = 0; i < bytes.size(); ++i)
            Data->SetByte(static_cast<u16>(MemoryStart + i64(i)), bytes[i]);
    } else {
        MessageBoxes().MessageBox(this, QString::fromLatin1(LoadFailedCaption), QString::fromLatin1(LoadFailedText),
                                  TMessageIcon::Error, TMessageButtons::Ok);
    }
    accept();
}
