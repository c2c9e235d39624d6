#include "core/Ay.h"

#include "core/Output_bit_device.h"
#include "core/Settings.h"

#include <algorithm>
#include <cmath>

namespace {

// Each step adds this to the resampling accumulator; a sample falls due when
// it reaches ResampleDue = 1600 x CPU clock / (16 x sample rate), rounded:
// 7937 at the default rates, one sample every 4.960625 steps.
constexpr i32 ResampleAdd = 1600;

constexpr u8 Down = 0xFF;  // a step of -1
constexpr u8 Hold = 0;
constexpr u8 Up = 1;

// A sample is (sum of amplitudes / steps) / 256. Dividing by multiplying:
// (sum x ceil(2^32 / steps)) >> 40 is exact for sums below 2^26, and a sum
// is at most 43,960 x steps. Steps beyond the table (a very low sample rate)
// divide.
constexpr i32 MaxTabledSteps = 64;

constexpr std::array<u64, MaxTabledSteps + 1> MakeReciprocals()
{
    std::array<u64, MaxTabledSteps + 1> table{};
    for (u64 steps = 1; steps <= MaxTabledSteps; ++steps)
        table[steps] = ((u64(1) << 32) + steps - 1) / steps;
    return table;
}

constexpr std::array<u64, MaxTabledSteps + 1> Reciprocals = MakeReciprocals();

inline u8 Sample(i32 sum, i32 steps)
{
    if (steps <= MaxTabledSteps) [[likely]]
        return u8((u64(sum) * Reciprocals[size_t(steps)]) >> 40);
    return u8((sum / steps) >> 8);
}

constexpr u32 NextNoise(u32 state)
{
    return (state * 23457u + 1u) & 0xFFFF;
}

// The noise generator's numbers form one cycle through all 65,536 values.
// Knowing a value's place in it, many updates are one look-up, and whether
// the noise output ends toggled is the parity of bit 15 over the numbers
// passed, which a prefix table holds.
class TNoiseCycle {
public:
    TNoiseCycle()
        : Sequence(Length)
        , Place(Length)
        , Parity(2 * Length / 64 + 1)
    {
        u32 state = 0xFFFF;
        for (u32 i = 0; i < Length; ++i) {
            Sequence[i] = u16(state);
            Place[state] = u16(i);
            state = NextNoise(state);
        }
        // Bit j: bit 15 XORed over Sequence[1..j] (indexes modulo the length).
        bool parity = false;
        for (u32 j = 1; j <= 2 * Length; ++j) {
            parity ^= (Sequence[j % Length] & 0x8000) != 0;
            if (parity)
                Parity[j / 64] |= u64(1) << (j % 64);
        }
    }

    // The state after `updates` updates, and whether the output toggled an
    // odd number of times on the way.
    u32 Advance(u32 state, u64 updates, bool& toggled) const
    {
        const u32 from = Place[state];
        const u32 to = from + u32(updates % Length);
        toggled = Bit(to) != Bit(from);
        if ((updates / Length) & 1)
            toggled ^= Bit(Length);  // a whole cycle's own parity
        return Sequence[to % Length];
    }

private:
    static constexpr u32 Length = 65'536;
    bool Bit(u32 j) const { return (Parity[j / 64] >> (j % 64)) & 1; }

    std::vector<u16> Sequence;
    std::vector<u16> Place;
    std::vector<u64> Parity;
};

const TNoiseCycle& NoiseCycle()
{
    static const TNoiseCycle cycle;
    return cycle;
}

// A counter that rises by one a step and fires (back to 0) on reaching its
// period, a period of 0 acting as 1: how often it fires in `steps` steps,
// and where it ends.
u64 Fires(u32& counter, u32 period, u64 steps)
{
    const u64 p = period != 0 ? period : 1;
    const u64 first = counter + u64(1) >= p ? 1 : p - counter;
    if (steps < first) {
        counter += u32(steps);
        return 0;
    }
    const u64 after = steps - first;
    counter = u32(after % p);
    return 1 + after / p;
}

} // namespace

