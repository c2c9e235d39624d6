#include "host/Sound_ring.h"

#include <algorithm>
#include <cstring>

void TSoundRing::Reset(u32 capacity)
{
    Samples.assign(capacity, 0);
    WriteCount.store(0, std::memory_order_relaxed);
    ReadCount.store(0, std::memory_order_relaxed);
}

bool TSoundRing::Push(const u8* samples, u32 count)
{
    const u64 written = WriteCount.load(std::memory_order_relaxed);
    const u64 taken = ReadCount.load(std::memory_order_acquire);
    const u64 capacity = Samples.size();
    if (capacity == 0 || count > capacity - (written - taken))
        return false;
    const u32 at = static_cast<u32>(written % capacity);
    const u32 first = std::min(count, static_cast<u32>(capacity) - at);
    std::memcpy(Samples.data() + at, samples, first);
    std::memcpy(Samples.data(), samples + first, count - first);
    WriteCount.store(written + count, std::memory_order_release);
    return true;
}

u32 TSoundRing::Pop(u8* out, u32 length)
{
    const u64 taken = ReadCount.load(std::memory_order_relaxed);
    const u64 written = WriteCount.load(std::memory_order_acquire);
    if (Samples.empty())
        return 0;
    const u32 count = static_cast<u32>(std::min<u64>(length, written - taken));
    const u32 at = static_cast<u32>(taken % Samples.size());
    const u32 first = std::min(count, Capacity() - at);
    std::memcpy(out, Samples.data() + at, first);
    std::memcpy(out + first, Samples.data(), count - first);
    ReadCount.store(taken + count, std::memory_order_release);
    return count;
}

void TSoundRing::Drop()
{
    ReadCount.store(WriteCount.load(std::memory_order_acquire), std::memory_order_release);
}
