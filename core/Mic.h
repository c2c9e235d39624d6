// The tape-output signal: bit 3 of every write to port 0xFE (settings'
// decode), level 64 while set, mixed with the beeper. Outside the device
// chain, as the beeper is.
#pragma once

#include "core/Output_bit_device.h"

class TMic : public TOutputBitDevice {
public:
    static constexpr u8 Bit = 0x08;
    static constexpr u8 HighLevel = 64;

    TMic();
};
