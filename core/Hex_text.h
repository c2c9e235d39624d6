// Hexadecimal text: the one way every view, dialog, message and tape block
// description writes numbers. Always upper case; "#" is the prefixed form
// the dialogs and tape descriptions use.
#pragma once

#include "core/Types.h"

#include <string>

std::string HexByte(u8 value);              // "0A"
std::string HexWord(u16 value);             // "000A": high byte first
std::string HexDWord(u32 value);            // "00010000"
std::string HexBytePrefixed(u8 value);      // "#00"
std::string HexWordPrefixed(u16 value);     // "#FFFF"
// A two's-complement displacement as the disassembler writes it: "+7F", "-80", "-01".
std::string HexSignedByte(u8 value);
