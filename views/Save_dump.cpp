#include "views/Save_dump.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "core/Replacing_file.h"
#include "platform/Application.h"
#include "platform/Dialog_services.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

TSaveDumpF* SaveDumpF = nullptr;

namespace {

// Writes all n bytes at the file position; false on any error or a short
// write that cannot go on (a full disk, a file-size limit).
bool WriteFully(int fd, const u8* data, size_t n, i64 position)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t written = ::pwrite(fd, data + done, n - done, static_cast<off_t>(position + i64(done)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// Runs the work on a thread of its own while this (the user-interface)
// thread goes on handling everything but user input: the windows repaint
// and the emulated screen keeps running, however long the file takes. The
// two threads share only the finished flag and the result, which is read
// after the join; the loop looks at the flag every few milliseconds, so no
// call crosses from the worker into Qt.
bool RunBesideTheEventLoop(const std::function<bool()>& work)
{
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker([&] {
        result = work();
        finished.store(true, std::memory_order_release);
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load(std::memory_order_acquire))
            loop.quit();
    });
    poll.start(5);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

} // namespace

// ---------------------------------------------------------------------------
// The file operations

bool TSaveDumpF::WriteNewFile(const QString& path, std::span<const u8> bytes)
{
    if (path.isEmpty())
        return false;
    TReplacingFile file(LocalPath(path));
    return file.GetFd() >= 0 && WriteFully(file.GetFd(), bytes.data(), bytes.size(), 0) && file.Commit();
}

bool TSaveDumpF::AppendToFile(const QString& path, std::span<const u8> bytes)
{
    if (path.isEmpty())
        return false;
    i64 oldSize = 0;
    const int fd = OpenRegularFile(LocalPath(path), O_WRONLY, oldSize);
    if (fd < 0)
        return false;
    const bool ok = WriteFully(fd, bytes.data(), bytes.size(), oldSize) && ::fsync(fd) == 0;
    // The old bytes were never touched: cutting back what was added leaves
    // the file as it was.
    if (!ok && ::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
        // Then only the added tail stays; the old bytes are whole either way.
    }
    return ::close(fd) == 0 && ok;
}

bool TSaveDumpF::WriteAtOffset(const QString& path, i64 offset, std::span<const u8> bytes)
{
    if (path.isEmpty() || offset < 0)
        return false;
    i64 oldSize = 0;
    const std::string local = LocalPath(path);
    const int source = OpenRegularFile(local, O_RDONLY, oldSize);
    if (source < 0)
        return false;
    // The new contents go into a copy that replaces the file only when
    // complete: bytes overwritten in place could not be brought back after
    // a failed write.
    TReplacingFile copy(local);
    bool ok = copy.GetFd() >= 0;
    std::vector<u8> chunk(1 << 16);
    i64 position = 0;
    while (ok) {
        const ssize_t n = ::read(source, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteFully(copy.GetFd(), chunk.data(), static_cast<size_t>(n), position);
        position += n;
    }
    ::close(source);
    // Past the old end the gap reads as zeros.
    return ok && WriteFully(copy.GetFd(), bytes.data(), bytes.size(), offset) && copy.Commit();
}

// ---------------------------------------------------------------------------
// Construction

TSaveDumpF::TSaveDumpF(QWidget* owner)
    : TDumpDialog(owner)
{
    setObjectName(QStringLiteral("SaveDumpF"));
    setWindowTitle(QStringLiteral("Save dump"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(489, 225);

    DumpGB = new QGroupBox(QStringLiteral(" Dump "), this);
    DumpGB->setGeometry(8, 4, 473, 56);
    StartLE = LabelledEdit(DumpGB, "&Start: ", 8, 44, 22, 80);
    LengthLE = LabelledEdit(DumpGB, "&Length: ", 134, 178, 22, 80);
    EndLE = LabelledEdit(DumpGB, "&End: ", 268, 298, 22, 80);
    WrapCB = new QCheckBox(QStringLiteral("&Wrap"), DumpGB);
    WrapCB->setGeometry(392, 24, 70, 17);

    FileGB = new QGroupBox(QStringLiteral(" File "), this);
    FileGB->setGeometry(8, 64, 473, 88);
    LocationLE = LabelledEdit(FileGB, "Lo&cation: ", 8, 66, 22, 368);
    SelectB = new QPushButton(QStringLiteral("&..."), FileGB);
    SelectB->setGeometry(438, 22, 25, 21);
    SelectB->setAutoDefault(false);
    NewCB = new QCheckBox(QStringLiteral("&New/Overwrite"), FileGB);
    NewCB->setGeometry(8, 58, 110, 17);
    NewCB->setChecked(true);
    // The Ask and Append boxes share one place: the mode shows one of them.
    AskCB = new QCheckBox(QStringLiteral("&Ask for overwrite old file"), FileGB);
    AskCB->setGeometry(124, 58, 170, 17);
    AskCB->setChecked(true);
    AppendCB = new QCheckBox(QStringLiteral("&Append to End"), FileGB);
    AppendCB->setGeometry(124, 58, 110, 17);
    AppendCB->setChecked(true);
    OffsetLE = LabelledEdit(FileGB, "Write at &Offset: ", 240, 334, 56, 100, &OffsetL);

    StatusL = NewStatusLabel(this, QRect(10, 160, 469, 16));

    SaveBB = new QPushButton(QStringLiteral("Save"), this);
    SaveBB->setGeometry(318, 190, 75, 25);
    SaveBB->setDefault(true);
    CancelBB = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBB->setGeometry(404, 190, 75, 25);
    CancelBB->setAutoDefault(false);

    ShowModeControls();

    connect(StartLE, &QLineEdit::textChanged, this, Guard([this] { StartLEChange(); }));
    connect(LengthLE, &QLineEdit::textChanged, this, Guard([this] { LengthLEChange(); }));
    connect(EndLE, &QLineEdit::textChanged, this, Guard([this] { EndLEChange(); }));
    connect(OffsetLE, &QLineEdit::textChanged, this, Guard([this] { OffsetLEChange(); }));
    connect(NewCB, &QCheckBox::toggled, this, Guard([this] { NewCBClick(); }));
    connect(AppendCB, &QCheckBox::toggled, this, Guard([this] { AppendCBClick(); }));
    connect(SelectB, &QPushButton::clicked, this, Guard([this] { SelectBClick(); }));
    connect(SaveBB, &QPushButton::clicked, this, Guard([this] { SaveBBClick(); }));
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);
}

TSaveDumpF::~TSaveDumpF() = default;

void TSaveDumpF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { FormShow(); });
}

// ---------------------------------------------------------------------------
// Status and fields

void TSaveDumpF::ClearStatus()
{
    StatusL->clear();
    ErrorShown = false;
}

void TSaveDumpF::ShowError(const QString& message)
{
    if (StatusL->text().isEmpty())
        StatusL->setText(message);
    ErrorShown = true;
}

void TSaveDumpF::SetEditColour(QLineEdit* edit, bool bad)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, bad ? QColor(Qt::yellow) : QColor(Qt::white));
    edit->setPalette(palette);
}

