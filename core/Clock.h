// The program's 20 ms clock: counts ticks for the frame pacing that runs
// without sound, turns the flash phase of the emulated screen while the
// machine runs, and keeps the frames-per-second figure of the caption.
//
// The ticks come from a tick source on a thread of its own (a periodic
// timer in the program, a hand-driven source in tests). Everything the tick
// thread shares with the run and user-interface threads is atomic; the tick
// thread never touches the settings.
#pragma once

#include "core/Types.h"

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// Calls the tick function once a period on a thread of its own.
class TTickSource {
public:
    virtual ~TTickSource() = default;

    // Starts ticking; false when the source cannot run (no thread).
    virtual bool Start(std::function<void()> tick) = 0;
    // No tick runs after Stop returns. Stopping twice is harmless.
    virtual void Stop() = 0;
};

// The program's tick source: a periodic timer thread, "quorvane-clock".
std::unique_ptr<TTickSource> MakeTimerTickSource(std::chrono::nanoseconds period);

class TClock {
public:
    static constexpr std::chrono::milliseconds TickPeriod{20};
    static constexpr i32 SampleTicks = 5;    // one frames-per-second sample every 100 ms
    static constexpr i32 SampleCount = 10;   // ten samples make the last second
    static constexpr u8 FlashOn = 0xFF;      // flashing cells show their swapped colours
    static constexpr u8 FlashOff = 0x7F;

    // Starts the ticks at once; nullptr means the program's periodic timer.
    // When the source cannot start, WaitTick paces by sleeping instead.
    explicit TClock(std::unique_ptr<TTickSource> source = nullptr);
    // Stops the ticks.
    ~TClock();
    TClock(const TClock&) = delete;
    TClock& operator=(const TClock&) = delete;

    // Stops and joins the tick thread; WaitTick then paces by sleeping.
    // main calls it before the settings and the computer are destroyed.
    void Stop();
    bool IsTicking() const { return Ticking.load(std::memory_order_acquire); }

    // One 20 ms tick (called by the tick source, on its thread).
    void TimerProc();

    // Returns at the first tick after the one seen by the previous call:
    // at once when a tick has passed since, else at the next one. Without
    // ticks it returns 20 ms after its previous return. Called by the thread
    // that steps the machine (one at a time).
    void WaitTick();

    // The run thread sets it while it runs; the flash phase turns only then.
    // Switching it on takes the flash period from the settings.
    void SetEmulating(u8 emulating);
    // One more frame completed (every frame end).
    void CountFrame() { Frames.fetch_add(1, std::memory_order_relaxed); }

    // ANDed with each attribute by the renderer: 0xFF or 0x7F.
    u8 GetFlashMask() const { return FlashMask.load(std::memory_order_relaxed); }
    // Frames completed in the last ten 100 ms samples, that is the last second.
    u32 GetFps() const { return Fps.load(std::memory_order_relaxed); }
    u32 GetTicks() const { return Ticks.load(std::memory_order_relaxed); }
    u32 GetFrames() const { return Frames.load(std::memory_order_relaxed); }

    // --- Seam for tests only; the program never calls it ---
    // Sets the tick and frame counters (the frames-per-second baseline
    // follows the frames), to test behaviour near their 32-bit wrap.
    void PresetCounters(u32 ticks, u32 frames);

private:
    std::unique_ptr<TTickSource> Source;
    std::atomic<bool> Ticking{false};

    // Written by the tick thread.
    std::atomic<u32> Ticks{0};
    std::atomic<u8> FlashMask{FlashOn};
    std::atomic<u32> Fps{0};
    u32 FlashCounter = 0;
    u32 FramesAtLastSample = 0;
    i32 SampleCountdown = SampleTicks;
    std::array<u32, SampleCount> Ring{};
    i32 RingIndex = 0;

    // Written by the run thread.
    std::atomic<u8> Emulating{0};
    std::atomic<i32> FlashTicks{16};
    std::atomic<u32> Frames{0};

    // WaitTick's own state (the stepping thread's).
    u32 LastTickSeen = 0;
    std::chrono::steady_clock::time_point LastReturn;
};

// The one clock; set by main (and by tests) for the program's life.
extern TClock* g_Clock;
