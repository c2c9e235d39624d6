#include "media/File.h"

#include <algorithm>
#include <limits>

void TFile::SetPosition(i64 position)
{
    Position = static_cast<i32>(std::clamp<i64>(position, 0, Size));
}

void TFile::Skip(u64 n)
{
    const u64 room = static_cast<u64>(Size - Position);
    Position += static_cast<i32>(std::min(n, room));
}

u8 TFile::GetByteAt(i64 index) const
{
    return index >= 0 && index < Size ? Data[static_cast<size_t>(index)] : 0;
}

u16 TFile::GetWordAt(i64 index) const
{
    const i64 next = index < std::numeric_limits<i64>::max() ? index + 1 : index;
    return static_cast<u16>(GetByteAt(index) | GetByteAt(next) << 8);
}

u8 TFile::ReadByte()
{
    if (Position >= Size)
        throw TTextError("End of file reached.");
    return Data[static_cast<size_t>(Position++)];
}

u16 TFile::ReadWord()
{
    const u8 low = ReadByte();
    const u8 high = ReadByte();
    return static_cast<u16>(low | high << 8);
}

i32 TFile::ReadShort()
{
    return ReadWord();
}

u32 TFile::ReadTriple()
{
    const u32 low = ReadWord();
    return low | static_cast<u32>(ReadByte()) << 16;
}

u32 TFile::ReadDWord()
{
    const u32 low = ReadWord();
    return low | static_cast<u32>(ReadWord()) << 16;
}

std::string TFile::ReadString(i32 n)
{
    if (n <= 0)
        return {};
    // Never more room than the bytes left: a corrupt length costs nothing.
    const i32 present = std::min(n, Size - Position);
    std::string bytes(static_cast<size_t>(present), '\0');
    ReadBlock(reinterpret_cast<u8*>(bytes.data()), present);
    Skip(static_cast<u64>(n - present));
    const size_t zero = bytes.find('\0');
    if (zero != std::string::npos)
        bytes.resize(zero);
    return bytes;
}

std::string TFile::ReadPascalString()
{
    return ReadString(ReadByte());
}

bool TFile::ReadBlock(u8* buffer, i32 n)
{
    if (n <= 0)
        return true;
    const i32 present = std::min(n, Size - Position);
    std::copy_n(Data.data() + Position, present, buffer);
    Position += present;
    return present == n;
}

u32 TFile::GetSum() const
{
    u32 sum = 0;
    for (const u8 byte : Data)
        sum += byte;
    return sum;
}
