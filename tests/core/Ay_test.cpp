// The AY chip: registers and ports, the generators (against the data sheet's
// envelope shapes and tone frequency), the volume table and the resampled
// double buffers.
#include "core/Ay.h"
#include "core/Ports.h"
#include "core/Settings.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr i32 FrameTStates = 71'680;
constexpr i32 N = 903;

enum : u8 { R0, R1, R2, R3, R4, R5, R6, R7, R8, R9, R10, R11, R12, R13, R14, R15 };

std::vector<u8> Samples(const u8* buffer, i32 count = N)
{
    return std::vector<u8>(buffer, buffer + count);
}

// Drives the chip as the computer does, keeping the CPU's frame and T-state.
class TAyDriver {
public:
    explicit TAyDriver(TAY& ay) : Ay(ay) {}

    void Steps(i32 steps) { Advance(steps * TAY::TStatesPerStep); }
    void Advance(i32 tstates)
    {
        TState += tstates;
        while (TState >= FrameTStates) {
            TState -= FrameTStates;
            ++Frame;
        }
        Ay.Update(TState, Frame);
    }
    void ToFrameEnd() { Advance(FrameTStates - TState); }

    TAY& Ay;
    i32 TState = 0;
    i32 Frame = 0;
};

// The AY-3-8910 data sheet's envelope: R13's bits Continue (3), Attack (2),
// Alternate (1) and Hold (0) over cycles of 32 levels. Level before the
// first move and after each of `moves` moves.
std::vector<int> DataSheetEnvelope(int shape, int moves)
{
    const bool cont = shape & 8, attack = shape & 4, alternate = shape & 2, hold = shape & 1;
    std::vector<int> levels;
    for (int i = 0; i <= moves; ++i) {
        const int cycle = i / 32, k = i % 32;
        int level;
        if (cycle == 0)
            level = attack ? k : 31 - k;
        else if (!cont)
            level = 0;
        else if (hold)
            level = attack != alternate ? 31 : 0;
        else
            level = (alternate ? attack != bool(cycle & 1) : attack) ? k : 31 - k;
        levels.push_back(level);
    }
    return levels;
}


// The chip's definition, step by step, with nothing deferred or skipped:
// the reference that the batched and closed-form catch-up must match.
class TReferenceAy {
public:
    TReferenceAy()
    {
        for (auto& buffer : Buffers)
            buffer.assign(2 * N, 0);
        for (int r = 0; r < 16; ++r)
            Write(r, 0);
        Noise = 0xFFFF;
    }

    void Write(int r, u8 value)
    {
        Regs[r] = value;
        if (r < 6)
            Tone[r / 2] = (Regs[r & ~1] | Regs[r | 1] << 8) & 0x0FFF;
        else if (r == 6)
            NoisePeriod = value & 0x1F;
        else if (r >= 8 && r <= 10)
            Source[r - 8] = value & 0x10 ? &EnvLevel : &(Fixed[r - 8] = (value & 0x0F) * 2);
        else if (r == 13) {
            Desc = Descriptors[Shapes[value & 0x0F]];
            Phase = 0;
            EnvLevel = Desc[0];
            EnvStep = Desc[1];
        }
    }

    void Update(i32 tstate, i32 frame)
    {
        while ((Position < tstate && Frame <= frame) || Frame < frame)
            Step();
    }

    const u8* Channel(int c) const { return Buffers[c].data() + (Index == N ? 0 : N); }

