// A run steps the processor back to back up to the next event that needs
// the machine (the interrupt window, the frame end, the sound devices' or
// the tape's next change, a breakpoint) and catches the sound devices and
// the tape up only when they need it (the sound devices note the position
// of the last step themselves before a port write); stepping does all of it
// after every instruction. Both give the same machine: registers, memory,
// picture, samples, positions and tape, frame by frame and over long runs to
// an address; and while a run is paused the devices stand where the last
// step left the processor.
#include "core/Computer.h"

#include "core/Ay.h"
#include "core/Memory.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "core/Tape_recorder.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Render.h"
#include "media/Tape.h"
#include "tests/media/Tape_test_files.h"
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

// A 48K machine's ROM loader (LD-BYTES at 0556h) reads a 40-byte block
// from the tape into the screen, its result goes to 9000h (FFh: loaded),
// then a delay loop runs into the pause after the block and ends at Done.
// IM 2, its handler at 8383h counts the interrupts at 838Fh.
constexpr u16 LoaderDone = 0x8023;
constexpr u16 LoaderResult = 0x9000;
constexpr u16 LoaderTicks = 0x838F;
const std::vector<u8> Loader = {
    0x31, 0x00, 0x7F,        // 8000 ld sp,0x7F00
    0x3E, 0x81,              // 8003 ld a,0x81
    0xED, 0x47,              // 8005 ld i,a
    0xED, 0x5E,              // 8007 im 2
    0xFB,                    // 8009 ei
    0xDD, 0x21, 0x00, 0x40,  // 800A ld ix,0x4000
    0x11, 40, 0x00,          // 800E ld de,40
    0x3E, 0xFF,              // 8011 ld a,0xFF
    0x37,                    // 8013 scf
    0xCD, 0x56, 0x05,        // 8014 call 0x0556
    0x9F,                    // 8017 sbc a,a
    0x32, 0x00, 0x90,        // 8018 ld (0x9000),a
    0x01, 0x00, 0x00,        // 801B ld bc,0
    0x0B,                    // 801E wait: dec bc
    0x78,                    // 801F ld a,b
    0xB1,                    // 8020 or c
    0x20, 0xFB,              // 8021 jr nz,wait
    0x18, 0xFE,              // 8023 done: jr done
};
const std::vector<u8> LoaderInterrupt = {
    0xE5,              // 8383 push hl
    0x2A, 0x8F, 0x83,  // 8384 ld hl,(0x838F)
    0x23,              // 8387 inc hl
    0x22, 0x8F, 0x83,  // 8388 ld (0x838F),hl
    0xE1,              // 838B pop hl
    0xFB,              // 838C ei
    0xED, 0x4D,        // 838D reti
};

void Poke(TComputer& computer, u16 address, const std::vector<u8>& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        computer.Memory->WriteByte(static_cast<u16>(address + i), bytes[i]);
}

