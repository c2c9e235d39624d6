// The host sound output and the pacing of the emulation by it.
//
// The device plays a ring of three frames of samples. At every frame end the
// computer hands over the mixed frame, which goes into the next third of the
// ring, and then waits until the play position has reached the third to be
// written next, shifted by the sound sync delay (percent of a frame, -10 by
// default). The device reports its position a third of the ring ahead of
// what it has taken, so the writer keeps one to two frames queued: the sound
// card's clock paces the machine at one frame per frame of sound, and the
// device does not run dry while the machine keeps up. A device that plays at
// another rate than its nominal one (SDL's dummy driver on a busy machine,
// its disk driver with a short delay) is found out by the rate watch, and
// the machine is then paced by the clock while the sound is still written.
//
// Any failure is reported once, in a box captioned " DirectSound Error!"
// posted to the user-interface thread, and switches the sound off for good;
// the emulation goes on, and the computer paces it by the clock instead.
//
// Threads: construction, Play, Stop and SetSyncOffset run on the
// user-interface thread; Write, WaitForPlayCursor and IsPacing on the thread
// that steps the machine. The flags and the delay are atomics.
#pragma once

#include "core/Host_services.h"
#include "core/Types.h"
#include "host/Sound_device.h"

#include <atomic>
#include <memory>
#include <string>

// What the wait sleeps and reads the time by: 1 ms sleeps of the steady
// clock; tests hand in a simulated one.
class TPollClock {
public:
    using TTime = TStallWatch::TClock::time_point;

    virtual ~TPollClock() = default;
    virtual void Pause();
    virtual TTime Now();
};

// Tells whether a device plays at its nominal rate: compares the samples it
// played with the time that passed, in windows of two seconds (within 2%:
// SDL's blocks make 1% of a window) and, to catch a driver far off its rate
// at once, of half a second (within 10%). A verdict changes when two windows
// in a row agree, so one hiccup of a loaded machine (and the catch-up after
// it) changes nothing; the short windows can only find a device off its
// rate. Nominal until shown otherwise.
class TRateWatch {
public:
    explicit TRateWatch(u32 sampleRate = 44'100) : SampleRate(sampleRate) {}

    // New windows (a run starts); the verdict is kept.
    void Restart(u64 played, TPollClock::TTime now);
    // At every frame end while playing.
    void Note(u64 played, TPollClock::TTime now);
    bool IsNominal() const { return Nominal.load(std::memory_order_relaxed); }

private:
    struct TWindow {
        std::chrono::milliseconds Length;
        double Tolerance;
        u64 StartPlayed = 0;
        TPollClock::TTime Start{};
        i32 Last = 0;  // of the last window: -1 slow, 0 nominal, 1 fast

        // When a window has passed: whether it agrees with the one before
        // (then the verdict is in agreed), and a new window.
        bool Close(u64 played, TPollClock::TTime now, u32 sampleRate, i32& agreed);
    };

    u32 SampleRate;
    bool Started = false;
    TWindow Long{std::chrono::milliseconds(2000), 0.02};
    TWindow Short{std::chrono::milliseconds(500), 0.1};
    std::atomic<bool> Nominal{true};
};

class TDirectSound {
public:
    static constexpr const char* ErrorCaption = " DirectSound Error!";
    static constexpr i32 MinSyncDelay = -100;
    static constexpr i32 MaxSyncDelay = 100;

    // Opens the device (a null device counts as none) with a ring of three
    // frames. A failure is reported and leaves the sound off; no exception
    // leaves the constructor. The wait runs by the poll clock (null: the
    // steady clock).
    TDirectSound(std::unique_ptr<TSoundDevice> device, const THostServices& services,
                 std::unique_ptr<TPollClock> pollClock = nullptr);
    // Closes the device; never throws.
    ~TDirectSound();
    TDirectSound(const TDirectSound&) = delete;
    TDirectSound& operator=(const TDirectSound&) = delete;

    // Frame and ring sizes from the settings, then SetSyncOffset.
    void CalcSizes();
    // Takes TSettings::SoundSyncDelay, kept inside -100..100; a running
    // wait uses it at its next pass.
    void SetSyncOffset();
    // Drops what the ring holds and starts playing; the write position goes
    // on from where it was, so nothing written while stopped is heard.
    void Play();
    // Silence; the positions are kept for the next Play.
    void Stop();
    // The next frame (n samples) into the next third of the ring, playing or
    // not. When the ring has no room (the device has not played what is
    // there: stopped, slow, or a machine running unpaced) the frame is
    // dropped and the write position stays; else it moves on by n.
    void Write(const u8* samples);
    // Sleeps 1 ms, then polls the play position every 1 ms until it has
    // reached the third to be written next, shifted by the sync delay. Always
    // ends: a failure, a position that stops moving for 1 s or a Stop
    // ends it.
    void WaitForPlayCursor();
    // Working and playing.
    bool IsPlaying() const;
    // Playing at the device's nominal rate: the computer waits for the play
    // position; else it paces by the clock.
    bool IsPacing() const;
    // Reports an error record once: posts the message box to the UI thread.
    void ShowError(const TDSError& error);

    // The message of an error record: the function's text, " return result
    // code " and the result's text.
    static std::string ErrorText(const TDSError& error);
    // "'DSERR_NODRIVER': No sound driver is available for use."; a code of
    // no known name gives its eight hexadecimal digits and "h.".
    static std::string ResultText(i32 result);
    // The shift e of the window in samples for a delay (clamped to
    // -100..100) and frame length n: the sign of the delay times
    // |delay| x n / 100, truncated.
    static i32 SyncShift(i32 delay, i32 frameSamples);
    // The wait's test: the play position has reached the third that starts
    // at written (the end of the writes), shifted by e.
    static bool IsCursorPast(u64 playCursor, u64 written, i32 shift);

    // Inspection (tests, options).
    bool IsOk() const { return Ok.load(std::memory_order_relaxed); }
    i32 GetFrameSamples() const { return FrameSamples; }
    i32 GetBufferBytes() const { return BufferBytes; }
    // Where the next frame goes: 0, n or 2n.
    i32 GetWritePos() const { return static_cast<i32>(Written % u64(BufferBytes)); }
    u64 GetWrittenSamples() const { return Written; }
    i32 GetSyncDelay() const { return SyncDelay.load(std::memory_order_relaxed); }
    i32 GetSyncShift() const { return SyncShift(GetSyncDelay(), FrameSamples); }

private:
    // Switches the sound off for good and reports the error.
    void Fail(const TDSError& error);

    std::atomic<bool> Ok{false};
    std::atomic<bool> Playing{false};
    std::atomic<bool> Reported{false};
    std::unique_ptr<TSoundDevice> Device;
    THostServices Services;
    std::unique_ptr<TPollClock> PollClock;
    TRateWatch Rate;
    i32 FrameSamples = 0;  // n: samples of one emulated frame (903)
    i32 BufferBytes = 0;   // 3n (2709)
    u64 Written = 0;       // samples the device took from Write since Open
    std::atomic<i32> SyncDelay{0};
};

// The one sound output; created by main before the computer and destroyed
// after it (null in tests that run the machine without sound).
extern TDirectSound* g_DirectSound;
