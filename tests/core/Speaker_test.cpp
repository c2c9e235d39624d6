// The beeper and the tape-output signal: levels, averaging over a sample,
// the double buffer and its halves, catching up with the CPU's T-state.
#include "core/Mic.h"
#include "core/Ports.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr i32 FrameTStates = 71'680;
constexpr i32 N = 903;

std::vector<u8> Samples(const u8* buffer, i32 count)
{
    return std::vector<u8>(buffer, buffer + count);
}

// The device's definition, one T-state at a time: sum the level, emit
// sum / count when the phase passes the sample period or at the swap
// T-state (then change halves). The device under test does the same in
// runs; this model is the reference it must match sample for sample.
class TReferenceBitDevice {
public:
    TReferenceBitDevice(i32 tstatesPerFrame, i32 samplesPerFrame, i32 swap)
        : TStatesPerFrame(tstatesPerFrame)
        , SamplesPerFrame(samplesPerFrame)
        , SamplePeriod(tstatesPerFrame * 1000 / samplesPerFrame)
        , Swap(swap)
        , Buffer(size_t(2 * samplesPerFrame), 0)
    {
    }

    void Update(i32 tstate, i32 frame)
    {
        while ((Position < tstate && Frame <= frame) || Frame < frame) {
            Sum += Level;
            ++Count;
            if (++Position == TStatesPerFrame) {
                Position = 0;
                ++Frame;
            }
            if (Position != Swap) {
                Phase += 1000;
                if (Phase < SamplePeriod)
                    continue;
                Phase -= SamplePeriod;
                Buffer[size_t(Index++)] = u8(Sum / Count);
            } else {
                Buffer[size_t(Index++)] = u8(Sum / Count);
                if (Index != SamplesPerFrame)
                    Index = 0;
                Phase = 0;
            }
            Sum = 0;
            Count = 0;
        }
    }

    const u8* FrameBuffer() const { return Buffer.data() + (Index < SamplesPerFrame ? SamplesPerFrame : 0); }

    u8 Level = 0;

private:
    i32 TStatesPerFrame, SamplesPerFrame, SamplePeriod, Swap;
    std::vector<u8> Buffer;
    i32 Position = 0, Frame = 0, Sum = 0, Count = 0, Phase = 0, Index = 0;
};

class SpeakerTest : public ::testing::Test {
protected:
    TTestSettings Settings;
};

TEST_F(SpeakerTest, HeldLevelsFillAFrame)
{
    TSpeaker speaker;
    TMic mic;
    ASSERT_EQ(speaker.GetSamplesPerFrame(), N);
    ASSERT_EQ(mic.GetSamplesPerFrame(), N);

    // Before the first frame end the finished half is the silent second one.
    EXPECT_EQ(Samples(speaker.GetFrameBuffer(), N), std::vector<u8>(N, 0));

    speaker.PortWrite(0x10);
    mic.PortWrite(0x08);
    speaker.Update(0, 1);
    mic.Update(0, 1);
    EXPECT_EQ(Samples(speaker.GetFrameBuffer(), N), std::vector<u8>(N, 255));
    EXPECT_EQ(Samples(mic.GetFrameBuffer(), N), std::vector<u8>(N, 64));
}

TEST_F(SpeakerTest, EachDeviceListensToItsOwnBit)
{
    TSpeaker speaker;
    TMic mic;
    speaker.PortWrite(0xEF);  // every bit but 4
    mic.PortWrite(0xF7);      // every bit but 3
    EXPECT_EQ(speaker.GetLevel(), 0);
    EXPECT_EQ(mic.GetLevel(), 0);
    speaker.PortWrite(0x10);
    mic.PortWrite(0x08);
    EXPECT_EQ(speaker.GetLevel(), 255);
    EXPECT_EQ(mic.GetLevel(), 64);
}

TEST_F(SpeakerTest, PortBusReachesMicrophoneAndBeeperOnEvenPorts)
{
    TSpeaker speaker;
    TMic mic;
    TPorts ports;
    ports.AddDevicePorts(mic);
    ports.AddDevicePorts(speaker);
    ports.Write(0x12FE, 0x18);
    EXPECT_EQ(speaker.GetLevel(), 255);
    EXPECT_EQ(mic.GetLevel(), 64);
    ports.Write(0x00FF, 0x00);  // odd port: not decoded
    EXPECT_EQ(speaker.GetLevel(), 255);
    ports.Write(0x00FE, 0x00);
    EXPECT_EQ(speaker.GetLevel(), 0);
    EXPECT_EQ(mic.GetLevel(), 0);
}

