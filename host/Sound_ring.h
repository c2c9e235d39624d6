// The ring of samples between the thread that writes frames and the audio
// thread that plays them: one writer, one reader, no lock.
//
// Both sides count in samples since Reset. The writer appends only into the
// room the reader has freed, whole blocks or nothing; the reader takes only
// what was written and not yet taken. So no sample is played before it was
// written, none twice, and none is overwritten before it was played,
// however the two threads are timed.
#pragma once

#include "core/Types.h"

#include <atomic>
#include <vector>

class TSoundRing {
public:
    TSoundRing() = default;
    TSoundRing(const TSoundRing&) = delete;
    TSoundRing& operator=(const TSoundRing&) = delete;

    // Empties the ring and sets its size; both counts go back to 0. Neither
    // side may run meanwhile.
    void Reset(u32 capacity);
    u32 Capacity() const { return static_cast<u32>(Samples.size()); }

    // Writer: appends count samples when they all fit into the room left;
    // false, and nothing written, when they do not.
    bool Push(const u8* samples, u32 count);
    // Reader: takes up to length samples, oldest first, into out; returns how
    // many (fewer than length when the writer is behind).
    u32 Pop(u8* out, u32 length);
    // Forgets what is queued: the reader goes on from the writer's end. Only
    // while the reader is held off (the device's lock).
    void Drop();

    // Samples appended, and taken or dropped, since Reset.
    u64 Written() const { return WriteCount.load(std::memory_order_acquire); }
    u64 Taken() const { return ReadCount.load(std::memory_order_acquire); }

private:
    std::vector<u8> Samples;
    // Each side alone moves its own count; the release of a count publishes
    // the samples (writer) or the room (reader) behind it.
    std::atomic<u64> WriteCount{0};
    std::atomic<u64> ReadCount{0};
};
