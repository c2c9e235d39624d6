// The beeper: bit 4 of every write to port 0xFE (settings' decode), level
// 255 while set. It stays outside the device chain: the computer registers
// its port and deletes it, and a machine reset does not reach it.
#pragma once

#include "core/Output_bit_device.h"

class TSpeaker : public TOutputBitDevice {
public:
    static constexpr u8 Bit = 0x10;
    static constexpr u8 HighLevel = 255;

    TSpeaker();
};
