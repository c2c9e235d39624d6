// The AY sound chip of the 128K machine: sixteen registers behind two ports,
// three square-wave tone generators (channels A, B, C), one noise generator
// and one envelope generator shared by the channels, and the chip's mixer.
//
// The computer lets the chip catch up with the CPU after every instruction;
// the chip then runs its generators in steps of 16 T-states and resamples the
// three channel levels into three streams of 8-bit samples at the host rate,
// one frame of samples per emulated frame, each stream in a double buffer
// whose halves switch at the frame-event T-state. The mixer reads the
// finished halves at the frame end.
//
//   R0-R5   tone periods A, B, C (fine byte first, 12 bits)
//   R6      noise period (5 bits)
//   R7      mixer: bits 0-2 switch the tones of A, B, C off, bits 3-5 the noises
//   R8-R10  levels: bit 4 = follow the envelope, else bits 0-3 a fixed level
//   R11-R12 envelope period; R13 envelope shape (bits 0-3)
//   R14-R15 stored and read back, nothing else
//
// Speed: Update runs after every instruction (or, in a run, only when it has
// more to do than note: a register write then notes the step position the
// chip follows first), but the registers change only through the write
// port. So Update only notes the CPU's position, and the
// steps run in one batch when something needs them: a register write, the
// frame event (the mixer reads the buffers then) or an inspection. The
// result is the same, step for step, as running them at every Update. While
// every channel is silent the batch advances the generators in closed form.
#pragma once

#include "core/Device.h"
#include "core/Output_bit_device.h"

#include <array>
#include <vector>

class TAY : public TDevice {
public:
    static constexpr i32 Channels = 3;
    static constexpr i32 TStatesPerStep = 16;
    static constexpr u16 NoiseStateAfterReset = 0xFFFF;

    // Amplitude of each level 0 to 31; a fixed level uses the even entries.
    static constexpr std::array<u16, 32> VolumeTable = {
        0,     0,     342,   342,   552,   552,   826,   826,
        1282,  1282,  2159,  2159,  3284,  3284,  6073,  6073,
        6896,  6896,  11917, 11917, 16455, 16455, 20295, 20295,
        25896, 25896, 31513, 31513, 37601, 37601, 43690, 43960};

    // Ports from the settings (select: in and out, write: out), enabled by
    // TSettings::AYEnabled; then Reset and Prepare.
    TAY();
    ~TAY() override;

    // Writes 0 to R0..R15 in order (R15 stays selected) and sets the noise
    // state to 0xFFFF. Counters, output bits, position, the samples in
    // progress and the buffers are kept.
    void Reset() override;
    // Timing from the settings and three fresh, silent buffers.
    void Prepare() override;

    // Out-handler of the select port: the low four bits choose the register.
    void SelectRegister(u8 value);
    // Out-handler of the write port: stores the whole byte into the selected
    // register and decodes it. Writing R13 restarts the envelope.
    void WriteRegister(u8 value);
    // In-handler of the select port: the stored byte of the selected register.
    u8 ReadRegister(u16 port);
    // SelectRegister, then WriteRegister (reset, snapshot loaders).
    void SetRegister(u8 index, u8 value);

    // The computer's step position to note before each register write
    // (nullptr: none); see TStepPosition.
    void FollowSteps(const TStepPosition* position) { Followed = position; }
    // Update(tstate, GetNotingFrame()) for a tstate below this only notes it.
    i32 GetNotingLimit() const { return FlushLimit; }
    i32 GetNotingFrame() const { return PositionFrame; }

    // Runs 16-T-state steps until the chip's position reaches the CPU's
    // T-state within the frame (it may overshoot by up to 15). A target
    // behind the position runs nothing; frames compare wrap-safely. Before
    // the frame event this only notes the target (see the head comment).
    void Update(i32 tstate, i32 frame)
    {
        if (frame == PositionFrame && tstate < FlushLimit) {
            if (tstate > Pending)
                Pending = tstate;
            return;
        }
        CatchUp(tstate, frame);
    }

