#include "tools/Quick_asm.h"

#include "tools/Expression.h"

#include <limits>

TQuickAsm g_QuickAsm;

namespace {

using enum TQuickAsm::TQAKeyword;

// ---------------------------------------------------------------------------
// The pattern language
//
// A pattern is its operand items (matched against the tokens from left to
// right, the mnemonic first), a size marker Size1..Size4, that many base
// bytes (the operand fields are ORed into them) and End. Items are one byte,
// or two for the items that place a field at a position At(code byte, shift):
//
//   1..169            a keyword, by its id
//   Word(i)           16-bit operand expression, low byte into code byte i
//   Disp(i)           index displacement (negated after a "-" sign item)
//   Byte(i)           8-bit operand expression
//   sub-table, At()   a keyword listed in the sub-table; its code, shifted,
//                     is ORed into the code byte
//   Sign              "+" or "-" before a displacement
//   ImMode            0, 1, 2 of IM
//   BitNumber, At()   0..7 of BIT/SET/RES
//   Relative          the target of JR/DJNZ, one number token
//   Restart           the address of RST, 0x00..0x38 in steps of 8
//   Zero              the literal 0 of OUT (C),0
// ---------------------------------------------------------------------------

constexpr u8 WordItem = 170;
constexpr u8 DispItem = 180;
constexpr u8 ByteItem = 190;
constexpr u8 Word(int codeByte) { return static_cast<u8>(WordItem + codeByte); }
constexpr u8 Disp(int codeByte) { return static_cast<u8>(DispItem + codeByte); }
constexpr u8 Byte(int codeByte) { return static_cast<u8>(ByteItem + codeByte); }
constexpr u8 At(int codeByte, int shift) { return static_cast<u8>(8 * codeByte + shift); }

// Sub-tables and the special items among their numbers.
constexpr u8 Reg8 = 200;        // A B C D E H L
constexpr u8 IndexReg = 201;    // IX IY: turns the DD prefix into FD
constexpr u8 Sign = 202;        // + -
constexpr u8 PairSP = 203;      // BC DE HL SP
constexpr u8 PairAF = 204;      // BC DE HL AF
constexpr u8 AluA = 205;        // ADD ADC SBC, written with "A,"
constexpr u8 Alu = 206;         // SUB AND XOR OR CP, written bare
constexpr u8 IncDec = 207;      // INC DEC
constexpr u8 ImMode = 208;
constexpr u8 PairIX = 209;      // BC DE IX SP
constexpr u8 PairIY = 210;      // BC DE IY SP
constexpr u8 Rotate = 211;      // RLC RRC RL RR SLA SRA SLL SRL
constexpr u8 BitNumber = 212;
constexpr u8 BitOp = 213;       // BIT SET RES
constexpr u8 Cond = 214;        // NZ Z NC C PO PE P M
constexpr u8 Relative = 215;
constexpr u8 CondJR = 216;      // NZ Z NC C
constexpr u8 Restart = 217;
constexpr u8 Zero = 218;
constexpr u8 IndexHigh = 219;   // IXH IYH
constexpr u8 IndexLow = 220;    // IXL IYL
constexpr u8 Reg8Low = 221;     // A B C D E: the registers an index half may meet
constexpr u8 IXHalf = 222;      // IXH IXL
constexpr u8 IYHalf = 223;      // IYH IYL
constexpr u8 SetRes = 224;      // SET RES

constexpr u8 SizeMarker = 250;
constexpr u8 Size1 = 251, Size2 = 252, Size3 = 253, Size4 = 254;
constexpr u8 End = 255;

constexpr bool IsSizeMarker(u8 item) { return item >= Size1 && item <= Size4; }

// Items that are followed by a position byte.
constexpr bool HasPosition(u8 item)
{
    return item >= Reg8 && item <= SetRes && item != Sign && item != ImMode && item != Relative &&
           item != Restart && item != Zero;
}

// The instruction patterns, tried in this order: the first match wins, so
// LD HL,(nn) takes its short form (29) before the ED form (30).
constexpr auto Patterns = std::to_array<u8>({
    /*   1 */ LD, Reg8, At(0, 3), Comma, Reg8, At(0, 0),                                     Size1, 0x40, End,
    /*   2 */ LD, Reg8, At(0, 3), Comma, Byte(1),                                            Size2, 0x06, 0x00, End,
    /*   3 */ LD, Reg8, At(0, 3), Comma, Open, HL, Close,                                    Size1, 0x46, End,
    /*   4 */ LD, Reg8, At(1, 3), Comma, Open, IndexReg, At(0, 0), Sign, Disp(2), Close,     Size3, 0xDD, 0x46, 0x00, End,
    /*   5 */ LD, Open, HL, Close, Comma, Reg8, At(0, 0),                                    Size1, 0x70, End,
    /*   6 */ LD, Open, IndexReg, At(0, 0), Sign, Disp(2), Close, Comma, Reg8, At(1, 0),     Size3, 0xDD, 0x70, 0x00, End,
    /*   7 */ LD, Open, HL, Close, Comma, Byte(1),                                           Size2, 0x36, 0x00, End,
    /*   8 */ LD, Open, IndexReg, At(0, 0), Sign, Disp(2), Close, Comma, Byte(3),            Size4, 0xDD, 0x36, 0x00, 0x00, End,
    /*   9 */ LD, A, Comma, Open, BC, Close,                                                 Size1, 0x0A, End,
    /*  10 */ LD, A, Comma, Open, DE, Close,                                                 Size1, 0x1A, End,
    /*  11 */ LD, A, Comma, Open, Word(1), Close,                                            Size3, 0x3A, 0x00, 0x00, End,
    /*  12 */ LD, Open, BC, Close, Comma, A,                                                 Size1, 0x02, End,
    /*  13 */ LD, Open, DE, Close, Comma, A,                                                 Size1, 0x12, End,
    /*  14 */ LD, Open, Word(1), Close, Comma, A,                                            Size3, 0x32, 0x00, 0x00, End,
    /*  15 */ LD, A, Comma, I,                                                               Size2, 0xED, 0x57, End,
    /*  16 */ LD, A, Comma, R,                                                               Size2, 0xED, 0x5F, End,
    /*  17 */ LD, I, Comma, A,                                                               Size2, 0xED, 0x47, End,
    /*  18 */ LD, R, Comma, A,                                                               Size2, 0xED, 0x4F, End,
    /*  19 */ LD, IndexHigh, At(0, 0), Comma, Byte(2),                                       Size3, 0xDD, 0x26, 0x00, End,
    /*  20 */ LD, IndexLow, At(0, 0), Comma, Byte(2),                                        Size3, 0xDD, 0x2E, 0x00, End,
    /*  21 */ LD, Reg8Low, At(1, 3), Comma, IndexHigh, At(0, 0),                             Size2, 0xDD, 0x44, End,
    /*  22 */ LD, Reg8Low, At(1, 3), Comma, IndexLow, At(0, 0),                              Size2, 0xDD, 0x45, End,
    /*  23 */ LD, IndexHigh, At(0, 0), Comma, Reg8Low, At(1, 0),                             Size2, 0xDD, 0x60, End,
    /*  24 */ LD, IndexLow, At(0, 0), Comma, Reg8Low, At(1, 0),                              Size2, 0xDD, 0x68, End,
    /*  25 */ LD, IXHalf, At(1, 3), Comma, IXHalf, At(1, 0),                                 Size2, 0xDD, 0x40, End,
    /*  26 */ LD, IYHalf, At(1, 3), Comma, IYHalf, At(1, 0),                                 Size2, 0xFD, 0x40, End,
    /*  27 */ LD, PairSP, At(0, 4), Comma, Word(1),                                          Size3, 0x01, 0x00, 0x00, End,
    /*  28 */ LD, IndexReg, At(0, 0), Comma, Word(2),                                        Size4, 0xDD, 0x21, 0x00, 0x00, End,
    /*  29 */ LD, HL, Comma, Open, Word(1), Close,                                           Size3, 0x2A, 0x00, 0x00, End,
    /*  30 */ LD, PairSP, At(1, 4), Comma, Open, Word(2), Close,                             Size4, 0xED, 0x4B, 0x00, 0x00, End,
    /*  31 */ LD, IndexReg, At(0, 0), Comma, Open, Word(2), Close,                           Size4, 0xDD, 0x2A, 0x00, 0x00, End,
    /*  32 */ LD, Open, Word(1), Close, Comma, HL,                                           Size3, 0x22, 0x00, 0x00, End,
    /*  33 */ LD, Open, Word(2), Close, Comma, PairSP, At(1, 4),                             Size4, 0xED, 0x43, 0x00, 0x00, End,
    /*  34 */ LD, Open, Word(2), Close, Comma, IndexReg, At(0, 0),                           Size4, 0xDD, 0x22, 0x00, 0x00, End,
    /*  35 */ LD, SP, Comma, HL,                                                             Size1, 0xF9, End,
    /*  36 */ LD, SP, Comma, IndexReg, At(0, 0),                                             Size2, 0xDD, 0xF9, End,
    /*  37 */ PUSH, PairAF, At(0, 4),                                                        Size1, 0xC5, End,
    /*  38 */ PUSH, IndexReg, At(0, 0),                                                      Size2, 0xDD, 0xE5, End,
    /*  39 */ POP, PairAF, At(0, 4),                                                         Size1, 0xC1, End,
    /*  40 */ POP, IndexReg, At(0, 0),                                                       Size2, 0xDD, 0xE1, End,
    /*  41 */ EX, DE, Comma, HL,                                                             Size1, 0xEB, End,
    /*  42 */ EX, AF, Comma, AF_,                                                            Size1, 0x08, End,
    /*  43 */ EXX,                                                                           Size1, 0xD9, End,
    /*  44 */ EX, Open, SP, Close, Comma, HL,                                                Size1, 0xE3, End,
    /*  45 */ EX, Open, SP, Close, Comma, IndexReg, At(0, 0),                                Size2, 0xDD, 0xE3, End,
    /*  46 */ LDI,                                                                           Size2, 0xED, 0xA0, End,
    /*  47 */ LDIR,                                                                          Size2, 0xED, 0xB0, End,
    /*  48 */ LDD,                                                                           Size2, 0xED, 0xA8, End,
    /*  49 */ LDDR,                                                                          Size2, 0xED, 0xB8, End,
    /*  50 */ CPI,                                                                           Size2, 0xED, 0xA1, End,
    /*  51 */ CPIR,                                                                          Size2, 0xED, 0xB1, End,
    /*  52 */ CPD,                                                                           Size2, 0xED, 0xA9, End,
    /*  53 */ CPDR,                                                                          Size2, 0xED, 0xB9, End,
    /*  54 */ AluA, At(0, 3), A, Comma, Reg8, At(0, 0),                                      Size1, 0x80, End,
    /*  55 */ AluA, At(0, 3), A, Comma, Byte(1),                                             Size2, 0xC6, 0x00, End,
    /*  56 */ AluA, At(0, 3), A, Comma, Open, HL, Close,                                     Size1, 0x86, End,
    /*  57 */ AluA, At(1, 3), A, Comma, Open, IndexReg, At(0, 0), Sign, Disp(2), Close,      Size3, 0xDD, 0x86, 0x00, End,
    /*  58 */ Alu, At(0, 3), Reg8, At(0, 0),                                                 Size1, 0x80, End,
    /*  59 */ Alu, At(0, 3), Byte(1),                                                        Size2, 0xC6, 0x00, End,
    /*  60 */ Alu, At(0, 3), Open, HL, Close,                                                Size1, 0x86, End,
    /*  61 */ Alu, At(1, 3), Open, IndexReg, At(0, 0), Sign, Disp(2), Close,                 Size3, 0xDD, 0x86, 0x00, End,
    /*  62 */ IncDec, At(0, 0), Reg8, At(0, 3),                                              Size1, 0x04, End,
    /*  63 */ IncDec, At(0, 0), Open, HL, Close,                                             Size1, 0x34, End,
    /*  64 */ IncDec, At(1, 0), Open, IndexReg, At(0, 0), Sign, Disp(2), Close,              Size3, 0xDD, 0x34, 0x00, End,
    /*  65 */ IncDec, At(1, 0), IndexHigh, At(0, 0),                                         Size2, 0xDD, 0x24, End,
    /*  66 */ IncDec, At(1, 0), IndexLow, At(0, 0),                                          Size2, 0xDD, 0x2C, End,
    /*  67 */ AluA, At(1, 3), A, Comma, IXHalf, At(1, 0),                                    Size2, 0xDD, 0x80, End,
    /*  68 */ Alu, At(1, 3), IXHalf, At(1, 0),                                               Size2, 0xDD, 0x80, End,
    /*  69 */ AluA, At(1, 3), A, Comma, IYHalf, At(1, 0),                                    Size2, 0xFD, 0x80, End,
    /*  70 */ Alu, At(1, 3), IYHalf, At(1, 0),                                               Size2, 0xFD, 0x80, End,
    /*  71 */ DAA,                                                                           Size1, 0x27, End,
    /*  72 */ CPL,                                                                           Size1, 0x2F, End,
    /*  73 */ NEG,                                                                           Size2, 0xED, 0x44, End,
    /*  74 */ CCF,                                                                           Size1, 0x3F, End,
    /*  75 */ SCF,                                                                           Size1, 0x37, End,
    /*  76 */ NOP,                                                                           Size1, 0x00, End,
    /*  77 */ HALT,                                                                          Size1, 0x76, End,
    /*  78 */ DI,                                                                            Size1, 0xF3, End,
    /*  79 */ EI,                                                                            Size1, 0xFB, End,
    /*  80 */ IM, ImMode,                                                                    Size2, 0xED, 0x46, End,
    /*  81 */ ADD, HL, Comma, PairSP, At(0, 4),                                              Size1, 0x09, End,
    /*  82 */ ADC, HL, Comma, PairSP, At(1, 4),                                              Size2, 0xED, 0x4A, End,
    /*  83 */ SBC, HL, Comma, PairSP, At(1, 4),                                              Size2, 0xED, 0x42, End,
    /*  84 */ ADD, IX, Comma, PairIX, At(1, 4),                                              Size2, 0xDD, 0x09, End,
    /*  85 */ ADD, IY, Comma, PairIY, At(1, 4),                                              Size2, 0xFD, 0x09, End,
    /*  86 */ IncDec, At(0, 3), PairSP, At(0, 4),                                            Size1, 0x03, End,
    /*  87 */ IncDec, At(1, 3), IndexReg, At(0, 0),                                          Size2, 0xDD, 0x23, End,
    /*  88 */ RLCA,                                                                          Size1, 0x07, End,
    /*  89 */ RLA,                                                                           Size1, 0x17, End,
    /*  90 */ RRCA,                                                                          Size1, 0x0F, End,
    /*  91 */ RRA,                                                                           Size1, 0x1F, End,
    /*  92 */ Rotate, At(1, 3), Reg8, At(1, 0),                                              Size2, 0xCB, 0x00, End,
    /*  93 */ Rotate, At(1, 3), Open, HL, Close,                                             Size2, 0xCB, 0x06, End,
    /*  94 */ Rotate, At(3, 3), Open, IndexReg, At(0, 0), Sign, Disp(2), Close,              Size4, 0xDD, 0xCB, 0x00, 0x06, End,
    /*  95 */ RLD,                                                                           Size2, 0xED, 0x6F, End,
    /*  96 */ RRD,                                                                           Size2, 0xED, 0x67, End,
    /*  97 */ Rotate, At(3, 3), Open, IndexReg, At(0, 0), Sign, Disp(2), Close, Comma, Reg8, At(3, 0),
                                                                                             Size4, 0xDD, 0xCB, 0x00, 0x00, End,
    /*  98 */ BitOp, At(1, 6), BitNumber, At(1, 3), Comma, Reg8, At(1, 0),                   Size2, 0xCB, 0x00, End,
    /*  99 */ BitOp, At(1, 6), BitNumber, At(1, 3), Comma, Open, HL, Close,                  Size2, 0xCB, 0x06, End,
    /* 100 */ BitOp, At(3, 6), BitNumber, At(3, 3), Comma, Open, IndexReg, At(0, 0), Sign, Disp(2), Close,
                                                                                             Size4, 0xDD, 0xCB, 0x00, 0x06, End,
    /* 101 */ SetRes, At(3, 6), BitNumber, At(3, 3), Comma, Open, IndexReg, At(0, 0), Sign, Disp(2), Close,
              Comma, Reg8, At(3, 0),                                                         Size4, 0xDD, 0xCB, 0x00, 0x00, End,
    /* 102 */ JP, Word(1),                                                                   Size3, 0xC3, 0x00, 0x00, End,
    /* 103 */ JP, Cond, At(0, 3), Comma, Word(1),                                            Size3, 0xC2, 0x00, 0x00, End,
    /* 104 */ JR, Relative,                                                                  Size2, 0x18, 0x00, End,
    /* 105 */ JR, CondJR, At(0, 3), Comma, Relative,                                         Size2, 0x20, 0x00, End,
    /* 106 */ JP, Open, HL, Close,                                                           Size1, 0xE9, End,
    /* 107 */ JP, Open, IndexReg, At(0, 0), Close,                                           Size2, 0xDD, 0xE9, End,
    /* 108 */ DJNZ, Relative,                                                                Size2, 0x10, 0x00, End,
    /* 109 */ CALL, Word(1),                                                                 Size3, 0xCD, 0x00, 0x00, End,
    /* 110 */ CALL, Cond, At(0, 3), Comma, Word(1),                                          Size3, 0xC4, 0x00, 0x00, End,
    /* 111 */ RET,                                                                           Size1, 0xC9, End,
    /* 112 */ RET, Cond, At(0, 3),                                                           Size1, 0xC0, End,
    /* 113 */ RETI,                                                                          Size2, 0xED, 0x4D, End,
    /* 114 */ RETN,                                                                          Size2, 0xED, 0x45, End,
    /* 115 */ RST, Restart,                                                                  Size1, 0xC7, End,
    /* 116 */ IN, A, Comma, Open, Byte(1), Close,                                            Size2, 0xDB, 0x00, End,
    /* 117 */ IN, Reg8, At(1, 3), Comma, Open, C, Close,                                     Size2, 0xED, 0x40, End,
    /* 118 */ INI,                                                                           Size2, 0xED, 0xA2, End,
    /* 119 */ INIR,                                                                          Size2, 0xED, 0xB2, End,
    /* 120 */ IND,                                                                           Size2, 0xED, 0xAA, End,
    /* 121 */ INDR,                                                                          Size2, 0xED, 0xBA, End,
    /* 122 */ OUT, Open, Byte(1), Close, Comma, A,                                           Size2, 0xD3, 0x00, End,
    /* 123 */ OUT, Open, C, Close, Comma, Reg8, At(1, 3),                                    Size2, 0xED, 0x41, End,
    /* 124 */ OUTI,                                                                          Size2, 0xED, 0xA3, End,
    /* 125 */ OTIR,                                                                          Size2, 0xED, 0xB3, End,
    /* 126 */ OUTD,                                                                          Size2, 0xED, 0xAB, End,
    /* 127 */ OTDR,                                                                          Size2, 0xED, 0xBB, End,
    /* 128 */ IN, Open, C, Close,                                                            Size2, 0xED, 0x70, End,
    /* 129 */ IN, F, Comma, Open, C, Close,                                                  Size2, 0xED, 0x70, End,
    /* 130 */ OUT, Open, C, Close, Comma, Zero,                                              Size2, 0xED, 0x71, End,
    End,
});

// Walks the table as the encoder does and checks what the encoder relies on:
// every pattern is items, a size marker, exactly that many base bytes and
// End; every field lands inside the instruction; the table ends with End.
consteval bool WellFormed()
{
    size_t at = 0;
    size_t patterns = 0;
    while (Patterns[at] != End) {
        size_t marker = at;
        while (!IsSizeMarker(Patterns[marker])) {
            const u8 item = Patterns[marker];
            if (item == 0 || item == End || (item > SetRes && item < Size1))
                return false;
            marker += HasPosition(item) ? 2 : 1;
        }
        const size_t size = Patterns[marker] - SizeMarker;
        for (size_t item = at; item < marker; item += HasPosition(Patterns[item]) ? 2 : 1) {
            const u8 kind = Patterns[item];
            if (kind >= WordItem && kind < DispItem && kind - WordItem + 2u > size)
                return false;
            if (kind >= DispItem && kind < ByteItem && kind - DispItem + 1u > size)
                return false;
            if (kind >= ByteItem && kind < Reg8 && kind - ByteItem + 1u > size)
                return false;
            if (HasPosition(kind) && (Patterns[item + 1] >> 3) + 1u > size)
                return false;
        }
        for (size_t k = 1; k <= size; ++k)
            if (Patterns[marker + k] == End)
                return false;
        if (Patterns[marker + size + 1] != End)
            return false;
        at = marker + size + 2;
        ++patterns;
    }
    return patterns == TQuickAsm::PatternCount && at + 1 == Patterns.size();
}

static_assert(Patterns.size() == TQuickAsm::PatternTableSize);
static_assert(WellFormed());

// ---------------------------------------------------------------------------
// Operand sub-tables: keyword id and the code it puts into the instruction.
// ---------------------------------------------------------------------------

struct TOperandCode {
    u8 Id;
    u8 Code;
};

constexpr TOperandCode Reg8Codes[] = {{A, 7}, {B, 0}, {C, 1}, {D, 2}, {E, 3}, {H, 4}, {L, 5}};
constexpr TOperandCode IndexRegCodes[] = {{IX, 0x00}, {IY, 0x20}};
constexpr TOperandCode SignCodes[] = {{Plus, 0}, {Minus, 1}};
constexpr TOperandCode PairSPCodes[] = {{BC, 0}, {DE, 1}, {HL, 2}, {SP, 3}};
constexpr TOperandCode PairAFCodes[] = {{BC, 0}, {DE, 1}, {HL, 2}, {AF, 3}};
constexpr TOperandCode AluACodes[] = {{ADD, 0}, {ADC, 1}, {SBC, 3}};
constexpr TOperandCode AluCodes[] = {{SUB, 2}, {AND, 4}, {XOR, 5}, {OR, 6}, {CP, 7}};
constexpr TOperandCode IncDecCodes[] = {{INC, 0}, {DEC, 1}};
constexpr TOperandCode PairIXCodes[] = {{BC, 0}, {DE, 1}, {IX, 2}, {SP, 3}};
constexpr TOperandCode PairIYCodes[] = {{BC, 0}, {DE, 1}, {IY, 2}, {SP, 3}};
constexpr TOperandCode RotateCodes[] = {{RLC, 0}, {RRC, 1}, {RL, 2}, {RR, 3},
                                        {SLA, 4}, {SRA, 5}, {SLL, 6}, {SRL, 7}};
constexpr TOperandCode BitOpCodes[] = {{BIT, 1}, {SET, 3}, {RES, 2}};
constexpr TOperandCode CondCodes[] = {{NZ, 0}, {Z, 1}, {NC, 2}, {C, 3}, {PO, 4}, {PE, 5}, {P, 6}, {M, 7}};
constexpr TOperandCode CondJRCodes[] = {{NZ, 0}, {Z, 1}, {NC, 2}, {C, 3}};
constexpr TOperandCode IndexHighCodes[] = {{IXH, 0x00}, {IYH, 0x20}};
constexpr TOperandCode IndexLowCodes[] = {{IXL, 0x00}, {IYL, 0x20}};
constexpr TOperandCode Reg8LowCodes[] = {{A, 7}, {B, 0}, {C, 1}, {D, 2}, {E, 3}};
constexpr TOperandCode IXHalfCodes[] = {{IXH, 4}, {IXL, 5}};
constexpr TOperandCode IYHalfCodes[] = {{IYH, 4}, {IYL, 5}};
constexpr TOperandCode SetResCodes[] = {{SET, 3}, {RES, 2}};

std::span<const TOperandCode> SubTable(i32 number)
{
    switch (number) {
    case Reg8: return Reg8Codes;
    case IndexReg: return IndexRegCodes;
    case Sign: return SignCodes;
    case PairSP: return PairSPCodes;
    case PairAF: return PairAFCodes;
    case AluA: return AluACodes;
    case Alu: return AluCodes;
    case IncDec: return IncDecCodes;
    case PairIX: return PairIXCodes;
    case PairIY: return PairIYCodes;
    case Rotate: return RotateCodes;
    case BitOp: return BitOpCodes;
    case Cond: return CondCodes;
    case CondJR: return CondJRCodes;
    case IndexHigh: return IndexHighCodes;
    case IndexLow: return IndexLowCodes;
    case Reg8Low: return Reg8LowCodes;
    case IXHalf: return IXHalfCodes;
    case IYHalf: return IYHalfCodes;
    case SetRes: return SetResCodes;
    default: return {};
    }
}

// ---------------------------------------------------------------------------
// Keywords
// ---------------------------------------------------------------------------

struct TKeywordEntry {
    const char* Text;
    TQuickAsm::TQAKind Kind;
    u8 Id;
};

constexpr TQuickAsm::TQAKind Mnemonic = TQuickAsm::KindMnemonic;
constexpr TQuickAsm::TQAKind Register = TQuickAsm::KindRegister;
constexpr TQuickAsm::TQAKind Pair = TQuickAsm::KindPair;
constexpr TQuickAsm::TQAKind Condition = TQuickAsm::KindCondition;
constexpr TQuickAsm::TQAKind Punctuation = TQuickAsm::KindPunctuation;
constexpr TQuickAsm::TQAKind Operator = TQuickAsm::KindOperator;

constexpr TKeywordEntry KeywordEntries[] = {
    {"LD", Mnemonic, LD}, {"PUSH", Mnemonic, PUSH}, {"POP", Mnemonic, POP}, {"EX", Mnemonic, EX},
    {"EXX", Mnemonic, EXX}, {"LDI", Mnemonic, LDI}, {"LDIR", Mnemonic, LDIR}, {"LDD", Mnemonic, LDD},
    {"LDDR", Mnemonic, LDDR}, {"CPI", Mnemonic, CPI}, {"CPIR", Mnemonic, CPIR}, {"CPD", Mnemonic, CPD},
    {"CPDR", Mnemonic, CPDR}, {"ADD", Mnemonic, ADD}, {"ADC", Mnemonic, ADC}, {"SUB", Mnemonic, SUB},
    {"SBC", Mnemonic, SBC}, {"AND", Mnemonic, AND}, {"OR", Mnemonic, OR}, {"XOR", Mnemonic, XOR},
    {"CP", Mnemonic, CP}, {"INC", Mnemonic, INC}, {"DEC", Mnemonic, DEC}, {"DAA", Mnemonic, DAA},
    {"CPL", Mnemonic, CPL}, {"NEG", Mnemonic, NEG}, {"CCF", Mnemonic, CCF}, {"NOP", Mnemonic, NOP},
    {"HALT", Mnemonic, HALT}, {"DI", Mnemonic, DI}, {"EI", Mnemonic, EI}, {"IM", Mnemonic, IM},
    {"RLCA", Mnemonic, RLCA}, {"RLA", Mnemonic, RLA}, {"RRCA", Mnemonic, RRCA}, {"RRA", Mnemonic, RRA},
    {"RLC", Mnemonic, RLC}, {"RL", Mnemonic, RL}, {"RRC", Mnemonic, RRC}, {"RR", Mnemonic, RR},
    {"SLA", Mnemonic, SLA}, {"SRA", Mnemonic, SRA}, {"SRL", Mnemonic, SRL}, {"RLD", Mnemonic, RLD},
    {"RRD", Mnemonic, RRD}, {"BIT", Mnemonic, BIT}, {"SET", Mnemonic, SET}, {"RES", Mnemonic, RES},
    {"JP", Mnemonic, JP}, {"JR", Mnemonic, JR}, {"DJNZ", Mnemonic, DJNZ}, {"CALL", Mnemonic, CALL},
    {"RET", Mnemonic, RET}, {"RETI", Mnemonic, RETI}, {"RETN", Mnemonic, RETN}, {"RST", Mnemonic, RST},
    {"IN", Mnemonic, IN}, {"INI", Mnemonic, INI}, {"INIR", Mnemonic, INIR}, {"IND", Mnemonic, IND},
    {"INDR", Mnemonic, INDR}, {"OUT", Mnemonic, OUT}, {"OUTI", Mnemonic, OUTI}, {"OTIR", Mnemonic, OTIR},
    {"OUTD", Mnemonic, OUTD}, {"OTDR", Mnemonic, OTDR}, {"SCF", Mnemonic, SCF}, {"SLL", Mnemonic, SLL},

    {"A", Register, A}, {"B", Register, B}, {"C", Register, C}, {"D", Register, D},
    {"E", Register, E}, {"H", Register, H}, {"L", Register, L}, {"I", Register, I},
    {"R", Register, R}, {"IXH", Register, IXH}, {"XH", Register, IXH}, {"IXL", Register, IXL},
    {"XL", Register, IXL}, {"IYH", Register, IYH}, {"YH", Register, IYH}, {"IYL", Register, IYL},
    {"YL", Register, IYL}, {"F", Register, F},

    {"AF", Pair, AF}, {"BC", Pair, BC}, {"DE", Pair, DE}, {"HL", Pair, HL},
    {"SP", Pair, SP}, {"IX", Pair, IX}, {"IY", Pair, IY}, {"AF'", Pair, AF_},

    {"NZ", Condition, NZ}, {"Z", Condition, Z}, {"NC", Condition, NC}, {"PO", Condition, PO},
    {"PE", Condition, PE}, {"P", Condition, P}, {"M", Condition, M},

    {",", Punctuation, Comma}, {"(", Punctuation, Open}, {")", Punctuation, Close},

    {"+", Operator, Plus}, {"-", Operator, Minus}, {"&", Operator, Amp}, {"|", Operator, Bar},
    {"^", Operator, Caret}, {"*", Operator, Star}, {"/", Operator, Slash},
};

static_assert(std::size(KeywordEntries) == 111);

// The characters that end a word and are words of their own.
bool IsSingleCharWord(char ch)
{
    switch (ch) {
    case '&': case '(': case ')': case '*': case '+': case ',': case '-': case '/': case '^': case '|':
        return true;
    default:
        return false;
    }
}

std::string UpperAscii(const std::string& text)
{
    std::string upper = text;
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    return upper;
}

// Operand arithmetic: signed 32-bit values combined with wrap-around, never a
// trap. Division by zero is the one operation without a value.
i32 Combine(i32 left, i32 op, i32 right)
{
    const u32 l = static_cast<u32>(left);
    const u32 r = static_cast<u32>(right);
    switch (op) {
    case Plus: return static_cast<i32>(l + r);
    case Minus: return static_cast<i32>(l - r);
    case Amp: return static_cast<i32>(l & r);
    case Bar: return static_cast<i32>(l | r);
    case Caret: return static_cast<i32>(l ^ r);
    case Star: return static_cast<i32>(l * r);
    case Slash:
        if (right == 0)
            throw TQuickAsm::TQAError{TQuickAsm::ErrBadExpression};
        if (left == std::numeric_limits<i32>::min() && right == -1)
            return left;    // the wrapped quotient
        return left / right;
    default:
        throw TQuickAsm::TQAError{TQuickAsm::ErrBadExpression};
    }
}

i32 Negate(i32 value) { return static_cast<i32>(0u - static_cast<u32>(value)); }

[[noreturn]] void Fail(i32 code) { throw TQuickAsm::TQAError{code}; }

} // namespace

