// The registers view: moving the selection (the frame-tact field is never
// selected), what a refresh marks as changed, the frame-tact delta, the
// switch, clear, set and edit operations on the live processor, the actions
// offered for each kind of field, and keys through the tool window.
#include "tests/views/Debugger_views_fixture.h"

#include "core/Settings.h"
#include "views/Dasm_frame.h"
#include "views/Z80_frame.h"

#include <QAction>
#include <QKeyEvent>

namespace {

class RegistersView : public TDebuggerViewTest {
protected:
    RegistersView()
    {
        Cpu->PC = 0x8000;
        Cpu->SP = 0xFF00;
        Cpu->AF.W = 0x12C5;
        View = Open<TZ80F>(TIDE::KindZ80);
    }

    int Field(const char* label) const { return View->FieldIndex(QString::fromLatin1(label)); }
    const TZ80F::TZ80Field& F(const char* label) const { return View->Fields().at(std::size_t(Field(label))); }
    QString Text(const char* label) const { return View->FieldText(Field(label)); }
    QString SelectedLabel() const { return View->Fields().at(std::size_t(View->GetSelected())).Label; }
    void Select(const char* label) { View->SetSelected(Field(label)); }

    TZ80F* View = nullptr;
};

} // namespace

TEST_F(RegistersView, TheSelectionWrapsAndStepsOverTheFrameTactField)
{
    ASSERT_EQ(View->Fields().size(), std::size_t(TZ80F::FieldCount));
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    View->SelectPrevious();
    EXPECT_EQ(SelectedLabel(), QStringLiteral("IM"));
    View->SelectNext();
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    View->SelectLast();
    EXPECT_EQ(SelectedLabel(), QStringLiteral("IM"));
    View->SelectFirst();
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    bool handled = false;
    View->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(SelectedLabel(), QStringLiteral("IM"));
    int key = Qt::Key_Down;
    View->KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    EXPECT_EQ(key, 0);
}

TEST_F(RegistersView, APressSelectsTheFieldUnderItButNeverTheFrameTactField)
{
    View->Z80PBMouseDown(Qt::LeftButton, QPoint(80, 5));  // S=
    EXPECT_EQ(SelectedLabel(), QStringLiteral("S"));
    View->Z80PBMouseDown(Qt::LeftButton, QPoint(59, 5));  // right of PC's cell: nothing
    EXPECT_EQ(SelectedLabel(), QStringLiteral("S"));
    View->Z80PBMouseDown(Qt::LeftButton, QPoint(1, 3));   // PC's cell, its top-left corner
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    const TZ80F::TZ80Field& delta = F("TM=");
    View->Z80PBMouseDown(Qt::LeftButton, QPoint(delta.X + 10, delta.Y + 8));
    EXPECT_EQ(SelectedLabel(), QStringLiteral("PC "));
    // A double click on it does nothing either (no dialog, no change).
    TModalAnswer none(ExpressionF, [](QDialog&) {}, false);
    View->Z80PBDblClick(QPoint(delta.X + 10, delta.Y + 8));
    Settle();
    EXPECT_FALSE(none.WasShown());
    EXPECT_EQ(Cpu->PC, 0x8000);
}

TEST_F(RegistersView, ARefreshMarksWhatChangedSinceThePreviousOne)
{
    for (const TZ80F::TZ80Field& field : View->Fields())
        EXPECT_FALSE(field.Changed) << field.Label.toStdString();
    Cpu->BC.W = 0x0100;
    Cpu->AF.Lo() ^= FlagZ;
    Cpu->AltHL.W = 1;
    Cpu->R = 0x7F;
    View->UpdateView();
    std::vector<QString> changed;
    for (const TZ80F::TZ80Field& field : View->Fields())
        if (field.Changed)
            changed.push_back(field.Label);
    EXPECT_EQ(changed, (std::vector<QString>{QStringLiteral("BC "), QStringLiteral("AF "), QStringLiteral("HL'"),
                                             QStringLiteral("Z"), QStringLiteral("R ")}));
    View->UpdateView();
    for (const TZ80F::TZ80Field& field : View->Fields())
        EXPECT_FALSE(field.Changed) << field.Label.toStdString();
}

