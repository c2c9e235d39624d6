// The computer: how it wires the machine, the frame step, runs with their
// end-of-run notification, Step Over, Run to Cursor, Run until Interrupt,
// Escape and closing, pacing, reset and the screen refresh. Runs happen on
// the computer's own thread; the test stands for the user-interface thread
// and pumps what is posted to it.
#include "core/Computer.h"

#include "core/Ay.h"
#include "core/Clock.h"
#include "core/Devices.h"
#include "core/Display.h"
#include "core/Beta_disk.h"
#include "core/Kempston_joystick.h"
#include "core/Kempston_mouse.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Mic.h"
#include "core/Ports.h"
#include "core/Run_thread.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "core/Tape_recorder.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Indexed_surface.h"
#include "host/Key_thread.h"
#include "host/Render.h"
#include "media/File.h"
#include "media/Tape.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_key_source.h"
#include "tests/support/Fake_machine_host.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr u16 Origin = 0x8000;

// Waits (pumping the UI queue) until the condition holds; false after 10 s.
class ComputerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        // A new processor reports its first frame at its first step; take
        // that one here, so that the tests see only the frames they make.
        ASSERT_TRUE(Computer->Step());
        ASSERT_EQ(Computer->Z80->LastFrame, Computer->Z80->Frame);
    }

    void TearDown() override
    {
        Computer.reset();
        g_Display = nullptr;
        g_DirectSound = nullptr;
        g_Clock = nullptr;
        g_KeyThread = nullptr;
    }

    // Bytes into RAM at the address; PC there, interrupts off, stack at 0xF000.
    void Load(u16 address, std::initializer_list<u8> bytes, bool start = true)
    {
        u16 at = address;
        for (u8 byte : bytes)
            Computer->Memory->WriteByte(at++, byte);
        if (start) {
            TZ80& cpu = *Computer->Z80;
            cpu.PC = address;
            cpu.SP = 0xF000;
            cpu.IFF1 = cpu.IFF2 = 0;
            cpu.Halted = 0;
        }
    }

    bool PumpUntil(const std::function<bool()>& done)
    {
        return Host.UiPoster.PumpUntil(done, 10s);
    }
    bool PumpUntilRunEnded()
    {
        return PumpUntil([this] { return !Computer->IsRunActive(); });
    }
    // Waits without pumping: the run goes on, posts pile up. The condition
    // reads the live machine, so it is tested inside a pause guard, unless
    // it reads only atomics (the run may be blocked in a pacing wait, where
    // no guard could park it).
    bool WaitFor(const std::function<bool()>& done, bool guarded = true)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            {
                auto pause = guarded ? Computer->PauseRun() : TComputer::TPauseGuard();
                if (done())
                    return true;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(1ms);
        }
    }

    TComputer::TOnStop CountStops() { return [this] { ++Stops; }; }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
    int Stops = 0;
};

// A TAP image of one data block (flag 0xFF, three bytes, checksum) in a
// temporary folder, inserted into the recorder.
std::unique_ptr<TTape> MakeTape(const TTempFolder& folder)
{
    const std::string path = folder.File("block.tap");
    const unsigned char image[] = {0x05, 0x00, 0xFF, 0x01, 0x02, 0x03, 0xFF ^ 0x01 ^ 0x02 ^ 0x03};
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image), sizeof image);
    return std::make_unique<TTape>(std::make_unique<TFile>(path), TTape::TypeTAP);
}

// A port that throws when read, to raise an error inside a run's step.
struct TThrowingPort {
    u8 Read(u16) { throw TTextError("The port is on fire."); }
};

} // namespace

// ---------------------------------------------------------------------------
// Breakpoints

TEST(Breakpoints, AddAppendsRemoveTakesTheFirstMatch)
{
    TBreakpoints points;
    EXPECT_TRUE(points.IsEmpty());
    EXPECT_FALSE(points.Contains(0x1234));
    points.Add(0x1234);
    points.Add(0x8000);
    points.Add(0x1234);
    EXPECT_EQ(points.GetAddresses(), (std::vector<u16>{0x1234, 0x8000, 0x1234}));
    EXPECT_TRUE(points.Contains(0x8000));

    points.Remove(0x1234);
    EXPECT_EQ(points.GetAddresses(), (std::vector<u16>{0x8000, 0x1234}));
    EXPECT_TRUE(points.Contains(0x1234)) << "a duplicate needs its own removal";
    points.Remove(0x4444);
    EXPECT_EQ(points.GetCount(), 2);
    points.Remove(0x1234);
    points.Remove(0x8000);
    EXPECT_TRUE(points.IsEmpty());
}

