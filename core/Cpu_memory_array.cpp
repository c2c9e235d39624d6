#include "core/Cpu_memory_array.h"

#include "core/Hex_text.h"
#include "core/Memory.h"

std::string TCpuMemoryArray::GetAddressText(u16 index)
{
    return HexWord(index);
}

std::string TCpuMemoryArray::GetByteText(u16 index)
{
    return HexByte(Memory->ReadByte(index));
}

std::string TCpuMemoryArray::GetWordText(u16 index)
{
    return HexWord(Memory->ReadWord(index));
}

u8 TCpuMemoryArray::GetByte(u16 index)
{
    return Memory->ReadByte(index);
}

i32 TCpuMemoryArray::GetSize()
{
    return 0x10000;
}

void TCpuMemoryArray::SetByte(u16 index, u8 value)
{
    Memory->WriteByte(index, value);
}
