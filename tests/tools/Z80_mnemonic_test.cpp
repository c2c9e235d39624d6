// The disassembler against an independent reference (z80dasm's decoding of
// every opcode of every page, committed in tests/data/disasm with the script
// that made it), the published decoding where z80dasm declines a sequence,
// and the bounds no reference covers (address wrap, prefix runs).
#include "tools/Z80_mnemonic.h"

#include "core/Data_array.h"
#include "core/Hex_text.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// 64K of plain RAM, with the byte and word texts every TDataArray gives.
class TFlatMemory : public TDataArray {
public:
    std::array<u8, 0x10000> Bytes{};

    std::string GetAddressText(u16 index) override { return HexWord(index); }
    std::string GetByteText(u16 index) override { return HexByte(Bytes[index]); }
    std::string GetWordText(u16 index) override
    {
        return HexWord(static_cast<u16>(Bytes[index] | Bytes[static_cast<u16>(index + 1)] << 8));
    }
    u8 GetByte(u16 index) override { return Bytes[index]; }
    i32 GetSize() override { return 0x10000; }
    void SetByte(u16 index, u8 value) override { Bytes[index] = value; }

    void Put(u16 address, const std::vector<u8>& bytes)
    {
        for (u8 byte : bytes)
            Bytes[address++] = byte;
    }
};

struct TDisassembly {
    std::string Text;
    int Length;
};

TDisassembly Disassemble(const std::vector<u8>& bytes, u16 address = 0x8000)
{
    TFlatMemory memory;
    memory.Put(address, bytes);
    TZ80Mnm mnemonic(&memory);
    std::string text;
    mnemonic.Disassemble(address, text);
    return {text, static_cast<u16>(mnemonic.GetNextAddress() - address)};
}

std::vector<u8> ParseBytes(const std::string& text)
{
    std::vector<u8> bytes;
    std::istringstream in(text);
    for (std::string byte; in >> byte;)
        bytes.push_back(static_cast<u8>(std::stoi(byte, nullptr, 16)));
    return bytes;
}

std::string Hex(const std::vector<u8>& bytes)
{
    std::string text;
    for (u8 byte : bytes)
        text += (text.empty() ? "" : " ") + HexByte(byte);
    return text;
}

// --- The sweep over every page -------------------------------------------

struct TVector {
    std::vector<u8> Bytes;
    int Length;
    std::string Text;   // "ILLEGAL" where z80dasm declines the sequence
};