    u16 Noise = 0xFFFF;
    u16 Bits = 0;
    u8 EnvLevel = 0;
    i32 Position = 0;

private:
    void Step()
    {
        if (++NoiseCounter >= NoisePeriod) {
            NoiseCounter = 0;
            Noise = u16(Noise * 23457 + 1);
            if (Noise & 0x8000)
                Bits ^= 0x38;
        }
        for (int c = 0; c < 3; ++c) {
            if (++ToneCounter[c] >= Tone[c]) {
                ToneCounter[c] = 0;
                Bits ^= 1 << c;
            }
        }
        if (++EnvCounter >= (Regs[11] | Regs[12] << 8)) {
            EnvCounter = 0;
            EnvLevel = u8(EnvLevel + EnvStep);
            if (EnvLevel & 0x20) {
                Phase ^= 2;
                EnvLevel = Desc[Phase];
                EnvStep = Desc[Phase + 1];
            }
        }
        u8 m = u8(Bits) | Regs[7];
        m &= m >> 3;
        for (int c = 0; c < 3; ++c) {
            if (m & (1 << c))
                Acc[c] += TAY::VolumeTable[*Source[c]];
        }
        ++Steps;
        Position += 16;
        if (Position == FrameTStates) {
            Position = 0;
            ++Frame;
        }
        if (Position == 0) {
            Emit();
            if (Index != N)
                Index = 0;
            Resample = 0;
        } else if ((Resample += 1600) >= 7937) {
            Resample -= 7937;
            Emit();
        }
    }

    void Emit()
    {
        for (int c = 0; c < 3; ++c) {
            Buffers[c][Index] = u8((Acc[c] / Steps) >> 8);
            Acc[c] = 0;
        }
        Steps = 0;
        ++Index;
    }

    static constexpr u8 Descriptors[8][4] = {{31, 255, 0, 0},  {0, 1, 0, 0},   {31, 255, 31, 255}, {31, 255, 0, 1},
                                             {31, 255, 31, 0}, {0, 1, 0, 1},   {0, 1, 31, 0},      {0, 1, 31, 255}};
    static constexpr int Shapes[16] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 0, 3, 4, 5, 6, 7, 1};

    u8 Regs[16]{};
    int Tone[3]{}, ToneCounter[3]{};
    int NoisePeriod = 0, NoiseCounter = 0, EnvCounter = 0;
    u8 EnvStep = 0, Phase = 0;
    const u8* Desc = Descriptors[0];
    u8 Fixed[3]{};
    const u8* Source[3] = {&Fixed[0], &Fixed[1], &Fixed[2]};
    int Acc[3]{}, Steps = 0, Resample = 0, Index = 0;
    i32 Frame = 0;
    std::vector<u8> Buffers[3];
};

class AyTest : public ::testing::Test {
protected:
    TTestSettings Settings;
};

TEST_F(AyTest, ResetState)
{
    TAY ay;
    EXPECT_TRUE(ay.IsEnabled());
    EXPECT_EQ(ay.GetSelectedRegister(), 15);
    for (i32 r = 0; r < 16; ++r)
        EXPECT_EQ(ay.GetRegister(r), 0) << "R" << r;
    EXPECT_EQ(ay.GetNoiseState(), 0xFFFF);
    EXPECT_EQ(ay.GetEnvelopeLevel(), 31);  // shape 0 starts at 31
    EXPECT_EQ(ay.GetSamplesPerFrame(), N);
}

TEST_F(AyTest, RegistersThroughThePorts)
{
    TAY ay;
    TPorts ports;
    ports.AddDevicePorts(ay);
    // Reads return the whole byte written, also the bits the chip ignores.
    for (u8 r = 0; r < 16; ++r) {
        ports.Write(0xFFFD, r);
        ports.Write(0xBFFD, u8(0xF0 | r));
    }
    for (u8 r = 0; r < 16; ++r) {
        ports.Write(0xFFFD, r);
        EXPECT_EQ(ports.Read(0xFFFD), 0xF0 | r) << "R" << int(r);
    }
    // Selection keeps the low four bits: 0x1E selects R14.
    ports.Write(0xFFFD, 0x1E);
    EXPECT_EQ(ay.GetSelectedRegister(), 14);
    EXPECT_EQ(ports.Read(0xFFFD), 0xFE);
    // The paging port decodes neither AY port.
    ports.Write(0x7FFD, 0x03);
    EXPECT_EQ(ay.GetSelectedRegister(), 14);
    EXPECT_EQ(ay.GetRegister(14), 0xFE);
    EXPECT_EQ(ay.GetRegister(3), 0xF3);
}

