// The device chain: the chained peripherals that the computer resets
// together. The chain owns its devices and deletes them first to last.
#pragma once

#include "core/Device.h"

class TDevices {
public:
    TDevices() = default;
    ~TDevices();
    TDevices(const TDevices&) = delete;
    TDevices& operator=(const TDevices&) = delete;

    // Appends at the tail and takes ownership.
    void Add(TDevice* device);
    // Resets every enabled device, first to last.
    void ResetAll();

    TDevice* GetFirst() const { return First; }
    TDevice* GetLast() const { return Last; }

private:
    TDevice* First = nullptr;
    TDevice* Last = nullptr;
};
