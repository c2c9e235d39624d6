// Where host key events come from: the key thread reads them through the
// keyboard device of host/Direct_input.h. Codes are PC scan codes (the
// numbering of the key tables: 0x01 Escape, 0x1C Return, 0xC8 Up ...).
//
// TKeySource is what the device needs; TKeyBuffer implements it for every
// real source: a producer (the Qt event filter, a test) posts key changes,
// the buffer keeps the state of all 256 keys and a bounded queue of the
// changes, and the consumer waits until changes are pending.
#pragma once

#include "core/Types.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

// One change of one key.
struct TKeyEvent {
    u8 Code = 0;
    bool Pressed = false;
    bool operator==(const TKeyEvent&) const = default;
};

// One byte per key code, bit 7 set while the key is down.
using TKeyStates = std::array<u8, 256>;

class TKeySource {
public:
    // Results: 0 success, positive success with a remark, negative failure.
    // The numbers are those of the keyboard device's result texts.
    static constexpr i32 Ok = 0;
    static constexpr i32 Overflow = 1;                                  // changes were lost; not a failure
    static constexpr i32 NotAcquired = static_cast<i32>(0x8007000Cu);  // read before Acquire

    virtual ~TKeySource() = default;

    // Starts (and keeps) queueing changes; the state is kept regardless.
    virtual i32 Acquire() = 0;
    virtual void Unacquire() = 0;
    // Removes up to count pending changes, oldest first, into events and
    // sets count to the number taken. Overflow when changes were dropped
    // since the last read.
    virtual i32 ReadEvents(TKeyEvent* events, u32& count) = 0;
    // All 256 key states now.
    virtual i32 ReadState(TKeyStates& states) = 0;
    // Returns while changes are pending (at once, for as long as any are
    // left) or after Wake. A Wake that comes before the wait is not lost.
    virtual void WaitForEvents() = 0;
    // Ends one wait (the key thread's shutdown); callable from any thread.
    virtual void Wake() = 0;
};

// The thread-safe buffer behind every real key source.
class TKeyBuffer : public TKeySource {
public:
    static constexpr std::size_t QueueCapacity = 256;

    // The producer's side, from any thread. A press of a key that is down
    // or a release of a key that is up changes nothing: the state and the
    // queue never disagree, and an event seen twice counts once.
    void PostKey(u8 code, bool pressed)
    {
        {
            std::lock_guard guard(Lock);
            const bool down = (States[code] & 0x80) != 0;
            if (down == pressed)
                return;
            States[code] = pressed ? 0x80 : 0x00;
            if (!Acquired)
                return;
            if (Queue.size() >= QueueCapacity) {
                Lost = true;
                return;
            }
            Queue.push_back({code, pressed});
        }
        Changed.notify_all();
    }
    // Releases every key that is down, in increasing code order (the
    // application lost the keyboard and will not see their releases).
    void ReleaseAll()
    {
        TKeyStates states;
        {
            std::lock_guard guard(Lock);
            states = States;
        }
        for (std::size_t code = 0; code < states.size(); ++code)
            if (states[code] & 0x80)
                PostKey(static_cast<u8>(code), false);
    }
    std::size_t Pending() const
    {
        std::lock_guard guard(Lock);
        return Queue.size();
    }
    bool IsDown(u8 code) const
    {
        std::lock_guard guard(Lock);
        return (States[code] & 0x80) != 0;
    }

    // TKeySource
    i32 Acquire() override
    {
        std::lock_guard guard(Lock);
        Acquired = true;
        return Ok;
    }
    void Unacquire() override
    {
        {
            std::lock_guard guard(Lock);
            Acquired = false;
            Queue.clear();
            Lost = false;
        }
        Changed.notify_all();
    }
    i32 ReadEvents(TKeyEvent* events, u32& count) override
    {
        std::lock_guard guard(Lock);
        if (!Acquired) {
            count = 0;
            return NotAcquired;
        }
        u32 taken = 0;
        while (taken < count && !Queue.empty()) {
            events[taken++] = Queue.front();
            Queue.pop_front();
        }
        count = taken;
        const bool lost = Lost;
        Lost = false;
        return lost ? Overflow : Ok;
    }
    i32 ReadState(TKeyStates& states) override
    {
        std::lock_guard guard(Lock);
        states = States;
        return Ok;
    }
    void WaitForEvents() override
    {
        std::unique_lock guard(Lock);
        Changed.wait(guard, [this] { return !Queue.empty() || WakeRequested; });
        WakeRequested = false;
    }
    void Wake() override
    {
        {
            std::lock_guard guard(Lock);
            WakeRequested = true;
        }
        Changed.notify_all();
    }

private:
    mutable std::mutex Lock;
    std::condition_variable Changed;
    TKeyStates States{};
    std::deque<TKeyEvent> Queue;
    bool Acquired = false;
    bool Lost = false;
    bool WakeRequested = false;
};
