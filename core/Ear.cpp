#include "core/Ear.h"

#include "core/Settings.h"
#include "core/Tape_recorder.h"

TEar::TEar(TTapeRecorder* recorder) : Recorder(recorder)
{
    AllocatePorts(1);
    AddPort(new TPort(g_Settings->EarPort, g_Settings->EarMask, TInHandler::Bind<TEar, &TEar::PortRead>(this)));
}

u8 TEar::PortRead(u16)
{
    return Recorder && Recorder->GetLevel() ? 0x20 : 0x00;
}
