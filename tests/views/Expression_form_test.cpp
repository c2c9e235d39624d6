// The expression dialog: its state for valid and invalid texts, the value
// by size, a fresh evaluation at every opening, the history of entered
// texts, placement and the keyboard.
#include "tests/views/Debugger_views_fixture.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

class ExpressionDialog : public TDebuggerViewTest {
protected:
    TExpressionF& Dialog() { return *ExpressionF; }
    QColor EditBase() { return Dialog().ExprCB->lineEdit()->palette().color(QPalette::Base); }
    QColor ResultColour() { return Dialog().EvalP->palette().color(QPalette::WindowText); }

    // Opens the dialog, types the text and presses OK.
    bool Enter(const QString& text, i32 size, u16 dollar = 0)
    {
        TModalAnswer answer(&Dialog(), TypeAndOk(text));
        return Dialog().Execute(QStringLiteral("Caption"), QStringLiteral("Go to"), TExpressionF::KeepPosition,
                                dollar, size);
    }
};

} // namespace

TEST_F(ExpressionDialog, AnEmptyTextIsAnErrorOnYellowWithOkDisabled)
{
    EXPECT_EQ(Dialog().EvalP->text(), QStringLiteral("Error!"));
    EXPECT_FALSE(Dialog().OkBB->isEnabled());
    EXPECT_EQ(EditBase(), QColor(Qt::yellow));
    EXPECT_EQ(ResultColour(), QColor(Qt::red));
    EXPECT_FALSE(Dialog().IsValid());
    EXPECT_EQ(Dialog().GetValue(), nullptr);
    EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Expression"));
    EXPECT_EQ(Dialog().OkBB->text(), QStringLiteral("Go to"));
}

TEST_F(ExpressionDialog, TheValueShowsAsTheSizeAsksAndOkTakesIt)
{
    Cpu->HL.W = 0x4000;
    struct TCase {
        const char* Text;
        i32 Size;
        const char* Shown;
        u32 Value;
    };
    const std::vector<TCase> cases = {
        {"#1FF", TExpressionF::SizeByte, "#FF", 0xFF},
        {"hl+2", TExpressionF::SizeWord, "#4002", 0x4002},
        {"$-1", TExpressionF::SizeWord, "#7FFF", 0x7FFF},
        {"-5", TExpressionF::SizeDword, "-5", 0xFFFFFFFB},
        {"70000", TExpressionF::SizeDword, "70000", 70000},
    };
    for (const TCase& c : cases) {
        QString shown;
        TModalAnswer answer(&Dialog(), [&](QDialog& dialog) {
            Dialog().ExprCB->setEditText(QString::fromLatin1(c.Text));
            shown = Dialog().EvalP->text();
            EXPECT_TRUE(Dialog().OkBB->isEnabled()) << c.Text;
            EXPECT_EQ(EditBase(), QColor(Qt::white));
            static_cast<TExpressionF&>(dialog).OkBB->click();
        });
        ASSERT_TRUE(Dialog().Execute(QStringLiteral("Caption"), QStringLiteral("Update"),
                                     TExpressionF::KeepPosition, 0x8000, c.Size))
            << c.Text;
        EXPECT_EQ(shown, QString::fromLatin1(c.Shown)) << c.Text;
        EXPECT_EQ(Dialog().GetDword(), c.Value) << c.Text;
        EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Caption"));
        EXPECT_EQ(Dialog().OkBB->text(), QStringLiteral("Update"));
    }
    EXPECT_EQ(TExpressionF::FormatResult(3, 1), QStringLiteral("Error!"));
}

TEST_F(ExpressionDialog, AnInvalidTextCannotBeConfirmed)
{
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        Dialog().ExprCB->setEditText(QStringLiteral("nosuchname"));
        EXPECT_EQ(Dialog().EvalP->text(), QStringLiteral("Error!"));
        EXPECT_EQ(ResultColour(), QColor(Qt::red));
        Dialog().OkBB->click();  // disabled: nothing happens
        EXPECT_TRUE(Dialog().isVisible());
    });
    EXPECT_FALSE(Dialog().Execute(QStringLiteral("C"), QStringLiteral("Go to"), TExpressionF::KeepPosition, 0,
                                  TExpressionF::SizeWord));
}

