// The roms.rom the build composes from Debian's OpenSE BASIC: bank 0 the
// stub that pages to BASIC, banks 1 and 2 the BASIC ROM.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr std::size_t BankSize = 16 * 1024;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(Roms, ComposedFileHoldsThreeBanks)
{
    const std::string roms = ReadFile(QUORVANE_ROMS_FILE);
    const std::string basic = ReadFile("/usr/share/spectrum-roms/opense.rom");
    const std::string stub = ReadFile("/usr/share/spectrum-roms/opense-stub.rom");
    ASSERT_EQ(basic.size(), BankSize);
    ASSERT_EQ(stub.size(), BankSize);
    ASSERT_EQ(roms.size(), 3 * BankSize);

    EXPECT_TRUE(roms.compare(0 * BankSize, BankSize, stub) == 0) << "bank 0 is not the OpenSE stub";
    EXPECT_TRUE(roms.compare(1 * BankSize, BankSize, basic) == 0) << "bank 1 is not OpenSE BASIC";
    EXPECT_TRUE(roms.compare(2 * BankSize, BankSize, basic) == 0) << "bank 2 is not OpenSE BASIC";
    EXPECT_NE(stub, basic);
}

// The stub's first instructions select ROM 1 (the BASIC bank) through the
// 128K paging port: LD BC,#7FFD; LD A,#10; OUT (C),A.
TEST(Roms, StubPagesStraightToBasic)
{
    const std::string roms = ReadFile(QUORVANE_ROMS_FILE);
    ASSERT_GE(roms.size(), BankSize);
    const unsigned char expected[] = {0x01, 0xFD, 0x7F, 0x3E, 0x10, 0xED, 0x79};
    for (std::size_t i = 0; i < sizeof expected; ++i)
        EXPECT_EQ((unsigned char)roms[i], expected[i]) << "byte " << i;
}