// ---------------------------------------------------------------------------
// Front end
// ---------------------------------------------------------------------------

TQuickAsm::TQuickAsm()
{
    for (const TKeywordEntry& entry : KeywordEntries)
        Keywords[entry.Text] = TQAToken{entry.Kind, entry.Id};
}

std::span<const u8> TQuickAsm::PatternTable() { return Patterns; }

u8 TQuickAsm::LookupOperand(i32 id, i32 subTable)
{
    for (const TOperandCode& entry : SubTable(subTable))
        if (entry.Id == id)
            return entry.Code;
    return 255;
}

const TQAResult* TQuickAsm::Assemble(u16 address, const std::string& text)
{
    Result.Error = 0;
    Address = address;
    Line = UpperAscii(text);
    try {
        Tokenize();
        Encode();
    } catch (const TQAError& error) {
        SetError(error.Code);
    }
    return &Result;
}

void TQuickAsm::Tokenize()
{
    TokenCount = 0;
    std::string word;
    const auto flush = [&] {
        if (!word.empty()) {
            AddToken(word);
            word.clear();
        }
    };
    for (const char ch : Line) {
        if (ch == ' ') {
            flush();
        } else if (IsSingleCharWord(ch)) {
            flush();
            AddToken(std::string(1, ch));
        } else {
            word += ch;
        }
    }
    flush();
}

