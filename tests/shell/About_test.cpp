// The About box: read-only notes, and Close and Escape both closing it.
#include "tests/shell/Qt_test_app.h"

#include "shell/About.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

TEST(About, CloseAndEscapeCloseIt)
{
    TAboutF about;
    EXPECT_TRUE(about.VersionHistoryM->isReadOnly());

    QTimer::singleShot(0, &about, [&] { about.CloseB->click(); });
    about.Execute();
    EXPECT_FALSE(about.isVisible());

    bool shown = false;
    QTimer::singleShot(0, &about, [&] {
        shown = about.isVisible();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&about, &escape);
    });
    about.Execute();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(about.isVisible());
}