TAY::TAY()
{
    const TSettings& settings = *g_Settings;
    Enabled = settings.AYEnabled;
    AllocatePorts(3);
    AddPort(new TPort(settings.AYSelectPort, settings.AYSelectMask, TInHandler::Bind<TAY, &TAY::ReadRegister>(this)));
    AddPort(new TPort(settings.AYSelectPort, settings.AYSelectMask, TOutHandler::Bind<TAY, &TAY::SelectRegister>(this)));
    AddPort(new TPort(settings.AYWritePort, settings.AYWriteMask, TOutHandler::Bind<TAY, &TAY::WriteRegister>(this)));

    // Course of the level:      start, step, then start, step
    Descriptors[0] = {31, Down, 0, Hold};   // falls, holds 0
    Descriptors[1] = {0, Up, 0, Hold};      // rises, holds 0
    Descriptors[2] = {31, Down, 31, Down};  // falls again and again
    Descriptors[3] = {31, Down, 0, Up};     // falls, rises, falls ...
    Descriptors[4] = {31, Down, 31, Hold};  // falls, holds 31
    Descriptors[5] = {0, Up, 0, Up};        // rises again and again
    Descriptors[6] = {0, Up, 31, Hold};     // rises, holds 31
    Descriptors[7] = {0, Up, 31, Down};     // rises, falls, rises ...
    ShapeTable = {0, 0, 0, 0, 1, 1, 1, 1, 2, 0, 3, 4, 5, 6, 7, 1};
    Descriptor = 0;

    TAY::Reset();
    TAY::Prepare();
}

TAY::~TAY() = default;

void TAY::Reset()
{
    for (u8 r = 0; r < 16; ++r)
        SetRegister(r, 0);
    NoiseState = NoiseStateAfterReset;
}

void TAY::Prepare()
{
    Flush();
    const TSettings& settings = *g_Settings;
    TStatesPerFrame = std::max<i32>(TStatesPerStep, static_cast<i32>(settings.TStatesPerFrame));
    SamplesPerFrame = SoundSamplesPerFrame(settings);
    FrameEventTState = static_cast<i32>(settings.FrameEventTState % u32(TStatesPerFrame));
    const double due = std::round(double(ResampleAdd) * double(settings.CpuClock)
                                  / (double(TStatesPerStep) * double(settings.SampleRate)));
    ResampleDue = due >= double(ResampleAdd) && due < 1e9 ? static_cast<i32>(due) : ResampleAdd;
    HalfLength = SamplesPerFrame;
    for (std::vector<u8>& buffer : Buffers)
        buffer.assign(size_t(2) * size_t(HalfLength), 0);
    HalfStart = 0;
    WriteIndex = 0;
    PositionTState %= TStatesPerFrame;
    Pending = PositionTState;
    UntilFrameEvent = FrameEventTState - PositionTState;
    if (UntilFrameEvent <= 0)
        UntilFrameEvent += TStatesPerFrame;
    UpdateFlushLimit();
}

void TAY::SelectRegister(u8 value)
{
    Selected = value & 0x0F;
}

void TAY::WriteRegister(u8 value)
{
    if (Followed && Followed->Valid)
        Update(Followed->Tact, Followed->Frame);
    Flush();  // the steps so far ran with the old value
    Registers[Selected] = value;
    switch (Selected) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5: {
        const size_t channel = Selected >> 1;
        TonePeriod[channel] = u32(Registers[channel * 2] | Registers[channel * 2 + 1] << 8) & 0x0FFF;
        break;
    }
    case 6:
        NoisePeriod = Registers[6] & 0x1F;
        break;
    case 8:
    case 9:
    case 10:
        DecodeLevel(Selected - 8);
        break;
    case 13:
        // Restarts the envelope even when the shape is unchanged; the
        // envelope counter runs on.
        Descriptor = ShapeTable[Registers[13] & 0x0F];
        EnvelopePhase = 0;
        EnvelopeLevel = Descriptors[Descriptor][0];
        EnvelopeStep = Descriptors[Descriptor][1];
        break;
    default:  // R7, R11, R12 are read where used; R14, R15 only stored
        break;
    }
}

void TAY::DecodeLevel(i32 channel)
{
    const u8 value = Registers[size_t(8 + channel)];
    FollowsEnvelope[size_t(channel)] = (value & 0x10) != 0;
    if (!FollowsEnvelope[size_t(channel)])
        FixedLevel[size_t(channel)] = u32(value & 0x0F) * 2;
}

u8 TAY::ReadRegister(u16 /*port*/)
{
    return Registers[Selected];
}

void TAY::SetRegister(u8 index, u8 value)
{
    SelectRegister(index);
    WriteRegister(value);
}

const u8* TAY::GetChannelBuffer(i32 channel) const
{
    if (channel < 0 || channel >= Channels)
        throw TTextError("Invalid AY channel.");
    return Buffers[size_t(channel)].data() + (HalfStart == 0 ? HalfLength : 0);
}

