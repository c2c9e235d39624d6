// The sound device over SDL2 audio: unsigned 8-bit mono at the settings'
// rate. The audio callback plays a ring of samples in a loop in small
// blocks, so the play position moves smoothly enough to pace frames by.
// The device runs from Open to destruction; while stopped it outputs
// silence (0) and holds its position.
//
// Threads: the run thread writes frames and polls the position, the UI
// thread plays and stops, SDL's audio thread runs the callback. The ring
// holds atomic bytes and the position and counters are atomics, so no lock
// is shared with the audio thread.
#pragma once

#include "host/Sound_device.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class TSdlSoundDevice : public TSoundDevice {
public:
    // Samples per callback: about 2.9 ms at 44,100 Hz.
    static constexpr u32 CallbackSamples = 128;

    TSdlSoundDevice() = default;
    ~TSdlSoundDevice() override;
    TSdlSoundDevice(const TSdlSoundDevice&) = delete;
    TSdlSoundDevice& operator=(const TSdlSoundDevice&) = delete;

    // SDL's audio subsystem and its default device (SDL_AUDIODRIVER picks
    // the driver; "dummy" and "disk" serve headless runs). Throws TDSError
    // Create/NoDriver when neither opens; LastError() tells SDL's reason.
    void Open(u32 sampleRate, u32 ringSamples) override;
    void Clear() override;
    void Play() override;
    void Stop() override;
    void Write(u32 offset, const u8* samples, u32 count) override;
    // Throws TDSError GetCurrentPosition: BufferLost when SDL has stopped the
    // device (unplugged), Generic when no sample was consumed for 250 ms
    // while playing.
    u32 GetPlayCursor() override;

    // Inspection (tests, diagnostics).
    const std::string& LastError() const { return Error; }
    std::string DriverName() const;
    u32 GetRingSamples() const { return RingSamples; }
    // Samples played from the ring since Open.
    u64 GetConsumedSamples() const { return Consumed.load(std::memory_order_acquire); }

private:
    static void Callback(void* device, unsigned char* stream, int length);
    void Fill(u8* stream, u32 length);
    [[noreturn]] void Throw(TDSFunction function, i32 result, const char* reason);

    u32 DeviceId = 0;
    bool SubsystemStarted = false;
    u32 RingSamples = 0;
    std::unique_ptr<std::atomic<u8>[]> Ring;
    std::atomic<u32> Position{0};
    std::atomic<u64> Consumed{0};
    std::atomic<bool> Playing{false};
    std::mutex WatchLock;  // Play (UI thread) and GetPlayCursor (run thread)
    TStallWatch Watch;
    std::string Error;
};
