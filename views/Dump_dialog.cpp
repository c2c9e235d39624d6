#include "views/Dump_dialog.h"

#include "core/Computer.h"
#include "core/Z80.h"
#include "core/Hex_text.h"
#include "tools/Expression.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString DumpNumberText(i64 value)
{
    if (value < 0)
        return QStringLiteral("-") + DumpNumberText(-value);
    if (value <= 0xFFFF)
        return QString::fromStdString(HexWordPrefixed(static_cast<u16>(value)));
    return QStringLiteral("#") + QString::number(value, 16).toUpper();
}

std::optional<i32> EvaluateDumpField(const QString& text, TComputer* computer)
{
    const std::string expression = text.toStdString();
    if (!computer) {
        const u32* value = g_Expression->EvaluateDword(expression, 0);
        return value ? std::optional<i32>(static_cast<i32>(*value)) : std::nullopt;
    }
    auto pause = computer->PauseRun();
    const u32* value = g_Expression->EvaluateDword(expression, computer->Z80->PC);
    return value ? std::optional<i32>(static_cast<i32>(*value)) : std::nullopt;
}

int OpenRegularFile(const std::string& path, int flags, i64& size)
{
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    size = info.st_size;
    return fd;
}

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

TDumpDialog::TDumpDialog(QWidget* owner) : QDialog(owner) {}

int TDumpDialog::Execute(TDataArray* data, TComputer* computer)
{
    BeginForTest(data, computer);
    const int result = exec();
    FieldEvents = false;
    return result;
}

void TDumpDialog::BeginForTest(TDataArray* data, TComputer* computer)
{
    Data = data;
    Computer = computer;
    FieldEvents = true;
}

void TDumpDialog::WriteField(QLineEdit* edit, i64 value)
{
    const bool events = FieldEvents;
    FieldEvents = false;
    edit->setText(DumpNumberText(value));
    FieldEvents = events;
}

QLineEdit* TDumpDialog::LabelledEdit(QWidget* parent, const char* caption, int labelX, int editX, int y, int width,
                                     QLabel** labelOut)
{
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(editX, y, width, 21);
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setGeometry(labelX, y + 3, editX - labelX - 2, 15);
    label->setBuddy(edit);
    if (labelOut)
        *labelOut = label;
    return edit;
}

QLabel* TDumpDialog::NewStatusLabel(QWidget* parent, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setGeometry(geometry);
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(red);
    return label;
}
