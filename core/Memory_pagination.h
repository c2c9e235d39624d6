// The 128K paging register on port 0x7FFD: RAM bank at 0xC000 (bits 0-2),
// screen bank 5 or 7 (bit 3), 128 or 48 BASIC ROM (bit 4), and the lock
// (bit 5), which ignores further writes until SetPaging or a reset.
#pragma once

#include "core/Device.h"

#include <atomic>

class TMemory;
class TVideoCard;

class TMemoryPagination : public TDevice {
public:
    // Enabled only in the 128K model; then it applies paging value 0. The
    // video chip receives the screen bank on every accepted write; it may be
    // nullptr (tests), and it must outlive this device.
    TMemoryPagination(TMemory& memory, TVideoCard* videoCard);

    // RAM bank 0, the 128 ROM, screen bank 5, unlocked. RAM is kept.
    void Reset() override;
    // Clears the lock, then writes the value (the snapshot readers restore
    // the register with it). Does nothing while the device is disabled.
    void SetPaging(u8 value);
    // The out-port handler. Does nothing while disabled or locked.
    void PortWrite(u8 value);
    // The last value accepted on the port (the snapshot writer stores it).
    u8 GetLastValue() const { return LastValue.load(std::memory_order_relaxed); }

private:
    TMemory& Memory;
    TVideoCard* VideoCard;
    // Written on the stepping thread, read by the views.
    std::atomic<u8> LastValue{0};
};