bool TSaveDumpF::ParseField(i64& field, QLineEdit* edit, const char* name, i64 min, i64 max)
{
    const std::optional<i32> value = EvaluateDumpField(edit->text(), Computer);
    const QString quoted = QStringLiteral("'") + QString::fromLatin1(name) + QStringLiteral("'");
    if (!value)
        ShowError(QStringLiteral("Invalid ") + quoted + QStringLiteral(" expression!"));
    else if (*value < min || *value > max)
        ShowError(quoted + QStringLiteral(" must be in range %1-%2!").arg(min).arg(max));
    const bool good = value && *value >= min && *value <= max;
    if (good)
        field = *value;
    SetEditColour(edit, !good);
    return good;
}

bool TSaveDumpF::IsOffsetMode() const
{
    return !NewCB->isChecked() && !AppendCB->isChecked();
}

void TSaveDumpF::Validate()
{
    const i64 size = Data ? Data->GetSize() : 0x10000;
    const bool wrap = WrapCB->isChecked();
    ClearStatus();
    ParseField(Start, StartLE, "Start Position", 0, size - 1);
    // Of length and end, the one typed last is the user's and is checked;
    // the other follows from it and its text is replaced below, so it is
    // neither checked nor blamed (a stale text would report a problem that
    // this same check removes).
    if (LengthTyped) {
        ParseField(Length, LengthLE, "Dump Length", 1, size);
        SetEditColour(EndLE, false);
    } else {
        ParseField(End, EndLE, "End Position", 0, size - 1);
        SetEditColour(LengthLE, false);
        if (!wrap && Start > End) {
            ShowError(QStringLiteral("End mark of block must be placed after start!"));
            SetEditColour(EndLE, true);
        } else {
            Length = End - Start + 1;
            if (Length <= 0)
                Length += 0x10000;  // a block that wraps past 0xFFFF
        }
        WriteField(LengthLE, Length);
    }
    if (!EndTyped) {
        End = Start + Length - 1;
        // The last address after wrapping; the field keeps the sum.
        WriteField(EndLE, End & 0xFFFF);
    }
    if (!wrap && Start + Length > size)
        ShowError(QStringLiteral("Block size is too big to fit in memory!"));
    if (IsOffsetMode())
        ParseField(FileOffset, OffsetLE, "File Offset", 0, 2147483647);
    SaveBB->setEnabled(!ErrorShown);
}

