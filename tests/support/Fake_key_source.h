// A key source that tests drive by hand: the buffer of every real source,
// plus failures on demand and a count of what the key thread asked for.
//
//     TFakeKeySource keys;
//     keys.Press(0x2A);                  // LSHIFT down (queued, state set)
//     keys.FailNextStateReads(2, code);  // the next two state reads fail
#pragma once

#include "host/Key_source.h"

#include <atomic>
#include <initializer_list>

class TFakeKeySource : public TKeyBuffer {
public:
    void Press(u8 code) { PostKey(code, true); }
    void Release(u8 code) { PostKey(code, false); }
    void Press(std::initializer_list<u8> codes);
    void Release(std::initializer_list<u8> codes);

    // Failure results for the next Acquire, event reads or state reads
    // (a count of calls); 0 count: no failure.
    void FailAcquire(i32 result) { AcquireFailure.store(result); }
    void FailNextEventReads(i32 count, i32 result);
    void FailNextStateReads(i32 count, i32 result);

    // Calls seen so far.
    i32 EventReads() const { return EventReadCount.load(); }
    i32 StateReads() const { return StateReadCount.load(); }
    i32 Wakes() const { return WakeCount.load(); }

    i32 Acquire() override;
    i32 ReadEvents(TKeyEvent* events, u32& count) override;
    i32 ReadState(TKeyStates& states) override;
    void Wake() override;

private:
    std::atomic<i32> AcquireFailure{0};
    std::atomic<i32> EventFailures{0};
    std::atomic<i32> EventFailure{0};
    std::atomic<i32> StateFailures{0};
    std::atomic<i32> StateFailure{0};
    std::atomic<i32> EventReadCount{0};
    std::atomic<i32> StateReadCount{0};
    std::atomic<i32> WakeCount{0};
};
