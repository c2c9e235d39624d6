// A run catches the sound devices up only when they need it (they note the
// position of the last step themselves before a port write); stepping
// catches them up after every instruction. Both give the same samples, the
// same positions, and while a run is paused the devices stand where the last
// step left the processor.
#include "core/Computer.h"

#include "core/Ay.h"
#include "core/Memory.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "core/Z80.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr u16 Origin = 0x8000;

// Interrupts off (the ROM's handler is not set up); AY tone A on; then forever: AY level A = D, tone A fine =
// E, port 0xFE bits 4 and 3 (beeper, microphone) from D, D + 1, E - 1 and a
// delay of E x 13 T-states, so the writes land all over the frames.
const std::vector<u8> Program = {
    0xF3,              // 8000 di
    0x01, 0xFD, 0xFF,  // 8001 ld bc,0xFFFD
    0x3E, 0x07,        // 8004 ld a,7
    0xED, 0x79,        // 8006 out (c),a
    0x06, 0xBF,        // 8008 ld b,0xBF
    0x3E, 0x3E,        // 800A ld a,0x3E
    0xED, 0x79,        // 800C out (c),a
    0x01, 0xFD, 0xFF,  // 800E loop: ld bc,0xFFFD
    0x3E, 0x08,        // 8011 ld a,8
    0xED, 0x79,        // 8013 out (c),a
    0x06, 0xBF,        // 8015 ld b,0xBF
    0xED, 0x51,        // 8017 out (c),d
    0x06, 0xFF,        // 8019 ld b,0xFF
    0xAF,              // 801B xor a
    0xED, 0x79,        // 801C out (c),a
    0x06, 0xBF,        // 801E ld b,0xBF
    0xED, 0x59,        // 8020 out (c),e
    0x7A,              // 8022 ld a,d
    0xE6, 0x18,        // 8023 and 0x18
    0xD3, 0xFE,        // 8025 out (0xFE),a
    0x14,              // 8027 inc d
    0x1D,              // 8028 dec e
    0x43,              // 8029 ld b,e
    0x10, 0xFE,        // 802A djnz $
    0x18, 0xE0,        // 802C jr loop
};

std::unique_ptr<TComputer> MakeMachine()
{
    auto computer = std::make_unique<TComputer>(THostServices{});
    computer->SetNoSync(1);
    computer->Reset();
    for (size_t i = 0; i < Program.size(); ++i)
        computer->Memory->WriteByte(static_cast<u16>(Origin + i), Program[i]);
    computer->Z80->PC = Origin;
    computer->Z80->SP = 0x7F00;
    // A new processor reports a frame end at its first step.
    computer->Step();
    return computer;
}

bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void ExpectSameSound(TComputer& stepped, TComputer& run, i32 frame)
{
    ASSERT_EQ(stepped.Z80->Tact, run.Z80->Tact) << "frame " << frame;
    ASSERT_EQ(stepped.Z80->Frame, run.Z80->Frame) << "frame " << frame;
    const auto same = [frame](const u8* a, const u8* b, i32 count, const char* what) {
        ASSERT_TRUE(std::equal(a, a + count, b)) << what << " samples differ, frame " << frame;
    };
    same(stepped.Speaker->GetFrameBuffer(), run.Speaker->GetFrameBuffer(), stepped.Speaker->GetSamplesPerFrame(),
         "beeper");
    same(stepped.Mic->GetFrameBuffer(), run.Mic->GetFrameBuffer(), stepped.Mic->GetSamplesPerFrame(), "microphone");
    for (i32 channel = 0; channel < 3; ++channel)
        same(stepped.AY->GetChannelBuffer(channel), run.AY->GetChannelBuffer(channel),
             stepped.AY->GetSamplesPerFrame(), "AY");
    EXPECT_EQ(stepped.Speaker->GetPosition(), run.Speaker->GetPosition()) << "frame " << frame;
    EXPECT_EQ(stepped.Speaker->GetFrame(), run.Speaker->GetFrame()) << "frame " << frame;
    EXPECT_EQ(stepped.Mic->GetPosition(), run.Mic->GetPosition()) << "frame " << frame;
    EXPECT_EQ(stepped.AY->GetPositionTState(), run.AY->GetPositionTState()) << "frame " << frame;
    EXPECT_EQ(stepped.AY->GetPositionFrame(), run.AY->GetPositionFrame()) << "frame " << frame;
    EXPECT_EQ(stepped.AY->GetOutputBits(), run.AY->GetOutputBits()) << "frame " << frame;
}

TEST(ComputerSoundCatchUp, RunsGiveTheSamplesOfStepping)
{
    TTestSettings settings;
    TMemory::SeedRandom(7);
    std::unique_ptr<TComputer> stepped = MakeMachine();
    TMemory::SeedRandom(7);
    std::unique_ptr<TComputer> run = MakeMachine();

    bool heard = false;
    for (i32 frame = stepped->Z80->Frame + 1, last = frame + 40; frame < last; ++frame) {
        while (stepped->Z80->Frame < frame)
            ASSERT_TRUE(stepped->Step());
        ASSERT_TRUE(run->RunUntilInterrupt(nullptr));
        ASSERT_TRUE(WaitUntil([&] { return !run->IsRunning(); }));
        run->Stop();
        ASSERT_NO_FATAL_FAILURE(ExpectSameSound(*stepped, *run, frame));
        const u8* beeper = run->Speaker->GetFrameBuffer();
        heard = heard || std::any_of(beeper, beeper + run->Speaker->GetSamplesPerFrame(), [](u8 s) { return s != 0; });
    }
    EXPECT_TRUE(heard) << "the program reached the beeper";
    EXPECT_NE(run->AY->GetRegister(8), 0) << "the program reached the AY";
}

TEST(ComputerSoundCatchUp, APausedRunHasItsDevicesWhereTheProcessorStands)
{
    TTestSettings settings;
    std::unique_ptr<TComputer> computer = MakeMachine();
    ASSERT_TRUE(computer->Run(nullptr));
    for (int pause = 0; pause < 50; ++pause) {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        auto guard = computer->PauseRun();
        ASSERT_TRUE(guard.IsHolding());
        const i32 tact = computer->Z80->Tact;
        const i32 frame = computer->Z80->Frame;
        ASSERT_EQ(computer->Speaker->GetPosition(), tact) << "pause " << pause;
        ASSERT_EQ(computer->Speaker->GetFrame(), frame) << "pause " << pause;
        ASSERT_EQ(computer->Mic->GetPosition(), tact) << "pause " << pause;
    }
    computer->Stop();
    EXPECT_EQ(computer->Speaker->GetPosition(), computer->Z80->Tact) << "after the run";
    EXPECT_EQ(computer->Speaker->GetFrame(), computer->Z80->Frame) << "after the run";
}

} // namespace