TEST(Display, ForgetDisplayClearsOnlyTheViewItNames)
{
    TFakeDisplay older;
    TFakeDisplay newer;
    g_Display = &newer;
    ForgetDisplay(&older);  // an older view goes: the newer one stays shown
    EXPECT_EQ(g_Display, &newer);
    ForgetDisplay(&newer);
    EXPECT_EQ(g_Display, nullptr);
    ForgetDisplay(&newer);
    EXPECT_EQ(g_Display, nullptr);
}

// ---------------------------------------------------------------------------
// Construction

TEST_F(ComputerTest, IsBuiltStopped)
{
    EXPECT_TRUE(Computer->IsStopRequested());
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_FALSE(Computer->IsNoSync());
    EXPECT_FALSE(Computer->IsRunOneFrame());
    EXPECT_EQ(Computer->GetRunTo(), TComputer::NoRunTo);
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
    EXPECT_EQ(Computer->Z80->VideoCard, Computer->VideoCard) << "the CPU latches through the video chip";
    EXPECT_TRUE(Host.Title.Titles().empty());
    EXPECT_EQ(Host.UiPoster.Pending(), 0u);

    // The device chain in its order.
    std::vector<TDevice*> chain;
    for (TDevice* device = Computer->Devices->GetFirst(); device; device = device->GetNext())
        chain.push_back(device);
    EXPECT_EQ(chain, (std::vector<TDevice*>{Computer->MemoryPagination, Computer->Keyboard,
                                            Computer->KempstonJoystick, Computer->KempstonMouse, Computer->AY,
                                            Computer->BetaDisk}));
}

TEST_F(ComputerTest, WiresExactlyTheDefaultPortGroups)
{
    const TPorts& ports = *Computer->Ports;
    struct TGroup {
        u16 Mask, Value;
        i32 Count;
    };
    const std::vector<TGroup> writes = {
        {0x8002, 0x7FFD, 1},  // 128K paging
        {0xC002, 0xFFFD, 1},  // AY register select
        {0xC002, 0xBFFD, 1},  // AY data write
        {0x0001, 0x00FE, 3},  // microphone, beeper, border
    };
    const std::vector<TGroup> reads = {
        {0x0001, 0x00FE, 1},  // keyboard
        {0x0020, 0x001F, 1},  // Kempston joystick
        {0x0720, 0xFBDF, 1},  // mouse X
        {0x0720, 0xFFDF, 1},  // mouse Y
        {0x0320, 0xFADF, 1},  // mouse buttons
        {0xC002, 0xFFFD, 1},  // AY register read
    };
    ASSERT_EQ(ports.GetWriteGroupsUsed(), static_cast<i32>(writes.size()));
    ASSERT_EQ(ports.GetReadGroupsUsed(), static_cast<i32>(reads.size()));
    for (size_t i = 0; i < writes.size(); ++i) {
        const auto& group = ports.GetWriteGroup(static_cast<i32>(i));
        EXPECT_EQ(group.Mask, writes[i].Mask) << "write group " << i;
        EXPECT_EQ(group.Value, writes[i].Value) << "write group " << i;
        EXPECT_EQ(group.Count, writes[i].Count) << "write group " << i;
    }
    for (size_t i = 0; i < reads.size(); ++i) {
        const auto& group = ports.GetReadGroup(static_cast<i32>(i));
        EXPECT_EQ(group.Mask, reads[i].Mask) << "read group " << i;
        EXPECT_EQ(group.Value, reads[i].Value) << "read group " << i;
        EXPECT_EQ(group.Count, reads[i].Count) << "read group " << i;
    }
}

TEST_F(ComputerTest, PortsReachTheirDevices)
{
    TPorts& ports = *Computer->Ports;
    // No key down and no tape: the keyboard half-rows read 0xBF.
    EXPECT_EQ(ports.Read(0x00FE), 0xBF);
    EXPECT_EQ(ports.Read(0x7FFE), 0xBF);
    EXPECT_EQ(ports.Read(0x00FF), 0xFF) << "nothing decodes an odd port with bits 1 and 5 set";
    Computer->Keyboard->KeyDown(39);  // SPACE: half-row 0x7FFE, bit 0
    EXPECT_EQ(ports.Read(0x7FFE), 0xBE);
    EXPECT_EQ(ports.Read(0xFEFE), 0xBF) << "another half-row";

    EXPECT_EQ(ports.Read(0x001F), 0x00);
    Computer->KempstonJoystick->Press(TKempstonJoystick::Fire);
    EXPECT_EQ(ports.Read(0x001F), 0x10);

    // 0x15: beeper bit 4 set, microphone bit 3 clear, border 5.
    ports.Write(0x00FE, 0x15);
    EXPECT_EQ(Computer->Speaker->GetLevel(), TSpeaker::HighLevel);
    EXPECT_EQ(Computer->Mic->GetLevel(), 0);
    EXPECT_EQ(Computer->VideoCard->GetBorder(), 5);
    ports.Write(0x00FE, 0x08);
    EXPECT_EQ(Computer->Speaker->GetLevel(), 0);
    EXPECT_EQ(Computer->Mic->GetLevel(), TMic::HighLevel);

    ports.Write(0xFFFD, 7);
    ports.Write(0xBFFD, 0x3E);
    EXPECT_EQ(Computer->AY->GetRegister(7), 0x3E);
    EXPECT_EQ(ports.Read(0xFFFD), 0x3E);

    ports.Write(0x7FFD, 0x03);
    EXPECT_EQ(Computer->Memory->GetPagedBank(), 3);
    EXPECT_EQ(Computer->MemoryPagination->GetLastValue(), 0x03);
}

