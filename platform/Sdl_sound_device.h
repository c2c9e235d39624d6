// The sound device over SDL2 audio: 8-bit mono at the settings' rate. The
// audio callback takes 20 ms blocks from a TSoundRing: only what was written,
// in order, each sample once; when the ring runs dry it plays silence and
// its position waits for the writer. The device runs from Open to
// destruction; while stopped it outputs silence and holds its position.
//
// Threads: the run thread writes frames and polls the position, the UI
// thread plays, stops and clears, SDL's audio thread runs the callback. The
// ring and the counters are lock-free; only Clear holds SDL's device lock,
// to drop the queue while no callback runs.
#pragma once

#include "host/Sound_device.h"
#include "host/Sound_ring.h"

#include <atomic>
#include <mutex>
#include <string>

class TSdlSoundDevice : public TSoundDevice {
public:
    // The callback's block: 20 ms (882 samples at 44,100 Hz). Long enough
    // that a loaded desktop does not starve the sound server; a whole number
    // of milliseconds, so SDL's dummy and disk drivers, which wait whole
    // milliseconds per block, play at the nominal rate.
    static constexpr u32 BlockMilliseconds = 20;
    // Where the mixer's silence (0) plays: one step above the format's
    // midpoint, the audio system's own silence. A step of 1/256 does not
    // click (-48 dB), so opening, closing, stopping and an underrun of the
    // sound server are quiet; and a recording can still tell the server's
    // exact zeros, when it ran dry, from ours.
    static constexpr u8 Silence = 129;

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
    bool Write(const u8* samples, u32 count) override;
    // Throws TDSError GetCurrentPosition: BufferLost when SDL has stopped the
    // device (unplugged), Generic when nothing was played for 1 s while
    // playing.
    u64 GetPlayCursor() override;
    u64 GetPlayedSamples() const override { return Played.load(std::memory_order_acquire); }

    // The level a mixer sample is played at: Silence for the mixer's 0, and
    // its range (0..168) scaled by three quarters to fit above.
    static u8 OutputLevel(u8 sample);

    // Inspection (tests, diagnostics).
    const std::string& LastError() const { return Error; }
    std::string DriverName() const;
    u32 GetRingSamples() const { return Ring.Capacity(); }
    u32 GetBlockSamples() const { return BlockSamples; }
    // Samples taken from the ring since Open (a Clear counts what it drops).
    u64 GetTakenSamples() const { return Ring.Taken(); }

private:
    static void Callback(void* device, unsigned char* stream, int length);
    void Fill(u8* stream, u32 length);
    // Moves the output one step a sample toward silence: a stop or an
    // underrun ends in a short ramp, not a step.
    void FadeToSilence(u8* stream, u32 length);
    [[noreturn]] void Throw(TDSFunction function, i32 result, const char* reason);

    u32 DeviceId = 0;
    bool SubsystemStarted = false;
    TSoundRing Ring;
    u32 BlockSamples = 0;
    u32 Lead = 0;           // added to the taken count: a third of the ring, at least a block
    u8 Level = Silence;     // the last level output (audio thread)
    std::atomic<u64> Played{0};
    std::atomic<bool> Playing{false};
    std::mutex WatchLock;  // Play (UI thread) and GetPlayCursor (run thread)
    TStallWatch Watch;
    std::string Error;
};