std::unique_ptr<TComputer> MakeMachine(const std::vector<u8>& program = Program)
{
    auto computer = std::make_unique<TComputer>(THostServices{});
    computer->SetNoSync(1);
    computer->Reset();
    Poke(*computer, Origin, program);
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

// Everything the program can see or leave behind, and the picture.
void ExpectSameMachine(TComputer& stepped, TComputer& run, i32 frame)
{
    const TZ80& a = *stepped.Z80;
    const TZ80& b = *run.Z80;
    const auto registers = [](const TZ80& z) {
        return std::vector<i64>{z.AF.W, z.BC.W, z.DE.W, z.HL.W, z.IX.W, z.IY.W, z.AltAF.W, z.AltBC.W, z.AltDE.W,
                                z.AltHL.W, z.SP, z.PC, z.WZ, z.I, z.R, z.R7, z.IM, z.IFF1, z.IFF2,
                                z.InterruptAllowed, z.Halted, z.Q, z.InterruptClearsPV, z.Opcode, z.Tact, z.Frame,
                                z.LastFrame};
    };
    ASSERT_EQ(registers(a), registers(b)) << "frame " << frame;
    for (u32 address = 0; address < 0x10000; ++address)
        ASSERT_EQ(stepped.Memory->ReadByte(static_cast<u16>(address)), run.Memory->ReadByte(static_cast<u16>(address)))
            << "address " << address << ", frame " << frame;
    const TTapeRecorder& deckA = *stepped.TapeRecorder;
    const TTapeRecorder& deckB = *run.TapeRecorder;
    ASSERT_EQ(deckA.IsPlaying(), deckB.IsPlaying()) << "frame " << frame;
    ASSERT_EQ(deckA.GetLevel(), deckB.GetLevel()) << "frame " << frame;
    if (deckA.IsPlaying()) {
        ASSERT_EQ(deckA.GetTStatesToNextChange(), deckB.GetTStatesToNextChange()) << "frame " << frame;
    }
    if (deckA.GetTape()) {
        ASSERT_EQ(deckA.GetTape()->GetCurrentIndex(), deckB.GetTape()->GetCurrentIndex()) << "frame " << frame;
    }
    std::vector<u8> pictureA, pictureB;
    const auto copy = [](TComputer& computer, std::vector<u8>& picture) {
        computer.Render->GetDC()->ReadFront([&](const TIndexedSurface::TFrontView& front) {
            if (front.Pixels)
                picture.assign(front.Pixels, front.Pixels + front.Stride * front.Height);
        });
    };
    copy(stepped, pictureA);
    copy(run, pictureB);
    ASSERT_FALSE(pictureA.empty());
    ASSERT_TRUE(pictureA == pictureB) << "picture, frame " << frame;
    ASSERT_NO_FATAL_FAILURE(ExpectSameSound(stepped, run, frame));
}

// Steps `stepped` into `frame`, runs `run` to its next interrupt (one frame)
// and compares the two.
void StepAndRunIntoFrame(TComputer& stepped, TComputer& run, i32 frame)
{
    while (stepped.Z80->Frame < frame)
        ASSERT_TRUE(stepped.Step());
    ASSERT_TRUE(run.RunUntilInterrupt(nullptr));
    ASSERT_TRUE(WaitUntil([&] { return !run.IsRunning(); }));
    run.Stop();
    ASSERT_NO_FATAL_FAILURE(ExpectSameMachine(stepped, run, frame));
}

std::unique_ptr<TComputer> MakeLoader(const tape_test::TBytes& tape)
{
    std::unique_ptr<TComputer> computer = MakeMachine(Loader);
    for (u32 entry = 0x8100; entry <= 0x8200; ++entry)
        computer->Memory->WriteByte(static_cast<u16>(entry), 0x83);
    Poke(*computer, 0x8383, LoaderInterrupt);
    computer->Memory->WriteByte(0x5C48, 0x38);  // BORDCR, which the loader's end restores
    computer->TapeRecorder->SetTape(tape_test::TTapeMaker().Tap(tape));
    computer->TapeRecorder->Play();
    return computer;
}

tape_test::TBytes LoaderTape()
{
    tape_test::TBytes payload;
    for (u32 i = 0; i < 40; ++i)
        payload.push_back(static_cast<u8>(i * 37 + 11));
    tape_test::TBytes image;
    tape_test::PutTapBlock(image, tape_test::RomBlock(0xFF, payload));
    return image;
}

TEST(ComputerRunLoop, RunsGiveTheSamplesOfStepping)
{
    TTestSettings settings;
    TMemory::SeedRandom(7);
    std::unique_ptr<TComputer> stepped = MakeMachine();
    TMemory::SeedRandom(7);
    std::unique_ptr<TComputer> run = MakeMachine();

    bool heard = false;
    for (i32 frame = stepped->Z80->Frame + 1, last = frame + 40; frame < last; ++frame) {
        ASSERT_NO_FATAL_FAILURE(StepAndRunIntoFrame(*stepped, *run, frame));
        const u8* beeper = run->Speaker->GetFrameBuffer();
        heard = heard || std::any_of(beeper, beeper + run->Speaker->GetSamplesPerFrame(), [](u8 s) { return s != 0; });
    }
    EXPECT_TRUE(heard) << "the program reached the beeper";
    EXPECT_NE(run->AY->GetRegister(8), 0) << "the program reached the AY";
}

TEST(ComputerRunLoop, RunsOfOneFrameLoadATapeAsSteppingDoes)
{
    TTestSettings settings;
    settings->Model = 1;
    TMemory::SeedRandom(11);
    std::unique_ptr<TComputer> stepped = MakeLoader(LoaderTape());
    TMemory::SeedRandom(11);
    std::unique_ptr<TComputer> run = MakeLoader(LoaderTape());

    // The pilot, the block, the loader's end and the pause after the block.
    for (i32 frame = stepped->Z80->Frame + 1; stepped->Z80->PC != LoaderDone; ++frame) {
        ASSERT_LT(frame, 400) << "the loader never ended";
        ASSERT_NO_FATAL_FAILURE(StepAndRunIntoFrame(*stepped, *run, frame));
    }
    EXPECT_EQ(run->Memory->ReadByte(LoaderResult), 0xFF) << "the block loaded";
    EXPECT_EQ(run->Memory->ReadByte(0x4000), 11);
    EXPECT_GT(run->Memory->ReadByte(LoaderTicks + 1), 0) << "interrupts came";
}

TEST(ComputerRunLoop, ARunToAnAddressAcrossFramesLoadsATapeAsSteppingDoes)
{
    TTestSettings settings;
    settings->Model = 1;
    TMemory::SeedRandom(13);
    std::unique_ptr<TComputer> stepped = MakeLoader(LoaderTape());
    TMemory::SeedRandom(13);
    std::unique_ptr<TComputer> run = MakeLoader(LoaderTape());

    // Stepping: to the first arrival at the address after at least one step.
    do
        ASSERT_TRUE(stepped->Step());
    while (stepped->Z80->PC != LoaderDone && stepped->Z80->Frame < 400);
    ASSERT_EQ(stepped->Z80->PC, LoaderDone);
    ASSERT_TRUE(run->Run(nullptr, LoaderDone));
    ASSERT_TRUE(WaitUntil([&] { return !run->IsRunning(); }));
    run->Stop();
    ASSERT_NO_FATAL_FAILURE(ExpectSameMachine(*stepped, *run, run->Z80->Frame));
    EXPECT_EQ(run->Memory->ReadByte(LoaderResult), 0xFF) << "the block loaded";
    EXPECT_TRUE(run->TapeRecorder->IsPlaying()) << "in the pause after the block";
    EXPECT_EQ(run->TapeRecorder->GetLevel(), 0);
}

TEST(ComputerRunLoop, APausedRunHasItsDevicesWhereTheProcessorStands)
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
