#include "core/Mic.h"

#include "core/Settings.h"

TMic::TMic()
    : TOutputBitDevice(g_Settings->MicPort, g_Settings->MicMask, Bit, HighLevel)
{
}