TEST_F(ComputerTest, APlayingTapeIsHeardOnBit6OfTheKeyboardPort)
{
    TTempFolder folder;
    Computer->TapeRecorder->SetTape(MakeTape(folder));
    Load(Origin, {0x18, 0xFE});  // JR $
    EXPECT_EQ(Computer->Ports->Read(0x7FFE) & 0x40, 0) << "not playing: bit 6 low";
    Computer->TapeRecorder->Play();
    ASSERT_TRUE(Computer->TapeRecorder->IsPlaying());
    // The pilot tone: the level changes every 2,168 T-states, and each read
    // shows the level the step caught the recorder up to.
    int highs = 0;
    int lows = 0;
    for (int step = 0; step < 3000; ++step) {
        ASSERT_TRUE(Computer->Step());
        const bool level = Computer->TapeRecorder->GetEarLevel();
        ASSERT_EQ((Computer->Ports->Read(0x7FFE) & 0x40) != 0, level) << "step " << step;
        EXPECT_EQ(Computer->Ports->Read(0x7FFE) & 0xBF, 0xBF) << "the keys still read high";
        (level ? highs : lows) += 1;
    }
    EXPECT_GT(highs, 100);
    EXPECT_GT(lows, 100);
    Computer->TapeRecorder->Stop();
    EXPECT_EQ(Computer->Ports->Read(0x7FFE), 0xBF);
}

TEST_F(ComputerTest, ReadOfTheKeyboardPortByTheProcessor)
{
    // IN A,(0xFE) with A = 0x00 reads every half-row.
    Load(Origin, {0x3E, 0x00, 0xDB, 0xFE});
    ASSERT_TRUE(Computer->Step());
    ASSERT_TRUE(Computer->Step());
    EXPECT_EQ(Computer->Z80->A(), 0xBF);
}

// ---------------------------------------------------------------------------
// Stepping on the user-interface thread

TEST_F(ComputerTest, StepRunsOneInstructionAndCatchesTheDevicesUp)
{
    // LD A,0x10 / OUT (0xFE),A: the beeper goes high and has caught up to
    // the CPU's T-state after the step.
    Load(Origin, {0x3E, 0x10, 0xD3, 0xFE});
    Computer->Z80->Tact = 1000;
    ASSERT_TRUE(Computer->Step());
    EXPECT_EQ(Computer->Z80->PC, Origin + 2);
    ASSERT_TRUE(Computer->Step());
    EXPECT_EQ(Computer->Z80->Tact, 1000 + 7 + 11);
    EXPECT_EQ(Computer->Speaker->GetLevel(), TSpeaker::HighLevel);
    EXPECT_EQ(Computer->Speaker->GetPosition(), Computer->Z80->Tact);
    EXPECT_EQ(Computer->Mic->GetPosition(), Computer->Z80->Tact);
    EXPECT_EQ(Host.UiPoster.Pending(), 0u);
}

TEST_F(ComputerTest, FrameEndOnTheUiThreadShowsTheFrameAtOnce)
{
    TClock clock(std::make_unique<THandTickSource>());
    g_Clock = &clock;
    Computer->SetNoSync(1);
    TFakeDisplay display;
    g_Display = &display;
    Load(Origin, {0x18, 0xFE});  // JR $
    Computer->Z80->Tact = Settings->TStatesPerFrame - 20;
    const u64 published = Computer->Render->GetDC()->GetSerial();
    const u32 frames = clock.GetFrames();

    while (Computer->Z80->Frame == 0)
        ASSERT_TRUE(Computer->Step());
    EXPECT_EQ(Computer->Render->GetDC()->GetSerial(), published + 1) << "the frame was drawn and published";
    EXPECT_EQ(display.Blits.load(), 1);
    EXPECT_EQ(clock.GetFrames(), frames + 1);
    EXPECT_EQ(Host.UiPoster.Pending(), 0u) << "nothing posted on the user-interface thread";
}

// ---------------------------------------------------------------------------
// Runs and their end

