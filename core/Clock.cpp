#include "core/Clock.h"

#include "core/Periodic_timer.h"
#include "core/Settings.h"

#include <thread>

TClock* g_Clock = nullptr;

namespace {

class TTimerTickSource : public TTickSource {
public:
    explicit TTimerTickSource(std::chrono::nanoseconds period) : Period(period) {}

    bool Start(std::function<void()> tick) override
    {
        Timer = std::make_unique<TPeriodicTimer>(Period, std::move(tick), "quorvane-clock");
        return Timer->Start();
    }

    void Stop() override
    {
        if (Timer)
            Timer->Stop();
    }

private:
    std::chrono::nanoseconds Period;
    std::unique_ptr<TPeriodicTimer> Timer;
};

} // namespace

std::unique_ptr<TTickSource> MakeTimerTickSource(std::chrono::nanoseconds period)
{
    return std::make_unique<TTimerTickSource>(period);
}

TClock::TClock(std::unique_ptr<TTickSource> source)
    : Source(source ? std::move(source) : MakeTimerTickSource(TickPeriod))
    , LastReturn(std::chrono::steady_clock::now())
{
    // Ticking is set before the first tick can arrive and cleared again when
    // the source refuses, so WaitTick never waits on a clock that is not there.
    Ticking.store(true, std::memory_order_release);
    if (!Source->Start([this] { TimerProc(); }))
        Ticking.store(false, std::memory_order_release);
}

TClock::~TClock()
{
    Stop();
}

void TClock::Stop()
{
    Source->Stop();
    Ticking.store(false, std::memory_order_release);
}

void TClock::TimerProc()
{
    Ticks.fetch_add(1, std::memory_order_release);

    if (Emulating.load(std::memory_order_relaxed)) {
        if (++FlashCounter >= static_cast<u32>(FlashTicks.load(std::memory_order_relaxed))) {
            FlashCounter = 0;
            FlashMask.store(FlashMask.load(std::memory_order_relaxed) ^ 0x80, std::memory_order_relaxed);
        }
    }

    if (--SampleCountdown > 0)
        return;
    SampleCountdown = SampleTicks;
    // Unsigned differences stay right across the 32-bit wrap of the count.
    const u32 frames = Frames.load(std::memory_order_relaxed);
    Ring[static_cast<size_t>(RingIndex)] = frames - FramesAtLastSample;
    FramesAtLastSample = frames;
    RingIndex = (RingIndex + 1) % SampleCount;
    // Summed in a local so readers never see a half-updated figure.
    u32 sum = 0;
    for (u32 sample : Ring)
        sum += sample;
    Fps.store(sum, std::memory_order_relaxed);
}

void TClock::WaitTick()
{
    using namespace std::chrono;
    while (Ticking.load(std::memory_order_acquire)) {
        const u32 ticks = Ticks.load(std::memory_order_acquire);
        if (ticks != LastTickSeen) {
            LastTickSeen = ticks;
            LastReturn = steady_clock::now();
            return;
        }
        // The next tick is due a period after the last one seen: sleep
        // most of the way in one go, then poll, rather than wake every
        // millisecond of the frame. A tick seen late is seen less late
        // each period, since the source keeps its own time.
        const steady_clock::time_point soon = LastReturn + TickPeriod - milliseconds(3);
        if (steady_clock::now() < soon)
            std::this_thread::sleep_until(soon);
        else
            std::this_thread::sleep_for(milliseconds(1));
    }
    // No ticks (the timer could not start, or has stopped): pace by sleeping,
    // so a run never freezes.
    std::this_thread::sleep_until(LastReturn + TickPeriod);
    LastReturn = steady_clock::now();
    LastTickSeen = Ticks.load(std::memory_order_acquire);
}

void TClock::SetEmulating(u8 emulating)
{
    if (emulating && g_Settings)
        FlashTicks.store(g_Settings->FlashTicks > 0 ? g_Settings->FlashTicks : 1, std::memory_order_relaxed);
    Emulating.store(emulating ? 1 : 0, std::memory_order_relaxed);
}

void TClock::PresetCounters(u32 ticks, u32 frames)
{
    Ticks.store(ticks, std::memory_order_relaxed);
    LastTickSeen = ticks;
    Frames.store(frames, std::memory_order_relaxed);
    FramesAtLastSample = frames;
}