void TQuickAsm::AddToken(const std::string& word)
{
    if (TokenCount == MaxTokens)
        Fail(ErrTooManyTokens);
    const auto keyword = Keywords.find(word);
    Tokens[TokenCount] = keyword != Keywords.end() ? keyword->second : ConstantToken(word);
    ++TokenCount;
}

TQuickAsm::TQAToken TQuickAsm::ConstantToken(const std::string& word) const
{
    const void* value = g_Expression ? g_Expression->Evaluate(word, 2, Address) : nullptr;
    if (!value)
        Fail(ErrUnknownToken);
    return TQAToken{KindNumber, static_cast<i32>(*static_cast<const u32*>(value))};
}

void TQuickAsm::SetError(i32 code)
{
    Result.Error = 1;
    switch (code) {
    case ErrTooManyTokens: Result.Message = "Too many tokens in string!"; break;
    case ErrUnknownToken: Result.Message = "Unknown token or invalid constant!"; break;
    case ErrNoCommand: Result.Message = "Please, input command!"; break;
    case ErrNeedMnemonic: Result.Message = "Need assembler mnemonic!"; break;
    case ErrBadArguments: Result.Message = "Invalid instruction arguments!"; break;
    case ErrNeedByte: Result.Message = "Expression too large! Need byte."; break;
    case ErrBadExpression: Result.Message = "Invalid expression!"; break;
    case ErrBadConstant: Result.Message = "Invalid constant in expression!"; break;
    case ErrBadOffset: Result.Message = "Invalid offset in indexing!"; break;
    case ErrNeedWord: Result.Message = "Expression too large! Need word."; break;
    case ErrJumpTooLong: Result.Message = "Near jump is too long!"; break;
    default: Result.Message = "Unknown error!"; break;
    }
}

