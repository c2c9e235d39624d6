// The SDL sound device for real, through SDL's "disk" driver, which writes
// the samples it plays to a file: a second of a beeper tone, paced by the
// device itself, must come out with the right length and frequency, nothing
// written while stopped may be heard, and a stopped device fades to the
// format's silence and holds its position.
#include "platform/Sdl_sound_device.h"

#include "core/Ay.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "host/Direct_sound.h"
#include "host/Mixer.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr i32 N = 903;
constexpr i32 FrameTStates = 71'680;
constexpr i32 Frames = 50;             // one second of emulated time (1.024 s)
constexpr i32 HalfPeriodTStates = 1792; // 976.5625 Hz: 20 periods a frame
constexpr double ToneHz = 3'500'000.0 / (2 * HalfPeriodTStates);

constexpr u8 Silence = TSdlSoundDevice::Silence;

// The samples the device played, from the first that is not silence on
// (SDL's own, the format's midpoint, while the device opens; then ours).
std::vector<u8> ReadPlayed(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<u8> samples{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    size_t opening = 0;
    while (opening < samples.size() && (samples[opening] == Silence || samples[opening] == 0x80))
        ++opening;
    samples.erase(samples.begin(), samples.begin() + std::ptrdiff_t(opening));
    return samples;
}

// Opens the device through SDL's disk driver into a file of its own.
class SdlSoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::filesystem::path folder = std::filesystem::path(QUORVANE_BUILD_DIR) / "test-sound";
        std::filesystem::create_directories(folder);
        Output = folder / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-"
                           + std::to_string(::getpid()) + ".raw");
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", Output.c_str(), 1);
    }

    // A failed test leaves its file for a look.
    void TearDown() override
    {
        if (!HasFailure()) {
            std::error_code ignored;
            std::filesystem::remove(Output, ignored);
        }
    }

    std::filesystem::path Output;
    TTestSettings Settings;
    TFakeHostServices Host;
};

TEST_F(SdlSoundDeviceTest, BeeperToneThroughTheDiskDriver)
{
    auto owned = std::make_unique<TSdlSoundDevice>();
    TSdlSoundDevice* device = owned.get();
    auto sound = std::make_unique<TDirectSound>(std::move(owned), Host.Services());
    if (!sound->IsOk()) {
        Host.UiPoster.Pump();
        const auto shown = Host.Messages.Messages();
        GTEST_SKIP() << "SDL cannot open its disk audio driver here: " << device->LastError() << " ("
                     << (shown.empty() ? std::string("no message") : shown[0].Text) << ")";
    }
    ASSERT_EQ(device->DriverName(), "disk");
    ASSERT_EQ(device->GetRingSamples(), u32(3 * N));

    TAY ay;
    TSpeaker speaker;
    TMic mic;
    TMixer mixer(ay, speaker, mic);

    // Frames written while stopped (single steps) must never be heard.
    const std::vector<u8> stale(N, 99);
    for (int i = 0; i < 3; ++i)
        sound->Write(stale.data());

    sound->Play();
    ASSERT_TRUE(sound->IsPlaying());
    u8 level = 0;
    for (i32 frame = 0; frame < Frames; ++frame) {
        for (i32 t = HalfPeriodTStates; t < FrameTStates; t += HalfPeriodTStates) {
            speaker.Update(t, frame);
            level ^= 0x10;
            speaker.PortWrite(level);
        }
        mic.Update(0, frame + 1);
        ay.Update(0, frame + 1);
        speaker.Update(0, frame + 1);
        level ^= 0x10;  // the frame's 40th toggle falls on its last T-state
        speaker.PortWrite(level);
        sound->Write(mixer.Mix());
        ASSERT_TRUE(sound->IsPlaying()) << "frame " << frame;
        sound->WaitForPlayCursor();
    }
    sound->Stop();
    std::this_thread::sleep_for(100ms);  // the device goes on with silence
    EXPECT_GT(device->GetPlayedSamples(), u64(40 * N));
    sound.reset();  // closes the device and its file
    Host.UiPoster.Pump();
    EXPECT_EQ(Host.Messages.Count(), 0u);

    const std::vector<u8> samples = ReadPlayed(Output);
    // Paced by the device: about the 50 frames written, plus the ring's lead
    // and the silence before Play and after Stop.
    EXPECT_GE(samples.size(), size_t(47 * N));
    EXPECT_LE(samples.size(), size_t(70 * N));

    // The beeper alone mixes to 0..31, played from the silence level up;
    // 99 is stale.
    const u8 high = TSdlSoundDevice::OutputLevel(31);
    i32 stray = 0;
    for (u8 sample : samples)
        stray += sample < Silence || sample > high;
    EXPECT_EQ(stray, 0);
    ASSERT_GE(samples.size(), 1000u);
    EXPECT_EQ(std::vector<u8>(samples.end() - 1000, samples.end()), std::vector<u8>(1000, Silence))
        << "silence after Stop";

    // Rising edges through the middle level. A steady stretch has one every
    // 45.15 samples (20 a frame of 903); the first frames may start late.
    const u8 middle = static_cast<u8>((Silence + high) / 2);
    std::vector<size_t> rising;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < middle && samples[i] >= middle)
            rising.push_back(i);
    }
    ASSERT_GE(rising.size(), 900u);  // 1,000 expected
    size_t steady = 0;
    size_t steadySpan = 0;
    for (size_t i = 1; i < rising.size(); ++i) {
        const size_t interval = rising[i] - rising[i - 1];
        if (interval >= 43 && interval <= 47) {
            ++steady;
            steadySpan += interval;
        }
    }
    EXPECT_GE(steady, (rising.size() - 1) * 9 / 10);
    const double samplesPerSecond = double(N) * 3'500'000.0 / FrameTStates;  // the emulated timeline
    const double frequency = samplesPerSecond * double(steady) / double(steadySpan);
    EXPECT_NEAR(frequency, ToneHz, ToneHz * 0.005);
}

