// The machine's memory as the views see it: the 64K as currently paged. None
// of these reads pages the disk-interface ROM in or out, and writes to ROM
// are ignored.
#pragma once

#include "core/Data_array.h"

class TMemory;

class TCpuMemoryArray : public TDataArray {
public:
    explicit TCpuMemoryArray(TMemory* memory) : Memory(memory) {}

    std::string GetAddressText(u16 index) override;
    std::string GetByteText(u16 index) override;
    std::string GetWordText(u16 index) override;
    u8 GetByte(u16 index) override;
    i32 GetSize() override;
    void SetByte(u16 index, u8 value) override;

private:
    TMemory* Memory;  // not owned
};
