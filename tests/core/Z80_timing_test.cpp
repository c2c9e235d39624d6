// Which T-states of each bus cycle the video chip latches, observed on the
// real video chip: a latched T-state flips its latch phase and, where the
// latch table names a screen position, writes the attribute latch (phase 1)
// or the pixel latch (phase 0) of that position. With the latches cleared
// and the screen then filled with 0xFF, the latch entries that became 0xFF
// after a cycle, over many start T-states around the edges of a paper
// line's latch window, tell exactly which of the cycle's T-states latched
// and in what order of phases. The expectations are the cycle shapes of the
// design (L latched, c counted), simulated on the chip's own latch table.
#include "tests/core/Z80_test_machine.h"

#include "core/Video_card.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>

namespace {

constexpr bool L = true;   // latched
constexpr bool c = false;  // counted only

class Z80Timing : public testing::Test {
protected:
    Z80Timing() { Machine.Cpu.SetVideoCard(&Video); }

    using TShape = std::vector<bool>;
    using TLatchWrites = std::set<std::pair<u32, bool>>;  // (latch index, attribute?)

    void FillScreen(u8 value)
    {
        for (u32 a = 0x4000; a < 0x5B00; ++a)
            Machine.Memory.WriteByte(static_cast<u16>(a), value);
    }

    TLatchWrites ChangedLatches() const
    {
        TLatchWrites writes;
        for (u32 index = 1; index <= TVideoCard::LatchCount; ++index) {
            if (Video.GetAttributeLatch()[index] == 0xFF)
                writes.emplace(index, true);
            if (Video.GetPixelLatch()[index] == 0xFF)
                writes.emplace(index, false);
        }
        return writes;
    }

    // Runs `cycle` from each start T-state around both ends of a paper
    // line's latch window and checks the latch writes, the phase and the
    // T-states against `shape`.
    void ExpectShape(const std::string& what, const TShape& shape, const std::function<void()>& cycle)
    {
        const i32 window = Video.GetFirstLatchTact() + 10 * 224;  // paper line 10
        std::vector<i32> starts;
        for (i32 offset = -8; offset <= 4; ++offset)
            starts.push_back(window + offset);
        for (i32 offset = 116; offset <= 130; ++offset)
            starts.push_back(window + offset);

        for (i32 start : starts) {
            FillScreen(0x00);
            Video.LatchWholeScreen();
            FillScreen(0xFF);
            const u8 phaseBefore = Video.GetLatchPhase();
            Machine.Cpu.Tact = start;

            // A single cycle outside a step: open and close its region
            // here, as a step does.
            Video.OpenLatchRegion(start);
            cycle();
            Video.CloseLatchRegion(Machine.Cpu.Tact);

            u8 phase = phaseBefore;
            TLatchWrites expected;
            for (size_t k = 0; k < shape.size(); ++k) {
                if (!shape[k])
                    continue;
                phase ^= 1;
                if (const u32 index = Video.GetLatchIndex(start + static_cast<i32>(k)))
                    expected.emplace(index, phase == 1);
            }
            const std::string where = what + " from window + " + std::to_string(start - window);
            EXPECT_EQ(Machine.Cpu.Tact - start, static_cast<i32>(shape.size())) << where;
            EXPECT_EQ(Video.GetLatchPhase(), phase) << where;
            EXPECT_EQ(ChangedLatches(), expected) << where;
        }
    }

