#include "tools/Z80_mnemonic.h"

#include "core/Data_array.h"
#include "core/Hex_text.h"
#include "core/Z80.h"

#include <array>

static_assert(TZ80Mnm::MaxPrefixes == TZ80::MaxPrefixRun, "a prefix run ends where the processor ends it");

namespace {

using Names = std::array<std::string_view, 8>;

// Operand and mnemonic tables of the published opcode decoding.
constexpr Names R = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
constexpr std::array<std::string_view, 4> Rp = {"BC", "DE", "HL", "SP"};
constexpr std::array<std::string_view, 4> Rp2 = {"BC", "DE", "HL", "AF"};
constexpr Names Cc = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
constexpr Names Alu = {"ADD A,", "ADC A,", "SUB ", "SBC A,", "AND ", "XOR ", "OR ", "CP "};
constexpr Names Rot = {"RLC ", "RRC ", "RL ", "RR ", "SLA ", "SRA ", "SLL ", "SRL "};
constexpr std::array<std::string_view, 4> BitOp = {"", "BIT ", "RES ", "SET "};
constexpr Names Misc = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
constexpr Names EdMisc = {"LD I,A", "LD R,A", "LD A,I", "LD A,R", "RRD", "RLD", "NOP", "NOP"};
constexpr std::array<std::string_view, 4> Im = {"0", "0/1", "1", "2"};
// Block instructions by y - 4 (row) and z (column).
constexpr std::array<std::array<std::string_view, 4>, 4> Block = {{
    {"LDI", "CPI", "INI", "OUTI"},
    {"LDD", "CPD", "IND", "OUTD"},
    {"LDIR", "CPIR", "INIR", "OTIR"},
    {"LDDR", "CPDR", "INDR", "OTDR"},
}};

// HL and its halves under each index mode: pair, high, low.
struct TIndexNames {
    std::string_view Pair, High, Low;
};
constexpr std::array<TIndexNames, 3> IndexNames = {{
    {"HL", "H", "L"},
    {"IX", "XH", "XL"},
    {"IY", "YH", "YL"},
}};

std::string_view BitNumber(u8 y)
{
    static constexpr Names digits = {"0", "1", "2", "3", "4", "5", "6", "7"};
    return digits[y];
}

} // namespace

std::string TZ80Mnm::Join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (std::string_view part : parts)
        text += part;
    return text;
}

std::string TZ80Mnm::Disassemble(u16 address)
{
    std::string text;
    Disassemble(address, text);
    return text;
}

void TZ80Mnm::Disassemble(u16 address, std::string& text)
{
    Address = address;
    IndexMode = 0;
    Fetch();
    // Prefixes chain and the last one wins (DD FD 21 is LD IY,nn).
    for (int prefixes = 1; Opcode == 0xDD || Opcode == 0xFD; ++prefixes) {
        IndexMode = Opcode == 0xDD ? 1 : 2;
        if (prefixes == MaxPrefixes) {
            text = "NOP";
            return;
        }
        Fetch();
    }
    text = DecodeUnprefixed();
}

void TZ80Mnm::Fetch(bool afterDisplacement)
{
    if (afterDisplacement)
        Opcode = Memory->GetByte(static_cast<u16>(Address + 1));
    else
        Opcode = Memory->GetByte(Address++);
    X = Opcode >> 6;            // xxyyyzzz
    Y = (Opcode >> 3) & 7;      //   ppq
    Z = Opcode & 7;
    P = Y >> 1;
    Q = Opcode & 8;
}

std::string TZ80Mnm::SubstIndexReg(std::string_view name)
{
    if (IndexMode == 0)
        return std::string(name);
    const TIndexNames& index = IndexNames[IndexMode];
    if (name == "HL")
        return std::string(index.Pair);
    if (name == "H")
        return std::string(index.High);
    if (name == "L")
        return std::string(index.Low);
    if (name == "(HL)") {
        const u8 displacement = Memory->GetByte(Address++);
        return Join({"(", index.Pair, HexSignedByte(displacement), ")"});
    }
    return std::string(name);
}

std::string TZ80Mnm::ImmediateByte()
{
    return Memory->GetByteText(Address++);
}

std::string TZ80Mnm::ImmediateWord()
{
    std::string text = Memory->GetWordText(Address);
    Address += 2;
    return text;
}

std::string TZ80Mnm::RelativeTarget()
{
    const auto displacement = static_cast<i8>(Memory->GetByte(Address++));
    return HexWord(static_cast<u16>(Address + displacement));
}

// Unprefixed page:  x = 0 assorted, 1 LD r,r', 2 ALU A,r, 3 assorted.
std::string TZ80Mnm::DecodeUnprefixed()
{
    switch (X) {
    case 0:
        return DecodeX0();
    case 1:
        return DecodeLoad();
    case 2:
        return Join({Alu[Y], SubstIndexReg(R[Z])});
    default:
        return DecodeX3();
    }
}

