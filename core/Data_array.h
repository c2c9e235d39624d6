// The byte-array interface through which the memory, disassembly and stack
// views and the dump dialogs see memory.
#pragma once

#include "core/Types.h"

#include <string>

class TDataArray {
public:
    virtual ~TDataArray() = default;

    virtual std::string GetAddressText(u16 index) = 0;
    virtual std::string GetByteText(u16 index) = 0;
    virtual std::string GetWordText(u16 index) = 0;
    virtual u8 GetByte(u16 index) = 0;
    virtual i32 GetSize() = 0;
    virtual void SetByte(u16 index, u8 value) = 0;
};