// ---------------------------------------------------------------------------
// Encoder
// ---------------------------------------------------------------------------

void TQuickAsm::Encode()
{
    if (TokenCount == 0)
        Fail(ErrNoCommand);
    if (Tokens[0].Kind != KindMnemonic)
        Fail(ErrNeedMnemonic);
    size_t start = 0;
    while (Patterns[start] != End) {
        if (TryPattern(start))
            return;
        while (Patterns[start] != End)
            ++start;
        ++start;
    }
    Fail(ErrBadArguments);
}

void TQuickAsm::ClearCode() { Code.fill(0); }

// Matches every token against the pattern at start; on a match the base
// bytes are ORed in and the instruction becomes the result.
bool TQuickAsm::TryPattern(size_t start)
{
    ClearCode();
    size_t at = start;
    bool minus = false;
    for (int t = 0; t < TokenCount; ++t) {
        if (IsSizeMarker(Patterns[at]))
            return false;   // tokens left over
        if (!MatchItem(at, t, minus))
            return false;
    }
    if (!IsSizeMarker(Patterns[at]))
        return false;       // the pattern wants more
    const u8 size = Patterns[at] - SizeMarker;
    for (u8 k = 0; k < size; ++k)
        Code[k] |= Patterns[at + 1 + k];
    Result.Size = size;
    Result.Code = Code;
    return true;
}

