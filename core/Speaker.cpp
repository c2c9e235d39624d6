#include "core/Speaker.h"

#include "core/Settings.h"

TSpeaker::TSpeaker()
    : TOutputBitDevice(g_Settings->SpeakerPort, g_Settings->SpeakerMask, Bit, HighLevel)
{
}
