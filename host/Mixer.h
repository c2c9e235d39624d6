// Mixes one emulated frame of sound: the three AY channels, the beeper and
// the tape-output signal into the 8-bit mono frame the sound output plays.
// The beeper and the tape-output signal together weigh as much as one AY
// channel. Silence is 0 (not the PCM midpoint); the largest value is 168.
#pragma once

#include "core/Types.h"

#include <vector>

class TAY;
class TSpeaker;
class TMic;

class TMixer {
public:
    // The sources are not owned; they must outlive the mixer.
    TMixer(TAY& ay, TSpeaker& speaker, TMic& mic);
    TMixer(const TMixer&) = delete;
    TMixer& operator=(const TMixer&) = delete;

    // Frame size from the settings, by the formula the sources use.
    void Resize();
    // out[i] = (a[i] + b[i] + c[i] + ((s[i] + m[i]) >> 1)) >> 2 over the
    // finished halves of the sources; returns the frame (samples-per-frame
    // bytes), valid until the next Mix.
    const u8* Mix();

    i32 GetSamplesPerFrame() const { return SamplesPerFrame; }

private:
    TAY& AY;
    TSpeaker& Speaker;
    TMic& Mic;
    std::vector<u8> Output;
    i32 TStatesPerFrame = 0;
    i32 SamplesPerFrame = 0;
};