TEST_F(ComputerTest, RunToCursorOnThePcStopsWhenThePcNextArrivesThere)
{
    // NOP / INC A / JR back to the NOP.
    Load(Origin, {0x00, 0x3C, 0x18, 0xFC});
    Computer->Z80->A() = 0;
    ASSERT_TRUE(Computer->Run(CountStops(), Origin));
    EXPECT_EQ(Computer->GetRunTo(), Origin);
    ASSERT_TRUE(PumpUntilRunEnded());

    EXPECT_EQ(Computer->Z80->PC, Origin);
    EXPECT_EQ(Computer->Z80->A(), 1) << "one pass through the loop, not an immediate stop";
    EXPECT_EQ(Stops, 1);
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty()) << "the run-to breakpoint goes with the run";
    EXPECT_EQ(Computer->GetRunTo(), TComputer::NoRunTo);
    EXPECT_EQ(Host.Title.Titles(), (std::vector<std::string>{"Quorvane - Run", "Quorvane - Debug"}));
    EXPECT_TRUE(Computer->IsStopRequested());
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_TRUE(Host.Messages.Messages().empty());
}

TEST_F(ComputerTest, RunUntilInterruptStopsAtTheFirstFrameEndAfterSoundAndPicture)
{
    auto device = std::make_unique<TFakeSoundDevice>();
    TFakeSoundDevice* fake = device.get();
    TDirectSound sound(std::move(device), Host.Services());
    g_DirectSound = &sound;
    Computer->SetNoSync(1);
    Load(Origin, {0x18, 0xFE});  // JR $
    Computer->Z80->Tact = 30'000;
    const i32 frame = Computer->Z80->Frame;
    const u64 published = Computer->Render->GetDC()->GetSerial();

    ASSERT_TRUE(Computer->RunUntilInterrupt(CountStops()));
    EXPECT_TRUE(fake->Playing.load()) << "the run started the sound";
    ASSERT_TRUE(PumpUntilRunEnded());

    EXPECT_EQ(Computer->Z80->Frame, frame + 1);
    EXPECT_LT(Computer->Z80->Tact, 12) << "stopped by the step that ended the frame";
    EXPECT_EQ(fake->WriteCount(), 1u) << "the frame's sound was written";
    EXPECT_EQ(Computer->Render->GetDC()->GetSerial(), published + 1) << "the frame was drawn";
    EXPECT_FALSE(fake->Playing.load()) << "the end of the run stopped the sound";
    EXPECT_FALSE(Computer->IsRunOneFrame());
    EXPECT_EQ(Stops, 1);
}

TEST_F(ComputerTest, RunUntilInterruptEndedEarlyDoesNotLimitTheNextRun)
{
    // Two instructions, then a breakpoint stops the run long before its
    // frame ends; the next plain run must not stop at a frame end.
    Load(Origin, {0x00, 0x18, 0xFD});  // NOP / JR to the NOP
    Computer->SetNoSync(1);
    Computer->Breakpoints->Add(Origin + 1);
    ASSERT_TRUE(Computer->RunUntilInterrupt(CountStops()));
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Computer->Z80->Frame, 0);
    EXPECT_FALSE(Computer->IsRunOneFrame());
    Computer->Breakpoints->Remove(Origin + 1);

    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 3; }));
    EXPECT_TRUE(Computer->IsRunActive()) << "still running three frames on";
    Computer->Stop();
    EXPECT_EQ(Stops, 2);
}

TEST_F(ComputerTest, StepOverACallRunsToTheNextInstruction)
{
    // CALL 0x8010 / NOP ... 0x8010: INC B / RET
    Load(Origin + 0x10, {0x04, 0xC9}, false);
    Load(Origin, {0xCD, 0x10, 0x80, 0x00});
    Computer->Z80->B() = 0;
    ASSERT_TRUE(Computer->StepOver(CountStops()));
    EXPECT_EQ(Computer->GetRunTo(), Origin + 3);
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Computer->Z80->PC, Origin + 3);
    EXPECT_EQ(Computer->Z80->B(), 1);
    EXPECT_EQ(Computer->Z80->SP, 0xF000);
    EXPECT_EQ(Stops, 1);
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
}

TEST_F(ComputerTest, StepOverAPlainInstructionStepsWithoutAThread)
{
    Load(Origin, {0x78});  // LD A,B
    Computer->Z80->B() = 0x5A;
    bool activeInCallback = true;
    ASSERT_TRUE(Computer->StepOver([&] {
        ++Stops;
        activeInCallback = Computer->IsRunActive();
    }));
    EXPECT_EQ(Stops, 1) << "the callback ran before StepOver returned";
    EXPECT_FALSE(activeInCallback);
    EXPECT_EQ(Computer->Z80->PC, Origin + 1);
    EXPECT_EQ(Computer->Z80->A(), 0x5A);
    EXPECT_TRUE(Host.Title.Titles().empty()) << "no run, no caption";
    EXPECT_EQ(Host.UiPoster.Pending(), 0u);
    // And without a callback.
    Load(Origin, {0x78});
    EXPECT_TRUE(Computer->StepOver(nullptr));
    EXPECT_EQ(Computer->Z80->PC, Origin + 1);
}

