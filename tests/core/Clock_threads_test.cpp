// The clock across threads: the real timer thread, a run thread waiting on
// ticks and counting frames, a user-interface thread reading the figures.
#include "core/Clock.h"

#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Ticks only when the test says so, on the test's thread.
class THandTickSource : public TTickSource {
public:
    bool Start(std::function<void()>) override { return true; }
    void Stop() override {}
};

TEST(ClockThreadsTest, RealTimerTicksAndEachWaitReturnsOnANewTick)
{
    TTestSettings settings;
    TClock clock;
    ASSERT_TRUE(clock.IsTicking());
    clock.SetEmulating(1);
    u32 previous = clock.GetTicks();
    for (i32 i = 0; i < 10; ++i) {
        clock.WaitTick();
        const u32 now = clock.GetTicks();
        EXPECT_NE(now, previous);
        previous = now;
        clock.CountFrame();
    }
    EXPECT_GE(clock.GetTicks(), 10u);
    clock.Stop();
    const u32 stopped = clock.GetTicks();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(clock.GetTicks(), stopped);  // no tick after Stop returned
}

TEST(ClockThreadsTest, WaitTickWaitsForTheNextTick)
{
    TTestSettings settings;
    TClock clock(std::make_unique<THandTickSource>());
    clock.TimerProc();
    clock.WaitTick();  // takes tick 1

    std::atomic<int> returns{0};
    std::thread runner([&] {
        clock.WaitTick();
        returns.fetch_add(1);
        clock.WaitTick();  // within the same tick: waits for the next one
        returns.fetch_add(1);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(returns.load(), 0);
    clock.TimerProc();
    while (returns.load() == 0)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(returns.load(), 1);
    clock.TimerProc();
    runner.join();
    EXPECT_EQ(returns.load(), 2);
}

TEST(ClockThreadsTest, StopEndsAWaitInProgress)
{
    TTestSettings settings;
    TClock clock(std::make_unique<THandTickSource>());
    std::atomic<bool> returned{false};
    std::thread runner([&] {
        clock.WaitTick();
        returned = true;
    });
    std::this_thread::sleep_for(30ms);
    clock.Stop();
    runner.join();
    EXPECT_TRUE(returned.load());
}

TEST(ClockThreadsTest, RunAndUserInterfaceThreadsShareTheClockWhileItTicks)
{
    TTestSettings settings;
    TClock clock;
    std::atomic<bool> done{false};
    std::thread run([&] {
        clock.SetEmulating(1);
        for (i32 frame = 0; frame < 30; ++frame) {
            clock.CountFrame();
            if (frame % 3 == 0)
                clock.WaitTick();
        }
        clock.SetEmulating(0);
        done = true;
    });
    u32 largest = 0;
    while (!done.load()) {
        largest = std::max(largest, clock.GetFps());
        const u8 mask = clock.GetFlashMask();
        EXPECT_TRUE(mask == 0xFF || mask == 0x7F) << int(mask);
        std::this_thread::sleep_for(1ms);
    }
    run.join();
    clock.Stop();
    EXPECT_LE(largest, 30u);
    EXPECT_EQ(clock.GetFrames(), 30u);
}

} // namespace