u16 TAY::GetNoiseState()
{
    Flush();
    return u16(NoiseState);
}

u16 TAY::GetOutputBits()
{
    Flush();
    return u16(OutputBits);
}

u8 TAY::GetEnvelopeLevel()
{
    Flush();
    return u8(EnvelopeLevel);
}

i32 TAY::GetPositionTState()
{
    Flush();
    return PositionTState;
}

i32 TAY::GetPositionFrame()
{
    Flush();
    return PositionFrame;
}

void TAY::UpdateFlushLimit()
{
    // The frame-event step is the ceil(UntilFrameEvent / 16)th from here; a
    // target above the position after the step before it needs it.
    const i64 before = (i64(UntilFrameEvent) + TStatesPerStep - 1) / TStatesPerStep - 1;
    FlushLimit = i32(std::min<i64>(PositionTState + before * TStatesPerStep + 1, TStatesPerFrame));
}

void TAY::Flush()
{
    if (Pending > PositionTState)
        RunBatch((i64(Pending) - PositionTState + TStatesPerStep - 1) / TStatesPerStep);
    Pending = PositionTState;
}

void TAY::CatchUp(i32 tstate, i32 frame)
{
    const i32 frames = static_cast<i32>(static_cast<u32>(frame) - static_cast<u32>(PositionFrame));
    if (frames < 0)
        return;
    tstate = std::clamp(tstate, 0, TStatesPerFrame);
    const i64 target = std::max(i64(frames) * TStatesPerFrame + tstate, i64(Pending));
    const i64 steps = (target - PositionTState + TStatesPerStep - 1) / TStatesPerStep;
    if (steps > 0)
        RunBatch(steps);
    Pending = PositionTState;
    UpdateFlushLimit();
}

void TAY::RunBatch(i64 steps)
{
    while (steps > 0) {
        if (IsSilent()) {  // stays so until a register is written
            RunSilent(steps);
            return;
        }
        // Chunks, so that an envelope settling at level 0 hands over to the
        // silent path.
        const i64 chunk = std::min<i64>(steps, 1024);
        RunSteps(chunk);
        steps -= chunk;
    }
}

bool TAY::IsSilent() const
{
    for (i32 c = 0; c < Channels; ++c) {
        if (FollowsEnvelope[size_t(c)]) {
            if (EnvelopeStep != 0 || VolumeTable[EnvelopeLevel] != 0)
                return false;
        } else if (FixedLevel[size_t(c)] != 0) {
            return false;
        }
    }
    return true;
}