TEST_F(ComputerTest, EscapeStopsTheRunAndItsBreakpointGoesWithIt)
{
    // INC A / JP 0x9000; 0x9000: JP 0x8000. The first run's target 0xA000
    // is never reached; Escape ends it. The second run passes 0x9000 and
    // must not stop there or anywhere.
    Load(0x9000, {0xC3, 0x00, 0x80}, false);
    Load(Origin, {0x3C, 0xC3, 0x00, 0x90});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops(), 0xA000));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->A() > 10; }));
    Computer->SetStopRequest(1);  // Escape, as the key thread does it
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
    const u16 pc = Computer->Z80->PC;
    EXPECT_TRUE(pc == Origin || pc == Origin + 1 || pc == 0x9000) << "stopped between two instructions";

    ASSERT_TRUE(Computer->Run(CountStops(), TComputer::NoRunTo));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 2; }));
    EXPECT_TRUE(Computer->IsRunActive());
    Computer->Stop();
    EXPECT_EQ(Stops, 2);
}

TEST_F(ComputerTest, ClosingWhileStoppedDoesNothing)
{
    Computer->Stop();
    EXPECT_EQ(Stops, 0);
    EXPECT_TRUE(Host.Title.Titles().empty());
    EXPECT_EQ(Host.UiPoster.Pending(), 0u);
    EXPECT_TRUE(Computer->IsStopRequested());
}

TEST_F(ComputerTest, ClosingDuringARunJoinsAndNotifiesOnce)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 1; }));
    Computer->Stop();
    EXPECT_EQ(Stops, 1) << "Stop delivers the notification itself";
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_EQ(Host.Title.Title(), "Quorvane - Debug");
    // The run thread's own notification arrives later and does nothing.
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(Host.Title.Titles().size(), 2u);
}

TEST_F(ComputerTest, DestroyingTheComputerDuringARunNotifiesOnceAndLeavesNothingBehind)
{
    TFakeDisplay display;
    g_Display = &display;
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 2; }));
    Computer.reset();
    EXPECT_EQ(Stops, 1);
    // A repaint and the thread's own notification are still queued; they
    // must find no computer and touch nothing.
    EXPECT_GE(Host.UiPoster.Pending(), 2u);
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(display.Blits.load(), 0);
}

TEST_F(ComputerTest, ASecondRunDuringARunIsRefused)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    int otherStops = 0;
    ASSERT_TRUE(Computer->Run(CountStops()));
    EXPECT_FALSE(Computer->Run([&] { ++otherStops; }, 0x1234));
    EXPECT_FALSE(Computer->RunUntilInterrupt([&] { ++otherStops; }));
    EXPECT_FALSE(Computer->IsRunOneFrame()) << "a refused Run until Interrupt leaves the run as it was";
    EXPECT_FALSE(Computer->StepOver([&] { ++otherStops; }));
    EXPECT_FALSE(Computer->Step()) << "no Trace Into while a run is active";
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
    EXPECT_EQ(Computer->GetRunTo(), TComputer::NoRunTo);
    Computer->SetStopRequest(1);
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(otherStops, 0);
    EXPECT_EQ(Host.Title.Titles(), (std::vector<std::string>{"Quorvane - Run", "Quorvane - Debug"}));
}

TEST_F(ComputerTest, StopRightAfterRun)
{
    Load(Origin, {0x18, 0xFE});
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(Computer->Run(CountStops()));
        Computer->Stop();
        EXPECT_EQ(Stops, i + 1);
        EXPECT_FALSE(Computer->IsRunning());
    }
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 50);
}

TEST_F(ComputerTest, EscapeThenStopWithinOneFrame)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Computer->Run(CountStops()));
        Computer->SetStopRequest(1);
        Computer->Stop();
        EXPECT_EQ(Stops, i + 1);
        Host.UiPoster.Pump();
        EXPECT_EQ(Stops, i + 1);
    }
}

TEST_F(ComputerTest, TheCallbackMayStartTheNextRun)
{
    Load(Origin, {0x00, 0x18, 0xFD});
    Computer->SetNoSync(1);
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 3) {
            EXPECT_TRUE(Computer->Run(again, Origin + 1));
        }
    };
    ASSERT_TRUE(Computer->Run(again, Origin + 1));
    ASSERT_TRUE(PumpUntil([&] { return runs == 3; }));
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_EQ(Host.Title.Title(), "Quorvane - Debug");
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
}

