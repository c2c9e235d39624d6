// The mixer over real sources: silence, the beeper's weight, each AY channel
// counted once, the largest value, and the frame it reads being each
// source's finished half.
#include "host/Mixer.h"

#include "core/Ay.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr i32 N = 903;

class MixerTest : public ::testing::Test {
protected:
    // Runs every source to the end of the next frame, as the computer does.
    const u8* NextFrame()
    {
        ++Frame;
        Mic.Update(0, Frame);
        Ay.Update(0, Frame);
        Speaker.Update(0, Frame);
        return Mixer.Mix();
    }

    static std::vector<u8> Samples(const u8* frame) { return std::vector<u8>(frame, frame + N); }

    TTestSettings Settings;
    TAY Ay;
    TSpeaker Speaker;
    TMic Mic;
    TMixer Mixer{Ay, Speaker, Mic};
    i32 Frame = 0;
};

TEST_F(MixerTest, SilenceIsZero)
{
    EXPECT_EQ(Mixer.GetSamplesPerFrame(), N);
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 0));
}

TEST_F(MixerTest, BeeperAloneWeighsAQuarterOfItsHalf)
{
    Speaker.PortWrite(0x10);
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 31));  // (255 + 0) / 2 / 4
}

TEST_F(MixerTest, MicrophoneAlone)
{
    Mic.PortWrite(0x08);
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 8));  // (0 + 64) / 2 / 4
}

TEST_F(MixerTest, EverythingAtItsLargestGives168)
{
    Ay.SetRegister(7, 0x3F);
    for (u8 r = 8; r <= 10; ++r)
        Ay.SetRegister(r, 0x10);  // the envelope
    Ay.SetRegister(13, 13);       // rises to 31 and holds: 171 a sample
    Speaker.PortWrite(0x18);
    Mic.PortWrite(0x18);
    NextFrame();  // the envelope's rise
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 168));  // (3 x 171 + 159) / 4
}

TEST_F(MixerTest, MixesTheFrameJustFinished)
{
    Ay.SetRegister(7, 0x3F);
    Ay.SetRegister(8, 15);  // 170
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 42));
    Ay.SetRegister(8, 0);
    Speaker.PortWrite(0x10);
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 31));
    Speaker.PortWrite(0x00);
    EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, 0));
}

TEST_F(MixerTest, EachChannelCountsOnceAtItsOwnLevel)
{
    // Fixed levels, tones and noise off: each channel holds the chip's
    // amplitude for its level (the volume table at twice the level, / 256):
    // level 15: 170, 11: 79, 9: 46, 6: 12, 0: 0. The levels differ in every
    // row and move between the channels, so a channel left out, read twice
    // or read in another's place changes the sum.
    struct TCase {
        u8 A, B, C;
        u8 Beeper;  // port 0xFE bits: 0x10 speaker (255), 0x08 tape out (64)
        u8 Expected;
    };
    const TCase cases[] = {
        {15, 0, 0, 0x00, 42},    // 170 / 4
        {0, 15, 0, 0x00, 42},
        {0, 0, 15, 0x00, 42},
        {15, 11, 6, 0x00, 65},   // (170 + 79 + 12) / 4
        {6, 15, 11, 0x00, 65},
        {11, 6, 15, 0x00, 65},
        {15, 0, 9, 0x10, 85},    // (170 + 46 + 255 / 2) / 4
        {0, 9, 15, 0x18, 93},    // (46 + 170 + (255 + 64) / 2) / 4
        {9, 15, 0, 0x08, 62},    // (46 + 170 + 64 / 2) / 4
    };
    Ay.SetRegister(7, 0x3F);
    for (const TCase& c : cases) {
        Ay.SetRegister(8, c.A);
        Ay.SetRegister(9, c.B);
        Ay.SetRegister(10, c.C);
        Speaker.PortWrite(c.Beeper);
        Mic.PortWrite(c.Beeper);
        EXPECT_EQ(Samples(NextFrame()), std::vector<u8>(N, c.Expected))
            << "levels " << int(c.A) << " " << int(c.B) << " " << int(c.C) << " beeper " << int(c.Beeper);
    }
}

} // namespace
