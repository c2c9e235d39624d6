// A periodic timer on a thread of its own: the callback runs once a period,
// on that thread, paced by absolute deadlines so that the ticks do not drift.
// When the callback or the system held the thread up for more than five
// periods the deadlines are laid anew from the present instead of firing a
// burst of late ticks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TPeriodicTimer {
public:
    using TCallback = std::function<void()>;

    // The thread name is given to the timer thread (see NameCurrentThread).
    TPeriodicTimer(std::chrono::nanoseconds period, TCallback callback, std::string threadName = {});
    // Stops the timer.
    ~TPeriodicTimer();
    TPeriodicTimer(const TPeriodicTimer&) = delete;
    TPeriodicTimer& operator=(const TPeriodicTimer&) = delete;

    // Starts the thread; the first tick comes one period later. False when
    // the thread could not be created (the caller falls back to sleeping).
    // Starting a running timer does nothing and returns true.
    bool Start();
    // Wakes the thread and waits until it has ended; no callback runs after
    // Stop returns. Called from the callback itself it only asks the thread
    // to end; a later Stop (or the destructor) joins it.
    void Stop();
    bool Running() const;

    std::chrono::nanoseconds Period() const { return Interval; }

private:
    void Loop();

    const std::chrono::nanoseconds Interval;
    const TCallback Callback;
    const std::string ThreadName;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    bool StopRequested = false;
    std::thread Thread;
};