TEST_F(SpeakerTest, HalfHighHalfLowSampleStoresTheIntegerMean)
{
    TSpeaker speaker;
    // The first sample period covers T-states 1 to 80 (79.379 T-states a
    // sample): 40 at 255 and 40 at 0.
    speaker.PortWrite(0x10);
    speaker.Update(40, 0);
    speaker.PortWrite(0x00);
    speaker.Update(0, 1);
    EXPECT_EQ(speaker.GetFrameBuffer()[0], 127);
    EXPECT_EQ(speaker.GetFrameBuffer()[1], 0);
}

TEST_F(SpeakerTest, HalvesAlternateAtEachFrameEnd)
{
    TSpeaker speaker;
    const u8* first = nullptr;
    for (i32 frame = 1; frame <= 4; ++frame) {
        speaker.PortWrite(frame % 2 ? 0x10 : 0x00);
        speaker.Update(0, frame);
        const u8* finished = speaker.GetFrameBuffer();
        if (frame == 1)
            first = finished;
        EXPECT_EQ(finished, frame % 2 ? first : first + N) << "frame " << frame;
        EXPECT_EQ(Samples(finished, N), std::vector<u8>(N, frame % 2 ? 255 : 0)) << "frame " << frame;
    }
}

TEST_F(SpeakerTest, TargetsBehindThePositionWaitForTheCpu)
{
    TSpeaker speaker;
    speaker.Update(5000, 0);
    ASSERT_EQ(speaker.GetPosition(), 5000);
    speaker.Update(100, 0);  // a snapshot load set the CPU's T-state back
    EXPECT_EQ(speaker.GetPosition(), 5000);
    speaker.Update(7, -1);   // an earlier frame
    EXPECT_EQ(speaker.GetPosition(), 5000);
    EXPECT_EQ(speaker.GetFrame(), 0);
    speaker.Update(5001, 0);
    EXPECT_EQ(speaker.GetPosition(), 5001);
    speaker.Update(10, 2);   // two frames on
    EXPECT_EQ(speaker.GetFrame(), 2);
    EXPECT_EQ(speaker.GetPosition(), 10);
}

// Random OUTs at random instruction lengths over several frames, busy and
// rare (long runs at one level, many whole samples at once): the deferred
// catch-up must give the very samples of the per-T-state definition.
TEST_F(SpeakerTest, MatchesThePerTStateDefinition)
{
    for (i32 perMille : {100, 2}) {
        TSpeaker speaker;
        TReferenceBitDevice reference(FrameTStates, N, 0);
        std::mt19937 random(1234);
        std::uniform_int_distribution<i32> instruction(4, 23);
        std::uniform_int_distribution<i32> chance(0, 999);
        i32 tstate = 0;
        i32 frame = 0;
        while (frame < 8) {
            tstate += instruction(random);
            if (tstate >= FrameTStates) {
                tstate -= FrameTStates;
                ++frame;
                speaker.Update(tstate, frame);
                reference.Update(tstate, frame);
                ASSERT_EQ(Samples(speaker.GetFrameBuffer(), N), Samples(reference.FrameBuffer(), N))
                    << perMille << " per mille, frame " << frame;
            } else {
                speaker.Update(tstate, frame);
                reference.Update(tstate, frame);
            }
            if (chance(random) < perMille) {
                const u8 value = chance(random) < 500 ? 0x10 : 0x00;
                speaker.PortWrite(value);
                reference.Level = value ? 255 : 0;
            }
        }
    }
}

// Timings whose frame does not hold a whole number of samples: the first
// frame is short (padded), and at 200 kHz the truncated sample period makes
// one sample more than a half holds (dropped). Every sample stays inside the
// half being written (the sanitizer build checks the bounds), the halves
// switch once a frame, and a held level fills the whole finished half.
TEST_F(SpeakerTest, OtherTimingsKeepWritesInsideTheHalf)
{
    Settings->TStatesPerLine = 228;
    Settings->LinesPerFrame = 311;
    Settings->TStatesPerFrame = 228 * 311;  // 70,908
    Settings->FrameEventTState = 5;
    for (u32 rate : {48'000u, 200'000u}) {
        Settings->SampleRate = rate;
        TMic mic;
        const i32 n = mic.GetSamplesPerFrame();
        ASSERT_EQ(n, rate == 48'000u ? 972 : 4051);
        mic.PortWrite(0x08);
        mic.Update(5, 0);  // the first frame event
        const u8* previous = mic.GetFrameBuffer();
        for (i32 frame = 1; frame <= 5; ++frame) {
            mic.Update(5, frame);
            const u8* finished = mic.GetFrameBuffer();
            EXPECT_NE(finished, previous) << rate << " Hz, frame " << frame;
            previous = finished;
            EXPECT_EQ(Samples(finished, n), std::vector<u8>(size_t(n), 64)) << rate << " Hz, frame " << frame;
        }
    }
}

} // namespace
