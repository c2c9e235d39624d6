// The Beta Disk interface's place in the device chain. It has no disk
// controller and no ports: its ROM paging lives in TMemory::ReadOpcode.
#pragma once

#include "core/Device.h"

class TBetaDisk : public TDevice {
public:
    TBetaDisk();
};