// The chip's step, run `steps` times on local copies of the state (which the
// compiler keeps in registers; the sample stores would otherwise make it
// reload every member after each byte written).
void TAY::RunSteps(i64 steps)
{
    u32 noiseCounter = NoiseCounter;
    const u32 noisePeriod = NoisePeriod;
    u32 noise = NoiseState;
    u32 bits = OutputBits;
    u32 tone0 = ToneCounter[0], tone1 = ToneCounter[1], tone2 = ToneCounter[2];
    const u32 period0 = TonePeriod[0], period1 = TonePeriod[1], period2 = TonePeriod[2];
    u32 envelopeCounter = EnvelopeCounter;
    const u32 envelopePeriod = u32(Registers[11] | Registers[12] << 8);
    u32 envelopeLevel = EnvelopeLevel;
    u32 envelopeStep = EnvelopeStep;
    u32 envelopePhase = EnvelopePhase;
    const TEnvelopeDescriptor descriptor = Descriptors[Descriptor];
    const u32 mixer = Registers[7];
    const bool follows0 = FollowsEnvelope[0], follows1 = FollowsEnvelope[1], follows2 = FollowsEnvelope[2];
    const i32 fixed0 = VolumeTable[FixedLevel[0]], fixed1 = VolumeTable[FixedLevel[1]], fixed2 = VolumeTable[FixedLevel[2]];
    // Each channel's amplitude; those that follow the envelope change only
    // when it moves.
    i32 volume0 = 0, volume1 = 0, volume2 = 0;
    const auto choose = [&](u32 level) {
        const i32 envelopeVolume = VolumeTable[level];
        volume0 = follows0 ? envelopeVolume : fixed0;
        volume1 = follows1 ? envelopeVolume : fixed1;
        volume2 = follows2 ? envelopeVolume : fixed2;
    };
    choose(envelopeLevel);
    i32 acc0 = Accumulator[0], acc1 = Accumulator[1], acc2 = Accumulator[2];
    i32 stepCount = StepCount;
    i32 resample = ResampleAccumulator;
    const i32 due = ResampleDue;
    i32 position = PositionTState;
    u32 frame = u32(PositionFrame);
    i32 untilEvent = UntilFrameEvent;
    const i32 frameLength = TStatesPerFrame;
    const i32 n = HalfLength;
    i32 halfStart = HalfStart;
    i32 writeIndex = WriteIndex;
    u8* const buffer0 = Buffers[0].data();
    u8* const buffer1 = Buffers[1].data();
    u8* const buffer2 = Buffers[2].data();

    for (; steps > 0; --steps) {
        // 1. Noise: a new number every noise period (0 acts as 1); its bit
        // 15 toggles the noise output of all three channels.
        if (++noiseCounter >= noisePeriod) {
            noiseCounter = 0;
            noise = NextNoise(noise);
            bits ^= (noise >> 15) * 0x38;
        }
        // 2. Tones: each flip-flop toggles every tone period.
        if (++tone0 >= period0) {
            tone0 = 0;
            bits ^= 1;
        }
        if (++tone1 >= period1) {
            tone1 = 0;
            bits ^= 2;
        }
        if (++tone2 >= period2) {
            tone2 = 0;
            bits ^= 4;
        }
        // 3. Envelope: a level move every envelope period; leaving 0..31
        // (32 or 255: bit 5) switches to the descriptor's other pair.
        if (++envelopeCounter >= envelopePeriod) {
            envelopeCounter = 0;
            envelopeLevel = (envelopeLevel + envelopeStep) & 0xFF;
            if (envelopeLevel & 0x20) {
                envelopePhase ^= 2;
                envelopeLevel = descriptor[envelopePhase];
                envelopeStep = descriptor[envelopePhase + 1];
            }
            choose(envelopeLevel);
        }
        // 4. Mixer: a channel sounds when (tone flip-flop or tone off) and
        // (noise output or noise off).
        u32 m = bits | mixer;
        m &= m >> 3;
        // 5, 6. Sum the sounding channels' amplitudes.
        acc0 += (m & 1) ? volume0 : 0;
        acc1 += (m & 2) ? volume1 : 0;
        acc2 += (m & 4) ? volume2 : 0;
        ++stepCount;
        // 7. Advance the position.
        position += TStatesPerStep;
        if (position >= frameLength) {
            position -= frameLength;
            ++frame;
        }
        // 8. The frame event stores the frame's last sample and switches to
        // the other half. A frame that came out short repeats its last
        // sample; a long one gives its last place to it.
        untilEvent -= TStatesPerStep;
        if (untilEvent <= 0) {
            untilEvent += frameLength;
            const i32 end = halfStart + n;
            const i32 index = writeIndex < end ? writeIndex : end - 1;
            buffer0[index] = Sample(acc0, stepCount);
            buffer1[index] = Sample(acc1, stepCount);
            buffer2[index] = Sample(acc2, stepCount);
            for (i32 i = index + 1; i < end; ++i) {
                buffer0[i] = buffer0[index];
                buffer1[i] = buffer1[index];
                buffer2[i] = buffer2[index];
            }
            acc0 = acc1 = acc2 = 0;
            stepCount = 0;
            resample = 0;
            halfStart = halfStart == 0 ? n : 0;
            writeIndex = halfStart;
            continue;
        }
        // 9. Otherwise a sample falls due every due / 1600 steps: the mean
        // amplitude of the steps since the last one, divided by 256. One
        // more than the half holds is dropped.
        resample += ResampleAdd;
        if (resample >= due) {
            resample -= due;
            if (writeIndex < halfStart + n) {
                buffer0[writeIndex] = Sample(acc0, stepCount);
                buffer1[writeIndex] = Sample(acc1, stepCount);
                buffer2[writeIndex] = Sample(acc2, stepCount);
                ++writeIndex;
            }
            acc0 = acc1 = acc2 = 0;
            stepCount = 0;
        }
    }

    NoiseCounter = noiseCounter;
    NoiseState = noise;
    OutputBits = bits;
    ToneCounter = {tone0, tone1, tone2};
    EnvelopeCounter = envelopeCounter;
    EnvelopeLevel = envelopeLevel;
    EnvelopeStep = envelopeStep;
    EnvelopePhase = envelopePhase;
    Accumulator = {acc0, acc1, acc2};
    StepCount = stepCount;
    ResampleAccumulator = resample;
    PositionTState = position;
    PositionFrame = i32(frame);
    UntilFrameEvent = untilEvent;
    HalfStart = halfStart;
    WriteIndex = writeIndex;
}

