// The host sound output that TDirectSound drives: an 8-bit mono ring of
// samples that the device plays as they are written, with a play position to
// pace the emulation by. platform/ implements it over SDL2 audio; tests use
// fakes whose position the test moves.
//
// Failures are thrown as TDSError records: which operation failed and the
// result code it gave. TDirectSound catches them, shows one message and
// switches the sound off; the emulation goes on paced by the clock.
#pragma once

#include "core/Types.h"

#include <chrono>

// Function indexes: the operation that failed. Each has its own message.
enum class TDSFunction : i32 {
    Create = 0,             // opening the device
    CooperativeLevel = 1,
    CreateSoundBuffer = 2,  // the ring
    SetFormat = 3,
    ReleaseInterface = 4,
    ReleaseBuffer = 5,
    Lock = 6,               // writing into the ring
    Unlock = 7,
    Play = 8,
    Stop = 9,
    GetCurrentPosition = 10,  // the play position (also a stalled position)
};

// Result codes, with the values the sound API published for them.
namespace DSResult {
constexpr i32 Code(u32 value) { return static_cast<i32>(value); }

constexpr i32 Ok = 0;                                       // DS_OK
constexpr i32 Allocated = Code(0x8878000Au);                // DSERR_ALLOCATED
constexpr i32 AlreadyInitialized = Code(0x88780082u);       // DSERR_ALREADYINITIALIZED
constexpr i32 BadFormat = Code(0x88780064u);                // DSERR_BADFORMAT
constexpr i32 BufferLost = Code(0x88780096u);               // DSERR_BUFFERLOST
constexpr i32 ControlUnavail = Code(0x8878001Eu);           // DSERR_CONTROLUNAVAIL
constexpr i32 Generic = Code(0x80004005u);                  // DSERR_GENERIC
constexpr i32 InvalidCall = Code(0x88780032u);              // DSERR_INVALIDCALL
constexpr i32 InvalidParam = Code(0x80070057u);             // DSERR_INVALIDPARAM
constexpr i32 NoAggregation = Code(0x80040110u);            // DSERR_NOAGGREGATION
constexpr i32 NoDriver = Code(0x88780078u);                 // DSERR_NODRIVER
constexpr i32 NoInterface = Code(0x80004002u);              // DSERR_NOINTERFACE
constexpr i32 OtherAppHasPrio = Code(0x887800A0u);          // DSERR_OTHERAPPHASPRIO
constexpr i32 OutOfMemory = Code(0x8007000Eu);              // DSERR_OUTOFMEMORY
constexpr i32 PrioLevelNeeded = Code(0x88780046u);          // DSERR_PRIOLEVELNEEDED
constexpr i32 Uninitialized = Code(0x887800AAu);            // DSERR_UNINITIALIZED
constexpr i32 Unsupported = Code(0x80004001u);              // DSERR_UNSUPPORTED
} // namespace DSResult

// What a failed sound operation throws, by value.
struct TDSError {
    i32 Function;  // a TDSFunction
    i32 Result;    // a DSResult code, or any other code

    TDSError(TDSFunction function, i32 result) : Function(static_cast<i32>(function)), Result(result) {}
    TDSError(i32 function, i32 result) : Function(function), Result(result) {}
};

class TSoundDevice {
public:
    // Closes the device; never throws.
    virtual ~TSoundDevice() = default;

    // Opens the output as 8-bit mono at the sample rate with a ring of
    // ringSamples, and keeps it running: it outputs silence until Play.
    // Throws TDSError (Create when no device can be opened).
    virtual void Open(u32 sampleRate, u32 ringSamples) = 0;
    // Drops every sample written and not yet played: none of them is heard.
    virtual void Clear() = 0;
    // Plays what is written, in order, from where it stopped.
    virtual void Play() = 0;
    // Outputs silence and holds the play position; the device keeps
    // running, so stopping and starting do not click.
    virtual void Stop() = 0;
    // Appends count samples when the ring has room for all of them (the
    // device has played what was there); false, and nothing written, when it
    // has not. The device never plays a sample twice nor one not yet
    // written: when it runs out it plays silence and its position waits.
    virtual bool Write(const u8* samples, u32 count) = 0;
    // The play position in samples since Open, counted on the scale of the
    // writes (a Clear moves it to the end of what was written): what the
    // device has taken from the ring plus a lead of a third of the ring, at
    // least what it may take before it next reports. It never passes the end
    // of the writes by more than the lead. Throws TDSError
    // (GetCurrentPosition) when the device is lost or has stopped playing
    // (see TStallWatch).
    virtual u64 GetPlayCursor() = 0;
    // Samples output while playing since Open, the ring's and the silence
    // played when it ran out: the device's own clock.
    virtual u64 GetPlayedSamples() const = 0;
};

// Tells a stalled output from a slow poll. A device counts the samples it has
// played; the count is stalled when the same value has been seen for the
// limit (1 s: a loaded desktop may hold a sound server up for a few hundred
// ms) while playing. Polls further apart than the limit are fine as long as
// the count moved in between.
class TStallWatch {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds DefaultLimit{1000};

    explicit TStallWatch(std::chrono::milliseconds limit = DefaultLimit) : Limit(limit) {}

    // A new baseline (Play, or the start of a wait).
    void Restart(u64 count, TClock::time_point now)
    {
        LastCount = count;
        LastChange = now;
    }
    // True when the count has not moved for the limit since it was last
    // seen to change (or since Restart).
    bool IsStalled(u64 count, TClock::time_point now)
    {
        if (count != LastCount) {
            Restart(count, now);
            return false;
        }
        return now - LastChange >= Limit;
    }

private:
    std::chrono::milliseconds Limit;
    u64 LastCount = 0;
    TClock::time_point LastChange{};
};
