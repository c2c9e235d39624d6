#include "core/Periodic_timer.h"

#include "core/Thread_name.h"

#include <system_error>

namespace {

// How far the timer may fall behind before it gives up catching up.
constexpr int MaxLatePeriods = 5;

} // namespace

TPeriodicTimer::TPeriodicTimer(std::chrono::nanoseconds period, TCallback callback, std::string threadName)
    : Interval(period > std::chrono::nanoseconds::zero() ? period : std::chrono::nanoseconds(1))
    , Callback(std::move(callback))
    , ThreadName(std::move(threadName))
{
}

TPeriodicTimer::~TPeriodicTimer()
{
    Stop();
}

bool TPeriodicTimer::Start()
{
    std::lock_guard guard(Lock);
    if (Thread.joinable()) {
        if (!StopRequested)
            return true;
        if (Thread.get_id() == std::this_thread::get_id()) {
            // Restarted by its own callback after stopping itself: go on.
            StopRequested = false;
            return true;
        }
        // Stopped from its own callback and not yet joined: the thread ends
        // by itself at once; joining it here keeps one thread per timer.
        Thread.join();
    }
    StopRequested = false;
    try {
        Thread = std::thread(&TPeriodicTimer::Loop, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TPeriodicTimer::Stop()
{
    std::thread finished;
    {
        std::lock_guard guard(Lock);
        StopRequested = true;
        if (!Thread.joinable() || Thread.get_id() == std::this_thread::get_id()) {
            Wake.notify_all();
            return;
        }
        finished = std::move(Thread);
    }
    Wake.notify_all();
    finished.join();
}

bool TPeriodicTimer::Running() const
{
    std::lock_guard guard(Lock);
    return Thread.joinable() && !StopRequested;
}

void TPeriodicTimer::Loop()
{
    if (!ThreadName.empty())
        NameCurrentThread(ThreadName);
    RaiseCurrentThreadPriority();

    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + Interval;
    std::unique_lock guard(Lock);
    for (;;) {
        if (Wake.wait_until(guard, deadline, [this] { return StopRequested; }))
            return;
        guard.unlock();
        if (Callback)
            Callback();
        guard.lock();

        deadline += Interval;
        const Clock::time_point now = Clock::now();
        if (now - deadline > MaxLatePeriods * Interval)
            deadline = now + Interval;
    }
}