// While every channel is silent the steps add nothing to the accumulators,
// and the generators only need their end state: each counter's firings,
// the noise cycle's place, the envelope's course. Runs of steps up to the
// frame-event step go at once; that step runs as a normal one.
void TAY::RunSilent(i64 steps)
{
    while (steps > 0) {
        const i64 toEvent = (i64(UntilFrameEvent) + TStatesPerStep - 1) / TStatesPerStep;
        if (toEvent <= 1) {
            RunSteps(1);
            --steps;
            continue;
        }
        const i64 run = std::min(steps, toEvent - 1);
        steps -= run;

        AdvanceNoise(Fires(NoiseCounter, NoisePeriod, u64(run)));
        for (i32 c = 0; c < Channels; ++c) {
            if (Fires(ToneCounter[size_t(c)], TonePeriod[size_t(c)], u64(run)) & 1)
                OutputBits ^= 1u << c;
        }
        AdvanceEnvelope(Fires(EnvelopeCounter, u32(Registers[11] | Registers[12] << 8), u64(run)));

        i64 position = PositionTState + run * TStatesPerStep;
        while (position >= TStatesPerFrame) {
            position -= TStatesPerFrame;
            PositionFrame = static_cast<i32>(static_cast<u32>(PositionFrame) + 1u);
        }
        PositionTState = i32(position);
        UntilFrameEvent -= i32(run * TStatesPerStep);

        // The m-th sample of the run falls due at step ceil((m x due -
        // accumulator) / 1600); the first takes the sums in progress, the
        // rest are silence.
        const i64 total = ResampleAccumulator + i64(ResampleAdd) * run;
        const i64 samples = total / ResampleDue;
        if (samples == 0) {
            StepCount += i32(run);
            ResampleAccumulator = i32(total);
            continue;
        }
        const i64 first = (i64(ResampleDue) - ResampleAccumulator + ResampleAdd - 1) / ResampleAdd;
        const i64 count = StepCount + first;
        StoreSamples(i32(Accumulator[0] / count) >> 8, i32(Accumulator[1] / count) >> 8, i32(Accumulator[2] / count) >> 8);
        Accumulator = {};
        const i32 room = HalfStart + HalfLength - WriteIndex;
        const i32 silent = i32(std::min<i64>(samples - 1, room));
        for (std::vector<u8>& buffer : Buffers)
            std::fill_n(buffer.begin() + WriteIndex, silent, u8(0));
        WriteIndex += silent;
        const i64 last = (samples * ResampleDue - ResampleAccumulator + ResampleAdd - 1) / ResampleAdd;
        StepCount = i32(run - last);
        ResampleAccumulator = i32(total - samples * ResampleDue);
    }
}

void TAY::StoreSamples(i32 a, i32 b, i32 c)
{
    if (WriteIndex < HalfStart + HalfLength) {
        Buffers[0][size_t(WriteIndex)] = u8(a);
        Buffers[1][size_t(WriteIndex)] = u8(b);
        Buffers[2][size_t(WriteIndex)] = u8(c);
        ++WriteIndex;
    }
    StepCount = 0;
}

void TAY::AdvanceNoise(u64 updates)
{
    if (updates < 64) {  // cheaper than the tables' cache lines
        for (; updates > 0; --updates) {
            NoiseState = NextNoise(NoiseState);
            OutputBits ^= (NoiseState >> 15) * 0x38;
        }
        return;
    }
    bool toggled = false;
    NoiseState = NoiseCycle().Advance(NoiseState, updates, toggled);
    if (toggled)
        OutputBits ^= 0x38;
}

void TAY::AdvanceEnvelope(u64 moves)
{
    const TEnvelopeDescriptor& descriptor = Descriptors[Descriptor];
    // With both pairs moving, the course repeats every 64 moves (32 a pair).
    if (descriptor[1] != Hold && descriptor[3] != Hold)
        moves %= 64;
    while (moves > 0 && EnvelopeStep != Hold) {
        const u64 untilLeaving = EnvelopeStep == Up ? 32 - EnvelopeLevel : EnvelopeLevel + 1;
        if (moves < untilLeaving) {
            EnvelopeLevel = EnvelopeStep == Up ? EnvelopeLevel + u32(moves) : EnvelopeLevel - u32(moves);
            return;
        }
        moves -= untilLeaving;
        EnvelopePhase ^= 2;
        EnvelopeLevel = descriptor[EnvelopePhase];
        EnvelopeStep = descriptor[EnvelopePhase + 1];
    }
}