TEST_F(RegistersView, FieldsReadAsTheProcessorHoldsThem)
{
    Cpu->I = 0x3F;
    Cpu->R = 0x05;
    Cpu->R7 = 0x80;
    Cpu->IM = 1;
    Cpu->IFF1 = 1;
    Cpu->Tact = 14335;
    View->UpdateView();
    EXPECT_EQ(Text("PC "), QStringLiteral("PC 8000"));
    EXPECT_EQ(Text("AF "), QStringLiteral("AF 12C5"));
    EXPECT_EQ(Text("S"), QStringLiteral("S=1"));
    EXPECT_EQ(Text("Z"), QStringLiteral("Z=1"));
    EXPECT_EQ(Text("H"), QStringLiteral("H=0"));
    EXPECT_EQ(Text("C"), QStringLiteral("C=1"));
    EXPECT_EQ(Text("I "), QStringLiteral("I 3F"));
    EXPECT_EQ(Text("R "), QStringLiteral("R 85"));  // as LD A,R reads it
    EXPECT_EQ(Text("IFF1"), QStringLiteral("IFF1=1"));
    EXPECT_EQ(Text("IFF2"), QStringLiteral("IFF2=0"));
    EXPECT_EQ(Text("T="), QStringLiteral("T=14335"));
    EXPECT_EQ(Text("IM"), QStringLiteral("IM=1"));
}

TEST_F(RegistersView, OneTraceOfAFourTStateInstructionShowsFourAndABoldPC)
{
    Poke(0x8000, {0x00});  // NOP
    Cpu->Tact = 1000;
    View->UpdateView();
    ASSERT_TRUE(Computer->Step());
    View->UpdateView();
    EXPECT_EQ(View->GetDelta(), 4);
    EXPECT_EQ(Text("TM="), QStringLiteral("TM=4"));
    EXPECT_TRUE(F("PC ").Changed);
    EXPECT_FALSE(F("SP ").Changed);
    EXPECT_FALSE(F("TM=").Changed);
}

TEST_F(RegistersView, TheFrameTactDeltaCountsAcrossFramesBeyondThirtyTwoBits)
{
    const i64 frame = g_Settings->TStatesPerFrame;
    Cpu->Frame = 0;
    Cpu->Tact = 100;
    View->UpdateView();
    Cpu->Frame = 40000;  // some 13 minutes later
    Cpu->Tact = 50;
    View->UpdateView();
    EXPECT_EQ(View->GetDelta(), 40000 * frame - 50);
    EXPECT_EQ(Text("TM="), QString::number(40000 * frame - 50).prepend(QStringLiteral("TM=")));
}

TEST_F(RegistersView, EveryFieldShowsItsLongestTextWholeInTheFontInUse)
{
    // The longest texts: ten digits of frame-tact delta, a five-digit T=.
    Cpu->Frame = 0;
    Cpu->Tact = 0;
    View->UpdateView();
    Cpu->Frame = 20000;
    Cpu->Tact = 70000;
    Cpu->IM = 2;
    View->UpdateView();
    ASSERT_EQ(Text("TM=").size(), 13);
    Settle();
    const QFontMetrics bold(ViewFont(true));
    const auto& fields = View->Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const TZ80F::TZ80Field& field = fields[i];
        const QString text = View->FieldText(int(i));
        // The text starts 2 pixels in from the field's left; the cell ends
        // at its width.
        EXPECT_LE(2 + bold.horizontalAdvance(text), field.Width()) << text.toStdString();
        EXPECT_LE(field.X + field.Width(), View->Z80PB->width()) << text.toStdString();
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(fields[j].Rect().intersects(field.Rect()))
                << fields[j].Label.toStdString() << " and " << field.Label.toStdString();
    }
}