TEST_F(ExpressionDialog, AKeptTextIsEvaluatedAfreshWithTheNewSizeAndDollar)
{
    ASSERT_TRUE(Enter(QStringLiteral("$+1"), TExpressionF::SizeWord, 0x8000));
    EXPECT_EQ(Dialog().GetWord(), 0x8001);
    // Confirmed at once, as a double word with another "$": the value is
    // that of this opening, not a word left from the last one.
    {
        TModalAnswer answer(&Dialog(), [&](QDialog&) {
            EXPECT_EQ(Dialog().EvalP->text(), QStringLiteral("17"));
            Dialog().OkBB->click();
        });
        ASSERT_TRUE(Dialog().Execute(QStringLiteral("C"), QStringLiteral("Update"), TExpressionF::KeepPosition, 0x10,
                                     TExpressionF::SizeDword));
    }
    EXPECT_EQ(Dialog().GetDword(), 0x11u);
    EXPECT_EQ(*static_cast<const u32*>(Dialog().GetValue()), 0x11u);
    // A register named in the text is read again too.
    ASSERT_TRUE(Enter(QStringLiteral("bc"), TExpressionF::SizeWord));
    Cpu->BC.W = 0x1234;
    TModalAnswer answer(&Dialog(), [&](QDialog&) { Dialog().OkBB->click(); });
    ASSERT_TRUE(Dialog().Execute(QStringLiteral("C"), QStringLiteral("Update"), TExpressionF::KeepPosition, 0,
                                 TExpressionF::SizeWord));
    EXPECT_EQ(Dialog().GetWord(), 0x1234);
}

TEST_F(ExpressionDialog, TheValueIsTheDialogsOwnAndOutlivesOtherEvaluations)
{
    ASSERT_TRUE(Enter(QStringLiteral("#1234"), TExpressionF::SizeWord));
    ASSERT_NE(g_Expression->Evaluate("#5678", 1, 0), nullptr);
    EXPECT_EQ(*static_cast<const u16*>(Dialog().GetValue()), 0x1234);
}

TEST_F(ExpressionDialog, CancelReturnsFalseAndKeepsTheText)
{
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        Dialog().ExprCB->setEditText(QStringLiteral("#10"));
        Dialog().CancelBB->click();
    });
    EXPECT_FALSE(Dialog().Execute(QStringLiteral("C"), QStringLiteral("Go to"), TExpressionF::KeepPosition, 0,
                                  TExpressionF::SizeWord));
    EXPECT_EQ(Dialog().ExprCB->currentText(), QStringLiteral("#10"));
}

TEST_F(ExpressionDialog, ConfirmedTextsFormAHistoryNewestFirstWithoutRepeats)
{
    ASSERT_TRUE(Enter(QStringLiteral("#10"), TExpressionF::SizeWord));
    ASSERT_TRUE(Enter(QStringLiteral("#20"), TExpressionF::SizeWord));
    ASSERT_TRUE(Enter(QStringLiteral("#10"), TExpressionF::SizeWord));
    QStringList items;
    for (int i = 0; i < Dialog().ExprCB->count(); ++i)
        items << Dialog().ExprCB->itemText(i);
    EXPECT_EQ(items, (QStringList{QStringLiteral("#10"), QStringLiteral("#20")}));
    for (int i = 0; i < TExpressionF::HistoryLimit + 4; ++i)
        ASSERT_TRUE(Enter(QString::number(i), TExpressionF::SizeWord));
    EXPECT_EQ(Dialog().ExprCB->count(), TExpressionF::HistoryLimit);
    EXPECT_EQ(Dialog().ExprCB->itemText(0), QString::number(TExpressionF::HistoryLimit + 3));
}

TEST_F(ExpressionDialog, APositionMovesTheDialogAndNoneLeavesIt)
{
    QPoint shownAt;
    {
        TModalAnswer answer(&Dialog(), [&](QDialog& dialog) { shownAt = dialog.pos(); });
        Dialog().Execute(QStringLiteral("C"), QStringLiteral("Update"), QPoint(120, 140), 0, 1);
    }
    EXPECT_EQ(shownAt, QPoint(120, 140));
    TModalAnswer answer(&Dialog(), [&](QDialog& dialog) { shownAt = dialog.pos(); });
    Dialog().Execute(QStringLiteral("C"), QStringLiteral("Update"), TExpressionF::KeepPosition, 0, 1);
    EXPECT_EQ(shownAt, QPoint(120, 140));
}

TEST_F(ExpressionDialog, EnterConfirmsOnlyAValidText)
{
    auto pressEnter = [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(Dialog().ExprCB->lineEdit(), &press);
    };
    bool stillOpen = false;
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        Dialog().ExprCB->setEditText(QStringLiteral("(1"));
        pressEnter();
        stillOpen = Dialog().isVisible();
        Dialog().ExprCB->setEditText(QStringLiteral("(1)"));
        pressEnter();
    });
    EXPECT_TRUE(Dialog().Execute(QStringLiteral("C"), QStringLiteral("Go to"), TExpressionF::KeepPosition, 0, 1));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Dialog().GetWord(), 1);
}
