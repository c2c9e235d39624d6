#include "tests/support/Fake_key_source.h"

void TFakeKeySource::Press(std::initializer_list<u8> codes)
{
    for (const u8 code : codes)
        Press(code);
}

void TFakeKeySource::Release(std::initializer_list<u8> codes)
{
    for (const u8 code : codes)
        Release(code);
}

void TFakeKeySource::FailNextEventReads(i32 count, i32 result)
{
    EventFailure.store(result);
    EventFailures.store(count);
}

void TFakeKeySource::FailNextStateReads(i32 count, i32 result)
{
    StateFailure.store(result);
    StateFailures.store(count);
}

i32 TFakeKeySource::Acquire()
{
    if (const i32 failure = AcquireFailure.load(); failure < 0)
        return failure;
    return TKeyBuffer::Acquire();
}

i32 TFakeKeySource::ReadEvents(TKeyEvent* events, u32& count)
{
    ++EventReadCount;
    if (EventFailures.load() > 0) {
        --EventFailures;
        count = 0;
        return EventFailure.load();
    }
    return TKeyBuffer::ReadEvents(events, count);
}

i32 TFakeKeySource::ReadState(TKeyStates& states)
{
    ++StateReadCount;
    if (StateFailures.load() > 0) {
        --StateFailures;
        return StateFailure.load();
    }
    return TKeyBuffer::ReadState(states);
}

void TFakeKeySource::Wake()
{
    ++WakeCount;
    TKeyBuffer::Wake();
}