TEST_F(RegistersView, SwitchTogglesFlagsAndCyclesTheInterruptMode)
{
    Select("IM");
    Cpu->IM = 2;
    View->SwitchAExecute();
    EXPECT_EQ(Cpu->IM, 0);
    View->SwitchAExecute();
    EXPECT_EQ(Cpu->IM, 1);
    View->SwitchAExecute();
    EXPECT_EQ(Cpu->IM, 2);
    EXPECT_TRUE(F("IM").Changed);

    Select("H");
    const u8 f = Cpu->AF.Lo();
    View->SwitchAExecute();
    EXPECT_EQ(Cpu->AF.Lo(), f ^ FlagH);
    EXPECT_TRUE(F("H").Changed);
    EXPECT_EQ(Text("H"), QStringLiteral("H=1"));
    View->SwitchAExecute();
    EXPECT_EQ(Cpu->AF.Lo(), f);

    // A double click switches a flag too.
    const TZ80F::TZ80Field& iff2 = F("IFF2");
    View->Z80PBDblClick(QPoint(iff2.X + 5, iff2.Y + 5));
    EXPECT_EQ(Cpu->IFF2, 1);
}

TEST_F(RegistersView, ResetToZeroOnAFClearsAAndFAndTheSetFlagsTurnBold)
{
    Select("AF ");
    View->ResetToZeroAExecute();
    EXPECT_EQ(Cpu->AF.W, 0);
    for (const char* flag : {"S", "Z", "P", "C"}) {
        EXPECT_TRUE(F(flag).Changed) << flag;
        EXPECT_EQ(Text(flag), QString::fromLatin1(flag) + QStringLiteral("=0"));
    }
    for (const char* flag : {"5", "H", "3", "N"})
        EXPECT_FALSE(F(flag).Changed) << flag;

    Select("R ");
    Cpu->R = 0x85;
    Cpu->R7 = 0x80;
    View->ResetToZeroAExecute();
    EXPECT_EQ(Cpu->R, 0);
    EXPECT_EQ(Cpu->R7, 0);

    Select("N");
    View->SetToOneAExecute();
    EXPECT_EQ(Cpu->AF.Lo(), FlagN);
    View->ResetToZeroAExecute();
    EXPECT_EQ(Cpu->AF.Lo(), 0);
}

TEST_F(RegistersView, EditingRStoresItAsLdRADoes)
{
    Select("R ");
    QString caption;
    TModalAnswer answer(ExpressionF, [&](QDialog& dialog) {
        caption = dialog.windowTitle();
        TypeAndOk(QStringLiteral("#85"))(dialog);
    });
    View->EditAExecute();
    EXPECT_EQ(caption, QStringLiteral("Edit register R "));
    EXPECT_EQ(Cpu->R, 0x85);
    EXPECT_EQ(Cpu->R7, 0x80);
    EXPECT_EQ(Text("R "), QStringLiteral("R 85"));
    EXPECT_TRUE(F("R ").Changed);
}

TEST_F(RegistersView, EditingAPairUsesDollarAsPCAndLeavesAWaitingHalt)
{
    Cpu->Halted = 1;
    QString caption;
    QString okText;
    TModalAnswer answer(ExpressionF, [&](QDialog& dialog) {
        caption = dialog.windowTitle();
        okText = ExpressionF->OkBB->text();
        TypeAndOk(QStringLiteral("$+3"))(dialog);
    });
    const TZ80F::TZ80Field& pc = F("PC ");
    View->Z80PBDblClick(QPoint(pc.X + 5, pc.Y + 5));
    EXPECT_EQ(caption, QStringLiteral("Edit register pair PC "));
    EXPECT_EQ(okText, QStringLiteral("Update"));
    EXPECT_EQ(Cpu->PC, 0x8003);
    EXPECT_EQ(Cpu->Halted, 0);
    EXPECT_TRUE(F("PC ").Changed);
}

TEST_F(RegistersView, CancelWritesNothing)
{
    Select("SP ");
    TModalAnswer answer(ExpressionF, [&](QDialog&) {
        ExpressionF->ExprCB->setEditText(QStringLiteral("#1234"));
        ExpressionF->CancelBB->click();
    });
    View->EditAExecute();
    EXPECT_EQ(Cpu->SP, 0xFF00);
    EXPECT_FALSE(F("SP ").Changed);
}

