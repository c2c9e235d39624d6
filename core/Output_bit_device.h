// One sound bit of port 0xFE turned into 8-bit samples. The beeper (bit 4,
// level 255) and the tape-output signal (bit 3, level 64) are this device
// with a different bit and level.
//
// The CPU's OUT sets the level; after every instruction the computer lets the
// device catch up to the CPU's T-state (in a run only when that does more
// than note the position: a port write notes the followed step position
// first, see TStepPosition), and the device averages its level
// over the T-states of each sample period (thousandths of a T-state, integer
// only). Each frame fills one half of a double buffer; the halves switch at
// the frame-event T-state, and the mixer reads the finished half.
//
// Speed: the level only changes through the port, so between a write and the
// frame event an update only notes the CPU's position. The run of T-states
// at one level is turned into samples at once when the level changes or the
// frame event comes: the partial samples at its ends by their means, the
// whole ones in between simply the level. The samples are those of summing
// the level T-state by T-state.
#pragma once

#include "core/Device.h"

#include <vector>

class TSettings;

// The position the stepping machine last caught its sound devices up to
// (the CPU's frame T-state and frame after the last step). A device that
// follows it notes this position itself before a port write changes its
// state, so the computer need not note it in every device after every
// step; it still calls Update whenever Update would do more than note.
struct TStepPosition {
    i32 Tact = 0;
    i32 Frame = 0;
    bool Valid = false;  // no step noted yet
};

// Samples of one emulated frame at the host rate: sample rate x T-states per
// frame / CPU clock, in floating point, truncated (44,100 x 71,680 /
// 3,500,000 = 903.168, so 903). Every sound source, the mixer and the sound
// output size their frames by this one formula, so their halves match; a
// timing that would give none gives 1 (and none gives more than 65,535).
i32 SoundSamplesPerFrame(const TSettings& settings);

class TOutputBitDevice : public TDevice {
public:
    // One out-port decoded by value and mask; the level is highLevel while
    // the bits of bitMask are set in the byte written, else 0.
    TOutputBitDevice(u16 portValue, u16 portMask, u8 bitMask, u8 highLevel);
    ~TOutputBitDevice() override;

    // Timing from the settings and a fresh, silent buffer. The level, the
    // position, the frame and the sample in progress are kept.
    void Prepare() override;

    // The out-port handler: every write sets the level, changed or not. The
    // old level holds up to the position the device has caught up to.
    void PortWrite(u8 value)
    {
        NoteFollowedPosition();
        Flush();
        Level = (value & BitMask) != 0 ? HighLevel : 0;
    }

    // Catches up to the CPU's T-state within its frame. A target behind the
    // device's own position does nothing; frames compare wrap-safely.
    void Update(i32 tstate, i32 frame)
    {
        if (frame == Frame && tstate < SwapLimit) {
            if (tstate > Pending)
                Pending = tstate;
            return;
        }
        CatchUp(tstate, frame);
    }

    // The computer's step position to note before each port write (nullptr:
    // none, Update alone keeps the position).
    void FollowSteps(const TStepPosition* position) { Followed = position; }
    // Update(tstate, GetFrame()) for a tstate below this only notes it.
    i32 GetNotingLimit() const { return SwapLimit; }

    // The half not being written: after a frame end, that frame's samples.
    const u8* GetFrameBuffer() const { return Buffer.data() + (HalfStart == 0 ? HalfLength : 0); }

    // Inspection (tests, debugger).
    u8 GetLevel() const { return Level; }
    i32 GetSamplesPerFrame() const { return SamplesPerFrame; }
    i32 GetPosition() const { return Pending; }
    i32 GetFrame() const { return Frame; }

private:
    void NoteFollowedPosition()
    {
        if (Followed && Followed->Valid)
            Update(Followed->Tact, Followed->Frame);
    }
    // Turns the noted T-states (Position to Pending, before the swap) into
    // samples.
    void Flush()
    {
        if (Pending > Position) {
            Advance(Pending - Position);
            Position = Pending;
        }
    }
    void CatchUp(i32 tstate, i32 frame);
    // `run` T-states at the current level, none of them the swap T-state.
    void Advance(i32 run);
    // T-states from the position to the next swap T-state, 1 to a frame.
    i32 TStatesToSwap() const
    {
        return SwapTState > Position ? SwapTState - Position : TStatesPerFrame - Position + SwapTState;
    }
    // T-states until the sampling phase reaches the sample period (at least 1).
    i32 CountdownFromPhase() const;
    // A sample inside the current half; more than a half's worth in one
    // frame (a timing other than the default) are dropped.
    void StoreSample(u8 sample);
    // The frame's last sample, padding the half if the frame was short, then
    // the other half.
    void EndFrame(u8 sample);

    const TStepPosition* Followed = nullptr;
    const u8 BitMask;
    const u8 HighLevel;

    u8 Level = 0;
    std::vector<u8> Buffer;
    i32 Position = 0;       // T-state within the device's own frame, summed up to here
    i32 Pending = 0;        // the furthest target noted in this frame
    i32 SwapLimit = 0;      // a target from here on reaches the swap T-state
    i32 Frame = 0;          // the device's own frame count
    i32 Sum = 0;            // level summed over the T-states of this sample
    i32 Count = 0;          // T-states in this sample
    i32 Phase = 0;          // thousandths of a T-state into the sample period
    i32 Countdown = 1;      // T-states until Phase reaches SamplePeriod
    i32 HalfLength = 0;     // = SamplesPerFrame
    i32 HalfStart = 0;      // 0 or HalfLength: the half being written
    i32 WriteIndex = 0;     // next sample, HalfStart to HalfStart + HalfLength
    i32 SwapTState = 0;     // the frame-event T-state
    i32 TStatesPerFrame = 1;
    i32 SamplePeriod = 1000;  // T-states per sample x 1000
    i32 SamplesPerFrame = 0;
};
