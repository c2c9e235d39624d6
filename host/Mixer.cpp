#include "host/Mixer.h"

#include "core/Ay.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"

TMixer::TMixer(TAY& ay, TSpeaker& speaker, TMic& mic)
    : AY(ay)
    , Speaker(speaker)
    , Mic(mic)
{
    Resize();
}

void TMixer::Resize()
{
    TStatesPerFrame = static_cast<i32>(g_Settings->TStatesPerFrame);
    SamplesPerFrame = SoundSamplesPerFrame(*g_Settings);
    Output.assign(size_t(SamplesPerFrame), 0);
}

const u8* TMixer::Mix()
{
    const u8* a = AY.GetChannelBuffer(0);
    const u8* b = AY.GetChannelBuffer(1);
    const u8* c = AY.GetChannelBuffer(2);
    const u8* s = Speaker.GetFrameBuffer();
    const u8* m = Mic.GetFrameBuffer();
    u8* out = Output.data();
    for (i32 i = 0; i < SamplesPerFrame; ++i) {
        const u32 tape = (u32(s[i]) + m[i]) >> 1;
        out[i] = u8((u32(a[i]) + b[i] + c[i] + tape) >> 2);
    }
    return out;
}
