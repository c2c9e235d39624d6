// The host sound output and the pacing of the emulation by it.
//
// The device plays a ring of three frames of samples in a loop. At every
// frame end the computer hands over the mixed frame, which goes into the next
// third of the ring, and then waits until the play position enters the window
// of the third to be written next, shifted by the sound sync delay (percent
// of a frame, -10 by default). The sound card's clock thus paces the machine
// at one frame per frame of sound.
//
// Any failure is reported once, in a box captioned " DirectSound Error!"
// posted to the user-interface thread, and switches the sound off for good;
// the emulation goes on, and the computer paces it by the clock instead.
//
// Threads: construction, Play, Stop and SetSyncOffset run on the
// user-interface thread; Write, WaitForPlayCursor and IsPlaying on the thread
// that steps the machine. The flags and the delay are atomics.
#pragma once

#include "core/Host_services.h"
#include "core/Types.h"
#include "host/Sound_device.h"

#include <atomic>
#include <memory>
#include <string>

class TDirectSound {
public:
    static constexpr const char* ErrorCaption = " DirectSound Error!";
    static constexpr i32 MinSyncDelay = -100;
    static constexpr i32 MaxSyncDelay = 100;

    // The play-position window of one sync delay: three bounds in samples,
    // the sign of the delay and the frame length n.
    struct TSyncWindow {
        i32 T1;
        i32 T2;
        i32 T3;
        bool Negative;
        i32 FrameSamples;
    };

    // Opens the device (a null device counts as none) with a ring of three
    // frames. A failure is reported and leaves the sound off; no exception
    // leaves the constructor.
    TDirectSound(std::unique_ptr<TSoundDevice> device, const THostServices& services);
    // Closes the device; never throws.
    ~TDirectSound();
    TDirectSound(const TDirectSound&) = delete;
    TDirectSound& operator=(const TDirectSound&) = delete;

    // Frame and ring sizes from the settings, then SetSyncOffset.
    void CalcSizes();
    // Takes TSettings::SoundSyncDelay, kept inside -100..100 (outside it no
    // window could be reached); a running wait uses it at its next pass.
    void SetSyncOffset();
    // Clears the ring and starts playing it; the play and write positions
    // go on from where they were, so nothing written while stopped is heard.
    void Play();
    // Silence; the ring and the positions are kept for the next Play.
    void Stop();
    // The next frame (n samples) into the next third of the ring, playing or
    // not; the write position moves on by n, modulo 3n.
    void Write(const u8* samples);
    // Sleeps 1 ms, then polls the play position every 1 ms until it lies in
    // the window of the third to be written next. Always ends: a failure, a
    // position that stops moving for 250 ms or a Stop ends it.
    void WaitForPlayCursor();
    // Working and playing: the computer waits for the play position; else it
    // paces by the clock.
    bool IsPlaying() const;
    // Reports an error record once: posts the message box to the UI thread.
    void ShowError(const TDSError& error);

    // The message of an error record: the function's text, " return result
    // code " and the result's text.
    static std::string ErrorText(const TDSError& error);
    // "'DSERR_NODRIVER': No sound driver is available for use."; a code of
    // no known name gives its eight hexadecimal digits and "h.".
    static std::string ResultText(i32 result);
    // The bounds of the windows for a delay (clamped to -100..100) and n.
    static TSyncWindow ComputeWindow(i32 delay, i32 frameSamples);
    // The wait's test: whether play position p lies in the window for the
    // write position w (0, n or 2n).
    static bool IsCursorInWindow(const TSyncWindow& window, i32 p, i32 w);

    // Inspection (tests, options).
    bool IsOk() const { return Ok.load(std::memory_order_relaxed); }
    i32 GetFrameSamples() const { return FrameSamples; }
    i32 GetBufferBytes() const { return BufferBytes; }
    i32 GetWritePos() const { return WritePos; }
    i32 GetSyncDelay() const { return SyncDelay.load(std::memory_order_relaxed); }
    TSyncWindow GetSyncWindow() const { return ComputeWindow(GetSyncDelay(), FrameSamples); }

private:
    // Switches the sound off for good and reports the error.
    void Fail(const TDSError& error);

    std::atomic<bool> Ok{false};
    std::atomic<bool> Playing{false};
    std::atomic<bool> Reported{false};
    std::unique_ptr<TSoundDevice> Device;
    THostServices Services;
    i32 FrameSamples = 0;  // n: samples of one emulated frame (903)
    i32 BufferBytes = 0;   // 3n (2709)
    i32 WritePos = 0;      // where the next frame goes: 0, n or 2n
    std::atomic<i32> SyncDelay{0};
};

// The one sound output; created by main before the computer and destroyed
// after it (null in tests that run the machine without sound).
extern TDirectSound* g_DirectSound;
