#include "platform/Dialog_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

TFileDialogs* InstalledFileDialogs = nullptr;
TMessageBoxes* InstalledMessageBoxes = nullptr;

} // namespace

TFileDialogs& FileDialogs()
{
    static TQtFileDialogs qtDialogs;
    return InstalledFileDialogs ? *InstalledFileDialogs : qtDialogs;
}

void SetFileDialogs(TFileDialogs* dialogs)
{
    InstalledFileDialogs = dialogs;
}

TMessageBoxes& MessageBoxes()
{
    static TQtMessageBoxes qtBoxes;
    return InstalledMessageBoxes ? *InstalledMessageBoxes : qtBoxes;
}

void SetMessageBoxes(TMessageBoxes* boxes)
{
    InstalledMessageBoxes = boxes;
}

bool MayReplaceFile(QWidget* parent, const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return true;
    const QString question =
        QStringLiteral("File \"") + path + QStringLiteral("\" already exist!\nDo you want to replace it?");
    return MessageBoxes().MessageBox(parent, QStringLiteral(" Warning!"), question, TMessageIcon::Warning,
                                     TMessageButtons::YesNo) == TMessageResult::Yes;
}

QString QtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!pattern.trimmed().isEmpty())
                patterns << pattern.trimmed();
        entries << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {

// One modal file dialog with the options applied; the chosen path, or empty.
QString RunFileDialog(QWidget* parent, const QString& caption, const QString& directory, const QString& filter,
                      const TFileDialogOptions& options, bool save)
{
    QFileDialog dialog(parent, caption, directory, QtFileFilter(filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(options.DefaultSuffix);
    if (options.ShowHidden)
        dialog.setFilter(dialog.filter() | QDir::Hidden);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.ConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString TQtFileDialogs::GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                        const QString& filter, const TFileDialogOptions& options)
{
    return RunFileDialog(parent, caption, directory, filter, options, false);
}

QString TQtFileDialogs::GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                        const QString& filter, const TFileDialogOptions& options)
{
    return RunFileDialog(parent, caption, directory, filter, options, true);
}

void WidenForCaption(QMessageBox& box)
{
    // A window icon and three buttons with their gaps.
    constexpr int TitleBarButtons = 128;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid || box.windowTitle().isEmpty())
        return;
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const int title = int(std::ceil(QFontMetricsF(font).horizontalAdvance(box.windowTitle())));
    // The box fixes its own size from its layout's minimum when it is
    // shown: a spacer across its columns raises that minimum.
    const int margins = grid->contentsMargins().left() + grid->contentsMargins().right();
    grid->addItem(new QSpacerItem(std::max(title + TitleBarButtons - margins, 0), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, std::max(grid->columnCount(), 1));
}

TMessageResult TQtMessageBoxes::MessageBox(QWidget* parent, const QString& caption, const QString& text,
                                           TMessageIcon icon, TMessageButtons buttons)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case TMessageIcon::None: qtIcon = QMessageBox::NoIcon; break;
    case TMessageIcon::Information: qtIcon = QMessageBox::Information; break;
    case TMessageIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case TMessageIcon::Error: qtIcon = QMessageBox::Critical; break;
    case TMessageIcon::Question: qtIcon = QMessageBox::Question; break;
    }
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    TMessageResult closed = TMessageResult::Ok;
    switch (buttons) {
    case TMessageButtons::Ok: qtButtons = QMessageBox::Ok; closed = TMessageResult::Ok; break;
    case TMessageButtons::OkCancel: qtButtons = QMessageBox::Ok | QMessageBox::Cancel; closed = TMessageResult::Cancel; break;
    case TMessageButtons::YesNo: qtButtons = QMessageBox::Yes | QMessageBox::No; closed = TMessageResult::No; break;
    case TMessageButtons::YesNoCancel:
        qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        closed = TMessageResult::Cancel;
        break;
    }
    QMessageBox box(qtIcon, caption, text, qtButtons, parent);
    WidenForCaption(box);
    switch (box.exec()) {
    case QMessageBox::Ok: return TMessageResult::Ok;
    case QMessageBox::Cancel: return TMessageResult::Cancel;
    case QMessageBox::Yes: return TMessageResult::Yes;
    case QMessageBox::No: return TMessageResult::No;
    default: return closed;
    }
}

TScriptedFileDialogs::TScriptedFileDialogs()
    : Previous(InstalledFileDialogs)
{
    SetFileDialogs(this);
}

TScriptedFileDialogs::~TScriptedFileDialogs()
{
    SetFileDialogs(Previous);
}

QString TScriptedFileDialogs::GetOpenFileName(QWidget*, const QString& caption, const QString& directory,
                                              const QString& filter, const TFileDialogOptions& options)
{
    return Next(false, caption, directory, filter, options);
}

QString TScriptedFileDialogs::GetSaveFileName(QWidget*, const QString& caption, const QString& directory,
                                              const QString& filter, const TFileDialogOptions& options)
{
    return Next(true, caption, directory, filter, options);
}

QString TScriptedFileDialogs::Next(bool save, const QString& caption, const QString& directory, const QString& filter,
                                   const TFileDialogOptions& options)
{
    Asked.push_back({save, caption, directory, filter, options});
    if (Answers.empty())
        return {};
    QString answer = Answers.front();
    Answers.pop_front();
    return answer;
}

TScriptedMessageBoxes::TScriptedMessageBoxes()
    : Previous(InstalledMessageBoxes)
{
    SetMessageBoxes(this);
}

TScriptedMessageBoxes::~TScriptedMessageBoxes()
{
    SetMessageBoxes(Previous);
}

TMessageResult TScriptedMessageBoxes::MessageBox(QWidget*, const QString& caption, const QString& text,
                                                 TMessageIcon icon, TMessageButtons buttons)
{
    Boxes.push_back({caption, text, icon, buttons});
    if (!Answers.empty()) {
        const TMessageResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    return buttons == TMessageButtons::Ok || buttons == TMessageButtons::OkCancel ? TMessageResult::Ok
                                                                                   : TMessageResult::Yes;
}