TEST_F(RegistersView, TheFrameTactAndOneByteOfAPairAreEditedToo)
{
    Select("T=");
    {
        QString caption;
        TModalAnswer answer(ExpressionF, [&](QDialog& dialog) {
            caption = dialog.windowTitle();
            TypeAndOk(QStringLiteral("1234"))(dialog);
        });
        View->EditAExecute();
        EXPECT_EQ(caption, QStringLiteral("Edit curent frame tackt"));
        EXPECT_EQ(Cpu->Tact, 1234);
    }
    // Only a T-state within the frame: a value from the frame length up (or
    // below 0) is refused as a text that does not evaluate would be.
    const u32 frame = g_Settings->TStatesPerFrame;
    for (const QString& text : {QString::number(frame), QStringLiteral("-1"), QStringLiteral("#FFFFFFFF")}) {
        QString shown;
        bool okEnabled = true;
        TModalAnswer answer(ExpressionF, [&](QDialog&) {
            ExpressionF->ExprCB->setEditText(text);
            shown = ExpressionF->EvalP->text();
            okEnabled = ExpressionF->OkBB->isEnabled();
            ExpressionF->CancelBB->click();
        });
        View->EditAExecute();
        EXPECT_EQ(shown, QStringLiteral("Error!")) << text.toStdString();
        EXPECT_FALSE(okEnabled) << text.toStdString();
        EXPECT_EQ(Cpu->Tact, 1234);
    }
    {
        TModalAnswer answer(ExpressionF, TypeAndOk(QString::number(frame - 1)));
        View->EditAExecute();
        EXPECT_EQ(Cpu->Tact, static_cast<i32>(frame - 1));
    }
    Select("DE ");
    Cpu->DE.W = 0xAABB;
    {
        TModalAnswer answer(ExpressionF, TypeAndOk(QStringLiteral("#12")));
        View->EditHighByteAExecute();
    }
    EXPECT_EQ(Cpu->DE.W, 0x12BB);
    {
        TModalAnswer answer(ExpressionF, TypeAndOk(QStringLiteral("#34")));
        View->EditLowByteAExecute();
    }
    EXPECT_EQ(Cpu->DE.W, 0x1234);
}

TEST_F(RegistersView, TheActionsOfferedFollowTheSelectedField)
{
    struct TCase {
        const char* Label;
        bool Bytes;   // Edit High/Low Byte
        bool Switch;
        bool SetOne;
    };
    for (const TCase& c : {TCase{"HL ", true, false, false}, TCase{"P", false, true, true},
                           TCase{"IFF1", false, true, true}, TCase{"IM", false, true, false},
                           TCase{"I ", false, false, false}, TCase{"T=", false, false, false}}) {
        Select(c.Label);
        EXPECT_EQ(View->EditHighByteA->isVisible(), c.Bytes) << c.Label;
        EXPECT_EQ(View->EditLowByteA->isEnabled(), c.Bytes) << c.Label;
        EXPECT_EQ(View->SwitchA->isEnabled(), c.Switch) << c.Label;
        EXPECT_EQ(View->SetToOneA->isVisible(), c.SetOne) << c.Label;
        EXPECT_TRUE(View->ResetToZeroA->isEnabled()) << c.Label;
        EXPECT_TRUE(View->EditA->isEnabled()) << c.Label;
    }
}

TEST_F(RegistersView, ShortcutsAndKeysArriveThroughTheToolWindow)
{
    TFramesF* window = View->GetRootForm();
    ASSERT_NE(window, nullptr);
    View->SetActive();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(window, &down);
    EXPECT_EQ(SelectedLabel(), QStringLiteral("IM"));
    Cpu->IM = 0;
    QKeyEvent space(QEvent::ShortcutOverride, Qt::Key_Space, Qt::NoModifier);
    space.ignore();
    QApplication::sendEvent(window, &space);
    EXPECT_TRUE(space.isAccepted());
    EXPECT_EQ(Cpu->IM, 1);
}

TEST_F(RegistersView, AnEditBringsTheOtherViewsUpToDate)
{
    auto* dasm = Open<TDasmF>(TIDE::KindDasm);
    ASSERT_NE(dasm, nullptr);
    dasm->UpdateView();
    EXPECT_EQ(dasm->GetCursor(), 0x8000u);
    Select("PC ");
    TModalAnswer answer(ExpressionF, TypeAndOk(QStringLiteral("#9000")));
    View->EditAExecute();
    EXPECT_EQ(dasm->GetCursor(), 0x9000u);
    // This view's own refresh was the edit's: the new PC stays bold.
    EXPECT_TRUE(F("PC ").Changed);
}