TEST_F(ComputerTest, AnErrorInsideAStepEndsTheRunAndIsShownOnTheUiThread)
{
    TThrowingPort port;
    Computer->Ports->AddPort(TPort(0x0001, 0x00FF, TInHandler::Bind<TThrowingPort, &TThrowingPort::Read>(&port)));
    Load(Origin, {0x00, 0xDB, 0x01, 0x18, 0xFB});  // NOP / IN A,(1) / JR to the NOP
    ASSERT_TRUE(Computer->Run(CountStops(), 0x9999));
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty());
    EXPECT_EQ(Host.Title.Title(), "Quorvane - Debug");
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text, "The port is on fire.");
}

TEST_F(ComputerTest, AThreadThatCannotStartUndoesTheRun)
{
    auto device = std::make_unique<TFakeSoundDevice>();
    TFakeSoundDevice* fake = device.get();
    TDirectSound sound(std::move(device), Host.Services());
    g_DirectSound = &sound;
    Load(Origin, {0x18, 0xFE});

    TRunThread::FailNextStart();
    EXPECT_FALSE(Computer->RunUntilInterrupt(CountStops()));
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_FALSE(Computer->IsRunOneFrame());
    EXPECT_TRUE(Computer->IsStopRequested());
    EXPECT_FALSE(sound.IsPlaying()) << "the sound it started was stopped again";
    EXPECT_EQ(Host.Title.Titles(), (std::vector<std::string>{"Quorvane - Run", "Quorvane - Debug"}));
    EXPECT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Stops, 0);

    TRunThread::FailNextStart();
    EXPECT_FALSE(Computer->Run(CountStops(), 0x4321));
    EXPECT_TRUE(Computer->Breakpoints->IsEmpty()) << "the run-to breakpoint was taken away again";
    EXPECT_EQ(Computer->GetRunTo(), TComputer::NoRunTo);
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 0);

    // The next run works.
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->RunUntilInterrupt(CountStops()));
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
    EXPECT_GE(fake->Plays.load(), 1);
}

TEST_F(ComputerTest, TheRunSwitchesTheKeyThreadOnAndEscapeOnTheHostKeyboardStopsIt)
{
    constexpr u8 KeyA = 0x1E;  // PC scan codes
    constexpr u8 Escape = 0x01;
    constexpr u8 F8 = 0x42;
    TFakeKeySource source;
    TKeyThread keys(Computer.get(), &source, Host.Services(), [] {});
    g_KeyThread = &keys;
    keys.EnableForScreenView();
    source.Press(KeyA);  // held before the run starts
    ASSERT_TRUE(WaitFor([&] { return source.EventReads() > 0; }, false));
    EXPECT_EQ(Computer->Keyboard->GetKeysDown(), 0) << "no run: the key does not reach the machine";
    EXPECT_FALSE(keys.IsEmulationEnabled());

    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([&] { return keys.IsEmulationEnabled(); }, false));
    EXPECT_TRUE(WaitFor([&] { return Computer->Keyboard->GetKeysDown() == 1; }))
        << "the held key was pressed when the run began";
    source.Press(F8);
    ASSERT_TRUE(WaitFor([&] { return !Computer->IsNoSync(); }, false)) << "F8 switches pacing back on";
    source.Press(Escape);
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
    EXPECT_FALSE(keys.IsEmulationEnabled()) << "the end of the run switched the key thread off";

    keys.Terminate();
    g_KeyThread = nullptr;
}

// ---------------------------------------------------------------------------
// Pause guard and waiting for the end

TEST_F(ComputerTest, PauseGuardParksTheRunUntilItEnds)
{
    {
        auto idle = Computer->PauseRun();
        EXPECT_FALSE(idle.IsHolding()) << "nothing to pause while stopped";
    }
    Load(Origin, {0x3C, 0x18, 0xFD});  // INC A / JR back
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    {
        auto pause = Computer->PauseRun();
        EXPECT_TRUE(pause.IsHolding());
        const u8 a = Computer->Z80->A();
        const u16 pc = Computer->Z80->PC;
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(Computer->Z80->A(), a);
        EXPECT_EQ(Computer->Z80->PC, pc);
        {
            auto nested = Computer->PauseRun();
            EXPECT_TRUE(nested.IsHolding());
        }
        std::this_thread::sleep_for(5ms);
        EXPECT_EQ(Computer->Z80->A(), a) << "the outer guard still holds";
        // The machine may be changed now.
        Computer->Z80->A() = 0;
        Computer->Memory->WriteByte(0xC000, 0x77);
    }
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->A() > 100; }));
    Computer->Stop();
    EXPECT_EQ(Computer->Memory->ReadByte(0xC000), 0x77);
    EXPECT_EQ(Stops, 1);
}

