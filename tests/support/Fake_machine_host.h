// Fakes of what the computer drives at a frame end, for tests without a
// sound card, a window or a timer:
//
//     TFakeSoundDevice* device = ...;     // the position the test moves
//     THandTickSource* ticks = ...;       // the clock ticks when the test says
//     TFakeDisplay display;               // counts what it was asked to show
//
// All three are safe to use from the test's thread while a run thread
// drives them.
#pragma once

#include "core/Clock.h"
#include "core/Display.h"
#include "host/Sound_device.h"
#include "host/Sound_ring.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

// A sound ring in memory. It plays nothing on its own: at every poll while
// playing it takes AutoStep samples (no more than were written), and its
// clock plays at the nominal rate in real time.
class TFakeSoundDevice : public TSoundDevice {
public:
    void Open(u32 sampleRate, u32 ringSamples) override;
    void Clear() override;
    void Play() override { Playing.store(true); ++Plays; }
    void Stop() override { Playing.store(false); ++Stops; }
    bool Write(const u8* samples, u32 count) override;
    u64 GetPlayCursor() override;
    u64 GetPlayedSamples() const override;

    // Write calls, taken or not.
    std::size_t WriteCount() const;

    std::atomic<u32> AutoStep{0};
    std::atomic<bool> Playing{false};
    std::atomic<bool> FailOpen{false};
    std::atomic<int> Plays{0};
    std::atomic<int> Stops{0};
    std::atomic<u64> Polls{0};

private:
    mutable std::mutex Lock;
    TSoundRing Ring;
    std::vector<u8> Taken;
    std::size_t Writes = 0;
    u32 SampleRate = 44'100;
    std::chrono::steady_clock::time_point Opened = std::chrono::steady_clock::now();
};

// Ticks only when the test calls Tick (on the test's thread).
class THandTickSource : public TTickSource {
public:
    bool Start(std::function<void()> tick) override;
    void Stop() override;
    void Tick();

private:
    std::mutex Lock;
    std::function<void()> Callback;
};

// Counts the calls of Blit and runs an optional check inside each.
class TFakeDisplay : public TDisplay {
public:
    void Blit() override
    {
        ++Blits;
        if (OnBlit)
            OnBlit();
    }

    std::atomic<int> Blits{0};
    std::function<void()> OnBlit;
};