    TZ80TestMachine Machine;
    TVideoCard Video{&Machine.Memory, &Machine.Cpu};
};

TEST_F(Z80Timing, OpcodeFetchCountsItsSecondTStateFromTheNewPc)
{
    TZ80& cpu = Machine.Cpu;
    ExpectShape("fetch at 0x3FFF", {L, c, L, L}, [&] { cpu.PC = 0x3FFF; cpu.FetchOpcode(); });
    ExpectShape("fetch at 0x3FFE", {L, L, L, L}, [&] { cpu.PC = 0x3FFE; cpu.FetchOpcode(); });
    ExpectShape("fetch at 0x8000", {L, c, L, L}, [&] { cpu.PC = 0x8000; cpu.FetchOpcode(); });
    ExpectShape("fetch at 0xFFFF", {L, L, L, L}, [&] { cpu.PC = 0xFFFF; cpu.FetchOpcode(); });
}

TEST_F(Z80Timing, MemoryCyclesCountTheirSecondTStateFrom0x4000Up)
{
    TZ80& cpu = Machine.Cpu;
    ExpectShape("read at 0x3FFF", {L, L, L}, [&] { cpu.ReadMem(0x3FFF); });
    ExpectShape("read at 0x4000", {L, c, L}, [&] { cpu.ReadMem(0x4000); });
    ExpectShape("write at 0x3FFF", {L, L, L}, [&] { cpu.WriteMem(0x3FFF, 0); });
    ExpectShape("write at 0xFFFF", {L, c, L}, [&] { cpu.WriteMem(0xFFFF, 0); });
    // A word takes each byte's rule: 0x3FFF, then 0x4000.
    ExpectShape("word read at 0x3FFF", {L, L, L, L, c, L}, [&] { cpu.ReadMemWord(0x3FFF); });
    ExpectShape("word write at 0xFFFF", {L, c, L, L, L, L}, [&] { cpu.WriteMemWord(0xFFFF, 0); });
}

TEST_F(Z80Timing, PortAndIdleCyclesLatchEveryTState)
{
    TZ80& cpu = Machine.Cpu;
    ExpectShape("IN from 0xFFFE", {L, L, L, L}, [&] { cpu.InPort(0xFFFE); });
    ExpectShape("OUT to 0x7FFD", {L, L, L, L}, [&] { cpu.OutPort(0x7FFD, 0); });
    ExpectShape("t1", {L}, [&] { cpu.Tick1(); });
    ExpectShape("t2", {L, L}, [&] { cpu.Tick2(); });
    ExpectShape("t4", TShape(4, L), [&] { cpu.Tick4(); });
    ExpectShape("t5", TShape(5, L), [&] { cpu.Tick5(); });
    ExpectShape("t6", TShape(6, L), [&] { cpu.Tick6(); });
    ExpectShape("t7", TShape(7, L), [&] { cpu.Tick7(); });
}

TEST_F(Z80Timing, PortHandlersRunAtTheirTState)
{
    // IN reads after three T-states, OUT writes after one: the border
    // stamps its changes with the processor's Tact at that moment.
    TZ80& cpu = Machine.Cpu;
    cpu.Tact = 1000;
    cpu.OutPort(0x00FE, 5);
    ASSERT_EQ(Machine.Io.Writes.size(), 1u);
    EXPECT_EQ(Machine.Io.Writes[0].second, 1001);
    i32 readAt = 0;
    Machine.Io.OnRead = [&](u16) {
        readAt = cpu.Tact;
        return static_cast<u8>(0xFF);
    };
    cpu.InPort(0x00FE);
    EXPECT_EQ(readAt, 1007);
    EXPECT_EQ(cpu.Tact, 1008);
}

TEST_F(Z80Timing, WholeInstructionsAreTheirCyclesInOrder)
{
    TZ80& cpu = Machine.Cpu;
    cpu.IFF1 = 0;
    // INC (HL) at 0x3FFE with HL = 0x8000: M1 (PC becomes 0x3FFF), RD, t1, WR.
    ExpectShape("INC (HL)", {L, L, L, L, L, c, L, L, L, c, L}, [&] {
        Machine.Poke(0x3FFE, {0x34});
        cpu.PC = 0x3FFE;
        cpu.HL.W = 0x8000;
        cpu.Step();
    });
    // IN A,(n) at 0x8000: M1, RD n at 0x8001, IN.
    ExpectShape("IN A,(n)", {L, c, L, L, L, c, L, L, L, L, L}, [&] {
        Machine.Poke(0x8000, {0xDB, 0xFE});
        cpu.PC = 0x8000;
        cpu.Step();
    });
    // RST 38h at 0x1000 with SP = 0x4001: M1, t1, then the low byte at
    // 0x3FFF and the high byte at 0x4000.
    ExpectShape("RST 38h", {L, L, L, L, L, L, L, L, L, c, L}, [&] {
        Machine.Poke(0x1000, {0xFF});
        cpu.PC = 0x1000;
        cpu.SP = 0x4001;
        cpu.Step();
    });
    // LD B,(IX+d) at 0x9000, IX + d = 0x3000: M1, M1, RD d, t5, RD.
    ExpectShape("LD B,(IX+d)", {L, c, L, L, L, c, L, L, L, c, L, L, L, L, L, L, L, L, L}, [&] {
        Machine.Poke(0x9000, {0xDD, 0x46, 0x10});
        cpu.PC = 0x9000;
        cpu.IX.W = 0x2FF0;
        cpu.Step();
    });
    // OUTI at 0x2000 with HL = 0xC000: M1, M1, RD at HL, OUT, t1.
    ExpectShape("OUTI", {L, L, L, L, L, L, L, L, L, c, L, L, L, L, L, L}, [&] {
        Machine.Poke(0x2000, {0xED, 0xA3});
        cpu.PC = 0x2000;
        cpu.HL.W = 0xC000;
        cpu.BC.W = 0x0100;
        cpu.Step();
    });
}

TEST_F(Z80Timing, InterruptAcknowledgeLatchesAsItsCycles)
{
    TZ80& cpu = Machine.Cpu;
    // The window is moved onto the paper line the probe uses.
    const i32 line = Video.GetFirstLatchTact() + 10 * 224;
    Machine.Settings->InterruptFirst = line - 100;
    Machine.Settings->InterruptLast = static_cast<u32>(line + 200);
    // IM 1, SP = 0x8002: t6, WR at 0x8001, WR at 0x8000, t1.
    ExpectShape("IM 1 acknowledge", {L, L, L, L, L, L, L, c, L, L, c, L, L}, [&] {
        cpu.IFF1 = cpu.IFF2 = 1;
        cpu.InterruptAllowed = 1;
        cpu.IM = 1;
        cpu.SP = 0x8002;
        cpu.Step();
    });
    // IM 2, I = 0x3F, SP = 0x4000: t6, WR at 0x3FFE, WR at 0x3FFF, t1, then
    // the vector from 0x3FFF and 0x4000.
    ExpectShape("IM 2 acknowledge", {L, L, L, L, L, L, L, L, L, L, L, L, L, L, L, L, L, c, L}, [&] {
        cpu.IFF1 = cpu.IFF2 = 1;
        cpu.InterruptAllowed = 1;
        cpu.IM = 2;
        cpu.I = 0x3F;
        cpu.SP = 0x4000;
        cpu.Step();
    });
}

TEST_F(Z80Timing, NoVideoChipMeansTheSameTStatesWithoutLatching)
{
    TZ80& cpu = Machine.Cpu;
    cpu.SetVideoCard(nullptr);
    const u8 phase = Video.GetLatchPhase();
    Machine.Poke(0x3FFE, {0x34});
    cpu.PC = 0x3FFE;
    cpu.HL.W = 0x8000;
    cpu.Tact = 100;
    cpu.Step();
    EXPECT_EQ(cpu.Tact, 111);
    EXPECT_EQ(Video.GetLatchPhase(), phase);
}

} // namespace
