// The sound output over a fake device: ring and write positions, the sync
// windows, the wait, and how failures are reported (once, posted) and switch
// the pacing to the clock.
#include "host/Direct_sound.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr i32 N = 903;
constexpr i32 Ring = 3 * N;

const std::string CreateText = "Can not create DirectSound object!\nFunction 'DirectSoundCreate'";
const std::string PositionText =
    "Can not get current position of Direct Sound buffer!\nFunction 'GetCurrentPosition'";

// A device whose play position the test sets, or moves by a fixed step at
// every poll while playing. Thread-safe, since a wait may run on another
// thread than the test's.
class TFakeSoundDevice : public TSoundDevice {
public:
    void Open(u32 sampleRate, u32 ringSamples) override
    {
        std::lock_guard<std::mutex> lock(Lock);
        OpenedRate = sampleRate;
        Samples.assign(ringSamples, 0);
        if (OpenError)
            throw *OpenError;
    }
    void Clear() override
    {
        std::lock_guard<std::mutex> lock(Lock);
        ++Clears;
        std::fill(Samples.begin(), Samples.end(), 0);
    }
    void Play() override
    {
        if (PlayError)
            throw *PlayError;
        Playing = true;
    }
    void Stop() override { Playing = false; }
    void Write(u32 offset, const u8* samples, u32 count) override
    {
        std::lock_guard<std::mutex> lock(Lock);
        WriteOffsets.push_back(offset);
        std::copy(samples, samples + count, Samples.begin() + offset);
    }
    u32 GetPlayCursor() override
    {
        ++Polls;
        if (PollError)
            throw *PollError;
        u32 position = Position.load();
        if (Playing && Step != 0) {
            position = (position + Step) % u32(Ring);
            Position = position;
        }
        return position;
    }

    std::vector<u8> RingCopy()
    {
        std::lock_guard<std::mutex> lock(Lock);
        return Samples;
    }
    std::vector<u32> Offsets()
    {
        std::lock_guard<std::mutex> lock(Lock);
        return WriteOffsets;
    }

    std::optional<TDSError> OpenError, PlayError, PollError;
    std::atomic<u32> Position{0};
    std::atomic<u32> Step{0};  // samples the position moves per poll
    std::atomic<bool> Playing{false};
    std::atomic<i32> Polls{0};
    std::atomic<i32> Clears{0};
    u32 OpenedRate = 0;

private:
    std::mutex Lock;
    std::vector<u8> Samples;
    std::vector<u32> WriteOffsets;
};

// Ticks only when the test says.
class TManualTicks : public TTickSource {
public:
    bool Start(std::function<void()> tick) override
    {
        Tick = std::move(tick);
        return true;
    }
    void Stop() override {}
    std::function<void()> Tick;
};

class DirectSoundTest : public ::testing::Test {
protected:
    TDirectSound& Make()
    {
        auto device = std::make_unique<TFakeSoundDevice>();
        device->OpenError = OpenError;
        Device = device.get();
        Sound = std::make_unique<TDirectSound>(std::move(device), Host.Services());
        return *Sound;
    }

