// The one-line assembler dialog: the bytes or the assembler's message at
// every keystroke, Set only for a line that assembles, and a kept line
// assembled again at the address of the next opening.
#include "tests/views/Debugger_views_fixture.h"

namespace {

class QuickAsmDialog : public TDebuggerViewTest {
protected:
    TQuickAsmF& Dialog() { return *QuickAsmF; }
};

} // namespace

TEST_F(QuickAsmDialog, ALineThatAssemblesShowsItsAddressAndBytes)
{
    QString shown;
    bool okEnabled = false;
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        Dialog().ExprCB->setEditText(QStringLiteral("LD A,5"));
        shown = Dialog().EvalP->text();
        okEnabled = Dialog().OkBB->isEnabled();
        Dialog().OkBB->click();
    });
    EXPECT_EQ(Dialog().Execute(0x8000), QDialog::Accepted);
    EXPECT_EQ(shown, QStringLiteral("  #8000: #3E #05 "));
    EXPECT_TRUE(okEnabled);
    const TQAResult* result = Dialog().GetResult();
    ASSERT_EQ(result->Error, 0);
    ASSERT_EQ(result->Size, 2);
    EXPECT_EQ(result->Code[0], 0x3E);
    EXPECT_EQ(result->Code[1], 0x05);
    EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Enter assembler instruction"));
    EXPECT_EQ(Dialog().OkBB->text(), QStringLiteral("Set"));
}

TEST_F(QuickAsmDialog, AnUnknownMnemonicShowsTheAssemblersMessageAndCannotBeSet)
{
    const std::string message = g_QuickAsm.Assemble(0x8000, "FROB A")->Message;
    ASSERT_FALSE(message.empty());
    QString shown;
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        Dialog().ExprCB->setEditText(QStringLiteral("FROB A"));
        shown = Dialog().EvalP->text();
        EXPECT_FALSE(Dialog().OkBB->isEnabled());
        EXPECT_EQ(Dialog().EvalP->palette().color(QPalette::WindowText), QColor(Qt::red));
        Dialog().OkBB->click();
        EXPECT_TRUE(Dialog().isVisible());
    });
    EXPECT_EQ(Dialog().Execute(0x8000), QDialog::Rejected);
    EXPECT_EQ(shown, QString::fromStdString("  Error! " + message));
    EXPECT_NE(Dialog().GetResult()->Error, 0);
}

TEST_F(QuickAsmDialog, ReopeningAtANewAddressAssemblesTheKeptLineThere)
{
    {
        TModalAnswer answer(&Dialog(), TypeAndOk(QStringLiteral("JP $")));
        ASSERT_EQ(Dialog().Execute(0x8000), QDialog::Accepted);
    }
    QString shown;
    TModalAnswer answer(&Dialog(), [&](QDialog&) {
        shown = Dialog().EvalP->text();
        Dialog().OkBB->click();
    });
    ASSERT_EQ(Dialog().Execute(0x9000), QDialog::Accepted);
    EXPECT_EQ(shown, QStringLiteral("  #9000: #C3 #00 #90 "));
    EXPECT_EQ(Dialog().GetResult()->Code[2], 0x90);
}

TEST_F(QuickAsmDialog, TheResultIsTheDialogsOwnCopy)
{
    {
        TModalAnswer answer(&Dialog(), TypeAndOk(QStringLiteral("NOP")));
        ASSERT_EQ(Dialog().Execute(0x8000), QDialog::Accepted);
    }
    g_QuickAsm.Assemble(0, "LD BC,#1234");
    EXPECT_EQ(Dialog().GetResult()->Size, 1);
    EXPECT_EQ(Dialog().GetResult()->Code[0], 0x00);
}
