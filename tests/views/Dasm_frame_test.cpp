// The disassembly view: rows and scrolling, following PC, the cursor under
// keys, wheel and mouse, Go to, Follow, the one-line assembler writing into
// memory and repainting the views that show it, Set PC and a run to the
// cursor on the real machine.
#include "tests/views/Debugger_views_fixture.h"

#include "views/Dasm_frame.h"
#include "views/Memory_frame.h"
#include "views/Z80_frame.h"

#include <QImage>

#include <chrono>
#include <random>

namespace {

// A view over a plain 64K array, on screen with a 390-pixel client area.
class DasmView : public ::testing::Test {
protected:
    DasmView()
    {
        auto memory = std::make_unique<TArrayMemory>();
        Memory = memory.get();
        View = new TDasmF(&Owner);
        View->SetSource(std::move(memory), nullptr);
        View->resize(290, 390);
        View->show();
        Settle();
    }
    ~DasmView() override { delete View; }

    // NOPs everywhere but the instructions put.
    void Code(u16 address, const std::vector<u8>& bytes) { Memory->Put(address, bytes); }

    QWidget Owner;
    TDasmF* View;
    TArrayMemory* Memory;
};

// The view on the machine, with the two dialogs.
class DasmMachineView : public TDebuggerViewTest {
protected:
    DasmMachineView()
    {
        Cpu->PC = 0x8000;
        Cpu->IFF1 = Cpu->IFF2 = 0;
        View = Open<TDasmF>(TIDE::KindDasm);
        View->UpdateView();
    }
    TDasmF* View = nullptr;
};

} // namespace

TEST_F(DasmView, A390PixelViewPaintsThirtyThreeRowsTheLastOneCut)
{
    ASSERT_EQ(View->ClientHeight(), 390);
    View->LayoutRows();
    EXPECT_EQ(View->GetRowCount(), 33);
    for (int i = 0; i <= 33; ++i)
        EXPECT_EQ(View->GetRowStart(i), u32(i)) << i;  // NOPs: a byte a row
}

TEST_F(DasmView, RowsFollowTheInstructionLengthsAndGoOnPastTheEnd)
{
    View->SetTop(0);
    Code(0, {0x21, 0x00, 0x40, 0xDD, 0x36, 0x01, 0x02, 0xED, 0xB0});
    View->LayoutRows();
    EXPECT_EQ(View->GetRowStart(1), 3u);
    EXPECT_EQ(View->GetRowStart(2), 7u);
    EXPECT_EQ(View->GetRowStart(3), 9u);
    // The top stops at memory size - client height; rows then run on past
    // 0xFFFF unreduced.
    View->SetTop(0xFFFF);
    EXPECT_EQ(View->GetTop(), 0x10000u - 390);
    View->LayoutRows();
    EXPECT_EQ(View->GetRowStart(View->GetRowCount()), 0x10000u - 390 + 33);
}

TEST_F(DasmView, GoToNearTheEndPutsTheCursorThereAndTheTopAtTheLimit)
{
    TExpressionF dialog(&Owner);
    ExpressionF = &dialog;
    {
        QString caption;
        TModalAnswer answer(&dialog, [&](QDialog& d) {
            caption = d.windowTitle();
            TypeAndOk(QStringLiteral("#FFF0"))(d);
        });
        View->GotoAddressAExecute();
        EXPECT_EQ(caption, QStringLiteral("Enter Address to Position to"));
    }
    EXPECT_EQ(View->GetCursor(), 0xFFF0u);
    EXPECT_EQ(View->GetTop(), 0xFE7Au);
    ExpressionF = nullptr;
}