TEST_F(SdlSoundDeviceTest, StoppedDeviceFadesToSilenceAndHoldsItsPosition)
{
    auto device = std::make_unique<TSdlSoundDevice>();
    try {
        device->Open(44'100, 3 * N);
    } catch (const TDSError&) {
        GTEST_SKIP() << "SDL cannot open its disk audio driver here: " << device->LastError();
    }
    EXPECT_EQ(device->GetBlockSamples(), 882u);
    constexpr u8 Loud = 100;
    const u8 loudLevel = TSdlSoundDevice::OutputLevel(Loud);
    const std::vector<u8> loud(3 * N, Loud);
    ASSERT_TRUE(device->Write(loud.data(), 3 * N));
    EXPECT_FALSE(device->Write(loud.data(), 1)) << "the ring is full";
    std::this_thread::sleep_for(50ms);  // stopped: nothing of the ring is played
    EXPECT_EQ(device->GetPlayCursor(), u64(N)) << "a third ahead of what was taken";
    EXPECT_EQ(device->GetTakenSamples(), 0u);
    EXPECT_EQ(device->GetPlayedSamples(), 0u);

    device->Play();
    const auto start = std::chrono::steady_clock::now();
    while (device->GetTakenSamples() < u64(N) && std::chrono::steady_clock::now() - start < 2s)
        std::this_thread::sleep_for(1ms);
    device->Stop();
    std::this_thread::sleep_for(30ms);  // a callback already running ends
    const u64 held = device->GetPlayCursor();
    const u64 taken = device->GetTakenSamples();
    ASSERT_GE(taken, u64(N));
    EXPECT_EQ(held, taken + N);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(device->GetPlayCursor(), held);
    EXPECT_EQ(device->GetTakenSamples(), taken);
    device.reset();

    // Silence, the ring's samples, a ramp of one step a sample down to the
    // silence (no click), then silence.
    const std::vector<u8> samples = ReadPlayed(Output);
    size_t at = 0;
    while (at < samples.size() && samples[at] == loudLevel)
        ++at;
    EXPECT_EQ(at, taken);
    for (u8 level = loudLevel; level-- > Silence; ++at) {
        ASSERT_LT(at, samples.size());
        ASSERT_EQ(samples[at], level) << "sample " << at;
    }
    for (; at < samples.size(); ++at)
        ASSERT_EQ(samples[at], Silence) << "sample " << at;
}

// The mixer's silence plays next to the format's midpoint; its whole range
// (0..168) fits above.
TEST(SdlSoundLevels, MixerSilenceIsTheFormatsAndTheRangeFits)
{
    EXPECT_EQ(TSdlSoundDevice::OutputLevel(0), 129);
    EXPECT_EQ(TSdlSoundDevice::OutputLevel(0), TSdlSoundDevice::Silence);
    EXPECT_EQ(TSdlSoundDevice::OutputLevel(31), 152);  // the beeper alone
    EXPECT_EQ(TSdlSoundDevice::OutputLevel(168), 255);  // the loudest mix
    for (u32 sample = 1; sample <= 168; ++sample)
        EXPECT_GE(TSdlSoundDevice::OutputLevel(u8(sample)), TSdlSoundDevice::OutputLevel(u8(sample - 1))) << sample;
}

} // namespace
