// The hexadecimal forms every view and dialog writes numbers in.
#include "core/Hex_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

TEST(HexText, BareDigits)
{
    EXPECT_EQ(HexByte(10), "0A");
    EXPECT_EQ(HexByte(0), "00");
    EXPECT_EQ(HexByte(0xFF), "FF");
    EXPECT_EQ(HexWord(10), "000A");
    EXPECT_EQ(HexWord(0xABCD), "ABCD");
    EXPECT_EQ(HexWord(0x00FF), "00FF");
    EXPECT_EQ(HexWord(0xFF00), "FF00");
    EXPECT_EQ(HexDWord(65536), "00010000");
    EXPECT_EQ(HexDWord(0x8007000E), "8007000E");
    EXPECT_EQ(HexDWord(0xFFFFFFFF), "FFFFFFFF");
}

TEST(HexText, Prefixed)
{
    EXPECT_EQ(HexWordPrefixed(65535), "#FFFF");
    EXPECT_EQ(HexWordPrefixed(0x4000), "#4000");
    EXPECT_EQ(HexBytePrefixed(0), "#00");
    EXPECT_EQ(HexBytePrefixed(0x1A), "#1A");
}

TEST(HexText, SignedDisplacements)
{
    EXPECT_EQ(HexSignedByte(0x00), "+00");
    EXPECT_EQ(HexSignedByte(0x01), "+01");
    EXPECT_EQ(HexSignedByte(0x7F), "+7F");
    EXPECT_EQ(HexSignedByte(0x80), "-80");
    EXPECT_EQ(HexSignedByte(0x81), "-7F");
    EXPECT_EQ(HexSignedByte(0xFE), "-02");
    EXPECT_EQ(HexSignedByte(0xFF), "-01");
}

// Every value against the C library's own upper-case hexadecimal.
TEST(HexText, AgreesWithPrintfForEveryByteAndWord)
{
    char expected[16];
    for (unsigned value = 0; value <= 0xFF; ++value) {
        std::snprintf(expected, sizeof expected, "%02X", value);
        ASSERT_EQ(HexByte(u8(value)), expected);
        ASSERT_EQ(HexBytePrefixed(u8(value)), std::string("#") + expected);
        int signedValue = value < 128 ? int(value) : int(value) - 256;
        std::snprintf(expected, sizeof expected, "%c%02X", signedValue < 0 ? '-' : '+', unsigned(std::abs(signedValue)));
        ASSERT_EQ(HexSignedByte(u8(value)), expected);
    }
    for (unsigned value = 0; value <= 0xFFFF; ++value) {
        std::snprintf(expected, sizeof expected, "%04X", value);
        ASSERT_EQ(HexWord(u16(value)), expected);
        ASSERT_EQ(HexWordPrefixed(u16(value)), std::string("#") + expected);
    }
    for (u32 value : {0x00000000u, 0x00000001u, 0x0000FFFFu, 0x00010000u, 0x12345678u, 0x7FFFFFFFu, 0x80000000u,
             0xDEADBEEFu}) {
        std::snprintf(expected, sizeof expected, "%08X", value);
        ASSERT_EQ(HexDWord(value), expected);
    }
}