TEST_F(DasmView, KeysMoveTheCursorAndScrollAtTheEdges)
{
    View->SetTop(0x8000);
    View->SetCursor(0x8000);
    int key = Qt::Key_Down;
    View->KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(View->GetCursor(), 0x8001u);
    EXPECT_EQ(View->GetTop(), 0x8000u);
    // Down on the second-to-last row scrolls one instruction.
    View->SetCursor(0x8000 + 31);
    View->CursorDown();
    EXPECT_EQ(View->GetCursor(), 0x8020u);
    EXPECT_EQ(View->GetTop(), 0x8001u);
    // Up on the top row scrolls back.
    View->SetCursor(0x8001);
    View->CursorUp();
    EXPECT_EQ(View->GetCursor(), 0x8000u);
    EXPECT_EQ(View->GetTop(), 0x8000u);

    key = Qt::Key_PageDown;
    View->KeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(View->GetCursor(), 0x8000u + 31);
    key = Qt::Key_PageUp;
    View->KeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(View->GetCursor(), 0x8000u);
    key = Qt::Key_PageDown;
    View->KeyDown(key, Qt::ShiftModifier);
    EXPECT_EQ(View->GetTop(), 0x8000u + 33);
    EXPECT_EQ(View->GetCursor(), 0x8000u + 33);
    key = Qt::Key_Up;
    View->KeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(View->GetTop(), 0x8000u + 32);
    EXPECT_EQ(View->GetCursor(), 0x8000u + 33);
    key = Qt::Key_F1;
    View->KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(key, Qt::Key_F1);
}

