// Fixed-width integer names and the one error type of the program.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

// Errors of our own code carry just the message text the user will see
// ("End of file reached.", "Invalid TZX file format."). The operation the
// user started catches it and shows what() in a message box or status line.
class TTextError : public std::runtime_error {
public:
    explicit TTextError(const std::string& text) : std::runtime_error(text) {}
    explicit TTextError(const char* text) : std::runtime_error(text) {}
};