TEST_F(ComputerTest, StopWhileAGuardIsHeldDoesNotDeadlock)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    auto pause = Computer->PauseRun();
    Computer->Stop();
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_EQ(Stops, 1);
    pause.Release();
    EXPECT_FALSE(pause.IsHolding());
}

TEST_F(ComputerTest, EscapeWhileAGuardIsHeldThenWaitingForTheEnd)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    auto pause = Computer->PauseRun();
    ASSERT_TRUE(pause.IsHolding());
    std::thread([this] { Computer->SetStopRequest(1); }).join();  // Escape: nobody is woken
    EXPECT_TRUE(Computer->WaitUntilRunEnded());
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_EQ(Stops, 1);
}

TEST_F(ComputerTest, WaitUntilRunEndedOnlyWaitsForARequestedStop)
{
    EXPECT_TRUE(Computer->WaitUntilRunEnded()) << "stopped already";
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    EXPECT_FALSE(Computer->WaitUntilRunEnded()) << "the run goes on";
    EXPECT_TRUE(Computer->IsRunActive());
    Computer->SetStopRequest(1);
    EXPECT_TRUE(Computer->WaitUntilRunEnded());
    EXPECT_FALSE(Computer->IsRunning());
    EXPECT_FALSE(Computer->IsRunActive());
    EXPECT_EQ(Stops, 1);
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 1);
}

// ---------------------------------------------------------------------------
// Pacing at the frame end

TEST_F(ComputerTest, WithNoSyncTheFrameEndDoesNotWait)
{
    auto ticks = std::make_unique<THandTickSource>();
    TClock clock(std::move(ticks));  // never ticks
    g_Clock = &clock;
    auto device = std::make_unique<TFakeSoundDevice>();
    TFakeSoundDevice* fake = device.get();
    TDirectSound sound(std::move(device), Host.Services());
    g_DirectSound = &sound;

    Load(Origin, {0x18, 0xFE});
    Computer->ToggleNoSync();
    EXPECT_TRUE(Computer->IsNoSync());
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 10; }));
    Computer->Stop();
    EXPECT_EQ(fake->Polls.load(), 0u) << "no wait for the play position";
    EXPECT_GE(fake->WriteCount(), 10u) << "the sound is still written";
    EXPECT_GE(clock.GetFrames(), 10u);
}

TEST_F(ComputerTest, WithoutPlayingSoundTheClockPacesOneFramePerTick)
{
    auto ticks = std::make_unique<THandTickSource>();
    THandTickSource* hand = ticks.get();
    TClock clock(std::move(ticks));
    g_Clock = &clock;
    auto device = std::make_unique<TFakeSoundDevice>();
    device->FailOpen = true;  // the sound output is not working
    TDirectSound sound(std::move(device), Host.Services());
    g_DirectSound = &sound;
    ASSERT_FALSE(sound.IsOk());

    Load(Origin, {0x18, 0xFE});
    Computer->Z80->Tact = Settings->TStatesPerFrame - 100;
    ASSERT_TRUE(Computer->Run(CountStops()));
    // The first frame end waits for a tick that does not come: the frame is
    // counted only after the wait.
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(clock.GetFrames(), 0u);
    for (u32 k = 1; k <= 3; ++k) {
        hand->Tick();
        ASSERT_TRUE(WaitFor([&] { return clock.GetFrames() == k; }, false));
        std::this_thread::sleep_for(10ms);
        EXPECT_EQ(clock.GetFrames(), k) << "one frame per tick";
    }
    Computer->SetStopRequest(1);
    hand->Tick();
    ASSERT_TRUE(PumpUntilRunEnded());
    EXPECT_EQ(Stops, 1);
}

TEST_F(ComputerTest, PlayingSoundPacesByThePlayPosition)
{
    TClock clock(std::make_unique<THandTickSource>());  // never ticks
    g_Clock = &clock;
    auto device = std::make_unique<TFakeSoundDevice>();
    TFakeSoundDevice* fake = device.get();
    fake->AutoStep = 300;  // the position moves at every poll
    TDirectSound sound(std::move(device), Host.Services());
    g_DirectSound = &sound;

    Load(Origin, {0x18, 0xFE});
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 4; })) << "frames pass without a clock tick";
    Computer->Stop();
    EXPECT_GT(fake->Polls.load(), 0u);
    EXPECT_TRUE(sound.IsOk());
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

// ---------------------------------------------------------------------------
// Reset

