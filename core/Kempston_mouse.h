// The Kempston mouse: X, Y and buttons on three in-ports. Nothing feeds it
// movement, so all three read 0 unless set.
#pragma once

#include "core/Device.h"

#include <atomic>

class TKempstonMouse : public TDevice {
public:
    TKempstonMouse();

    // The position and buttons are kept across a reset, as on the interface.
    void Reset() override {}

    u8 ReadX(u16 port);
    u8 ReadY(u16 port);
    u8 ReadButtons(u16 port);

    // For a future mouse source (another thread): plain byte stores.
    void SetPosition(u8 x, u8 y);
    void SetButtons(u8 buttons) { Buttons.store(buttons, std::memory_order_relaxed); }

private:
    std::atomic<u8> X{0};
    std::atomic<u8> Y{0};
    std::atomic<u8> Buttons{0};
};