// 00yyyzzz
std::string TZ80Mnm::DecodeX0()
{
    switch (Z) {
    case 0:
        switch (Y) {
        case 0: return "NOP";
        case 1: return "EX AF,AF'";
        case 2: return Join({"DJNZ ", RelativeTarget()});
        case 3: return Join({"JR ", RelativeTarget()});
        default: return Join({"JR ", Cc[Y - 4], ",", RelativeTarget()});
        }
    case 1:
        if (!Q)
            return Join({"LD ", SubstIndexReg(Rp[P]), ",", ImmediateWord()});
        return Join({"ADD ", IndexHL(), ",", SubstIndexReg(Rp[P])});
    case 2:
        switch (Y) {
        case 0: return "LD (BC),A";
        case 1: return "LD A,(BC)";
        case 2: return "LD (DE),A";
        case 3: return "LD A,(DE)";
        case 4: return Join({"LD (", ImmediateWord(), "),", IndexHL()});
        case 5: return Join({"LD ", IndexHL(), ",(", ImmediateWord(), ")"});
        case 6: return Join({"LD (", ImmediateWord(), "),A"});
        default: return Join({"LD A,(", ImmediateWord(), ")"});
        }
    case 3:
        return Join({Q ? "DEC " : "INC ", SubstIndexReg(Rp[P])});
    case 4:
        return Join({"INC ", SubstIndexReg(R[Y])});
    case 5:
        return Join({"DEC ", SubstIndexReg(R[Y])});
    case 6:
        return Join({"LD ", SubstIndexReg(R[Y]), ",", ImmediateByte()});
    default:
        return std::string(Misc[Y]);
    }
}

// 01yyyzzz: LD r[y],r[z]. Beside (IX+d) the register H or L stays itself.
std::string TZ80Mnm::DecodeLoad()
{
    switch (Opcode) {
    case 0x76:
        return "HALT";
    case 0x66: case 0x6E:
        return Join({"LD ", R[Y], ",", SubstIndexReg("(HL)")});
    case 0x74: case 0x75:
        return Join({"LD ", SubstIndexReg("(HL)"), ",", R[Z]});
    default:
        return Join({"LD ", SubstIndexReg(R[Y]), ",", SubstIndexReg(R[Z])});
    }
}

// 11yyyzzz
std::string TZ80Mnm::DecodeX3()
{
    switch (Z) {
    case 0:
        return Join({"RET ", Cc[Y]});
    case 1:
        if (!Q)
            return Join({"POP ", SubstIndexReg(Rp2[P])});
        switch (P) {
        case 0: return "RET";
        case 1: return "EXX";
        case 2: return Join({"JP (", IndexHL(), ")"});
        default: return Join({"LD SP,", IndexHL()});
        }
    case 2:
        return Join({"JP ", Cc[Y], ",", ImmediateWord()});
    case 3:
        switch (Y) {
        case 0: return Join({"JP ", ImmediateWord()});
        case 1: return IndexMode == 0 ? DecodeCB() : DecodeIndexedCB();
        case 2: return Join({"OUT (", ImmediateByte(), "),A"});
        case 3: return Join({"IN A,(", ImmediateByte(), ")"});
        case 4: return Join({"EX (SP),", IndexHL()});
        case 5: return "EX DE,HL";     // the real HL, also under DD/FD
        case 6: return "DI";
        default: return "EI";
        }
    case 4:
        return Join({"CALL ", Cc[Y], ",", ImmediateWord()});
    case 5:
        if (!Q)
            return Join({"PUSH ", SubstIndexReg(Rp2[P])});
        // p = 1 and 3 are the DD and FD prefixes, consumed before decoding.
        if (P == 0)
            return Join({"CALL ", ImmediateWord()});
        return DecodeED();
    case 6:
        return Join({Alu[Y], ImmediateByte()});
    default:
        return Join({"RST ", HexByte(static_cast<u8>(Y * 8))});
    }
}

// CB xxyyyzzz: rotations and shifts (x = 0), BIT, RES, SET.
std::string TZ80Mnm::DecodeCB()
{
    Fetch();
    if (X == 0)
        return Join({Rot[Y], R[Z]});
    return Join({BitOp[X], BitNumber(Y), ",", R[Z]});
}

// DD CB d xxyyyzzz: every form works on (IX+d); z other than 6 also copies
// the result into r[z], which is never substituted. BIT copies nothing.
std::string TZ80Mnm::DecodeIndexedCB()
{
    Fetch(true);
    const std::string operand = SubstIndexReg("(HL)");
    ++Address;  // past the opcode, read ahead of the displacement
    const bool copies = Z != 6 && X != 1;
    if (X == 0)
        return copies ? Join({Rot[Y], operand, ",", R[Z]}) : Join({Rot[Y], operand});
    if (!copies)
        return Join({BitOp[X], BitNumber(Y), ",", operand});
    return Join({BitOp[X], BitNumber(Y), ",", operand, ",", R[Z]});
}

// ED xxyyyzzz: x = 1 the assorted page with its mirrors, x = 2 the block
// instructions; every other opcode does nothing.
std::string TZ80Mnm::DecodeED()
{
    IndexMode = 0;
    Fetch();
    if (X == 2)
        return Y >= 4 && Z <= 3 ? std::string(Block[Y - 4][Z]) : "NOP";
    if (X != 1)
        return "NOP";
    switch (Z) {
    case 0:
        return Y == 6 ? "IN (C)" : Join({"IN ", R[Y], ",(C)"});
    case 1:
        return Y == 6 ? "OUT (C),0" : Join({"OUT (C),", R[Y]});
    case 2:
        return Join({Q ? "ADC HL," : "SBC HL,", Rp[P]});
    case 3:
        if (!Q)
            return Join({"LD (", ImmediateWord(), "),", Rp[P]});
        return Join({"LD ", Rp[P], ",(", ImmediateWord(), ")"});
    case 4:
        return "NEG";
    case 5:
        return Y == 1 ? "RETI" : "RETN";
    case 6:
        return Join({"IM ", Im[Y & 3]});
    default:
        return std::string(EdMisc[Y]);
    }
}
