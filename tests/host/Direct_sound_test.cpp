// The sound output over a simulated device in simulated time: the ring and
// the pacing against consumers that take blocks of any size at any time
// (steady, jittered, bursting, stalled, too fast, too slow), the sync shift,
// and how failures are reported (once, posted) and switch the pacing to the
// clock.
#include "host/Direct_sound.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "host/Sound_ring.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr i32 N = 903;
constexpr i32 Ring = 3 * N;

const std::string CreateText = "Can not create DirectSound object!\nFunction 'DirectSoundCreate'";
const std::string PositionText =
    "Can not get current position of Direct Sound buffer!\nFunction 'GetCurrentPosition'";

// Microseconds of simulated time, shared by the wait's clock and the device.
struct TSimTime {
    i64 Us = 0;
    std::function<void()> OnAdvance;  // the device catches up

    void Advance(i64 us)
    {
        Us += us;
        if (OnAdvance)
            OnAdvance();
    }
};

class TSimPollClock : public TPollClock {
public:
    explicit TSimPollClock(TSimTime& time) : Time(time) {}
    void Pause() override { Time.Advance(1000); }
    TTime Now() override { return TTime{} + 1h + std::chrono::microseconds(Time.Us); }

private:
    TSimTime& Time;
};

// The next block a consumer takes: when (simulated microseconds) and how
// many samples. False: it never takes anything again.
using TConsumer = std::function<bool(i64& atUs, u32& samples)>;

// A device over the real ring, whose consumer takes blocks as the simulated
// time passes. It checks every sample it plays against what was written:
// the frame written at that place of the stream, written before it is played,
// while playing, and each place once.
class TSimDevice : public TSoundDevice {
public:
    explicit TSimDevice(TSimTime& time) : Time(time) {}

    void Open(u32 sampleRate, u32 ringSamples) override
    {
        OpenedRate = sampleRate;
        if (OpenError)
            throw *OpenError;
        Samples.Reset(ringSamples);
        Lead = ringSamples / 3;
    }
    void Clear() override { Samples.Drop(); }
    void Play() override
    {
        if (PlayError)
            throw *PlayError;
        Playing = true;
    }
    void Stop() override { Playing = false; }
    bool Write(const u8* samples, u32 count) override
    {
        const u64 at = Samples.Written();
        if (!Samples.Push(samples, count))
            return false;
        Frames[at] = {std::vector<u8>(samples, samples + count), Time.Us, Playing};
        return true;
    }
    u64 GetPlayCursor() override
    {
        ++Polls;
        if (PollError)
            throw *PollError;
        return Samples.Taken() + Lead;
    }
    u64 GetPlayedSamples() const override { return Played; }

    // Takes every block due by now.
    void CatchUp()
    {
        while (Consumer && Next && NextAt <= Time.Us) {
            if (Playing)
                Take(NextSamples);
            Next = Consumer(NextAt, NextSamples);
        }
    }
    void SetConsumer(TConsumer consumer)
    {
        Consumer = std::move(consumer);
        Next = Consumer(NextAt, NextSamples);
    }

    std::optional<TDSError> OpenError, PlayError, PollError;
    bool Playing = false;
    i32 Polls = 0;
    u32 OpenedRate = 0;
    // What the checks found.
    u64 Heard = 0;       // samples played from the ring
    u64 Underrun = 0;    // silence played because the ring was dry
    u64 Mismatched = 0;  // not the sample written at that place
    u64 Early = 0;       // played before it was written
    u64 Twice = 0;       // a place played again, or out of order
    u64 Stale = 0;       // written while stopped, yet heard
    u64 Played = 0;

private:
    struct TFrame {
        std::vector<u8> Samples;
        i64 WrittenUs;
        bool WhilePlaying;
    };

