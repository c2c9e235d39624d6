// The periodic timer thread the clock runs on: ticks, stopping, re-basing.
// Waits here are bounded by the condition they wait for, never by a
// measured duration, so a slow machine only makes them slower.
#include "core/Periodic_timer.h"
#include "core/Thread_name.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Polls until the condition holds or a generous limit passes.
template <typename TCondition>
bool WaitFor(TCondition condition)
{
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

TEST(PeriodicTimer, TicksArriveUntilStopped)
{
    std::atomic<int> ticks{0};
    TPeriodicTimer timer(2ms, [&] { ++ticks; });
    EXPECT_FALSE(timer.Running());
    ASSERT_TRUE(timer.Start());
    EXPECT_TRUE(timer.Running());
    EXPECT_TRUE(timer.Start());   // already running: nothing changes
    ASSERT_TRUE(WaitFor([&] { return ticks >= 10; }));

    timer.Stop();
    EXPECT_FALSE(timer.Running());
    const int atStop = ticks;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks, atStop) << "a tick came after Stop returned";

    ASSERT_TRUE(timer.Start());   // a stopped timer starts again
    ASSERT_TRUE(WaitFor([&] { return ticks >= atStop + 3; }));
}

// Stop wakes the sleeping thread instead of waiting out its period (with a
// period of an hour this test would otherwise never end).
TEST(PeriodicTimer, StopWakesTheThread)
{
    std::atomic<int> ticks{0};
    TPeriodicTimer timer(1h, [&] { ++ticks; });
    ASSERT_TRUE(timer.Start());
    timer.Stop();
    EXPECT_EQ(ticks, 0);
    timer.Stop();   // a second stop is harmless
}

TEST(PeriodicTimer, DestructorStopsARunningTimer)
{
    std::atomic<int> ticks{0};
    {
        TPeriodicTimer timer(1ms, [&] { ++ticks; });
        ASSERT_TRUE(timer.Start());
        ASSERT_TRUE(WaitFor([&] { return ticks >= 2; }));
    }
    const int atEnd = ticks;
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ticks, atEnd);
}

TEST(PeriodicTimer, CallbackMayStopItsOwnTimer)
{
    std::atomic<int> ticks{0};
    TPeriodicTimer* self = nullptr;
    TPeriodicTimer timer(1ms, [&] {
        if (++ticks == 3)
            self->Stop();
    });
    self = &timer;
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(WaitFor([&] { return !timer.Running(); }));
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ticks, 3);
    timer.Stop();   // joins the ended thread
}

// After a stall of many periods the timer lays its deadlines anew instead
// of firing the missed ticks back to back.
TEST(PeriodicTimer, LongStallRebasesInsteadOfBursting)
{
    constexpr auto period = 5ms;
    std::atomic<int> ticks{0};
    std::atomic<std::chrono::steady_clock::rep> stallEnd{0}, nextTick{0};
    TPeriodicTimer timer(period, [&] {
        const int tick = ++ticks;
        if (tick == 2) {
            std::this_thread::sleep_for(20 * period);
            stallEnd = std::chrono::steady_clock::now().time_since_epoch().count();
        } else if (tick == 3) {
            nextTick = std::chrono::steady_clock::now().time_since_epoch().count();
        }
    });
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(WaitFor([&] { return ticks >= 3; }));
    timer.Stop();
    const auto gap = std::chrono::steady_clock::duration(nextTick - stallEnd);
    EXPECT_GE(gap, period) << "the missed ticks came in a burst";
}

TEST(PeriodicTimer, NamesItsThread)
{
    std::atomic<bool> named{false};
    std::string name;
    TPeriodicTimer timer(1ms, [&] {
        if (named)
            return;
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
        named = true;
    }, "quorvane-clock-thread");
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(WaitFor([&] { return named.load(); }));
    timer.Stop();
    EXPECT_EQ(name, "quorvane-clock-");   // cut to the 15 characters Linux keeps
}

// Best effort: where the privilege allows it, the calling thread's nice
// value drops (and only that thread's); elsewhere the call says it failed.
TEST(ThreadName, RaisedPriorityBelongsToTheCallingThread)
{
    const int processNice = getpriority(PRIO_PROCESS, 0);
    int before = 0, after = 0;
    bool raised = false;
    std::thread worker([&] {
        const id_t thread = id_t(syscall(SYS_gettid));
        before = getpriority(PRIO_PROCESS, thread);
        raised = RaiseCurrentThreadPriority();
        after = getpriority(PRIO_PROCESS, thread);
    });
    worker.join();
    if (raised) {
        EXPECT_LT(after, before);
    } else {
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), processNice);
}
