// The thread of one run: it steps the computer until the stop request is
// set. The computer creates one per run and joins it when the run ends; it
// never deletes itself.
#pragma once

#include <atomic>
#include <thread>

class TComputer;

class TRunThread {
public:
    // Starts the thread at once. Throws std::system_error when no thread can
    // be created.
    explicit TRunThread(TComputer* computer);
    // Joins the thread if that has not been done.
    ~TRunThread();
    TRunThread(const TRunThread&) = delete;
    TRunThread& operator=(const TRunThread&) = delete;

    // Waits until the thread has ended. Harmless when already joined.
    void Join();
    bool IsCallingThread() const { return std::this_thread::get_id() == Id.load(std::memory_order_acquire); }

    // --- Seam for tests only; the program never calls it ---
    // The next construction fails as if the system had no thread to give.
    static void FailNextStart() { FailStart.store(true, std::memory_order_relaxed); }

private:
    // On the thread: names it and raises its priority, switches the clock's
    // flash and the key thread on, steps until stopped, switches them off.
    void Execute();

    TComputer* Computer;
    std::thread Thread;
    std::atomic<std::thread::id> Id{};
    static inline std::atomic<bool> FailStart{false};
};
