#include "tests/support/Fake_machine_host.h"

#include <algorithm>

void TFakeSoundDevice::Open(u32, u32 ringSamples)
{
    if (FailOpen.load())
        throw TDSError(TDSFunction::Create, DSResult::NoDriver);
    std::lock_guard<std::mutex> lock(Lock);
    Ring.assign(ringSamples, 0);
}

void TFakeSoundDevice::Clear()
{
    std::lock_guard<std::mutex> lock(Lock);
    std::fill(Ring.begin(), Ring.end(), 0);
}

void TFakeSoundDevice::Write(u32 offset, const u8* samples, u32 count)
{
    std::lock_guard<std::mutex> lock(Lock);
    Offsets.push_back(offset);
    if (offset <= Ring.size() && count <= Ring.size() - offset)
        std::copy(samples, samples + count, Ring.begin() + offset);
}

u32 TFakeSoundDevice::GetPlayCursor()
{
    ++Polls;
    u32 position = Position.load();
    const u32 step = AutoStep.load();
    if (Playing.load() && step != 0) {
        std::lock_guard<std::mutex> lock(Lock);
        const u32 size = Ring.empty() ? 1 : static_cast<u32>(Ring.size());
        position = (position + step) % size;
        Position.store(position);
    }
    return position;
}

std::vector<u8> TFakeSoundDevice::RingCopy() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Ring;
}

std::vector<u32> TFakeSoundDevice::WriteOffsets() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Offsets;
}

std::size_t TFakeSoundDevice::WriteCount() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Offsets.size();
}

bool THandTickSource::Start(std::function<void()> tick)
{
    std::lock_guard<std::mutex> lock(Lock);
    Callback = std::move(tick);
    return true;
}

void THandTickSource::Stop()
{
    std::lock_guard<std::mutex> lock(Lock);
    Callback = nullptr;
}

void THandTickSource::Tick()
{
    std::lock_guard<std::mutex> lock(Lock);
    if (Callback)
        Callback();
}
