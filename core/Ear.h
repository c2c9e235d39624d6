// The tape input as a device of port 0xFE: 0x20 while the recorder's level
// is high. The computer creates it but keeps it off the port bus (on the bus
// its zeros would hide the keyboard bits); the tape reaches the CPU through
// the keyboard's tape input instead (TTapeRecorder is a TTapeInput).
#pragma once

#include "core/Device.h"

class TTapeRecorder;

class TEar : public TDevice {
public:
    // One in-port at the settings' EarPort / EarMask (0x00FE / 0x0001).
    explicit TEar(TTapeRecorder* recorder);

    // 0x20 while the level is 1, else 0.
    u8 PortRead(u16 port);

private:
    TTapeRecorder* Recorder;
};