TEST_F(DasmView, TheWheelScrollsMovesTheCursorOrPagesByItsModifier)
{
    View->SetTop(0x8000);
    View->SetCursor(0x8005);
    bool handled = false;
    View->MouseWheelDown(Qt::NoModifier, QPoint(), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(View->GetTop(), 0x8001u);
    View->MouseWheelDown(Qt::ShiftModifier, QPoint(), handled);
    EXPECT_EQ(View->GetCursor(), 0x8006u);
    View->MouseWheelDown(Qt::ControlModifier | Qt::ShiftModifier, QPoint(), handled);
    EXPECT_EQ(View->GetTop(), 0x8001u + 33);
    View->MouseWheelUp(Qt::ControlModifier, QPoint(), handled);
    EXPECT_EQ(View->GetTop(), 0x8001u);
    View->MouseWheelUp(Qt::NoModifier, QPoint(), handled);
    EXPECT_EQ(View->GetTop(), 0x8000u);
}

TEST_F(DasmView, APressPutsTheCursorOnTheRowUnderIt)
{
    View->SetTop(0x8000);
    Code(0x8000, {0x01, 0x00, 0x00});  // a three-byte first row
    View->PBMouseDown(Qt::LeftButton, QPoint(100, 2 + 12 * 4 + 5));
    EXPECT_EQ(View->GetCursor(), 0x8006u);
    View->PBMouseDown(Qt::RightButton, QPoint(10, 1));
    EXPECT_EQ(View->GetCursor(), 0x8000u);
    View->PBMouseDown(Qt::LeftButton, QPoint(10, 100000));  // below every row: the last one
    EXPECT_EQ(View->GetCursor(), View->GetRowStart(View->GetRowCount() - 1));
}

TEST_F(DasmView, FollowGoesToAJumpsTargetAndCallerComesBack)
{
    View->SetTop(0x8000);
    Code(0x8000, {0xCD, 0x00, 0x90});  // CALL 9000
    Code(0x9000, {0x18, 0xFE});        // JR 9000
    Code(0x9002, {0xEF});              // RST 28
    View->SetCursor(0x8000);
    View->FollowAExecute();
    EXPECT_EQ(View->GetCursor(), 0x9000u);
    View->LayoutRows();
    EXPECT_EQ(View->GetRowStart(2), 0x9000u);  // brought into view, two rows down
    View->FollowAExecute();
    EXPECT_EQ(View->GetCursor(), 0x9000u);
    View->SetCursor(0x9002);
    View->FollowAExecute();
    EXPECT_EQ(View->GetCursor(), 0x28u);
    View->SetCursor(0x28);  // a NOP: nothing to follow
    View->FollowAExecute();
    EXPECT_EQ(View->GetCursor(), 0x28u);
    View->CallerAExecute();
    EXPECT_EQ(View->GetCursor(), 0x9002u);
    View->CallerAExecute();
    View->CallerAExecute();
    EXPECT_EQ(View->GetCursor(), 0x8000u);
    View->CallerAExecute();  // nothing left
    EXPECT_EQ(View->GetCursor(), 0x8000u);
}

TEST_F(DasmView, FollowTakesEveryJumpKindToItsTargetAndNothingElse)
{
    // Each jump, call and restart of the Z80 manual with its target when the
    // instruction sits at `at` followed by the bytes 34 12: nn = 0x1234,
    // e = +0x34 (from the next instruction), RST p goes to p.
    struct TJump {
        u8 Opcode;
        const char* Name;
        enum { Absolute, Relative, Restart } Kind;
        u16 RestartAddress = 0;
    };
    const TJump jumps[] = {
        {0xC3, "JP nn", TJump::Absolute},
        {0xC2, "JP NZ,nn", TJump::Absolute}, {0xCA, "JP Z,nn", TJump::Absolute},
        {0xD2, "JP NC,nn", TJump::Absolute}, {0xDA, "JP C,nn", TJump::Absolute},
        {0xE2, "JP PO,nn", TJump::Absolute}, {0xEA, "JP PE,nn", TJump::Absolute},
        {0xF2, "JP P,nn", TJump::Absolute},  {0xFA, "JP M,nn", TJump::Absolute},
        {0xCD, "CALL nn", TJump::Absolute},
        {0xC4, "CALL NZ,nn", TJump::Absolute}, {0xCC, "CALL Z,nn", TJump::Absolute},
        {0xD4, "CALL NC,nn", TJump::Absolute}, {0xDC, "CALL C,nn", TJump::Absolute},
        {0xE4, "CALL PO,nn", TJump::Absolute}, {0xEC, "CALL PE,nn", TJump::Absolute},
        {0xF4, "CALL P,nn", TJump::Absolute},  {0xFC, "CALL M,nn", TJump::Absolute},
        {0x18, "JR e", TJump::Relative},
        {0x20, "JR NZ,e", TJump::Relative}, {0x28, "JR Z,e", TJump::Relative},
        {0x30, "JR NC,e", TJump::Relative}, {0x38, "JR C,e", TJump::Relative},
        {0x10, "DJNZ e", TJump::Relative},
        {0xC7, "RST 00", TJump::Restart, 0x00}, {0xCF, "RST 08", TJump::Restart, 0x08},
        {0xD7, "RST 10", TJump::Restart, 0x10}, {0xDF, "RST 18", TJump::Restart, 0x18},
        {0xE7, "RST 20", TJump::Restart, 0x20}, {0xEF, "RST 28", TJump::Restart, 0x28},
        {0xF7, "RST 30", TJump::Restart, 0x30}, {0xFF, "RST 38", TJump::Restart, 0x38},
    };
    // Every other first byte (RET, RET cc, JP (HL), the prefixes, data
    // instructions with the same bit patterns) has no target: the cursor stays.
    for (u16 at : {u16(0x8000), u16(0xFFF0)}) {  // 0xFFF0 + 2 + 0x34 wraps to 0x0026
        for (int op = 0; op <= 0xFF; ++op) {
            Code(at, {static_cast<u8>(op), 0x34, 0x12});
            const TJump* jump = nullptr;
            for (const TJump& j : jumps)
                if (j.Opcode == op)
                    jump = &j;
            u16 expected = at;
            if (jump && jump->Kind == TJump::Absolute)
                expected = 0x1234;
            else if (jump && jump->Kind == TJump::Relative)
                expected = static_cast<u16>(at + 2 + 0x34);
            else if (jump)
                expected = jump->RestartAddress;
            View->SetCursor(at);
            View->FollowAExecute();
            EXPECT_EQ(View->GetCursor(), u32(expected)) << (jump ? jump->Name : "opcode") << " " << op << " at " << at;
        }
    }
    // Backwards, by the largest step: e = -128 and e = -2 (a jump to itself).
    for (u8 op : {0x18, 0x20, 0x28, 0x30, 0x38, 0x10}) {
        Code(0x8000, {op, 0x80});
        View->SetCursor(0x8000);
        View->FollowAExecute();
        EXPECT_EQ(View->GetCursor(), 0x7F82u) << int(op);
        Code(0x8000, {op, 0xFE});
        View->SetCursor(0x8000);
        View->FollowAExecute();
        EXPECT_EQ(View->GetCursor(), 0x8000u) << int(op);
    }
}

TEST_F(DasmView, TheCursorRowIsPaintedInTheHighlightColours)
{
    View->SetTop(0x8000);
    View->SetCursor(0x8003);
    const QImage picture = View->PB->grab().toImage();
    View->LayoutRows();
    ASSERT_EQ(View->GetCursorRow(), 3);
    EXPECT_EQ(QColor(picture.pixel(1, 12 * 3 + 8)), View->GetFrameColor(0, true));
    EXPECT_EQ(QColor(picture.pixel(1, 12 * 4 + 8)), View->GetFrameColor(0, false));
    EXPECT_NE(View->GetFrameColor(0, true), View->GetFrameColor(0, false));
}

TEST_F(DasmView, RandomCodeAndRandomInputKeepTheCursorAndTopInRange)
{
    std::mt19937 random(7);
    for (u8& b : Memory->Bytes)
        b = std::array<u8, 8>{0xDD, 0xFD, 0xCB, 0xED, 0x18, 0xC3, 0x00, static_cast<u8>(random())}[random() & 7];
    const int keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    for (int i = 0; i < 400; ++i) {
        const Qt::KeyboardModifiers shift = (random() & 1) ? Qt::ControlModifier : Qt::NoModifier;
        bool handled = false;
        int key = keys[random() & 3];
        switch (random() % 6) {
        case 0: View->KeyDown(key, shift); break;
        case 1: View->MouseWheelDown(shift, QPoint(), handled); break;
        case 2: View->MouseWheelUp(shift, QPoint(), handled); break;
        case 3: View->PBMouseDown(Qt::LeftButton, QPoint(100, int(random() % 400))); break;
        case 4: View->FollowAExecute(); break;
        default: View->CallerAExecute(); break;
        }
        ASSERT_LE(View->GetCursor(), 0xFFFFu);
        ASSERT_LE(View->GetTop(), 0x10000u - 390);
    }
    EXPECT_FALSE(View->PB->grab().isNull());
}

// ---------------------------------------------------------------------------
// On the machine

TEST_F(DasmMachineView, ARefreshKeepsTheTopWhilePCIsInViewAndFollowsAJump)
{
    Poke(0x8000, {0x00, 0x00, 0xC3, 0x00, 0x90});  // NOP, NOP, JP 9000
    for (u16 a = 0x8FF0; a < 0x9010; ++a)
        Poke(a, {0x00});
    const u32 top = View->GetTop();
    ASSERT_TRUE(Computer->Step());
    View->UpdateView();
    EXPECT_EQ(View->GetTop(), top);
    EXPECT_EQ(View->GetCursor(), 0x8001u);
    ASSERT_TRUE(Computer->Step());
    ASSERT_TRUE(Computer->Step());
    ASSERT_EQ(Cpu->PC, 0x9000);
    View->UpdateView();
    View->LayoutRows();
    EXPECT_EQ(View->GetRowStart(2), 0x9000u);
    EXPECT_EQ(View->GetCursor(), 0x9000u);
}

TEST_F(DasmMachineView, QuickAssemblingWritesAtTheCursorAndMovesPastTheInstruction)
{
    View->SetCursor(0x8000);
    {
        TModalAnswer answer(QuickAsmF, TypeAndOk(QStringLiteral("LD BC,#1234")));
        View->QuickAsmAExecute();
    }
    EXPECT_EQ(Computer->Memory->ReadByte(0x8000), 0x01);
    EXPECT_EQ(Computer->Memory->ReadWord(0x8001), 0x1234);
    EXPECT_EQ(View->GetCursor(), 0x8003u);
    // Cancelled: nothing written, the cursor stays.
    {
        TModalAnswer answer(QuickAsmF, [](QDialog& dialog) { dialog.reject(); });
        View->QuickAsmAExecute();
    }
    EXPECT_EQ(View->GetCursor(), 0x8003u);
    // On ROM nothing changes in memory, and the cursor still moves on.
    const u8 rom = Computer->Memory->ReadByte(0x0000);
    View->SetCursor(0x0000);
    {
        TModalAnswer answer(QuickAsmF, TypeAndOk(QStringLiteral("HALT")));
        View->QuickAsmAExecute();
    }
    EXPECT_EQ(Computer->Memory->ReadByte(0x0000), rom);
    EXPECT_EQ(View->GetCursor(), 0x0001u);
}

// Counts the paint events of a widget.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(DasmMachineView, ASetRepaintsThisViewAndTheMemoryViewAtOnce)
{
    auto* memory = Open<TMemoryF>(TIDE::KindMemory);
    View->SetCursor(0x8000);
    Settle();
    TPaintCounter dasmPaints(View->PB);
    TPaintCounter memoryPaints(memory->MemoryPB);
    {
        TModalAnswer answer(QuickAsmF, TypeAndOk(QStringLiteral("LD BC,#1234")));
        View->QuickAsmAExecute();
    }
    Settle();
    EXPECT_GT(dasmPaints.Paints, 0);
    EXPECT_GT(memoryPaints.Paints, 0);
}

TEST_F(DasmMachineView, ADoubleClickOnTheAddressColumnGoesToAndElsewhereAssembles)
{
    View->SetTop(0x8000);
    QString title;
    {
        TModalAnswer answer(ExpressionF, [&](QDialog& dialog) {
            title = dialog.windowTitle();
            TypeAndOk(QStringLiteral("pc+#100"))(dialog);
        });
        View->PBDblClick(QPoint(10, 20));
    }
    EXPECT_EQ(title, QStringLiteral("Enter Address to Position to"));
    EXPECT_EQ(View->GetCursor(), 0x8100u);
    {
        TModalAnswer answer(QuickAsmF, [&](QDialog& dialog) {
            title = dialog.windowTitle();
            dialog.reject();
        });
        View->PBDblClick(QPoint(100, 20));
    }
    EXPECT_EQ(title, QStringLiteral("Enter assembler instruction"));
}

TEST_F(DasmMachineView, SetPCMovesTheProcessorOutOfAHaltAndTheRegistersViewShowsIt)
{
    auto* registers = Open<TZ80F>(TIDE::KindZ80);
    Cpu->Halted = 1;
    View->SetCursor(0x8123);
    View->SetPCOnCurrentLineAExecute();
    EXPECT_EQ(Cpu->PC, 0x8123);
    EXPECT_EQ(Cpu->Halted, 0);
    EXPECT_EQ(registers->FieldText(0), QStringLiteral("PC 8123"));
    EXPECT_EQ(View->GetCursor(), 0x8123u);
}

TEST_F(DasmMachineView, ShowExecutionPointPutsPCOnTheTopRow)
{
    View->SetTop(0x1000);
    View->SetCursor(0x1000);
    View->ShowExecutionPointAExecute();
    EXPECT_EQ(View->GetCursor(), 0x8000u);
    EXPECT_EQ(View->GetTop(), 0x8000u);
}

TEST_F(DasmMachineView, RunToCursorStopsThereAndRefreshesTheViews)
{
    // A loop at 0x8000: four NOPs and JR back; the cursor on the third NOP.
    Poke(0x8000, {0x00, 0x00, 0x00, 0x00, 0x18, 0xFA});
    auto* registers = Open<TZ80F>(TIDE::KindZ80);
    View->SetCursor(0x8002);
    View->RunToCursorAExecute();
    EXPECT_TRUE(Host.UiPoster.PumpUntil([&] { return !Computer->IsRunActive(); }, std::chrono::seconds(10)));
    EXPECT_EQ(Cpu->PC, 0x8002);
    EXPECT_EQ(Computer->GetRunTo(), TComputer::NoRunTo);
    EXPECT_EQ(registers->FieldText(0), QStringLiteral("PC 8002"));
    EXPECT_EQ(View->GetCursor(), 0x8002u);
}

TEST_F(DasmMachineView, ARunEndingAfterItsViewClosedIsHarmless)
{
    Poke(0x8000, {0x00, 0x00, 0x00, 0x00, 0x18, 0xFA});
    View->SetCursor(0x8003);
    View->RunToCursorAExecute();
    View->GetRootForm()->close();
    Settle();
    EXPECT_TRUE(Host.UiPoster.PumpUntil([&] { return !Computer->IsRunActive(); }, std::chrono::seconds(10)));
    EXPECT_EQ(Cpu->PC, 0x8003);
}