    // The messages shown once the user-interface thread has run its queue.
    std::vector<TFakeMessageService::TMessage> Shown()
    {
        Host.UiPoster.Pump();
        return Host.Messages.Messages();
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::optional<TDSError> OpenError;
    TFakeSoundDevice* Device = nullptr;
    std::unique_ptr<TDirectSound> Sound;
    std::vector<u8> Frame = std::vector<u8>(N, 0x55);
};

TEST_F(DirectSoundTest, OpensARingOfThreeFrames)
{
    TDirectSound& sound = Make();
    EXPECT_TRUE(sound.IsOk());
    EXPECT_FALSE(sound.IsPlaying());  // working and stopped
    EXPECT_EQ(sound.GetFrameSamples(), N);
    EXPECT_EQ(sound.GetBufferBytes(), Ring);
    EXPECT_EQ(Device->OpenedRate, 44'100u);
    EXPECT_EQ(Device->RingCopy().size(), size_t(Ring));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(DirectSoundTest, WritesGoToTheNextThirdPlayingOrNot)
{
    TDirectSound& sound = Make();
    for (int i = 0; i < 4; ++i)
        sound.Write(Frame.data());
    EXPECT_EQ(Device->Offsets(), (std::vector<u32>{0, N, 2 * N, 0}));
    EXPECT_EQ(sound.GetWritePos(), N);
    EXPECT_EQ(Device->RingCopy(), std::vector<u8>(Ring, 0x55));
}

TEST_F(DirectSoundTest, PlayClearsTheRingWithoutMovingThePositions)
{
    TDirectSound& sound = Make();
    sound.Write(Frame.data());  // a frame end during single steps
    Device->Position = 1234;
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
    EXPECT_EQ(Device->Clears.load(), 1);
    EXPECT_EQ(Device->RingCopy(), std::vector<u8>(Ring, 0));
    EXPECT_EQ(Device->Position.load(), 1234u);
    EXPECT_EQ(sound.GetWritePos(), N);
    sound.Stop();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_TRUE(sound.IsOk());
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
}

TEST_F(DirectSoundTest, WindowsOfTheDocumentedDelays)
{
    struct TCase {
        i32 Delay;
        i32 First;  // the window after a write at 0 (w = n)
        i32 Last;
    };
    for (const TCase& c : {TCase{0, 903, 1805}, TCase{-10, 813, 1715}, TCase{100, 1806, 2708}, TCase{-100, 0, 902}}) {
        Settings->SoundSyncDelay = c.Delay;
        TDirectSound& sound = Make();
        sound.Write(Frame.data());
        ASSERT_EQ(sound.GetWritePos(), N);
        const TDirectSound::TSyncWindow window = sound.GetSyncWindow();
        for (i32 p = 0; p < Ring; ++p) {
            ASSERT_EQ(TDirectSound::IsCursorInWindow(window, p, N), c.First <= p && p <= c.Last)
                << "delay " << c.Delay << ", p " << p;
        }
    }
    Settings->SoundSyncDelay = -10;
    TDirectSound& sound = Make();
    const TDirectSound::TSyncWindow window = sound.GetSyncWindow();
    EXPECT_EQ(window.T1, 2619);
    EXPECT_EQ(window.T2, 813);
    EXPECT_EQ(window.T3, 1716);
}

// The six cases of the wait's table are one rule: the play position lies in
// the third to be written next, shifted by e = +d or -d samples.
TEST_F(DirectSoundTest, SixCasesEqualTheModularRule)
{
    for (i32 s = -100; s <= 100; ++s) {
        const TDirectSound::TSyncWindow window = TDirectSound::ComputeWindow(s, N);
        const i32 d = std::abs(s) * N / 100;
        const i32 e = s >= 0 ? d : -d;
        for (i32 w : {0, N, 2 * N}) {
            for (i32 p = 0; p < Ring; ++p) {
                const bool rule = (((p - w - e) % Ring) + Ring) % Ring < N;
                ASSERT_EQ(TDirectSound::IsCursorInWindow(window, p, w), rule) << "s " << s << ", w " << w << ", p " << p;
            }
        }
    }
}

TEST_F(DirectSoundTest, SyncDelayIsKeptInsideItsRange)
{
    Settings->SoundSyncDelay = 500;
    TDirectSound& sound = Make();
    EXPECT_EQ(sound.GetSyncDelay(), 100);
    Settings->SoundSyncDelay = -1000;
    sound.SetSyncOffset();
    EXPECT_EQ(sound.GetSyncDelay(), -100);
    Settings->SoundSyncDelay = 37;
    sound.SetSyncOffset();
    EXPECT_EQ(sound.GetSyncDelay(), 37);
}

TEST_F(DirectSoundTest, WaitEndsWhenThePositionEntersTheWindow)
{
    for (i32 delay : {-100, -10, 0, 55, 100}) {
        Settings->SoundSyncDelay = delay;
        TDirectSound& sound = Make();
        sound.Play();
        Device->Step = 97;
        for (int frame = 0; frame < 5; ++frame) {
            sound.Write(Frame.data());
            sound.WaitForPlayCursor();
            ASSERT_TRUE(TDirectSound::IsCursorInWindow(sound.GetSyncWindow(), i32(Device->Position.load()), sound.GetWritePos()))
                << "delay " << delay << ", frame " << frame;
        }
        EXPECT_TRUE(sound.IsPlaying());
    }
    EXPECT_TRUE(Shown().empty());
}

TEST_F(DirectSoundTest, WaitSleepsEvenInsideTheWindow)
{
    Settings->SoundSyncDelay = 0;
    TDirectSound& sound = Make();
    sound.Play();
    sound.Write(Frame.data());
    Device->Position = 1000;  // already inside 903..1805
    const auto start = std::chrono::steady_clock::now();
    sound.WaitForPlayCursor();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1ms);
    EXPECT_EQ(Device->Polls.load(), 1);
}

// A position that stops moving ends the wait with one report; the sound is
// off from then on and the frame end paces by the clock.
TEST_F(DirectSoundTest, FrozenPositionEndsTheWaitWithOneErrorAndClockPacing)
{
    Settings->SoundSyncDelay = 0;
    TDirectSound& sound = Make();
    TManualTicks* ticks = new TManualTicks;
    TClock clock{std::unique_ptr<TTickSource>(ticks)};
    sound.Play();
    sound.Write(Frame.data());
    Device->Position = 0;  // outside 903..1805, and stuck there
    sound.WaitForPlayCursor();
    EXPECT_FALSE(sound.IsOk());
    EXPECT_FALSE(sound.IsPlaying());

    // The computer's frame end: with the sound not playing it waits for the
    // clock's next tick (one has passed), and does not poll the device.
    const i32 polls = Device->Polls.load();
    ticks->Tick();
    sound.Write(Frame.data());
    if (sound.IsPlaying())
        sound.WaitForPlayCursor();
    else
        clock.WaitTick();
    EXPECT_EQ(Device->Polls.load(), polls);
    EXPECT_EQ(Device->Offsets().size(), 1u);  // the sound is off: nothing written

    // Reported once, posted: nothing is shown before the UI thread runs.
    EXPECT_EQ(Host.Messages.Count(), 0u);
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Caption, " DirectSound Error!");
    EXPECT_EQ(shown[0].Text.rfind(PositionText + " return result code 'DSERR_GENERIC': ", 0), 0u) << shown[0].Text;

    sound.Play();
    sound.Stop();
    sound.WaitForPlayCursor();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(DirectSoundTest, DeviceErrorInTheWaitIsReportedOnce)
{
    TDirectSound& sound = Make();
    sound.Play();
    sound.Write(Frame.data());
    Device->PollError = TDSError(TDSFunction::GetCurrentPosition, DSResult::BufferLost);
    sound.WaitForPlayCursor();
    sound.WaitForPlayCursor();
    EXPECT_FALSE(sound.IsPlaying());
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text.rfind(PositionText + " return result code 'DSERR_BUFFERLOST': ", 0), 0u) << shown[0].Text;
}

TEST_F(DirectSoundTest, FailureToPlaySwitchesTheSoundOff)
{
    TDirectSound& sound = Make();
    Device->PlayError = TDSError(TDSFunction::Play, DSResult::Generic);
    sound.Play();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_FALSE(sound.IsOk());
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text.rfind("Can not play Direct Sound buffer!\nFunction 'Play' return result code 'DSERR_GENERIC': ", 0), 0u);
}