std::vector<TVector> ReadVectors()
{
    std::ifstream file(QUORVANE_FIXTURES_DIR "/disasm/vectors.txt");
    std::vector<TVector> vectors;
    for (std::string line; std::getline(file, line);) {
        const size_t first = line.find('|');
        const size_t second = line.find('|', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        vectors.push_back({ParseBytes(line.substr(0, first)),
                           std::stoi(line.substr(first + 1, second - first - 1)),
                           line.substr(second + 1)});
    }
    return vectors;
}

// z80dasm declines these ED opcodes, but the chip decodes them as mirrors of
// their neighbours in the ED x = 1 block (same z, other y): NEG for every
// ED 01yyy100, RETN for ED 01yyy101 but RETI (4D), IM by y AND 3, and the
// ED 63/6B forms of LD (nn),HL / LD HL,(nn). ED 77 and 7F do nothing.
// The operand bytes are those make.sh put after each opcode (F5 3C).
const std::map<u8, TDisassembly> EdMirrors = {
    {0x4C, {"NEG", 2}},  {0x54, {"NEG", 2}},  {0x5C, {"NEG", 2}},  {0x64, {"NEG", 2}},
    {0x6C, {"NEG", 2}},  {0x74, {"NEG", 2}},  {0x7C, {"NEG", 2}},
    {0x55, {"RETN", 2}}, {0x5D, {"RETN", 2}}, {0x65, {"RETN", 2}}, {0x6D, {"RETN", 2}},
    {0x75, {"RETN", 2}}, {0x7D, {"RETN", 2}},
    {0x4E, {"IM 0/1", 2}}, {0x66, {"IM 0", 2}}, {0x6E, {"IM 0/1", 2}}, {0x76, {"IM 1", 2}},
    {0x7E, {"IM 2", 2}},
    {0x63, {"LD (3CF5),HL", 4}}, {0x6B, {"LD HL,(3CF5)", 4}},
    {0x77, {"NOP", 2}}, {0x7F, {"NOP", 2}},
};

TEST(Z80MnemonicSweep, EveryOpcodeOfEveryPageMatchesTheReference)
{
    const std::vector<TVector> vectors = ReadVectors();
    ASSERT_EQ(vectors.size(), 1780u) << "tests/data/disasm/vectors.txt missing or incomplete";

    std::map<u8, TDisassembly> unprefixed;
    for (const TVector& vector : vectors)
        if (vector.Bytes[0] != 0xCB && vector.Bytes[0] != 0xDD && vector.Bytes[0] != 0xED && vector.Bytes[0] != 0xFD)
            unprefixed[vector.Bytes[0]] = {vector.Text, vector.Length};
    ASSERT_EQ(unprefixed.size(), 252u);

    int illegal = 0;
    for (const TVector& vector : vectors) {
        TDisassembly expected{vector.Text, vector.Length};
        if (vector.Text == "ILLEGAL") {
            ++illegal;
            const u8 prefix = vector.Bytes[0];
            const u8 opcode = vector.Bytes[1];
            if (prefix == 0xDD || prefix == 0xFD) {
                // An opcode that does not involve HL ignores the index prefix
                // (z80dasm calls these illegal; the chip runs them as the
                // unprefixed opcode, 4 T-states later).
                expected = unprefixed.at(opcode);
                ++expected.Length;
                // A relative jump counts from its end, one byte further on.
                if ((opcode & 0xC7) == 0x00 && opcode >= 0x10) {
                    const size_t target = expected.Text.size() - 4;
                    const int address = std::stoi(expected.Text.substr(target), nullptr, 16);
                    expected.Text = expected.Text.substr(0, target) + HexWord(static_cast<u16>(address + 1));
                }
            } else if (EdMirrors.count(opcode)) {
                expected = EdMirrors.at(opcode);
            } else {
                // Every other undefined ED opcode does nothing.
                ASSERT_EQ(prefix, 0xED) << Hex(vector.Bytes);
                expected = {"NOP", 2};
            }
        }
        const TDisassembly actual = Disassemble(vector.Bytes);
        EXPECT_EQ(actual.Text, expected.Text) << Hex(vector.Bytes);
        EXPECT_EQ(actual.Length, expected.Length) << Hex(vector.Bytes) << " " << actual.Text;
    }
    // 176 undefined ED + 22 ED mirrors + 2 x 167 prefixed opcodes without HL.
    EXPECT_EQ(illegal, 198 + 2 * 167);
}

// --- Named cases -------------------------------------------------------------

struct TCase {
    const char* Bytes;
    const char* Text;
    int Length;
};

void ExpectCases(const std::vector<TCase>& cases, u16 address = 0x8000)
{
    for (const TCase& item : cases) {
        const TDisassembly actual = Disassemble(ParseBytes(item.Bytes), address);
        EXPECT_EQ(actual.Text, item.Text) << item.Bytes;
        EXPECT_EQ(actual.Length, item.Length) << item.Bytes;
    }
}

TEST(Z80Mnemonic, LoadsAndIndexSubstitution)
{
    ExpectCases({
        {"3E 3E", "LD A,3E", 2},
        {"21 34 12", "LD HL,1234", 3},
        {"DD 21 34 12", "LD IX,1234", 4},
        {"DD FD 21 34 12", "LD IY,1234", 5},     // the last prefix wins
        {"FD DD 21 34 12", "LD IX,1234", 5},
        {"22 34 12", "LD (1234),HL", 3},
        {"DD 2A 34 12", "LD IX,(1234)", 4},
        {"DD 7E 05", "LD A,(IX+05)", 3},
        {"FD 77 FE", "LD (IY-02),A", 3},
        {"DD 66 01", "LD H,(IX+01)", 3},         // H beside (IX+d) stays H
        {"DD 74 01", "LD (IX+01),H", 3},
        {"DD 44", "LD B,XH", 2},
        {"DD 65", "LD XH,XL", 2},
        {"FD 2E 05", "LD YL,05", 3},
        {"DD 36 01 05", "LD (IX+01),05", 4},     // displacement before the byte
        {"DD 34 05", "INC (IX+05)", 3},
        {"DD 7E 80", "LD A,(IX-80)", 3},
        {"DD 7E 7F", "LD A,(IX+7F)", 3},
        {"DD 7E FF", "LD A,(IX-01)", 3},
    });
}

TEST(Z80Mnemonic, ArithmeticAndRelativeJumps)
{
    ExpectCases({
        {"DD 09", "ADD IX,BC", 2},
        {"DD 29", "ADD IX,IX", 2},
        {"DD 84", "ADD A,XH", 2},
        {"FD 95", "SUB YL", 2},
        {"DD BE 05", "CP (IX+05)", 3},
        {"C6 05", "ADD A,05", 2},
        {"D6 05", "SUB 05", 2},
        {"18 FE", "JR 8000", 2},
        {"20 02", "JR NZ,8004", 2},
        {"10 FE", "DJNZ 8000", 2},
        {"38 80", "JR C,7F82", 2},
    });
    ExpectCases({{"18 05", "JR 0005", 2}}, 0xFFFE);
    ExpectCases({{"18 80", "JR FF82", 2}}, 0x0000);
}

TEST(Z80Mnemonic, CbAndIndexedCbPages)
{
    ExpectCases({
        {"CB 30", "SLL B", 2},
        {"CB 7E", "BIT 7,(HL)", 2},
        {"CB 84", "RES 0,H", 2},
        {"DD CB 02 D8", "SET 3,(IX+02),B", 4},
        {"DD CB 01 00", "RLC (IX+01),B", 4},
        {"DD CB 01 06", "RLC (IX+01)", 4},
        {"DD CB 02 58", "BIT 3,(IX+02)", 4},      // BIT copies nothing
        {"DD CB 02 5E", "BIT 3,(IX+02)", 4},
        {"FD CB FE 34", "SLL (IY-02),H", 4},      // the copy goes to the real H
        {"FD CB 80 AD", "RES 5,(IY-80),L", 4},
        {"DD FD CB 01 06", "RLC (IY+01)", 5},
    });
}

TEST(Z80Mnemonic, EdPage)
{
    ExpectCases({
        {"ED 46", "IM 0", 2},
        {"ED 4E", "IM 0/1", 2},
        {"ED 56", "IM 1", 2},
        {"ED 5E", "IM 2", 2},
        {"ED 66", "IM 0", 2},
        {"ED 7E", "IM 2", 2},
        {"ED 4C", "NEG", 2},
        {"ED 4D", "RETI", 2},
        {"ED 5D", "RETN", 2},
        {"ED 70", "IN (C)", 2},
        {"ED 71", "OUT (C),0", 2},
        {"ED 78", "IN A,(C)", 2},
        {"ED 43 34 12", "LD (1234),BC", 4},
        {"ED 6B 34 12", "LD HL,(1234)", 4},
        {"ED B0", "LDIR", 2},
        {"ED 00", "NOP", 2},
        {"ED 77", "NOP", 2},
        {"ED A4", "NOP", 2},
        {"ED BC", "NOP", 2},
        {"ED FF", "NOP", 2},
        {"DD ED 4A", "ADC HL,BC", 3},             // ED drops the index prefix
        {"FD ED 6B 34 12", "LD HL,(1234)", 5},
    });
}

TEST(Z80Mnemonic, PrefixesOnOpcodesWithoutHl)
{
    ExpectCases({
        {"C7", "RST 00", 1},
        {"FF", "RST 38", 1},
        {"DD E9", "JP (IX)", 2},
        {"DD E3", "EX (SP),IX", 2},
        {"DD EB", "EX DE,HL", 2},                 // always the real HL
        {"DD D9", "EXX", 2},
        {"DD F9", "LD SP,IX", 2},
        {"DD E5", "PUSH IX", 2},
        {"DD F1", "POP AF", 2},
        {"DD 00", "NOP", 2},
        {"DD 76", "HALT", 2},
        {"FD 3E 3E", "LD A,3E", 3},
        {"08", "EX AF,AF'", 1},
        {"D3 FE", "OUT (FE),A", 2},
        {"DB FE", "IN A,(FE)", 2},
    });
}

TEST(Z80Mnemonic, OperandsWrapAroundTheAddressSpace)
{
    TFlatMemory memory;
    memory.Put(0xFFFF, {0x21});
    memory.Put(0x0000, {0x34, 0x12});
    TZ80Mnm mnemonic(&memory);
    EXPECT_EQ(mnemonic.Disassemble(0xFFFF), "LD HL,1234");
    EXPECT_EQ(mnemonic.GetNextAddress(), 0x0002);

    memory.Put(0xFFFE, {0xDD, 0xCB});
    memory.Put(0x0000, {0x05, 0xC6});
    EXPECT_EQ(mnemonic.Disassemble(0xFFFE), "SET 0,(IX+05)");
    EXPECT_EQ(mnemonic.GetNextAddress(), 0x0002);
}

TEST(Z80Mnemonic, PrefixRunIsBoundedLikeTheProcessor)
{
    TFlatMemory memory;
    TZ80Mnm mnemonic(&memory);

    // 255 prefixes still modify the opcode that follows.
    for (int i = 0; i < 255; ++i)
        memory.Bytes[0x1000 + i] = i % 2 ? 0xFD : 0xDD;
    memory.Put(0x1000 + 255, {0x21, 0x34, 0x12});
    EXPECT_EQ(mnemonic.Disassemble(0x1000), "LD IX,1234");
    EXPECT_EQ(mnemonic.GetNextAddress(), 0x1000 + 258);

    // The 256th prefix ends the instruction, which does nothing.
    memory.Bytes[0x1000 + 255] = 0xFD;
    EXPECT_EQ(mnemonic.Disassemble(0x1000), "NOP");
    EXPECT_EQ(mnemonic.GetNextAddress(), 0x1000 + 256);

    // Memory of nothing but prefixes ends too, at every start.
    memory.Bytes.fill(0xDD);
    EXPECT_EQ(mnemonic.Disassemble(0xFFF0), "NOP");
    EXPECT_EQ(mnemonic.GetNextAddress(), static_cast<u16>(0xFFF0 + 256));
}

TEST(Z80Mnemonic, EveryByteSequenceGivesTextOfBoundedLength)
{
    // Random memory: each start gives some text and at most the longest
    // instruction (4 bytes after its prefixes).
    TFlatMemory memory;
    u32 seed = 12345;
    for (u8& byte : memory.Bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<u8>(seed >> 16);
    }
    TZ80Mnm mnemonic(&memory);
    for (u32 address = 0; address < 0x10000; address += 7) {
        const std::string text = mnemonic.Disassemble(static_cast<u16>(address));
        EXPECT_FALSE(text.empty());
        int prefixes = 0;
        while (prefixes < 256 && (memory.Bytes[(address + prefixes) & 0xFFFF] == 0xDD ||
                                memory.Bytes[(address + prefixes) & 0xFFFF] == 0xFD))
            ++prefixes;
        const int length = static_cast<u16>(mnemonic.GetNextAddress() - address);
        EXPECT_GE(length, 1);
        EXPECT_LE(length, prefixes + 4) << HexWord(static_cast<u16>(address));
    }
}

} // namespace
