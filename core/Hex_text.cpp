#include "core/Hex_text.h"

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// Every result fits the string's inline buffer, so a call costs no
// allocation: the views call these for every row they paint.
std::string Digitise(u32 value, int digits, char prefix)
{
    std::string text(std::size_t(digits + (prefix ? 1 : 0)), '0');
    char* out = text.data();
    if (prefix)
        *out++ = prefix;
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = Digits[value & 0x0F];
        value >>= 4;
    }
    return text;
}

} // namespace

std::string HexByte(u8 value)
{
    return Digitise(value, 2, 0);
}

std::string HexWord(u16 value)
{
    return Digitise(value, 4, 0);
}

std::string HexDWord(u32 value)
{
    return Digitise(value, 8, 0);
}

std::string HexBytePrefixed(u8 value)
{
    return Digitise(value, 2, '#');
}

std::string HexWordPrefixed(u16 value)
{
    return Digitise(value, 4, '#');
}

std::string HexSignedByte(u8 value)
{
    if (value < 0x80)
        return Digitise(value, 2, '+');
    return Digitise(u8(0x100 - value), 2, '-');
}