TEST_F(DirectSoundTest, StopEndsARunningWait)
{
    Settings->SoundSyncDelay = 0;
    TDirectSound& sound = Make();
    sound.Play();
    sound.Write(Frame.data());
    Device->Position = 0;
    Device->Step = 1;  // far from the window for the next second
    std::thread waiter([&] { sound.WaitForPlayCursor(); });
    std::this_thread::sleep_for(20ms);
    sound.Stop();
    waiter.join();
    EXPECT_TRUE(sound.IsOk());
}

TEST_F(DirectSoundTest, NoDeviceIsReportedAndTheMachineGoesOnSilently)
{
    OpenError = TDSError(TDSFunction::Create, DSResult::NoDriver);
    TDirectSound& sound = Make();
    EXPECT_FALSE(sound.IsOk());
    sound.Play();
    sound.Write(Frame.data());
    sound.WaitForPlayCursor();
    sound.Stop();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_TRUE(Device->Offsets().empty());
    EXPECT_EQ(Host.Messages.Count(), 0u);  // posted, never shown on the spot
    const std::vector<TFakeMessageService::TMessage> expected = {
        {" DirectSound Error!",
         CreateText + " return result code 'DSERR_NODRIVER': No sound driver is available for use."}};
    EXPECT_EQ(Shown(), expected);

    TDirectSound none(nullptr, Host.Services());
    EXPECT_FALSE(none.IsOk());
    none.Play();
    EXPECT_FALSE(none.IsPlaying());
    EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(DirectSoundTest, ResultTexts)
{
    EXPECT_EQ(TDirectSound::ResultText(DSResult::Ok), "'DS_OK': The request completed successfully.");
    EXPECT_EQ(TDirectSound::ResultText(DSResult::NoDriver), "'DSERR_NODRIVER': No sound driver is available for use.");
    EXPECT_EQ(TDirectSound::ResultText(DSResult::Code(0x80070005u)), "80070005h.");
    EXPECT_EQ(TDirectSound::ResultText(0x1234), "00001234h.");
    EXPECT_EQ(TDirectSound::ErrorText(TDSError(3, DSResult::Code(0x80070005u))),
              "Can not set Format for DirectSound Buffer!\nFunction 'SetFormat' return result code 80070005h.");

    const std::vector<std::pair<i32, std::string>> names = {
        {DSResult::Allocated, "DSERR_ALLOCATED"},         {DSResult::AlreadyInitialized, "DSERR_ALREADYINITIALIZED"},
        {DSResult::BadFormat, "DSERR_BADFORMAT"},         {DSResult::BufferLost, "DSERR_BUFFERLOST"},
        {DSResult::ControlUnavail, "DSERR_CONTROLUNAVAIL"}, {DSResult::Generic, "DSERR_GENERIC"},
        {DSResult::InvalidCall, "DSERR_INVALIDCALL"},     {DSResult::InvalidParam, "DSERR_INVALIDPARAM"},
        {DSResult::NoAggregation, "DSERR_NOAGGREGATION"}, {DSResult::NoInterface, "DSERR_NOINTERFACE"},
        {DSResult::OtherAppHasPrio, "DSERR_OTHERAPPHASPRIO"}, {DSResult::OutOfMemory, "DSERR_OUTOFMEMORY"},
        {DSResult::PrioLevelNeeded, "DSERR_PRIOLEVELNEEDED"}, {DSResult::Uninitialized, "DSERR_UNINITIALIZED"},
        {DSResult::Unsupported, "DSERR_UNSUPPORTED"}};
    for (const auto& [code, name] : names) {
        const std::string text = TDirectSound::ResultText(code);
        EXPECT_EQ(text.rfind("'" + name + "': ", 0), 0u) << text;
        EXPECT_GT(text.size(), name.size() + 8) << text;
    }
}

TEST(StallWatchTest, OnlyAnUnmovedCountStalls)
{
    const auto t0 = TStallWatch::TClock::time_point{} + 1h;
    TStallWatch watch;
    watch.Restart(100, t0);
    EXPECT_FALSE(watch.IsStalled(100, t0 + 249ms));
    EXPECT_TRUE(watch.IsStalled(100, t0 + 250ms));
    // A slow poll is no stall while the count moved in between.
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 2s));
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 2s + 200ms));
    EXPECT_TRUE(watch.IsStalled(5000, t0 + 2s + 300ms));
    watch.Restart(5000, t0 + 3s);
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 3s + 100ms));
}

} // namespace