TEST_F(AyTest, DisabledChipOffersNoPorts)
{
    Settings->AYEnabled = 0;
    TAY ay;
    EXPECT_FALSE(ay.IsEnabled());
    TPorts ports;
    ports.AddDevicePorts(ay);
    EXPECT_EQ(ports.GetReadGroupsUsed(), 0);
    EXPECT_EQ(ports.GetWriteGroupsUsed(), 0);
}

TEST_F(AyTest, NoiseSequenceFromReset)
{
    TAY ay;
    TAyDriver driver(ay);
    driver.Steps(1);
    EXPECT_EQ(ay.GetNoiseState(), 0xA460);
    EXPECT_EQ(ay.GetOutputBits() & 0x38, 0x38);  // bit 15 set: toggled
    driver.Steps(1);
    EXPECT_EQ(ay.GetNoiseState(), 0x8061);
    EXPECT_EQ(ay.GetOutputBits() & 0x38, 0x00);  // toggled back
    driver.Steps(1);
    EXPECT_EQ(ay.GetNoiseState(), 0x3802);
    EXPECT_EQ(ay.GetOutputBits() & 0x38, 0x00);  // bit 15 clear: kept
}

TEST_F(AyTest, PeriodsOfZeroActAsOne)
{
    TAY zero;
    TAY one;
    one.SetRegister(R0, 1);  // tone A
    one.SetRegister(R6, 1);  // noise
    one.SetRegister(R11, 1); // envelope
    zero.SetRegister(R13, 8);
    one.SetRegister(R13, 8);
    TAyDriver a(zero), b(one);
    for (i32 step = 1; step <= 100; ++step) {
        a.Steps(1);
        b.Steps(1);
        ASSERT_EQ(zero.GetOutputBits(), one.GetOutputBits()) << "step " << step;
        ASSERT_EQ(zero.GetNoiseState(), one.GetNoiseState()) << "step " << step;
        ASSERT_EQ(zero.GetEnvelopeLevel(), one.GetEnvelopeLevel()) << "step " << step;
        // Period 1: tone A's flip-flop toggles at every step.
        ASSERT_EQ(zero.GetOutputBits() & 1, step & 1) << "step " << step;
    }
}

TEST_F(AyTest, TonePeriodIgnoresTheHighBitsOfTheCoarseRegister)
{
    TAY masked;
    TAY plain;
    masked.SetRegister(R0, 3);
    masked.SetRegister(R1, 0xF0);  // only bits 0-3 count: period 3
    plain.SetRegister(R0, 3);
    TAyDriver a(masked), b(plain);
    for (i32 step = 1; step <= 20; ++step) {
        a.Steps(1);
        b.Steps(1);
        ASSERT_EQ(masked.GetOutputBits() & 1, plain.GetOutputBits() & 1) << "step " << step;
    }
}

TEST_F(AyTest, EveryShapeFollowsTheDataSheet)
{
    const std::vector<i32> descriptorOfShape = {0, 0, 0, 0, 1, 1, 1, 1, 2, 0, 3, 4, 5, 6, 7, 1};
    for (int shape = 0; shape < 16; ++shape) {
        TAY ay;
        EXPECT_EQ(ay.GetShapeDescriptor(shape), descriptorOfShape[size_t(shape)]) << "shape " << shape;
        TAyDriver driver(ay);
        ay.SetRegister(R13, u8(shape));  // envelope period 0: a move every step
        const std::vector<int> expected = DataSheetEnvelope(shape, 130);
        std::vector<int> course{ay.GetEnvelopeLevel()};
        for (int move = 0; move < 130; ++move) {
            driver.Steps(1);
            course.push_back(ay.GetEnvelopeLevel());
        }
        EXPECT_EQ(course, expected) << "shape " << shape;
    }
}

