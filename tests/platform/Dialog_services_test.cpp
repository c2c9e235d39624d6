// The dialog services: the filter translation and the scripted stand-ins
// the tests of the windows answer dialogs with.
#include "platform/Dialog_services.h"
#include "tests/shell/Qt_test_app.h"

#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QMessageBox>

TEST(DialogServices, TranslatesPipeFiltersToQtFilters)
{
    EXPECT_EQ(QtFileFilter(QStringLiteral("All supported files|*.sna; *.z80; *.tzx; *.tap|Snapshot Sna|*.sna|"
                                          "Snapshot Z80|*.z80|Tape Images|*.tap")),
              QStringLiteral("All supported files (*.sna *.z80 *.tzx *.tap);;Snapshot Sna (*.sna);;"
                             "Snapshot Z80 (*.z80);;Tape Images (*.tap)"));
    EXPECT_EQ(QtFileFilter(QStringLiteral("Any|*.*")), QStringLiteral("Any (*.*)"));
    // A name without patterns is dropped rather than shown broken.
    EXPECT_EQ(QtFileFilter(QStringLiteral("Dump|*.bin|Orphan")), QStringLiteral("Dump (*.bin)"));
    EXPECT_EQ(QtFileFilter(QString()), QString());
}

TEST(DialogServices, ScriptedFileDialogsAnswerInOrderThenCancel)
{
    TScriptedFileDialogs files;
    EXPECT_EQ(&FileDialogs(), &files);
    files.Answer(QStringLiteral("/tmp/a.sna"));
    EXPECT_EQ(FileDialogs().GetOpenFileName(nullptr, QStringLiteral("Open"), QString(), QStringLiteral("S|*.sna")),
              QStringLiteral("/tmp/a.sna"));
    EXPECT_TRUE(FileDialogs().GetSaveFileName(nullptr, QStringLiteral("Save"), QStringLiteral("/tmp"), QString()).isEmpty());
    ASSERT_EQ(files.Requests().size(), 2u);
    EXPECT_FALSE(files.Requests()[0].Save);
    EXPECT_EQ(files.Requests()[0].Filter, QStringLiteral("S|*.sna"));
    EXPECT_TRUE(files.Requests()[1].Save);
    EXPECT_EQ(files.Requests()[1].Directory, QStringLiteral("/tmp"));
}

TEST(DialogServices, ScriptedMessageBoxesRecordAndRestoreThePreviousService)
{
    TMessageBoxes* before = &MessageBoxes();
    {
        TScriptedMessageBoxes outer;
        {
            TScriptedMessageBoxes inner;
            inner.Answer(TMessageResult::No);
            EXPECT_EQ(MessageBoxes().MessageBox(nullptr, QStringLiteral("Q"), QStringLiteral("Sure?"),
                                                TMessageIcon::Question, TMessageButtons::YesNo),
                      TMessageResult::No);
            EXPECT_EQ(MessageBoxes().MessageBox(nullptr, QStringLiteral("Q"), QStringLiteral("Again?"),
                                                TMessageIcon::Question, TMessageButtons::YesNo),
                      TMessageResult::Yes);
            ASSERT_EQ(inner.Shown().size(), 2u);
            EXPECT_EQ(inner.Shown()[0].Text, QStringLiteral("Sure?"));
        }
        EXPECT_EQ(&MessageBoxes(), &outer);
        EXPECT_TRUE(outer.Shown().empty());
    }
    EXPECT_EQ(&MessageBoxes(), before);
}

// The Qt dialogs take the options: what a caller asks for reaches the dialog.
TEST(DialogServices, TheQtFileDialogsApplyTheirOptions)
{
    struct TSeen {
        bool Found = false;
        bool Save = false;
        QString Suffix;
        bool Hidden = false;
        bool Confirm = false;
    };
    const auto inspectNextDialog = [](TSeen& seen) {
        QTimer::singleShot(0, [&seen] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(widget);
                if (!dialog || !dialog->isVisible())
                    continue;
                seen = {true, dialog->acceptMode() == QFileDialog::AcceptSave, dialog->defaultSuffix(),
                        (dialog->filter() & QDir::Hidden) != 0, !dialog->testOption(QFileDialog::DontConfirmOverwrite)};
                dialog->reject();
            }
        });
    };
    TQtFileDialogs dialogs;
    TSeen save;
    inspectNextDialog(save);
    EXPECT_TRUE(dialogs
                    .GetSaveFileName(nullptr, QStringLiteral("Save"), QString(), QStringLiteral("Binary|*.bin"),
                                     {QStringLiteral("bin"), true, false})
                    .isEmpty());
    ASSERT_TRUE(save.Found);
    EXPECT_TRUE(save.Save);
    EXPECT_EQ(save.Suffix, QStringLiteral("bin"));
    EXPECT_TRUE(save.Hidden);
    EXPECT_FALSE(save.Confirm);

    TSeen open;
    inspectNextDialog(open);
    EXPECT_TRUE(dialogs.GetOpenFileName(nullptr, QStringLiteral("Open"), QString(), QStringLiteral("Any|*.*")).isEmpty());
    ASSERT_TRUE(open.Found);
    EXPECT_FALSE(open.Save);
    EXPECT_TRUE(open.Suffix.isEmpty());
    EXPECT_FALSE(open.Hidden);
}

TEST(DialogServices, AMessageBoxWithAShortTextIsWideEnoughForItsCaption)
{
    // A short text alone would give a box too narrow for a window manager's
    // title bar to show the caption whole next to its buttons.
    const QString caption = QStringLiteral("File open error while reading the selected tape image");
    QMessageBox box(QMessageBox::Critical, caption, QStringLiteral("Unknow file format!"), QMessageBox::Ok);
    WidenForCaption(box);
    box.show();
    Settle();
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    // Room for the caption and for an icon and three buttons beside it.
    EXPECT_GE(box.width(), QFontMetrics(titleFont).horizontalAdvance(caption) + 100);
    EXPECT_EQ(box.text(), QStringLiteral("Unknow file format!"));
    box.hide();
}