// ---------------------------------------------------------------------------
// Handlers

void TSaveDumpF::FormShow()
{
    Validate();
}

void TSaveDumpF::StartLEChange()
{
    if (!FieldEvents)
        return;
    LengthTyped = false;
    EndTyped = false;
    Validate();
}

void TSaveDumpF::LengthLEChange()
{
    if (!FieldEvents)
        return;
    LengthTyped = true;
    EndTyped = false;
    Validate();
}

void TSaveDumpF::EndLEChange()
{
    if (!FieldEvents)
        return;
    LengthTyped = false;
    EndTyped = true;
    Validate();
}

void TSaveDumpF::OffsetLEChange()
{
    if (FieldEvents)
        Validate();
}

void TSaveDumpF::ShowModeControls()
{
    const bool fresh = NewCB->isChecked();
    AskCB->setVisible(fresh);
    AppendCB->setVisible(!fresh);
    const bool offset = !fresh && !AppendCB->isChecked();
    OffsetLE->setVisible(offset);
    OffsetL->setVisible(offset);
}

void TSaveDumpF::NewCBClick()
{
    ShowModeControls();
    Validate();
}

void TSaveDumpF::AppendCBClick()
{
    ShowModeControls();
    Validate();
}

void TSaveDumpF::SelectBClick()
{
    const QString path = FileDialogs().GetSaveFileName(this, QString::fromLatin1(SelectTitle), LocationLE->text(),
                                                       QString::fromLatin1(SelectFilter), SelectOptions());
    if (!path.isEmpty())
        LocationLE->setText(path);
}

void TSaveDumpF::done(int result)
{
    if (!Busy)
        TDumpDialog::done(result);
}

void TSaveDumpF::SaveBBClick()
{
    if (Busy)
        return;
    // The Wrap box starts no check of its own: check again, so a block is
    // never saved across 0xFFFF after the box was cleared.
    Validate();
    if (ErrorShown)
        return;
    if (Save())
        accept();
}

bool TSaveDumpF::Save()
{
    const QString path = LocationLE->text();
    if (NewCB->isChecked() && AskCB->isChecked() && !MayReplaceFile(this, path))
        return false;  // the dialog stays open, nothing written

    std::vector<u8> bytes(static_cast<size_t>(std::max<i64>(Length, 0)));
    if (Data) {
        auto pause = Computer ? Computer->PauseRun() : TComputer::TPauseGuard();
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = Data->GetByte(static_cast<u16>(Start + i64(i)));
    }

    // The file work (a whole copy of a large file for Write at Offset, a
    // sync to a slow disk for every mode) runs off this thread; the dialog
    // stays open and ignores closing until it is done.
    const int mode = NewCB->isChecked() ? 0 : AppendCB->isChecked() ? 1 : 2;
    const i64 offset = FileOffset;
    bool ok = Data != nullptr;
    if (ok) {
        Busy = true;
        ok = RunBesideTheEventLoop([path, mode, offset, bytes = std::move(bytes)] {
            if (WriteStartsForTest)
                WriteStartsForTest();
            switch (mode) {
            case 0: return WriteNewFile(path, bytes);
            case 1: return AppendToFile(path, bytes);
            default: return WriteAtOffset(path, offset, bytes);
            }
        });
        Busy = false;
    }
    if (!ok)
        MessageBoxes().MessageBox(this, QString::fromLatin1(SaveFailedCaption), QString::fromLatin1(SaveFailedText),
                                  TMessageIcon::Error, TMessageButtons::Ok);
    return true;
}