// Matches the item at `at` against the token at t and advances `at` past
// the item. An operand expression leaves t on its last token. False means
// "try the next pattern"; a value out of range throws.
bool TQuickAsm::MatchItem(size_t& at, int& t, bool& minus)
{
    const u8 item = Patterns[at++];
    const TQAToken& token = Tokens[t];
    const bool isNumber = token.Kind == KindNumber;
    const bool startsOperand = isNumber || token.Kind == KindOperator;

    if (item < WordItem)
        return !isNumber && token.Value == item;

    if (item < DispItem) {
        if (!startsOperand)
            return false;
        const i32 value = EvalOperand(t);
        if (value < -32768 || value > 65535)
            Fail(ErrNeedWord);
        const int index = item - WordItem;
        Code[index] |= static_cast<u8>(value);
        Code[index + 1] |= static_cast<u8>(value >> 8);
        return true;
    }

    if (item < ByteItem) {
        if (!startsOperand)
            return false;
        i32 value = EvalOperand(t);
        if (minus)
            value = Negate(value);
        if (value < -128 || value > 127)
            Fail(ErrBadOffset);
        Code[item - DispItem] |= static_cast<u8>(value);
        return true;
    }

    if (item < Reg8) {
        if (!startsOperand)
            return false;
        const i32 value = EvalOperand(t);
        if (value < -128 || value > 255)
            Fail(ErrNeedByte);
        Code[item - ByteItem] |= static_cast<u8>(value);
        return true;
    }

    switch (item) {
    case Sign: {
        if (isNumber)
            return false;
        const u8 sign = LookupOperand(token.Value, Sign);
        if (sign == 255)
            return false;
        minus = sign == 1;
        return true;
    }
    case ImMode: {
        if (!isNumber)
            return false;
        constexpr u8 ModeBits[] = {0x00, 0x10, 0x18};
        if (token.Value < 0 || token.Value > 2)
            Fail(ErrBadArguments);
        Code[1] |= ModeBits[token.Value];
        return true;
    }
    case BitNumber: {
        const u8 position = Patterns[at++];
        if (!isNumber)
            return false;
        if (token.Value < 0 || token.Value > 7)
            Fail(ErrBadArguments);
        Code[(position >> 3) & 3] |= static_cast<u8>(token.Value << (position & 7));
        return true;
    }
    case Relative:
        if (!isNumber)
            return false;
        Code[1] |= static_cast<u8>(RelativeOffset(token.Value));
        return true;
    case Restart:
        if (!isNumber || (token.Value & ~0x38) != 0)
            Fail(ErrBadArguments);
        Code[0] |= static_cast<u8>(token.Value);
        return true;
    case Zero:
        if (!isNumber)
            return false;
        if (token.Value != 0)
            Fail(ErrBadArguments);
        return true;
    default:
        break;
    }

    if (HasPosition(item)) {
        const u8 position = Patterns[at++];
        if (isNumber)
            return false;
        const u8 code = LookupOperand(token.Value, item);
        if (code == 255)
            return false;
        Code[(position >> 3) & 3] |= static_cast<u8>(code << (position & 7));
        return true;
    }
    return false;
}

