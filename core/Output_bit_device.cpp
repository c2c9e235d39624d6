#include "core/Output_bit_device.h"

#include "core/Settings.h"

#include <algorithm>

i32 SoundSamplesPerFrame(const TSettings& settings)
{
    const double samples = double(settings.SampleRate) * double(settings.TStatesPerFrame) / double(settings.CpuClock);
    if (!(samples >= 1.0))  // also a zero clock (NaN, infinity)
        return 1;
    return samples > 65'535.0 ? 65'535 : static_cast<i32>(samples);
}

TOutputBitDevice::TOutputBitDevice(u16 portValue, u16 portMask, u8 bitMask, u8 highLevel)
    : BitMask(bitMask)
    , HighLevel(highLevel)
{
    AllocatePorts(1);
    AddPort(new TPort(portValue, portMask, TOutHandler::Bind<TOutputBitDevice, &TOutputBitDevice::PortWrite>(this)));
    TOutputBitDevice::Prepare();
}

TOutputBitDevice::~TOutputBitDevice() = default;

void TOutputBitDevice::Prepare()
{
    Flush();
    const TSettings& settings = *g_Settings;
    TStatesPerFrame = std::max<i32>(1, static_cast<i32>(settings.TStatesPerFrame));
    SamplesPerFrame = SoundSamplesPerFrame(settings);
    SamplePeriod = std::max<i32>(1, static_cast<i32>(i64(TStatesPerFrame) * 1000 / SamplesPerFrame));
    SwapTState = static_cast<i32>(settings.FrameEventTState % u32(TStatesPerFrame));
    HalfLength = SamplesPerFrame;
    Buffer.assign(size_t(2) * size_t(HalfLength), 0);
    HalfStart = 0;
    WriteIndex = 0;
    Phase = 0;
    Countdown = CountdownFromPhase();
    Position %= TStatesPerFrame;
    Pending = Position;
    SwapLimit = Position + TStatesToSwap();
}

i32 TOutputBitDevice::CountdownFromPhase() const
{
    const i32 missing = SamplePeriod - Phase;
    return missing <= 0 ? 1 : (missing + 999) / 1000;
}

// The rule, T-state by T-state: sum += level, count + 1, phase + 1000; at
// the sample period, phase - period and a sample of sum / count.
void TOutputBitDevice::Advance(i32 run)
{
    if (run < Countdown) {
        Sum += Level * run;
        Count += run;
        Phase += 1000 * run;
        Countdown -= run;
        return;
    }
    // The sample in progress ends after Countdown T-states.
    Sum += Level * Countdown;
    Count += Countdown;
    StoreSample(u8(Sum / Count));
    Phase += 1000 * Countdown - SamplePeriod;
    run -= Countdown;
    // The m-th further sample ends at T-state ceil((m x period - phase) /
    // 1000) of the rest; whole samples at one level are that level.
    const i64 total = Phase + 1000 * i64(run);
    const i64 whole = total / SamplePeriod;
    if (whole > 0) {
        const i32 room = HalfStart + HalfLength - WriteIndex;
        const i32 stored = i32(std::min<i64>(whole, room));
        std::fill_n(Buffer.begin() + WriteIndex, stored, Level);
        WriteIndex += stored;
        run -= i32((whole * SamplePeriod - Phase + 999) / 1000);
    }
    Phase = i32(total - whole * SamplePeriod);
    Sum = Level * run;
    Count = run;
    Countdown = CountdownFromPhase();
}

void TOutputBitDevice::CatchUp(i32 tstate, i32 frame)
{
    Flush();
    const i32 frames = static_cast<i32>(static_cast<u32>(frame) - static_cast<u32>(Frame));
    if (frames < 0)
        return;
    tstate = std::clamp(tstate, 0, TStatesPerFrame);
    i64 remaining = i64(frames) * TStatesPerFrame + tstate - Position;
    while (remaining > 0) {
        const i32 toSwap = TStatesToSwap();
        const i32 run = i32(std::min<i64>(remaining, toSwap));
        // The swap T-state itself ends the frame's samples instead of the
        // phase rule.
        Advance(run == toSwap ? run - 1 : run);
        Position += run;
        if (Position >= TStatesPerFrame) {
            Position -= TStatesPerFrame;
            Frame = static_cast<i32>(static_cast<u32>(Frame) + 1u);
        }
        remaining -= run;
        if (run == toSwap) {
            Sum += Level;
            Count += 1;
            EndFrame(u8(Sum / Count));
        }
    }
    Pending = Position;
    SwapLimit = Position + TStatesToSwap();
}

void TOutputBitDevice::StoreSample(u8 sample)
{
    if (WriteIndex < HalfStart + HalfLength)
        Buffer[size_t(WriteIndex++)] = sample;
}

void TOutputBitDevice::EndFrame(u8 sample)
{
    const i32 end = HalfStart + HalfLength;
    if (WriteIndex < end)
        std::fill(Buffer.begin() + WriteIndex, Buffer.begin() + end, sample);
    else
        Buffer[size_t(end - 1)] = sample;
    HalfStart = HalfStart == 0 ? HalfLength : 0;
    WriteIndex = HalfStart;
    Sum = 0;
    Count = 0;
    Phase = 0;
    Countdown = CountdownFromPhase();
}