    void Take(u32 length)
    {
        const u64 first = Samples.Taken();
        Buffer.resize(length);
        const u32 taken = Samples.Pop(Buffer.data(), length);
        for (u32 i = 0; i < taken; ++i)
            Check(first + i, Buffer[i]);
        Heard += taken;
        Underrun += length - taken;
        Played += length;
    }
    void Check(u64 place, u8 sample)
    {
        if (LastPlace && place <= *LastPlace)
            ++Twice;
        LastPlace = place;
        auto frame = Frames.upper_bound(place);
        if (frame == Frames.begin()) {
            ++Mismatched;
            return;
        }
        --frame;
        const u64 offset = place - frame->first;
        if (offset >= frame->second.Samples.size() || frame->second.Samples[offset] != sample)
            ++Mismatched;
        if (frame->second.WrittenUs > Time.Us)
            ++Early;
        if (!frame->second.WhilePlaying)
            ++Stale;
    }

    TSimTime& Time;
    TSoundRing Samples;
    u32 Lead = 0;
    std::map<u64, TFrame> Frames;  // by their first place in the stream
    std::vector<u8> Buffer;
    std::optional<u64> LastPlace;
    TConsumer Consumer;
    bool Next = false;
    i64 NextAt = 0;
    u32 NextSamples = 0;
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

// Consumers. Rates are in samples a second of simulated time.
TConsumer Steady(u32 block, double rate)
{
    return [block, rate, count = u64(0)](i64& at, u32& samples) mutable {
        ++count;
        at = static_cast<i64>(double(count * block) * 1e6 / rate);
        samples = block;
        return true;
    };
}

// Blocks of 64..1024 samples at the nominal rate on average, each up to
// 4 ms early or late.
TConsumer Jittered(u32 seed)
{
    return [rng = std::mt19937(seed), due = 0.0](i64& at, u32& samples) mutable {
        samples = 64 + rng() % 961;
        due += samples * 1e6 / 44'100.0;
        at = static_cast<i64>(due) + static_cast<i64>(rng() % 8001) - 4000;
        return true;
    };
}

// The nominal rate, but in bursts: nothing for 60 ms, then what is due at
// once in three blocks.
TConsumer Bursting()
{
    return [count = 0, burst = i64(0)](i64& at, u32& samples) mutable {
        if (count % 3 == 0)
            burst += 60'000;
        ++count;
        at = burst + count % 3;
        samples = 882;
        return true;
    };
}

// Steady until the time given, then nothing ever again.
TConsumer StallingAt(i64 stopUs)
{
    return [inner = Steady(882, 44'100), stopUs](i64& at, u32& samples) mutable {
        return inner(at, samples) && at < stopUs;
    };
}

class DirectSoundTest : public ::testing::Test {
protected:
    TDirectSound& Make()
    {
        auto device = std::make_unique<TSimDevice>(Time);
        device->OpenError = OpenError;
        Device = device.get();
        Time.OnAdvance = [this] { Device->CatchUp(); };
        Sound = std::make_unique<TDirectSound>(std::move(device), Host.Services(),
                                               std::make_unique<TSimPollClock>(Time));
        return *Sound;
    }

    // A frame whose every sample tells its frame and place.
    const u8* FrameOf(i32 k)
    {
        for (i32 i = 0; i < N; ++i)
            Frame[size_t(i)] = static_cast<u8>(1 + (k * 37 + i) % 251);
        return Frame.data();
    }

    struct TRunFigures {
        i32 Frames = 0;
        i32 Accepted = 0;
        i32 Waits = 0;
        i32 LongestWaitMs = 0;
        i32 ClockPacedFrames = 0;
    };

    // The computer's frame end for frames k0..k1-1: the machine spends
    // 1..8 ms on a frame (30 ms on every 97th), writes it, then waits for the
    // play position when the sound paces, else for the clock's next 20 ms.
    TRunFigures RunFrames(i32 k0, i32 k1, u32 seed = 1)
    {
        TRunFigures figures;
        std::mt19937 rng(seed);
        for (i32 k = k0; k < k1; ++k) {
            Time.Advance(k % 97 == 96 ? 30'000 : 1000 + rng() % 7001);
            const u64 written = Sound->GetWrittenSamples();
            Sound->Write(FrameOf(k));
            ++figures.Frames;
            figures.Accepted += Sound->GetWrittenSamples() != written;
            if (Sound->IsPacing()) {
                const i32 polls = Device->Polls;
                Sound->WaitForPlayCursor();
                ++figures.Waits;
                figures.LongestWaitMs = std::max(figures.LongestWaitMs, Device->Polls - polls);
            } else {
                ++figures.ClockPacedFrames;
                Time.Advance(20'000 - Time.Us % 20'000);
            }
        }
        return figures;
    }

    void ExpectEverySampleRight()
    {
        EXPECT_GT(Device->Heard, 0u);
        EXPECT_EQ(Device->Mismatched, 0u) << "a sample not written at that place was played";
        EXPECT_EQ(Device->Early, 0u) << "a sample was played before it was written";
        EXPECT_EQ(Device->Twice, 0u) << "a place was played twice";
        EXPECT_EQ(Device->Stale, 0u) << "a frame written while stopped was heard";
    }

    // The messages shown once the user-interface thread has run its queue.
    std::vector<TFakeMessageService::TMessage> Shown()
    {
        Host.UiPoster.Pump();
        return Host.Messages.Messages();
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    TSimTime Time;
    std::optional<TDSError> OpenError;
    TSimDevice* Device = nullptr;
    std::unique_ptr<TDirectSound> Sound;
    std::vector<u8> Frame = std::vector<u8>(N, 0);
};

TEST_F(DirectSoundTest, OpensARingOfThreeFrames)
{
    TDirectSound& sound = Make();
    EXPECT_TRUE(sound.IsOk());
    EXPECT_FALSE(sound.IsPlaying());  // working and stopped
    EXPECT_EQ(sound.GetFrameSamples(), N);
    EXPECT_EQ(sound.GetBufferBytes(), Ring);
    EXPECT_EQ(Device->OpenedRate, 44'100u);
    EXPECT_TRUE(Shown().empty());
}

// A consumer like SDL's callback, steady or jittered, at the nominal rate:
// every sample is played once, in order, after it was written; the ring never
// runs dry after the start, no frame is dropped, each wait is short, and the
// machine keeps the consumer's pace.
TEST_F(DirectSoundTest, NominalConsumersHearEveryFrameOnce)
{
    struct TCase {
        const char* Name;
        TConsumer Consumer;
    };
    for (TCase& c : std::vector<TCase>{{"steady 882", Steady(882, 44'100)},
                                       {"steady 128", Steady(128, 44'100)},
                                       {"jittered", Jittered(7)}}) {
        SCOPED_TRACE(c.Name);
        Time = {};
        TDirectSound& sound = Make();
        Device->SetConsumer(std::move(c.Consumer));
        sound.Play();
        const TRunFigures figures = RunFrames(0, 1500);
        ExpectEverySampleRight();
        EXPECT_EQ(figures.Accepted, figures.Frames) << "no frame dropped";
        EXPECT_EQ(figures.ClockPacedFrames, 0);
        EXPECT_LE(figures.LongestWaitMs, 50) << "a wait outlasts the ring";
        // The slow frames (30 ms, longer than one frame of sound) may
        // starve it; nothing else does.
        EXPECT_LE(Device->Underrun, u64(15 * (1500 / 97 + 1) * 44'100 / 1000));
        const double framesPerSecond = figures.Frames / (double(Time.Us) / 1e6);
        EXPECT_NEAR(framesPerSecond, 44'100.0 / N, 0.5);
    }
}

TEST_F(DirectSoundTest, SteadyConsumerNeverRunsDryWhenTheMachineKeepsUp)
{
    for (i32 delay : {-100, -10, 0}) {
        Settings->SoundSyncDelay = delay;
        Time = {};
        TDirectSound& sound = Make();
        Device->SetConsumer(Steady(882, 44'100));
        sound.Play();
        RunFrames(0, 3);  // the first blocks may find the ring empty
        const u64 before = Device->Underrun;
        RunFrames(3, 96);
        EXPECT_EQ(Device->Underrun, before) << "delay " << delay;
        ExpectEverySampleRight();
    }
}

// Bursts, stops and single steps: still no sample early, twice or stale.
TEST_F(DirectSoundTest, BurstsAndStoppedStretchesKeepEverySampleRight)
{
    TDirectSound& sound = Make();
    Device->SetConsumer(Bursting());
    sound.Play();
    RunFrames(0, 300);
    sound.Stop();
    RunFrames(300, 310);  // frame ends while stopped (single steps)
    Time.Advance(100'000);
    sound.Play();
    const TRunFigures figures = RunFrames(310, 600);
    ExpectEverySampleRight();
    EXPECT_LE(figures.LongestWaitMs, 125);
    EXPECT_TRUE(sound.IsPacing());
}

// A device that stops taking samples ends the wait at the stall limit (1 s);
// the sound is off from then on, reported once, and the clock paces.
TEST_F(DirectSoundTest, StalledConsumerEndsTheWaitAndHandsPacingToTheClock)
{
    TDirectSound& sound = Make();
    Device->SetConsumer(StallingAt(2'000'000));
    sound.Play();
    const TRunFigures figures = RunFrames(0, 200);
    ExpectEverySampleRight();
    EXPECT_FALSE(sound.IsOk());
    EXPECT_LE(figures.LongestWaitMs, 1001 + 50);
    EXPECT_GT(figures.ClockPacedFrames, 0);
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Caption, " DirectSound Error!");
    EXPECT_EQ(shown[0].Text.rfind(PositionText + " return result code 'DSERR_GENERIC': ", 0), 0u) << shown[0].Text;
}

// SDL's dummy driver with small blocks plays about a third too fast: half a
// second windows find it within a second. One 7% slow takes two windows of
// two seconds. Then the clock paces, the sound is still written, and what is
// played is still right.
TEST_F(DirectSoundTest, DevicesOffTheirRateArePacedByTheClock)
{
    for (double rate : {64'000.0, 41'000.0}) {
        SCOPED_TRACE(rate);
        Time = {};
        TDirectSound& sound = Make();
        Device->SetConsumer(Steady(128, rate));
        sound.Play();
        RunFrames(0, 100);  // 1.4 s fast, 2.2 s slow
        EXPECT_EQ(sound.IsPacing(), rate < 44'100) << "at " << Time.Us / 1000 << " ms";
        const TRunFigures later = RunFrames(100, 1000);
        EXPECT_TRUE(sound.IsPlaying());
        EXPECT_FALSE(sound.IsPacing());
        EXPECT_GT(later.ClockPacedFrames, 800);
        ExpectEverySampleRight();
        EXPECT_TRUE(Shown().empty());
        // The verdict outlives the run.
        sound.Stop();
        sound.Play();
        EXPECT_FALSE(sound.IsPacing());
    }
}

// One hiccup of a loaded machine, and the catch-up after it, leave a
// nominal device pacing; two windows that agree change the verdict.
TEST(RateWatchTest, VerdictsChangeOnlyWhenTwoWindowsAgree)
{
    const TPollClock::TTime t0 = TPollClock::TTime{} + 1h;
    TRateWatch watch;
    watch.Restart(0, t0);
    // -10%, then +10%: opposite windows.
    watch.Note(79'380, t0 + 2s);
    watch.Note(79'380 + 97'020, t0 + 4s);
    EXPECT_TRUE(watch.IsNominal());
    // 1.5% off is within the tolerance.
    watch.Note(176'400 + 89'523, t0 + 6s);
    watch.Note(176'400 + 2 * 89'523, t0 + 8s);
    EXPECT_TRUE(watch.IsNominal());
    // Two windows 5% fast.
    u64 played = 176'400 + 2 * 89'523;
    played += 92'610;
    watch.Note(played, t0 + 10s);
    EXPECT_TRUE(watch.IsNominal()) << "one window is not enough";
    watch.Note(played += 92'610, t0 + 12s);
    EXPECT_FALSE(watch.IsNominal());
    // Back to nominal after two nominal windows.
    watch.Note(played += 88'200, t0 + 14s);
    EXPECT_FALSE(watch.IsNominal());
    watch.Note(played += 88'200, t0 + 16s);
    EXPECT_TRUE(watch.IsNominal());
    // Notes inside a window change nothing.
    watch.Note(played + 1, t0 + 16s + 400ms);
    EXPECT_TRUE(watch.IsNominal());
}

TEST(RateWatchTest, HalfSecondWindowsCatchADeviceFarOffAtOnce)
{
    const TPollClock::TTime t0 = TPollClock::TTime{} + 1h;
    TRateWatch watch;
    watch.Restart(0, t0);
    // A stall of 200 ms and its catch-up: opposite, nothing changes.
    watch.Note(13'230, t0 + 500ms);
    watch.Note(44'100, t0 + 1s);
    watch.Note(66'150, t0 + 1500ms);
    EXPECT_TRUE(watch.IsNominal());
    // 40% fast for two half seconds: off within a second, not waiting for
    // the long windows.
    watch.Note(66'150 + 30'870, t0 + 2s);
    EXPECT_TRUE(watch.IsNominal());
    watch.Note(66'150 + 2 * 30'870, t0 + 2500ms);
    EXPECT_FALSE(watch.IsNominal());
    // 5% off is left to the long windows: a restart keeps the verdict, and
    // short windows never find a device nominal.
    watch.Restart(0, t0 + 10s);
    watch.Note(23'153, t0 + 10s + 500ms);
    watch.Note(46'306, t0 + 11s);
    EXPECT_FALSE(watch.IsNominal());
}

TEST_F(DirectSoundTest, PlayDropsWhatWasWrittenWhileStoppedWithoutMovingTheWritePosition)
{
    TDirectSound& sound = Make();
    sound.Write(FrameOf(0));  // a frame end during single steps
    EXPECT_EQ(sound.GetWritePos(), N);
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
    EXPECT_EQ(sound.GetWritePos(), N);
    Device->SetConsumer(Steady(882, 44'100));
    RunFrames(1, 40);
    EXPECT_EQ(Device->Stale, 0u);
    sound.Stop();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_TRUE(sound.IsOk());
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
}

TEST_F(DirectSoundTest, WritesGoToTheNextThirdUntilTheRingIsFull)
{
    TDirectSound& sound = Make();
    std::vector<i32> positions;
    for (i32 k = 0; k < 4; ++k) {
        sound.Write(FrameOf(k));
        positions.push_back(sound.GetWritePos());
    }
    EXPECT_EQ(positions, (std::vector<i32>{N, 2 * N, 0, 0})) << "the fourth frame has no room";
    EXPECT_EQ(sound.GetWrittenSamples(), u64(Ring));
}

TEST_F(DirectSoundTest, ShiftsOfTheDocumentedDelays)
{
    EXPECT_EQ(TDirectSound::SyncShift(-10, N), -90);
    EXPECT_EQ(TDirectSound::SyncShift(0, N), 0);
    EXPECT_EQ(TDirectSound::SyncShift(55, N), 496);
    EXPECT_EQ(TDirectSound::SyncShift(100, N), N);
    EXPECT_EQ(TDirectSound::SyncShift(-100, N), -N);
    EXPECT_EQ(TDirectSound::SyncShift(-1000, N), -N);
    // The wait is over from the shifted start of the next third on, and
    // stays over beyond it: a late writer does not wait for the ring again.
    const u64 written = 10 * N;
    EXPECT_FALSE(TDirectSound::IsCursorPast(written - 91, written, -90));
    EXPECT_TRUE(TDirectSound::IsCursorPast(written - 90, written, -90));
    EXPECT_TRUE(TDirectSound::IsCursorPast(written + 5 * N, written, -90));
    EXPECT_FALSE(TDirectSound::IsCursorPast(written + 495, written, 496));
    EXPECT_TRUE(TDirectSound::IsCursorPast(written + 496, written, 496));
    EXPECT_TRUE(TDirectSound::IsCursorPast(N, 0, N));
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

TEST_F(DirectSoundTest, WaitSleepsEvenWhenThePositionIsPast)
{
    TDirectSound& sound = Make();
    sound.Play();
    sound.Write(FrameOf(0));  // the position is a third ahead of the empty ring
    sound.WaitForPlayCursor();
    EXPECT_EQ(Time.Us, 1000);
    EXPECT_EQ(Device->Polls, 1);
}

TEST_F(DirectSoundTest, DeviceErrorInTheWaitIsReportedOnce)
{
    TDirectSound& sound = Make();
    sound.Play();
    sound.Write(FrameOf(0));
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

// Over the steady clock: a Stop from another thread ends a wait that the
// position would not end for a long time.
TEST(DirectSoundThreads, StopEndsARunningWait)
{
    TTestSettings settings;
    TFakeHostServices host;
    class TStillDevice : public TSoundDevice {
    public:
        void Open(u32, u32) override {}
        void Clear() override {}
        void Play() override {}
        void Stop() override {}
        bool Write(const u8*, u32) override { return true; }
        u64 GetPlayCursor() override { return ++Position; }  // crawls: a sample a poll
        u64 GetPlayedSamples() const override { return 0; }
        std::atomic<u64> Position{0};
    };
    TDirectSound sound(std::make_unique<TStillDevice>(), host.Services());
    sound.Play();
    for (int i = 0; i < 3; ++i)
        sound.Write(std::vector<u8>(N, 0).data());
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
    sound.Write(FrameOf(0));
    sound.WaitForPlayCursor();
    sound.Stop();
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_FALSE(sound.IsPacing());
    EXPECT_EQ(sound.GetWrittenSamples(), 0u);
    EXPECT_EQ(Device->Polls, 0);
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

// With the sound off the computer's frame end waits for the clock's tick and
// leaves the device alone.
TEST_F(DirectSoundTest, AFailedSoundLeavesPacingToTheClock)
{
    TDirectSound& sound = Make();
    TManualTicks* ticks = new TManualTicks;
    TClock clock{std::unique_ptr<TTickSource>(ticks)};
    sound.Play();
    Device->PollError = TDSError(TDSFunction::GetCurrentPosition, DSResult::Generic);
    sound.Write(FrameOf(0));
    sound.WaitForPlayCursor();
    ASSERT_FALSE(sound.IsOk());
    const i32 polls = Device->Polls;
    ticks->Tick();
    sound.Write(FrameOf(1));
    if (sound.IsPacing())
        sound.WaitForPlayCursor();
    else
        clock.WaitTick();
    EXPECT_EQ(Device->Polls, polls);
    EXPECT_EQ(sound.GetWrittenSamples(), u64(N)) << "the sound is off: nothing more written";
    sound.Play();
    sound.Stop();
    EXPECT_EQ(Shown().size(), 1u);
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
    EXPECT_FALSE(watch.IsStalled(100, t0 + 999ms));
    EXPECT_TRUE(watch.IsStalled(100, t0 + 1s));
    // A slow poll is no stall while the count moved in between.
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 5s));
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 5s + 900ms));
    EXPECT_TRUE(watch.IsStalled(5000, t0 + 6s));
    watch.Restart(5000, t0 + 7s);
    EXPECT_FALSE(watch.IsStalled(5000, t0 + 7s + 100ms));
}

} // namespace
