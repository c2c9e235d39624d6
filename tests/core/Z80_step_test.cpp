// What no vector covers: the step around the instruction (interrupt window
// and acceptance, the halted marker, the frame report and the clock), reset,
// step over, the bounded prefix run and the LD A,I/R P/V rule.
#include "tests/core/Z80_test_machine.h"

#include <gtest/gtest.h>

namespace {

class Z80Step : public testing::Test {
protected:
    Z80Step()
    {
        Cpu.Reset();
        Cpu.SP = 0xF000;
        Cpu.PC = 0x8000;
        Cpu.InterruptAllowed = 1;
        Cpu.Tact = 1000;  // outside the interrupt window
    }

    void EnableInterrupts(u8 mode)
    {
        Cpu.IFF1 = Cpu.IFF2 = 1;
        Cpu.IM = mode;
    }
    u16 StackWord() const { return static_cast<u16>(Machine.Peek(Cpu.SP) | Machine.Peek(static_cast<u16>(Cpu.SP + 1)) << 8); }

    TZ80TestMachine Machine;
    TZ80& Cpu = Machine.Cpu;
};

// --- Interrupt window and acceptance ---

TEST_F(Z80Step, InterruptIsAcceptedOnlyInsideTheWindow)
{
    EnableInterrupts(1);
    for (i32 tact : {0, 1, 25, 100, 71679}) {
        Cpu.PC = 0x8000;
        Cpu.Tact = tact;
        Machine.TimedStep();
        EXPECT_EQ(Cpu.PC, 0x8001) << "NOP executed at T-state " << tact;
        EXPECT_EQ(Cpu.IFF1, 1);
    }
    for (i32 tact : {2, 13, 24}) {
        EnableInterrupts(1);
        Cpu.PC = 0x8000;
        Cpu.SP = 0xF000;
        Cpu.Tact = tact;
        EXPECT_EQ(Machine.TimedStep(), 13) << "at T-state " << tact;
        EXPECT_EQ(Cpu.PC, 0x0038);
        EXPECT_EQ(Cpu.WZ, 0x0038);
        EXPECT_EQ(Cpu.SP, 0xEFFE);
        EXPECT_EQ(StackWord(), 0x8000);
        EXPECT_EQ(Cpu.IFF1, 0);
        EXPECT_EQ(Cpu.IFF2, 0);
    }
}

TEST_F(Z80Step, InterruptIsRefusedWithIff1ClearOrRightAfterEi)
{
    Cpu.IFF1 = 0;
    Cpu.IFF2 = 1;
    Cpu.IM = 1;
    Cpu.Tact = 5;
    Machine.TimedStep();
    EXPECT_EQ(Cpu.PC, 0x8001);

    // EI; NOP: the NOP after EI runs first, the next boundary accepts.
    Machine.Poke(0x8000, {0xFB, 0x00, 0x00});
    Cpu.PC = 0x8000;
    Cpu.IM = 1;
    Cpu.Tact = 2;
    EXPECT_EQ(Machine.TimedStep(), 4);  // EI
    EXPECT_EQ(Cpu.InterruptAllowed, 0);
    EXPECT_EQ(Machine.TimedStep(), 4);  // NOP, though IFF1 is set inside the window
    EXPECT_EQ(Cpu.PC, 0x8002);
    EXPECT_EQ(Machine.TimedStep(), 13);
    EXPECT_EQ(Cpu.PC, 0x0038);
    EXPECT_EQ(StackWord(), 0x8002);
}

TEST_F(Z80Step, InterruptModeTwoReadsTheVectorAtIAndFF)
{
    EnableInterrupts(2);
    Cpu.I = 0x3B;
    Machine.Poke(0x3BFF, {0x34, 0x12});
    Cpu.Tact = 10;
    EXPECT_EQ(Machine.TimedStep(), 19);
    EXPECT_EQ(Cpu.PC, 0x1234);
    EXPECT_EQ(Cpu.WZ, 0x1234);
    EXPECT_EQ(StackWord(), 0x8000);
}

TEST_F(Z80Step, InterruptModeZeroActsAsModeOne)
{
    EnableInterrupts(0);
    Cpu.Tact = 10;
    EXPECT_EQ(Machine.TimedStep(), 13);
    EXPECT_EQ(Cpu.PC, 0x0038);
}

TEST_F(Z80Step, AcknowledgeCountsOneRefreshCycle)
{
    EnableInterrupts(1);
    Cpu.R = 0x7F;
    Cpu.R7 = 0x80;
    Cpu.Tact = 10;
    Machine.TimedStep();
    EXPECT_EQ((Cpu.R & 0x7F) | Cpu.R7, 0x80);  // bits 0-6 wrap, bit 7 kept
}

// --- The halted marker ---

TEST_F(Z80Step, HaltWaitsOnItselfUntilTheInterruptReturnsPastIt)
{
    // EI; HALT
    Machine.Poke(0x8000, {0xFB, 0x76});
    EnableInterrupts(1);
    Cpu.IFF1 = Cpu.IFF2 = 0;
    Cpu.Tact = 71000;
    Machine.TimedStep();  // EI
    for (int i = 0; i < 10; ++i) {
        const u8 r = Cpu.R;
        EXPECT_EQ(Machine.TimedStep(), 4);
        EXPECT_EQ(Cpu.PC, 0x8001);
        EXPECT_EQ(Cpu.Halted, 1);
        EXPECT_EQ(static_cast<u8>(Cpu.R - r), 1);
    }
    Cpu.Tact = 20;
    EXPECT_EQ(Machine.TimedStep(), 13);
    EXPECT_EQ(Cpu.PC, 0x0038);
    EXPECT_EQ(Cpu.Halted, 0);
    EXPECT_EQ(StackWord(), 0x8002);
}

TEST_F(Z80Step, EiThenHaltTakesTheInterruptAfterTheHalt)
{
    Machine.Poke(0x8000, {0xFB, 0x76});
    Cpu.IM = 1;
    Cpu.Tact = 2;
    Machine.TimedStep();  // EI at T-state 2
    EXPECT_EQ(Machine.TimedStep(), 4);  // HALT executes: the step after EI refuses
    EXPECT_EQ(Cpu.Halted, 1);
    EXPECT_EQ(Machine.TimedStep(), 13);
    EXPECT_EQ(StackWord(), 0x8002);
}

TEST_F(Z80Step, AnInterruptBeforeAnUnexecutedHaltReturnsToIt)
{
    Machine.Poke(0x8000, {0x76});
    EnableInterrupts(1);
    Cpu.Halted = 0;
    Cpu.Tact = 10;
    Machine.TimedStep();
    EXPECT_EQ(StackWord(), 0x8000);
}

TEST_F(Z80Step, AnyOtherInstructionClearsAStaleMarker)
{
    // A register edit moved PC off the HALT without clearing the marker.
    Cpu.Halted = 1;
    Machine.TimedStep();  // NOP at 0x8000
    EXPECT_EQ(Cpu.Halted, 0);
    EnableInterrupts(1);
    Cpu.Tact = 10;
    Machine.TimedStep();
    EXPECT_EQ(StackWord(), 0x8001);
}

// --- Frame report and the clock ---

TEST_F(Z80Step, FirstStepReportsThenOncePerWrap)
{
    TZ80 fresh(&Machine.Memory, &Machine.Ports);
    fresh.Reset();
    fresh.PC = 0x8000;
    EXPECT_EQ(fresh.LastFrame, -1);
    EXPECT_TRUE(fresh.Step());  // 0 differs from -1
    EXPECT_EQ(fresh.Frame, 0);
    int reports = 0;
    i64 steps = 0;
    while (fresh.Frame < 3) {
        reports += fresh.Step() ? 1 : 0;
        ++steps;
    }
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(steps, 3 * 71680 / 4 - 1);  // NOPs through the memory
    EXPECT_EQ(fresh.Tact, 0);
    EXPECT_FALSE(fresh.Step());
}

TEST_F(Z80Step, AStepEndingAt71690WrapsTo10AndTheNextMayAccept)
{
    Cpu.Tact = 71686;
    const i32 frame = Cpu.Frame;
    EXPECT_TRUE(Cpu.Step());  // NOP: 71690
    EXPECT_EQ(Cpu.Tact, 10);
    EXPECT_EQ(Cpu.Frame, frame + 1);
    EnableInterrupts(1);
    EXPECT_EQ(Machine.TimedStep(), 13);
    EXPECT_EQ(Cpu.PC, 0x0038);
}

TEST_F(Z80Step, FrameEventTStateDelaysTheReport)
{
    Machine.Settings->FrameEventTState = 20;
    Cpu.Tact = 71676;
    Cpu.LastFrame = Cpu.Frame;
    EXPECT_FALSE(Cpu.Step());  // 0: before the event T-state
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(Cpu.Step());  // 4 .. 16
    EXPECT_TRUE(Cpu.Step());       // 20
    EXPECT_FALSE(Cpu.Step());
}

TEST_F(Z80Step, TactOutsideTheFrameIsBroughtBackFirst)
{
    Cpu.Frame = 5;
    Cpu.Tact = -10;  // written from outside: T-state 71670 of the frame before
    Cpu.Step();
    EXPECT_EQ(Cpu.Frame, 4);
    EXPECT_EQ(Cpu.Tact, 71674);
}

TEST_F(Z80Step, TactFarPastTheFrameCountsWholeFrames)
{
    Cpu.Frame = 0;
    Cpu.LastFrame = 0;
    Cpu.Tact = 3 * 71680 + 6;  // three whole frames on: T-state 6, inside the window
    EnableInterrupts(1);
    EXPECT_TRUE(Cpu.Step());
    EXPECT_EQ(Cpu.Frame, 3);
    EXPECT_EQ(Cpu.PC, 0x0038);  // 6 lies in the window
    EXPECT_EQ(Cpu.Tact, 19);
}

// --- Reset ---

TEST_F(Z80Step, ResetKeepsWhatTheChipKeeps)
{
    Cpu.BC.W = 0x1111;
    Cpu.DE.W = 0x2222;
    Cpu.HL.W = 0x3333;
    Cpu.IX.W = 0x4444;
    Cpu.IY.W = 0x5555;
    Cpu.AltAF.W = 0x6666;
    Cpu.AltBC.W = 0x7777;
    Cpu.AltDE.W = 0x8888;
    Cpu.AltHL.W = 0x9999;
    Cpu.I = 0x3B;
    Cpu.WZ = 0xABCD;
    Cpu.R = 0x55;
    Cpu.R7 = 0x80;
    Cpu.IM = 2;
    EnableInterrupts(2);
    Cpu.Tact = 1234;
    Cpu.Reset();
    EXPECT_EQ(Cpu.AF.W, 0xFFFF);
    EXPECT_EQ(Cpu.SP, 0xFFFF);
    EXPECT_EQ(Cpu.PC, 0);
    EXPECT_EQ(Cpu.IM, 0);
    EXPECT_EQ(Cpu.IFF1 | Cpu.IFF2, 0);
    EXPECT_EQ(Cpu.R | Cpu.R7, 0);
    EXPECT_EQ(Cpu.BC.W, 0x1111);
    EXPECT_EQ(Cpu.DE.W, 0x2222);
    EXPECT_EQ(Cpu.HL.W, 0x3333);
    EXPECT_EQ(Cpu.IX.W, 0x4444);
    EXPECT_EQ(Cpu.IY.W, 0x5555);
    EXPECT_EQ(Cpu.AltAF.W, 0x6666);
    EXPECT_EQ(Cpu.AltBC.W, 0x7777);
    EXPECT_EQ(Cpu.AltDE.W, 0x8888);
    EXPECT_EQ(Cpu.AltHL.W, 0x9999);
    EXPECT_EQ(Cpu.I, 0x3B);
    EXPECT_EQ(Cpu.WZ, 0xABCD);
    EXPECT_EQ(Cpu.Tact, 1234);
}

TEST_F(Z80Step, ResetRequestResetsInsteadOfExecutingOnce)
{
    Machine.Poke(0x0000, {0x3C});  // INC A at the reset address
    Cpu.ResetRequest = 1;
    Cpu.BC.W = 0x1234;
    EXPECT_EQ(Machine.TimedStep(), 4);
    EXPECT_EQ(Cpu.PC, 0);
    EXPECT_EQ(Cpu.AF.W, 0xFFFF);
    EXPECT_EQ(Cpu.BC.W, 0x1234);
    EXPECT_EQ(Cpu.ResetRequest, 0);
    Machine.TimedStep();
    EXPECT_EQ(Cpu.PC, 1);
    EXPECT_EQ(Cpu.A(), 0x00);
}

TEST(Z80Construction, RegistersStartAtZeroAndTheTableIsShared)
{
    TZ80TestMachine machine;
    TZ80 a(&machine.Memory, &machine.Ports);
    TZ80 b(&machine.Memory, &machine.Ports);
    EXPECT_EQ(a.FlagTable, b.FlagTable);
    EXPECT_EQ(a.VideoCard, nullptr);
    EXPECT_EQ(a.ResetRequest, 0);
    EXPECT_EQ(a.AF.W | a.BC.W | a.DE.W | a.HL.W | a.IX.W | a.IY.W | a.SP | a.PC | a.WZ, 0);
    EXPECT_EQ(a.Tact, 0);
    EXPECT_EQ(a.Frame, 0);
    EXPECT_EQ(a.LastFrame, -1);
    EXPECT_EQ(a.FlagTable[0x00], FlagZ | FlagPV);
    EXPECT_EQ(a.FlagTable[0x80], FlagS);
    EXPECT_EQ(a.FlagTable[0x28], Flag5 | Flag3 | FlagPV);
    EXPECT_EQ(a.FlagTable[0x07], 0);
    EXPECT_TRUE(TZ80::EvenParity(0x303));  // only the low eight bits count
    EXPECT_FALSE(TZ80::EvenParity(0x01));
}

TEST(Z80Construction, CopyRegistersCopiesTheBlockNotThePointers)
{
    TZ80TestMachine machine;
    TZ80& source = machine.Cpu;
    source.BC.W = 0x1234;
    source.AltHL.W = 0x5678;
    source.PC = 0x9ABC;
    source.R7 = 0x80;
    source.Tact = 777;
    source.Halted = 1;
    TMemory other(TMemory::Model48);
    TZ80 copy(&other, nullptr);
    copy.ResetRequest = 1;
    copy.CopyRegisters(source);
    EXPECT_EQ(copy.BC.W, 0x1234);
    EXPECT_EQ(copy.AltHL.W, 0x5678);
    EXPECT_EQ(copy.PC, 0x9ABC);
    EXPECT_EQ(copy.R7, 0x80);
    EXPECT_EQ(copy.Tact, 777);
    EXPECT_EQ(copy.Halted, 1);
    EXPECT_EQ(copy.Memory, &other);
    EXPECT_EQ(copy.Ports, nullptr);
    EXPECT_EQ(copy.ResetRequest, 1);
}

// --- Step over ---

TEST_F(Z80Step, StepOverStopsAfterCallsRestartsHaltDjnzAndRepeats)
{
    struct TCase {
        std::initializer_list<u8> Bytes;
        bool Result;
        u16 Address;
    };
    const TCase cases[] = {
        {{0xCD, 0x00, 0x90}, true, 0x8003},              // CALL nn
        {{0xDC, 0x00, 0x90}, true, 0x8003},              // CALL C,nn
        {{0xDD, 0xDD, 0xCD, 0x00, 0x80}, true, 0x8005},  // prefixes skipped: the CD byte + 3
        {{0xFF}, true, 0x8001},                          // RST 38h
        {{0x76}, true, 0x8001},                          // HALT
        {{0x10, 0xFE}, true, 0x8002},                    // DJNZ
        {{0xED, 0xB1}, true, 0x8002},                    // CPIR
        {{0xED, 0xBB}, true, 0x8002},                    // OTDR
        {{0xED, 0xA0}, false, 0},                        // LDI
        {{0xCB, 0x06}, false, 0},                        // RLC (HL)
        {{0x78}, false, 0},                              // LD A,B
        {{0xC9}, false, 0},                              // RET
    };
    for (const TCase& test : cases) {
        Machine.Poke(0x8000, test.Bytes);
        u16 address = 0x4321;
        EXPECT_EQ(Cpu.GetStepOverAddress(address), test.Result) << "first byte " << int(*test.Bytes.begin());
        EXPECT_EQ(address, test.Result ? test.Address : 0x4321);
    }
    // The address wraps at the top of memory.
    Cpu.PC = 0xFFFE;
    Machine.Poke(0xFFFE, {0xCD});
    u16 address = 0;
    EXPECT_TRUE(Cpu.GetStepOverAddress(address));
    EXPECT_EQ(address, 0x0001);
}

TEST_F(Z80Step, StepOverStopsAfterEveryRepeatingBlockInstructionAndNoOtherEdOpcode)
{
    // The eight repeating block instructions, from the Z80 manual: each is
    // two bytes, so Step Over stops right after it. Every other ED opcode,
    // the non-repeating block ones (LDI..OUTD, A0-AB) and the neighbours of
    // both ranges (AF, B4-B7, BC-BF) included, is stepped like a plain one.
    struct TRepeating {
        u8 Opcode;
        const char* Name;
    };
    const TRepeating repeating[] = {
        {0xB0, "LDIR"}, {0xB1, "CPIR"}, {0xB2, "INIR"}, {0xB3, "OTIR"},
        {0xB8, "LDDR"}, {0xB9, "CPDR"}, {0xBA, "INDR"}, {0xBB, "OTDR"},
    };
    for (u16 at : {u16(0x8000), u16(0xFFFF)}) {  // at the top the address wraps to 0x0001
        Cpu.PC = at;
        for (int op = 0; op <= 0xFF; ++op) {
            Machine.Poke(at, {0xED});
            Machine.Poke(static_cast<u16>(at + 1), {static_cast<u8>(op)});
            const TRepeating* match = nullptr;
            for (const TRepeating& r : repeating)
                if (r.Opcode == op)
                    match = &r;
            u16 address = 0x4321;
            EXPECT_EQ(Cpu.GetStepOverAddress(address), match != nullptr) << "ED " << op << " at " << at;
            EXPECT_EQ(address, match ? static_cast<u16>(at + 2) : 0x4321) << (match ? match->Name : "ED") << " " << op;
        }
    }
    // Behind index prefixes the instruction still ends two bytes after the ED.
    Cpu.PC = 0x8000;
    Machine.Poke(0x8000, {0xDD, 0xFD, 0xED, 0xB0});
    u16 address = 0;
    EXPECT_TRUE(Cpu.GetStepOverAddress(address));
    EXPECT_EQ(address, 0x8004);
}

TEST_F(Z80Step, StepOverGivesUpOnMemoryFullOfPrefixes)
{
    for (u32 a = 0; a < 0x10000; ++a)
        Machine.Memory.WriteByte(static_cast<u16>(a), (a & 1) ? 0xDD : 0xFD);
    u16 address = 0x1111;
    EXPECT_FALSE(Cpu.GetStepOverAddress(address));
    EXPECT_EQ(address, 0x1111);
}

// --- Prefixes ---

TEST_F(Z80Step, PrefixRunIsOneStepAndTheLastPrefixDecides)
{
    Machine.Poke(0x8000, {0xDD, 0xDD, 0x21, 0x34, 0x12});
    const u8 r = Cpu.R;
    EXPECT_EQ(Machine.TimedStep(), 18);
    EXPECT_EQ(Cpu.IX.W, 0x1234);
    EXPECT_EQ(static_cast<u8>(Cpu.R - r), 3);
    Machine.Poke(0x8005, {0xFD, 0xDD, 0x21, 0x78, 0x56});
    EXPECT_EQ(Machine.TimedStep(), 18);
    EXPECT_EQ(Cpu.IX.W, 0x5678);
    EXPECT_EQ(Cpu.IY.W, 0x0000);
}

TEST_F(Z80Step, PrefixRunEndsTheStepAfter256Prefixes)
{
    for (u16 a = 0x8000; a < 0x8000 + 300; ++a)
        Machine.Memory.WriteByte(a, 0xFD);
    Machine.Poke(0x8000 + 300, {0x21, 0x34, 0x12});  // LD IY,nn
    const u8 r = Cpu.R;
    EXPECT_EQ(Machine.TimedStep(), 256 * 4);
    EXPECT_EQ(Cpu.PC, 0x8100);
    EXPECT_EQ(static_cast<u8>(Cpu.R - r), 0);  // 256 increments
    EXPECT_EQ(Cpu.IY.W, 0);
    // The next step goes on with the following byte: 44 prefixes and LD IY.
    EXPECT_EQ(Machine.TimedStep(), 44 * 4 + 10);
    EXPECT_EQ(Cpu.IY.W, 0x1234);
    EXPECT_EQ(Cpu.PC, 0x8000 + 303);
}

TEST_F(Z80Step, InterruptIsNotTakenBetweenAPrefixAndItsOpcode)
{
    Machine.Poke(0x8000, {0xDD, 0x00});
    EnableInterrupts(1);
    Cpu.Tact = 0;  // the prefix ends inside the window
    EXPECT_EQ(Machine.TimedStep(), 8);
    EXPECT_EQ(Cpu.PC, 0x8002);
}

// --- LD A,I / LD A,R and the interrupt ---

TEST_F(Z80Step, LdAIPvIsClearedByAnInterruptAcceptedRightAfter)
{
    for (u8 op : {0x57, 0x5F}) {  // LD A,I and LD A,R
        EnableInterrupts(1);
        Cpu.PC = 0x8000;
        Cpu.SP = 0xF000;
        Machine.Poke(0x8000, {0xED, op, 0x00});
        Cpu.Tact = 0;  // it ends inside the window
        EXPECT_EQ(Machine.TimedStep(), 9);
        EXPECT_TRUE(Cpu.F() & FlagPV) << "P/V = IFF2";
        EXPECT_EQ(Cpu.InterruptClearsPV, 1);
        Machine.TimedStep();  // accepted at T-state 11
        EXPECT_EQ(Cpu.PC, 0x0038);
        EXPECT_FALSE(Cpu.F() & FlagPV);
        EXPECT_EQ(Cpu.InterruptClearsPV, 0);
    }
}

TEST_F(Z80Step, LdAIPvStaysWhenNoInterruptFollows)
{
    EnableInterrupts(1);
    Machine.Poke(0x8000, {0xED, 0x57, 0x00});
    Cpu.Tact = 40;
    Machine.TimedStep();
    Machine.TimedStep();  // NOP: outside the window
    EXPECT_TRUE(Cpu.F() & FlagPV);
    EXPECT_EQ(Cpu.InterruptClearsPV, 0);
    // As the last instruction of a frame it keeps P/V too: only the
    // acceptance at the next boundary clears it.
    Cpu.PC = 0x8000;
    Cpu.Tact = 71680 - 9;
    Cpu.IFF1 = 0;
    EXPECT_TRUE(Cpu.Step());
    EXPECT_EQ(Cpu.Tact, 0);
    EXPECT_TRUE(Cpu.F() & FlagPV);
}

TEST_F(Z80Step, LdRAThenLdARKeepsBit7FromR7)
{
    Machine.Poke(0x8000, {0x3E, 0xFF, 0xED, 0x4F, 0xED, 0x5F});  // LD A,FF; LD R,A; LD A,R
    Machine.TimedStep();
    Machine.TimedStep();
    EXPECT_EQ(Cpu.R, 0xFF);
    EXPECT_EQ(Cpu.R7, 0x80);
    Machine.TimedStep();
    EXPECT_EQ(Cpu.A(), 0x81);
}

// --- Undefined ED opcodes ---

TEST_F(Z80Step, UndefinedEdOpcodesTakeTheirTwoFetches)
{
    for (u8 op : {0x00, 0x3F, 0x77, 0x7F, 0x80, 0xA4, 0xBC, 0xFF}) {
        Cpu.PC = 0x8000;
        Machine.Poke(0x8000, {0xED, op});
        Cpu.AF.W = 0x1234;
        EXPECT_EQ(Machine.TimedStep(), 8) << int(op);
        EXPECT_EQ(Cpu.PC, 0x8002);
        EXPECT_EQ(Cpu.AF.W, 0x1234);
    }
}

TEST_F(Z80Step, BlockOutputPutsTheDecrementedBOnThePort)
{
    Machine.Io.WatchWritePorts({0x11FE, 0x12FE});
    Machine.Poke(0x8000, {0xED, 0xA3});  // OUTI
    Machine.Poke(0xC000, {0x5A});
    Cpu.HL.W = 0xC000;
    Cpu.BC.W = 0x12FE;
    Machine.TimedStep();
    ASSERT_EQ(Machine.Io.WatchedWrites.size(), 1u);
    EXPECT_EQ(Machine.Io.WatchedWrites[0].first, 0x11FE);
    EXPECT_EQ(Machine.Io.WatchedWrites[0].second, 0x5A);
}

} // namespace