TEST_F(AyTest, Shape11FallsThenHolds31)
{
    TAY ay;
    TAyDriver driver(ay);
    ay.SetRegister(R11, 2);  // a move every second step
    ay.SetRegister(R13, 11);
    for (int level = 31; level >= 0; --level) {
        ASSERT_EQ(ay.GetEnvelopeLevel(), level);
        driver.Steps(2);
    }
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(ay.GetEnvelopeLevel(), 31);
        driver.Steps(1);
    }
}

TEST_F(AyTest, WritingR13RestartsTheEnvelope)
{
    TAY ay;
    TAyDriver driver(ay);
    ay.SetRegister(R13, 8);  // saw-tooth down
    driver.Steps(10);
    ASSERT_EQ(ay.GetEnvelopeLevel(), 21);
    ay.SetRegister(R13, 8);  // the same value again
    EXPECT_EQ(ay.GetEnvelopeLevel(), 31);
    ay.SetRegister(R13, 12); // saw-tooth up
    EXPECT_EQ(ay.GetEnvelopeLevel(), 0);
}

TEST_F(AyTest, AllOffGivesTheLevelsAmplitude)
{
    TAY ay;
    TAyDriver driver(ay);
    ay.SetRegister(R7, 0x3F);  // tones and noises off: always sounding
    ay.SetRegister(R8, 15);    // level 30: 43690 / 256
    ay.SetRegister(R9, 8);     // level 16: 6896 / 256
    ay.SetRegister(R10, 0x10); // the envelope
    ay.SetRegister(R13, 13);   // rises to 31, holds 31: 43960 / 256
    driver.ToFrameEnd();
    driver.ToFrameEnd();
    EXPECT_EQ(Samples(ay.GetChannelBuffer(0)), std::vector<u8>(N, 170));
    EXPECT_EQ(Samples(ay.GetChannelBuffer(1)), std::vector<u8>(N, 26));
    EXPECT_EQ(Samples(ay.GetChannelBuffer(2)), std::vector<u8>(N, 171));
}

TEST_F(AyTest, HalvesAlternateFrameByFrame)
{
    TAY ay;
    TAyDriver driver(ay);
    const u8* second = ay.GetChannelBuffer(0);
    EXPECT_EQ(Samples(second), std::vector<u8>(N, 0));  // before the first frame end
    ay.SetRegister(R7, 0x3F);
    for (i32 frame = 1; frame <= 4; ++frame) {
        ay.SetRegister(R8, frame % 2 ? 15 : 8);
        driver.ToFrameEnd();
        const u8* finished = ay.GetChannelBuffer(0);
        EXPECT_EQ(finished, frame % 2 ? second - N : second) << "frame " << frame;
        EXPECT_EQ(Samples(finished), std::vector<u8>(N, frame % 2 ? 170 : 26)) << "frame " << frame;
    }
}

TEST_F(AyTest, TheFrameEventStepStoresTheFramesLastSample)
{
    TAY ay;
    TAyDriver driver(ay);
    ay.SetRegister(R7, 0x3F);
    driver.Advance(FrameTStates - TAY::TStatesPerStep);  // all but the last step silent
    ay.SetRegister(R8, 15);
    driver.ToFrameEnd();
    const std::vector<u8> frame = Samples(ay.GetChannelBuffer(0));
    EXPECT_EQ(frame[901], 0);
    EXPECT_GT(frame[902], 0);
    EXPECT_LT(frame[902], 170);
}

TEST_F(AyTest, UpdateRunsWholeStepsUpToTheTarget)
{
    TAY ay;
    ay.Update(1, 0);
    EXPECT_EQ(ay.GetPositionTState(), 16);  // overshoots by up to 15
    ay.Update(16, 0);
    EXPECT_EQ(ay.GetPositionTState(), 16);
    ay.Update(5, 0);                         // behind: nothing
    EXPECT_EQ(ay.GetPositionTState(), 16);
    ay.Update(100, -1);                      // an earlier frame: nothing
    EXPECT_EQ(ay.GetPositionFrame(), 0);
    ay.Update(32, 1);
    EXPECT_EQ(ay.GetPositionFrame(), 1);
    EXPECT_EQ(ay.GetPositionTState(), 32);
}