TEST_F(ComputerTest, ResetKeepsMemoryBorderBeeperAndTape)
{
    TTempFolder folder;
    Computer->TapeRecorder->SetTape(MakeTape(folder));
    const TTape* tape = Computer->TapeRecorder->GetTape();
    Computer->TapeRecorder->Play();
    Computer->SetNoSync(1);
    // Beeper high for a whole frame, border 2, paging moved, AY written.
    Load(Origin, {0x3E, 0x12, 0xD3, 0xFE, 0x18, 0xFE});
    Computer->Z80->Tact = 0;
    while (Computer->Z80->Frame < 2)
        ASSERT_TRUE(Computer->Step());
    Computer->Ports->Write(0x7FFD, 0x01);
    Computer->AY->SetRegister(8, 0x0F);
    Computer->Keyboard->KeyDown(5);
    Computer->KempstonJoystick->Press(TKempstonJoystick::Up);
    Computer->Z80->IFF1 = Computer->Z80->IFF2 = 1;
    Computer->Z80->IM = 2;
    Computer->Memory->WriteByte(0xC000, 0xA5);  // bank 1
    Computer->Memory->WriteByte(0x6000, 0x5A);  // bank 5
    const std::vector<u8> beeper(Computer->Speaker->GetFrameBuffer(),
                                 Computer->Speaker->GetFrameBuffer() + Computer->Speaker->GetSamplesPerFrame());
    ASSERT_EQ(beeper.front(), TSpeaker::HighLevel);

    Computer->Reset();

    EXPECT_EQ(Computer->Z80->PC, 0);
    EXPECT_EQ(Computer->Z80->IFF1, 0);
    EXPECT_EQ(Computer->Z80->IM, 0);
    EXPECT_EQ(Computer->Memory->GetPagedBank(), 0) << "paging reset";
    EXPECT_EQ(Computer->AY->GetRegister(8), 0) << "AY reset";
    EXPECT_EQ(Computer->Keyboard->GetKeysDown(), 0) << "keyboard reset";
    EXPECT_EQ(Computer->KempstonJoystick->GetState(), 0) << "joystick reset";

    EXPECT_EQ(Computer->VideoCard->GetBorder(), 2);
    EXPECT_EQ(Computer->Speaker->GetLevel(), TSpeaker::HighLevel);
    EXPECT_EQ(std::vector<u8>(Computer->Speaker->GetFrameBuffer(),
                              Computer->Speaker->GetFrameBuffer() + Computer->Speaker->GetSamplesPerFrame()),
              beeper);
    EXPECT_EQ(Computer->Memory->ReadByte(0x6000), 0x5A);
    EXPECT_EQ(Computer->TapeRecorder->GetTape(), tape);
    EXPECT_TRUE(Computer->TapeRecorder->IsPlaying());
    Computer->Ports->Write(0x7FFD, 0x01);
    EXPECT_EQ(Computer->Memory->ReadByte(0xC000), 0xA5);
}

TEST_F(ComputerTest, ResetDuringARunHappensBetweenTwoSteps)
{
    Load(Origin, {0x3C, 0x18, 0xFD});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 1; }));
    {
        auto pause = Computer->PauseRun();
        Computer->Reset();
        EXPECT_EQ(Computer->Z80->PC, 0);
        // Back to the loop before the run goes on.
        Computer->Z80->PC = Origin;
    }
    Computer->Stop();
    EXPECT_EQ(Stops, 1);
}

// ---------------------------------------------------------------------------
// The screen refresh during a run

TEST_F(ComputerTest, FramesOfARunArePublishedWithOneCoalescedRepaint)
{
    TFakeDisplay display;
    g_Display = &display;
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    const u64 published = Computer->Render->GetDC()->GetSerial();
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 20; }));
    Computer->Stop();
    EXPECT_GE(Computer->Render->GetDC()->GetSerial(), published + 20);
    EXPECT_EQ(display.Blits.load(), 0) << "the run thread never paints";
    // One repaint for all the frames, and the thread's own notification.
    EXPECT_EQ(Host.UiPoster.Pending(), 2u);
    Host.UiPoster.Pump();
    EXPECT_EQ(display.Blits.load(), 1);
    EXPECT_EQ(Stops, 1);
}

TEST_F(ComputerTest, ARepaintWithNoDisplayStillLetsTheNextFramePostOne)
{
    Load(Origin, {0x18, 0xFE});
    Computer->SetNoSync(1);
    ASSERT_TRUE(Computer->Run(CountStops()));
    ASSERT_TRUE(WaitFor([this] { return Computer->Z80->Frame >= 2; }));
    ASSERT_TRUE(Host.UiPoster.WaitForPost(5s));
    Host.UiPoster.Pump();  // the repaint, with no display shown
    TFakeDisplay display;
    g_Display = &display;
    ASSERT_TRUE(PumpUntil([&] { return display.Blits.load() > 0; }));
    Computer->Stop();
    g_Display = nullptr;
}
