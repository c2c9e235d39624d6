#include "tests/support/Fake_machine_host.h"

#include <algorithm>

void TFakeSoundDevice::Open(u32 sampleRate, u32 ringSamples)
{
    if (FailOpen.load())
        throw TDSError(TDSFunction::Create, DSResult::NoDriver);
    std::lock_guard<std::mutex> lock(Lock);
    Ring.Reset(ringSamples);
    SampleRate = sampleRate;
    Opened = std::chrono::steady_clock::now();
}

void TFakeSoundDevice::Clear()
{
    std::lock_guard<std::mutex> lock(Lock);
    Ring.Drop();
}

bool TFakeSoundDevice::Write(const u8* samples, u32 count)
{
    std::lock_guard<std::mutex> lock(Lock);
    ++Writes;
    return Ring.Push(samples, count);
}

u64 TFakeSoundDevice::GetPlayCursor()
{
    ++Polls;
    std::lock_guard<std::mutex> lock(Lock);
    const u32 step = AutoStep.load();
    if (Playing.load() && step != 0) {
        Taken.resize(step);
        Ring.Pop(Taken.data(), step);
    }
    return Ring.Taken() + Ring.Capacity() / 3;
}

u64 TFakeSoundDevice::GetPlayedSamples() const
{
    std::lock_guard<std::mutex> lock(Lock);
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - Opened;
    return static_cast<u64>(since.count() * SampleRate);
}

std::size_t TFakeSoundDevice::WriteCount() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Writes;
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