// The offset of a JR/DJNZ target from the instruction after it, taken
// modulo 64K, so that a jump across 0xFFFF/0x0000 is as near as it looks.
i32 TQuickAsm::RelativeOffset(i32 target) const
{
    if (target < -32768 || target > 65535)
        Fail(ErrBadArguments);
    i32 offset = target - ((Address + 2) & 0xFFFF);
    if (offset > 32767)
        offset -= 65536;
    else if (offset < -32768)
        offset += 65536;
    if (offset < -128 || offset > 127)
        Fail(ErrJumpTooLong);
    return offset;
}

// term { operator term }, strictly left to right. Ends at the first token
// after a term that is not an operator (a comma, a parenthesis) or at the end
// of the line; t is left on the last term's number token.
i32 TQuickAsm::EvalOperand(int& t) const
{
    i32 value = 0;
    i32 pending = Plus;
    for (;;) {
        value = Combine(value, pending, ParseOperand(t));
        if (t + 1 >= TokenCount || Tokens[t + 1].Kind != KindOperator)
            return value;
        ++t;
        pending = Tokens[t].Value;
        if (t + 1 >= TokenCount)
            Fail(ErrBadExpression);    // the line ends with an operator
        ++t;
    }
}

// One term: an optional "+" or "-" and one number token.
i32 TQuickAsm::ParseOperand(int& t) const
{
    bool negative = false;
    if (Tokens[t].Kind == KindOperator) {
        if (Tokens[t].Value != Plus && Tokens[t].Value != Minus)
            Fail(ErrBadConstant);
        if (t + 1 >= TokenCount)
            Fail(ErrBadConstant);
        negative = Tokens[t].Value == Minus;
        ++t;
    }
    if (Tokens[t].Kind != KindNumber)
        Fail(ErrBadConstant);
    return negative ? Negate(Tokens[t].Value) : Tokens[t].Value;
}