TEST_F(AyTest, BadChannelIsRefused)
{
    TAY ay;
    for (i32 channel : {-1, 3, 1000}) {
        try {
            ay.GetChannelBuffer(channel);
            ADD_FAILURE() << "channel " << channel << " accepted";
        } catch (const TTextError& error) {
            EXPECT_STREQ(error.what(), "Invalid AY channel.");
        }
    }
}

// Random register writes between random instruction lengths, with long
// silent stretches (levels 0, envelopes holding at 0) and loud ones: the
// deferred, batched and closed-form catch-up must give every sample and
// every generator state of the step-by-step definition.
TEST_F(AyTest, MatchesTheStepByStepDefinition)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        TAY ay;
        TReferenceAy reference;
        std::mt19937 random(seed);
        auto chance = [&](int percent) { return int(random() % 100) < percent; };
        const u8 levels[] = {0, 0, 0, 0, 1, 8, 15, 0x10, 0x10, 0x1F};
        i32 tstate = 0;
        i32 frame = 0;
        i32 instructions = 0;
        while (frame < 40) {
            tstate += 4 + i32(random() % 20);
            if (tstate >= FrameTStates) {
                tstate -= FrameTStates;
                ++frame;
                ay.Update(tstate, frame);
                reference.Update(tstate, frame);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(Samples(ay.GetChannelBuffer(c)), Samples(reference.Channel(c))) << "seed " << seed << ", frame " << frame << ", channel " << c;
            } else {
                ay.Update(tstate, frame);
                reference.Update(tstate, frame);
            }
            if (++instructions % 997 == 0) {
                ASSERT_EQ(ay.GetNoiseState(), reference.Noise) << "seed " << seed << ", frame " << frame;
                ASSERT_EQ(ay.GetOutputBits(), reference.Bits) << "seed " << seed << ", frame " << frame;
                ASSERT_EQ(ay.GetEnvelopeLevel(), reference.EnvLevel) << "seed " << seed << ", frame " << frame;
                ASSERT_EQ(ay.GetPositionTState(), reference.Position) << "seed " << seed << ", frame " << frame;
            }
            // Busy frames, quiet ones and nearly untouched ones.
            const u32 perTenThousand[] = {200, 50, 2};
            if (random() % 10'000 >= perTenThousand[frame % 3])
                continue;
            int r;
            u8 value;
            const int kind = int(random() % 100);
            if (kind < 35) {
                r = 8 + int(random() % 3);
                value = levels[random() % sizeof levels];
            } else if (kind < 50) {
                r = 13;
                value = u8(random() % 16);
            } else if (kind < 60) {
                r = 11 + int(random() % 2);
                value = u8(chance(70) ? random() % 4 : random());
            } else if (kind < 75) {
                r = int(random() % 6);
                value = u8(chance(50) ? random() % 8 : random());
            } else if (kind < 85) {
                r = 6;
                value = u8(random());
            } else {
                r = 7;
                value = u8(random());
            }
            ay.SetRegister(u8(r), value);
            reference.Write(r, value);
        }
    }
}