    // The finished half of a channel's buffer (0, 1, 2 for A, B, C): after a
    // frame end, that frame's samples; the second half, all zeros, before
    // the first. Throws "Invalid AY channel." for any other channel.
    const u8* GetChannelBuffer(i32 channel) const;

    // Inspection (tests, debugger); the state after the last Update.
    u8 GetRegister(i32 index) const { return Registers[size_t(index & 0x0F)]; }
    u8 GetSelectedRegister() const { return Selected; }
    u16 GetNoiseState();
    u16 GetOutputBits();
    u8 GetEnvelopeLevel();
    i32 GetPositionTState();
    i32 GetPositionFrame();
    // The descriptor (0 to 7) that the shape (0 to 15) runs.
    i32 GetShapeDescriptor(i32 shape) const { return ShapeTable[size_t(shape & 0x0F)]; }
    i32 GetSamplesPerFrame() const { return SamplesPerFrame; }

private:
    // Start level, step, second start level, second step (255 = -1).
    using TEnvelopeDescriptor = std::array<u8, 4>;

    // Runs the steps up to the noted target.
    void Flush();
    void CatchUp(i32 tstate, i32 frame);
    // Steps, through the silent path whenever the chip is silent.
    void RunBatch(i64 steps);
    void RunSteps(i64 steps);
    // Every channel at amplitude 0 for as long as the registers stay: a fixed
    // level 0, or the envelope holding at level 0 or 1.
    bool IsSilent() const;
    // Silent steps up to (not including) the frame-event step, in closed form.
    void RunSilent(i64 steps);
    void AdvanceEnvelope(u64 moves);
    void AdvanceNoise(u64 updates);
    // One sample per channel, when the half has room; starts the next.
    void StoreSamples(i32 a, i32 b, i32 c);
    void DecodeLevel(i32 channel);
    // The first T-state that needs the frame-event step.
    void UpdateFlushLimit();

    std::array<u8, 16> Registers{};
    u8 Selected = 0;

    // Generators. 32-bit working copies of the chip's narrower counters.
    u32 NoiseCounter = 0;
    u32 NoisePeriod = 0;   // R6 & 0x1F
    u32 NoiseState = NoiseStateAfterReset;
    u32 OutputBits = 0;    // bits 0-2: tone flip-flops of A, B, C; 3-5: noise
    std::array<u32, Channels> ToneCounter{};
    std::array<u32, Channels> TonePeriod{};  // 12 bits
    u32 EnvelopeCounter = 0;
    u32 EnvelopeLevel = 0;  // 0 to 31
    u32 EnvelopeStep = 0;   // +1, 255 (-1) or 0, added modulo 256
    u32 EnvelopePhase = 0;  // 0 or 2: which pair of the descriptor is in force
    u32 Descriptor = 0;     // index into Descriptors
    std::array<u32, Channels> FixedLevel{};      // (R8..R10 & 0x0F) x 2
    std::array<bool, Channels> FollowsEnvelope{};
    std::array<TEnvelopeDescriptor, 8> Descriptors{};
    std::array<u8, 16> ShapeTable{};

    // Position and resampling.
    const TStepPosition* Followed = nullptr;
    i32 PositionTState = 0;  // within the chip's frame, a multiple of 16 by default
    i32 PositionFrame = 0;
    i32 Pending = 0;         // the furthest target noted in PositionFrame
    i32 FlushLimit = 0;      // targets from here on run the frame-event step
    i32 UntilFrameEvent = 1; // T-states from the position to the frame event
    std::array<i32, Channels> Accumulator{};
    i32 StepCount = 0;
    i32 ResampleAccumulator = 0;
    i32 ResampleDue = 7937;  // 1600 a step; 7937 at 44,100 Hz and 3.5 MHz
    i32 HalfLength = 0;      // n
    i32 HalfStart = 0;       // 0 or n: the half being written
    i32 WriteIndex = 0;      // HalfStart .. HalfStart + n
    i32 TStatesPerFrame = 71'680;
    i32 SamplesPerFrame = 0;
    i32 FrameEventTState = 0;
    std::array<std::vector<u8>, Channels> Buffers;
};