// While every channel is silent the chip skips ahead in closed form: after
// silent stretches of many lengths, every shape, and short and long
// periods, the generators stand exactly where the steps would have left
// them, and the next audible frame sounds the same.
TEST_F(AyTest, SilentStretchesEndWhereTheStepsWould)
{
    const i32 stretches[] = {16, 1'008, 2'000, 5'000, 30'000, 71'664};
    for (int shape = 0; shape < 16; ++shape) {
        for (u8 period : {0, 1, 3}) {
            TAY ay;
            TReferenceAy reference;
            auto write = [&](u8 r, u8 value) {
                ay.SetRegister(r, value);
                reference.Write(r, value);
            };
            write(R0, period);
            write(R2, u8(period + 7));
            write(R6, period);
            write(R11, period);
            i32 tstate = 0;
            i32 frame = 0;
            for (i32 stretch : stretches) {
                write(R13, u8(shape));  // the envelope runs on unheard
                tstate += stretch;
                while (tstate >= FrameTStates) {
                    tstate -= FrameTStates;
                    ++frame;
                }
                ay.Update(tstate, frame);
                reference.Update(tstate, frame);
                ASSERT_EQ(ay.GetNoiseState(), reference.Noise) << "shape " << shape << ", period " << int(period) << ", stretch " << stretch;
                ASSERT_EQ(ay.GetOutputBits(), reference.Bits) << "shape " << shape << ", period " << int(period) << ", stretch " << stretch;
                ASSERT_EQ(ay.GetEnvelopeLevel(), reference.EnvLevel) << "shape " << shape << ", period " << int(period) << ", stretch " << stretch;
            }
            write(R7, 0x30);
            write(R8, 0x10);
            write(R9, 15);
            write(R10, 0x10);
            ay.Update(0, frame + 1);
            reference.Update(0, frame + 1);
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(Samples(ay.GetChannelBuffer(c)), Samples(reference.Channel(c))) << "shape " << shape << ", channel " << c;
        }
    }
}

// A tone of period P toggles every P steps of 16 T-states: 3,500,000 /
// (32 x P) Hz. Measured in the resampled stream by counting rising edges
// over a second of emulated time.
TEST_F(AyTest, ToneFrequencyMeasuredInTheSamples)
{
    for (u16 period : {50, 100, 333, 1000, 4095}) {
        TAY ay;
        TAyDriver driver(ay);
        ay.SetRegister(R0, u8(period & 0xFF));
        ay.SetRegister(R1, u8(period >> 8));
        ay.SetRegister(R7, 0x3E);  // tone A only
        ay.SetRegister(R8, 15);
        std::vector<u8> stream;
        for (i32 frame = 0; frame < 50; ++frame) {
            driver.ToFrameEnd();
            const u8* samples = ay.GetChannelBuffer(0);
            stream.insert(stream.end(), samples, samples + N);
        }
        std::vector<size_t> rising;
        for (size_t i = 1; i < stream.size(); ++i) {
            if (stream[i - 1] < 85 && stream[i] >= 85)
                rising.push_back(i);
        }
        ASSERT_GE(rising.size(), 3u) << "period " << period;
        // 903 samples a frame of 71,680 T-states.
        const double secondsPerSample = double(FrameTStates) / 3'500'000.0 / N;
        const double measured = double(rising.size() - 1) / (double(rising.back() - rising.front()) * secondsPerSample);
        const double expected = 3'500'000.0 / (32.0 * period);
        EXPECT_NEAR(measured, expected, expected * 0.005) << "period " << period;
    }
}

// With a frame that is no whole number of samples and a frame event off
// the default, every write stays inside its half (the sanitizer build checks
// the bounds), and a held level fills every finished half.
TEST_F(AyTest, OtherTimingsKeepWritesInsideTheHalf)
{
    Settings->TStatesPerLine = 228;
    Settings->LinesPerFrame = 311;
    Settings->TStatesPerFrame = 228 * 311;  // 70,908
    Settings->FrameEventTState = 32;
    Settings->SampleRate = 48'000;
    TAY ay;
    const i32 n = ay.GetSamplesPerFrame();
    ASSERT_EQ(n, 972);
    ay.SetRegister(R7, 0x3F);
    ay.SetRegister(R8, 15);
    ay.Update(40, 0);  // the first frame event
    const u8* previous = ay.GetChannelBuffer(0);
    for (i32 frame = 1; frame <= 5; ++frame) {
        ay.Update(40, frame);
        const u8* finished = ay.GetChannelBuffer(0);
        EXPECT_NE(finished, previous) << "frame " << frame;
        previous = finished;
        if (frame >= 2) {
            EXPECT_EQ(Samples(finished, n), std::vector<u8>(size_t(n), 170)) << "frame " << frame;
        }
    }
}

} // namespace
