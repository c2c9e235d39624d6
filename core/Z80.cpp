// The Z80 interpreter. Sections, in order: flag table; flag and ALU
// primitives; instruction shapes; the unprefixed page (with its DD/FD
// forms); the CB page; the ED page; the indexed CB page; Step and
// AcceptInterrupt; construction, reset and the debugger's questions. The bus
// cycles, the only way to memory, ports and the video chip, are inline in
// Z80.h.
//
// The behaviour is the NMOS Z80's, undocumented flags and WZ (MEMPTR)
// included. Every rule below is pinned by the FUSE tests, SingleStepTests
// and the real-hardware DAA table (tests/core/Z80_vectors_test.cpp), unless
// it names another test.
#include "core/Z80.h"

#include "core/Breakpoints.h"
#include "core/Settings.h"

#include <algorithm>
#include <array>

// ---------------------------------------------------------------------------
// Flag table
// ---------------------------------------------------------------------------

namespace {

constexpr bool HasEvenParity(u32 v)
{
    return (std::popcount(v & 0xFF) & 1) == 0;
}

// S, Z, 5, 3 and parity of every byte value.
constexpr std::array<u8, 256> BuildFlagTable()
{
    std::array<u8, 256> table{};
    for (u32 v = 0; v < 256; ++v) {
        u8 f = static_cast<u8>(v & (FlagS | Flag5 | Flag3));
        if (v == 0)
            f |= FlagZ;
        if (HasEvenParity(v))
            f |= FlagPV;
        table[v] = f;
    }
    return table;
}

constexpr std::array<u8, 256> FlagTableValues = BuildFlagTable();

// The opcodes whose DD/FD form has its own case: the memory forms through
// (HL), which become (IX+d)/(IY+d), and CB, which selects the indexed CB page.
constexpr std::array<u8, 256> BuildIndexedForms()
{
    std::array<u8, 256> forms{};
    for (u32 op : {0x34u, 0x35u, 0x36u, 0xCBu})
        forms[op] = 1;
    for (u32 op = 0x40; op < 0xC0; ++op) {
        const bool fromHL = (op & 7) == 6 && op != 0x76;
        const bool toHL = op >= 0x70 && op < 0x78 && op != 0x76;
        if (fromHL || toHL)
            forms[op] = 1;
    }
    return forms;
}

constexpr std::array<u8, 256> IndexedForms = BuildIndexedForms();
static_assert(std::count(IndexedForms.begin(), IndexedForms.end(), 1) == 26);

constexpr u8 FlagsSZP = FlagS | FlagZ | FlagPV;
constexpr u8 Flags53 = Flag5 | Flag3;

} // namespace

bool TZ80::EvenParity(int v)
{
    return HasEvenParity(static_cast<u32>(v));
}

// ---------------------------------------------------------------------------
// Flag and ALU primitives
//
//   instruction         SZ5H3PNC
//   ADD/ADC A,v         ***V*0*   H carry from bit 3, V signed overflow
//   SUB/SBC/CP v        ***V*1*   CP: bits 5 and 3 from v
//   AND v               ***1*P00
//   XOR/OR v            ***0*P00
//   INC v               ***V*0.   V: result 0x80, H: low nibble 0
//   DEC v               ***V*1.   V: operand 0x80, H: operand low nibble 0
//   RLCA RRCA RLA RRA   ..*0*.0*
//   DAA                 ***P.*    H: bit 4 of old A ^ new A; C never cleared
//   CPL                 ..*1*.1.
//   SCF / CCF           ..*0*.0*  5 and 3: ((Q ^ F) | A); CCF: H = old C
//   ADD rr,rr'          ..***.0*  from the high byte; H carry from bit 11
//   ADC/SBC HL,rr       ***V*0/1* 16-bit
//   rotates, shifts     ***0*P0*
//   BIT b,v             ***1*P0.  Z = P = bit clear, S = bit 7 set; 5, 3 from a source below
// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void TZ80::Add8(u8 v)
{
    const u32 a = A();
    const u32 r = a + v;
    SetF(static_cast<u8>(SZ53(static_cast<u8>(r))
        | ((a ^ v ^ r) & FlagH)                  // H
        | (((a ^ ~v) & (a ^ r) & 0x80) >> 5)     // V
        | (r >> 8)));                            // C
    A() = static_cast<u8>(r);
}

[[gnu::always_inline]] inline void TZ80::Adc8(u8 v)
{
    const u32 a = A();
    const u32 r = a + v + (F() & FlagC);
    SetF(static_cast<u8>(SZ53(static_cast<u8>(r))
        | ((a ^ v ^ r) & FlagH)
        | (((a ^ ~v) & (a ^ r) & 0x80) >> 5)
        | (r >> 8)));
    A() = static_cast<u8>(r);
}

[[gnu::always_inline]] inline void TZ80::Sub8(u8 v)
{
    const u32 a = A();
    const u32 r = a - v;
    SetF(static_cast<u8>(SZ53(static_cast<u8>(r))
        | ((a ^ v ^ r) & FlagH)                  // H: borrow from bit 4
        | (((a ^ v) & (a ^ r) & 0x80) >> 5)      // V
        | FlagN
        | ((r >> 8) & FlagC)));                  // C: borrow
    A() = static_cast<u8>(r);
}

[[gnu::always_inline]] inline void TZ80::Sbc8(u8 v)
{
    const u32 a = A();
    const u32 r = a - v - (F() & FlagC);
    SetF(static_cast<u8>(SZ53(static_cast<u8>(r))
        | ((a ^ v ^ r) & FlagH)
        | (((a ^ v) & (a ^ r) & 0x80) >> 5)
        | FlagN
        | ((r >> 8) & FlagC)));
    A() = static_cast<u8>(r);
}

[[gnu::always_inline]] inline void TZ80::Cp8(u8 v)
{
    const u32 a = A();
    const u32 r = a - v;
    SetF(static_cast<u8>((SZ53(static_cast<u8>(r)) & (FlagS | FlagZ))
        | (v & Flags53)                          // 5, 3 of the operand
        | ((a ^ v ^ r) & FlagH)
        | (((a ^ v) & (a ^ r) & 0x80) >> 5)
        | FlagN
        | ((r >> 8) & FlagC)));
}

[[gnu::always_inline]] inline void TZ80::And8(u8 v)
{
    A() &= v;
    SetF(SZ53P(A()) | FlagH);
}

[[gnu::always_inline]] inline void TZ80::Xor8(u8 v)
{
    A() ^= v;
    SetF(SZ53P(A()));
}

[[gnu::always_inline]] inline void TZ80::Or8(u8 v)
{
    A() |= v;
    SetF(SZ53P(A()));
}

[[gnu::always_inline]] inline u8 TZ80::Inc8(u8 v)
{
    const u8 r = static_cast<u8>(v + 1);
    SetF(static_cast<u8>((F() & FlagC)
        | SZ53(r)
        | (r == 0x80 ? FlagPV : 0)
        | ((r & 0x0F) == 0 ? FlagH : 0)));
    return r;
}

[[gnu::always_inline]] inline u8 TZ80::Dec8(u8 v)
{
    const u8 r = static_cast<u8>(v - 1);
    SetF(static_cast<u8>((F() & FlagC)
        | SZ53(r)
        | (v == 0x80 ? FlagPV : 0)
        | ((v & 0x0F) == 0 ? FlagH : 0)
        | FlagN));
    return r;
}

inline void TZ80::Rlca()
{
    const u8 a = static_cast<u8>(A() << 1 | A() >> 7);
    A() = a;
    SetF(static_cast<u8>((F() & FlagsSZP) | (a & Flags53) | (a & FlagC)));
}

inline void TZ80::Rrca()
{
    const u8 carry = A() & FlagC;
    const u8 a = static_cast<u8>(A() >> 1 | A() << 7);
    A() = a;
    SetF(static_cast<u8>((F() & FlagsSZP) | (a & Flags53) | carry));
}

inline void TZ80::Rla()
{
    const u8 carry = A() >> 7;
    const u8 a = static_cast<u8>(A() << 1 | (F() & FlagC));
    A() = a;
    SetF(static_cast<u8>((F() & FlagsSZP) | (a & Flags53) | carry));
}

inline void TZ80::Rra()
{
    const u8 carry = A() & FlagC;
    const u8 a = static_cast<u8>(A() >> 1 | (F() & FlagC) << 7);
    A() = a;
    SetF(static_cast<u8>((F() & FlagsSZP) | (a & Flags53) | carry));
}

// Checked against the real-hardware table in testdata/z80/daa.
inline void TZ80::Daa()
{
    const u8 old = A();
    u8 correction = 0;
    u8 carry = F() & FlagC;
    if (old > 0x99 || carry) {
        correction = 0x60;
        carry = FlagC;
    }
    if ((old & 0x0F) > 9 || (F() & FlagH))
        correction |= 0x06;
    const u8 a = static_cast<u8>((F() & FlagN) ? old - correction : old + correction);
    A() = a;
    SetF(static_cast<u8>(SZ53P(a)
        | ((old ^ a) & FlagH)
        | (F() & FlagN)
        | carry));
}

inline void TZ80::Cpl()
{
    A() = static_cast<u8>(~A());
    SetF(static_cast<u8>((F() & (FlagsSZP | FlagC)) | FlagH | FlagN | (A() & Flags53)));
}

// Bits 5 and 3 follow Q (SingleStepTests 37, 3F; FUSE 37_1-3).
inline void TZ80::Scf()
{
    SetF(static_cast<u8>((F() & FlagsSZP)
        | (((LastQ ^ F()) | A()) & Flags53)
        | FlagC));
}

inline void TZ80::Ccf()
{
    const u8 carry = F() & FlagC;
    SetF(static_cast<u8>((F() & FlagsSZP)
        | (((LastQ ^ F()) | A()) & Flags53)
        | (carry ? FlagH : FlagC)));
}

[[gnu::always_inline]] inline void TZ80::AddRr(TRegPair& rr, u16 v)
{
    Tick7();
    const u32 old = rr.W;
    const u32 r = old + v;
    WZ = static_cast<u16>(old + 1);
    rr.W = static_cast<u16>(r);
    SetF(static_cast<u8>((F() & FlagsSZP)
        | ((r >> 8) & Flags53)                   // 5, 3 of the high byte
        | (((old ^ v ^ r) >> 8) & FlagH)         // H: carry from bit 11
        | (r >> 16)));                           // C
}

inline void TZ80::AdcHl(u16 v)
{
    Tick7();
    const u32 old = HL.W;
    const u32 r = old + v + (F() & FlagC);
    WZ = static_cast<u16>(old + 1);
    HL.W = static_cast<u16>(r);
    SetF(static_cast<u8>(((r >> 8) & (FlagS | Flags53))
        | ((r & 0xFFFF) == 0 ? FlagZ : 0)
        | (((old ^ v ^ r) >> 8) & FlagH)
        | (((old ^ ~static_cast<u32>(v)) & (old ^ r) & 0x8000) >> 13)  // V
        | (r >> 16)));
}

// SBC HL,HL sets WZ like its sister forms.
inline void TZ80::SbcHl(u16 v)
{
    Tick7();
    const u32 old = HL.W;
    const u32 r = old - v - (F() & FlagC);
    WZ = static_cast<u16>(old + 1);
    HL.W = static_cast<u16>(r);
    SetF(static_cast<u8>(((r >> 8) & (FlagS | Flags53))
        | ((r & 0xFFFF) == 0 ? FlagZ : 0)
        | (((old ^ v ^ r) >> 8) & FlagH)
        | (((old ^ v) & (old ^ r) & 0x8000) >> 13)
        | FlagN
        | ((r >> 16) & FlagC)));
}

inline void TZ80::Neg()
{
    const u8 v = A();
    A() = 0;
    Sub8(v);
}

//   kind  0 RLC  1 RRC  2 RL  3 RR  4 SLA  5 SRA  6 SLL  7 SRL
// SLL shifts a 1 into bit 0 (SingleStepTests cb 30-37).
inline u8 TZ80::Rotate(u32 kind, u8 v)
{
    u32 r = 0;
    u8 carry = 0;
    switch (kind) {
    case 0: r = v << 1 | v >> 7; carry = v >> 7; break;
    case 1: r = v >> 1 | v << 7; carry = v & 1; break;
    case 2: r = v << 1 | (F() & FlagC); carry = v >> 7; break;
    case 3: r = v >> 1 | (F() & FlagC) << 7; carry = v & 1; break;
    case 4: r = v << 1; carry = v >> 7; break;
    case 5: r = v >> 1 | (v & 0x80); carry = v & 1; break;
    case 6: r = v << 1 | 1; carry = v >> 7; break;
    default: r = v >> 1; carry = v & 1; break;
    }
    const u8 result = static_cast<u8>(r);
    SetF(SZ53P(result) | carry);
    return result;
}

// bits53 is the register for BIT b,r, the high byte of WZ for BIT b,(HL)
// (FUSE cb46_1-5) and of the address for BIT b,(IX+d).
inline void TZ80::Bit(u32 bit, u8 v, u8 bits53)
{
    const u8 masked = static_cast<u8>(v & (1u << bit));
    SetF(static_cast<u8>((F() & FlagC)
        | FlagH
        | (bits53 & Flags53)
        | (masked ? 0 : FlagZ | FlagPV)
        | (masked & FlagS)));
}

// P/V = IFF2; an interrupt accepted right after clears it again, as on the
// chip, where the acknowledge overtakes the copy of IFF2 (the "p" latch of
// SingleStepTests ed 57, ed 5f).
inline void TZ80::LdAIR(u8 v)
{
    Tick1();
    A() = v;
    SetF(static_cast<u8>((F() & FlagC) | SZ53(v) | (IFF2 ? FlagPV : 0)));
    InterruptClearsPV = 1;
}

// ---------------------------------------------------------------------------
// Instruction shapes
// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline u16 TZ80::Imm16()
{
    const u16 v = ReadMemWord(PC);
    PC = static_cast<u16>(PC + 2);
    return v;
}

// LD A,(BC) / LD A,(DE): WZ = address + 1.
inline void TZ80::LdAMem(u16 address)
{
    A() = ReadMem(address);
    WZ = static_cast<u16>(address + 1);
}

// LD (BC),A / LD (DE),A: WZ = A : (address + 1) low byte.
inline void TZ80::LdMemA(u16 address)
{
    WriteMem(address, A());
    WZ = static_cast<u16>(A() << 8 | ((address + 1) & 0xFF));
}

// LD rr,(nn): WZ = nn + 1.
inline void TZ80::LdRrMem(TRegPair& rr)
{
    const u16 address = Imm16();
    rr.W = ReadMemWord(address);
    WZ = static_cast<u16>(address + 1);
}

// LD (nn),rr: WZ = nn + 1.
inline void TZ80::LdMemRr(u16 v)
{
    const u16 address = Imm16();
    WriteMemWord(address, v);
    WZ = static_cast<u16>(address + 1);
}

inline void TZ80::LdAAbs()
{
    const u16 address = Imm16();
    A() = ReadMem(address);
    WZ = static_cast<u16>(address + 1);
}

inline void TZ80::LdAbsA()
{
    const u16 address = Imm16();
    WriteMem(address, A());
    WZ = static_cast<u16>(A() << 8 | ((address + 1) & 0xFF));
}

// RD d, t5: the address of an (IX+d) operand, also kept in WZ.
[[gnu::always_inline]] inline u16 TZ80::IndexedAddress(TRegPair& xy)
{
    const i8 d = static_cast<i8>(Imm8());
    const u16 address = static_cast<u16>(xy.W + d);
    WZ = address;
    Tick5();
    return address;
}

// LD (IX+d),n: RD d, t2, RD n, WR.
inline void TZ80::LdIndexedImm(TRegPair& xy)
{
    const i8 d = static_cast<i8>(Imm8());
    const u16 address = static_cast<u16>(xy.W + d);
    WZ = address;
    Tick2();
    WriteMem(address, Imm8());
}

inline void TZ80::IncMem(u16 address)
{
    const u8 v = ReadMem(address);
    Tick1();
    WriteMem(address, Inc8(v));
}

inline void TZ80::DecMem(u16 address)
{
    const u8 v = ReadMem(address);
    Tick1();
    WriteMem(address, Dec8(v));
}

// JP cc,nn reads the word and sets WZ whether or not it jumps.
[[gnu::always_inline]] inline void TZ80::JumpIf(bool condition)
{
    const u16 target = Imm16();
    WZ = target;
    if (condition)
        PC = target;
}

// JR cc,e: RD; taken: t5, WZ = the new PC.
[[gnu::always_inline]] inline void TZ80::JumpRelIf(bool condition)
{
    const i8 e = static_cast<i8>(Imm8());
    if (condition) {
        Tick5();
        PC = static_cast<u16>(PC + e);
        WZ = PC;
    }
}

// CALL cc,nn: RDW; taken: t1, WRW. WZ = nn either way.
[[gnu::always_inline]] inline void TZ80::CallIf(bool condition)
{
    const u16 target = Imm16();
    WZ = target;
    if (condition) {
        Tick1();
        Push(PC);
        PC = target;
    }
}

// RET cc: t1; taken: RDW.
[[gnu::always_inline]] inline void TZ80::RetIf(bool condition)
{
    Tick1();
    if (condition) {
        PC = Pop();
        WZ = PC;
    }
}

// The low byte goes to the new SP, the high byte above it.
[[gnu::always_inline]] inline void TZ80::Push(u16 v)
{
    SP = static_cast<u16>(SP - 2);
    WriteMemWord(SP, v);
}

[[gnu::always_inline]] inline u16 TZ80::Pop()
{
    const u16 v = ReadMemWord(SP);
    SP = static_cast<u16>(SP + 2);
    return v;
}

inline void TZ80::Rst(u16 address)
{
    Tick1();
    Push(PC);
    PC = address;
    WZ = address;
}

// EX (SP),HL: RDW at SP, t1, WRW at SP, t2; WZ = the value loaded.
inline void TZ80::ExSpRr(TRegPair& rr)
{
    const u16 v = ReadMemWord(SP);
    Tick1();
    WriteMemWord(SP, rr.W);
    Tick2();
    rr.W = v;
    WZ = v;
}

// IN r,(C) (r nullptr: IN F,(C)): WZ = BC + 1 with BC before r is loaded,
// for IN F,(C) too (SingleStepTests ed 70).
inline void TZ80::InC(u8* r)
{
    WZ = static_cast<u16>(BC.W + 1);
    const u8 v = InPort(BC.W);
    SetF(static_cast<u8>((F() & FlagC) | SZ53P(v)));
    if (r)
        *r = v;
}

inline void TZ80::OutC(u8 v)
{
    OutPort(BC.W, v);
    WZ = static_cast<u16>(BC.W + 1);
}

// IN A,(n): port A:n, WZ = port + 1.
inline void TZ80::InAImm()
{
    const u16 port = static_cast<u16>(A() << 8 | Imm8());
    A() = InPort(port);
    WZ = static_cast<u16>(port + 1);
}

// OUT (n),A: port A:n, WZ = A : (n + 1) low byte.
inline void TZ80::OutImmA()
{
    const u8 n = Imm8();
    OutPort(static_cast<u16>(A() << 8 | n), A());
    WZ = static_cast<u16>(A() << 8 | ((n + 1) & 0xFF));
}

inline void TZ80::Retn()
{
    PC = Pop();
    WZ = PC;
    IFF1 = IFF2;
}

// LDI/LDD: RD at HL, WR at DE, t2. Bit 3 from bit 3 of n, bit 5 from bit 1
// (SingleStepTests ed a0, a8, b0, b8).
inline void TZ80::Ldi(int step)
{
    const u8 v = ReadMem(HL.W);
    WriteMem(DE.W, v);
    Tick2();
    HL.W = static_cast<u16>(HL.W + step);
    DE.W = static_cast<u16>(DE.W + step);
    BC.W = static_cast<u16>(BC.W - 1);
    const u8 n = static_cast<u8>(v + A());
    SetF(static_cast<u8>((F() & (FlagS | FlagZ | FlagC))
        | (n & Flag3)
        | ((n << 4) & Flag5)
        | (BC.W != 0 ? FlagPV : 0)));
}

// CPI/CPD: RD at HL, t5. n = A - byte - H; bits 3 and 5 from bits 3 and 1
// of n (SingleStepTests ed a1, a9, b1, b9).
inline void TZ80::Cpi(int step)
{
    const u8 v = ReadMem(HL.W);
    Tick5();
    const u32 a = A();
    const u32 r = a - v;
    const u8 halfBorrow = static_cast<u8>((a ^ v ^ r) & FlagH);
    const u8 n = static_cast<u8>(r - (halfBorrow ? 1 : 0));
    HL.W = static_cast<u16>(HL.W + step);
    BC.W = static_cast<u16>(BC.W - 1);
    WZ = static_cast<u16>(WZ + step);
    SetF(static_cast<u8>((F() & FlagC)
        | (SZ53(static_cast<u8>(r)) & (FlagS | FlagZ))
        | halfBorrow
        | (n & Flag3)
        | ((n << 4) & Flag5)
        | (BC.W != 0 ? FlagPV : 0)
        | FlagN));
}

// The flags of INI/IND/OUTI/OUTD from the byte moved and k (SingleStepTests
// ed a2, a3, aa, ab).
namespace {
constexpr u8 BlockIOFlags(const u8* flagTable, u8 b, u8 value, u32 k)
{
    return static_cast<u8>((flagTable[b] & (FlagS | FlagZ | Flags53))
        | ((value >> 6) & FlagN)                         // N = bit 7 of the byte
        | (k > 0xFF ? FlagH | FlagC : 0)
        | (flagTable[(k & 7) ^ b] & FlagPV));            // P = parity of (k & 7) ^ B
}
} // namespace

// INI/IND: IN port BC, WR at HL, t1. WZ = BC +/- 1 with B before it drops.
inline u8 TZ80::Ini(int step)
{
    const u8 v = InPort(BC.W);
    WZ = static_cast<u16>(BC.W + step);
    WriteMem(HL.W, v);
    Tick1();
    B() = static_cast<u8>(B() - 1);
    HL.W = static_cast<u16>(HL.W + step);
    const u32 k = v + static_cast<u8>(C() + step);
    SetF(BlockIOFlags(FlagTable, B(), v, k));
    return v;
}

// OUTI/OUTD: RD at HL, OUT, t1. The decremented B is on the port address
// (as on the chip); WZ = BC +/- 1 with the new B.
inline u8 TZ80::Outi(int step)
{
    const u8 v = ReadMem(HL.W);
    HL.W = static_cast<u16>(HL.W + step);
    B() = static_cast<u8>(B() - 1);
    OutPort(BC.W, v);
    Tick1();
    WZ = static_cast<u16>(BC.W + step);
    const u32 k = v + L();
    SetF(BlockIOFlags(FlagTable, B(), v, k));
    return v;
}

// A repeating LDIR/LDDR/CPIR/CPDR iteration: back onto the ED byte, t5,
// WZ = PC + 1, and bits 5 and 3 from bits 13 and 11 of PC, as on the chip.
inline void TZ80::RepeatBlock()
{
    PC = static_cast<u16>(PC - 2);
    Tick5();
    WZ = static_cast<u16>(PC + 1);
    SetF(static_cast<u8>((F() & ~Flags53) | ((PC >> 8) & Flags53)));
}

// INIR/INDR/OTIR/OTDR after their single form moved `value`: while B is not
// 0 they repeat like RepeatBlock (WZ = PC + 1 included), and the chip
// further adjusts H and P/V by the carry and the byte's bit 7
// (SingleStepTests ed b2, b3, ba, bb).
inline void TZ80::RepeatBlockIO(u8 value)
{
    if (B() == 0)
        return;
    const bool carry = F() & FlagC;
    PC = static_cast<u16>(PC - 2);
    Tick5();
    WZ = static_cast<u16>(PC + 1);
    u8 f = static_cast<u8>((F() & ~Flags53) | ((PC >> 8) & Flags53));
    const u8 b = B();
    u8 parityOf = b & 7;
    if (carry) {
        f &= static_cast<u8>(~FlagH);
        if (value & 0x80) {
            parityOf = (b - 1) & 7;
            if ((b & 0x0F) == 0x00)
                f |= FlagH;
        } else {
            parityOf = (b + 1) & 7;
            if ((b & 0x0F) == 0x0F)
                f |= FlagH;
        }
    }
    // P/V flips when the adjusting value has odd parity.
    if (!(SZ53P(parityOf) & FlagPV))
        f ^= FlagPV;
    SetF(f);
}

// RRD: RD at HL, t4, WR at HL; WZ = HL + 1.
inline void TZ80::Rrd()
{
    const u8 v = ReadMem(HL.W);
    Tick4();
    WriteMem(HL.W, static_cast<u8>(A() << 4 | v >> 4));
    A() = static_cast<u8>((A() & 0xF0) | (v & 0x0F));
    SetF(static_cast<u8>((F() & FlagC) | SZ53P(A())));
    WZ = static_cast<u16>(HL.W + 1);
}

inline void TZ80::Rld()
{
    const u8 v = ReadMem(HL.W);
    Tick4();
    WriteMem(HL.W, static_cast<u8>(v << 4 | (A() & 0x0F)));
    A() = static_cast<u8>((A() & 0xF0) | (v >> 4));
    SetF(static_cast<u8>((F() & FlagC) | SZ53P(A())));
    WZ = static_cast<u16>(HL.W + 1);
}

inline u8& TZ80::Reg8(u32 code)
{
    switch (code) {
    case 0: return B();
    case 1: return C();
    case 2: return D();
    case 3: return E();
    case 4: return H();
    case 5: return L();
    default: return A();
    }
}

// ---------------------------------------------------------------------------
// Unprefixed page, with the DD/FD forms
//
// xy is HL, or IX/IY under a prefix: opcodes naming HL, H or L use it. The
// key is the opcode, plus 0x100 for the 26 forms that a prefix turns into
// (IX+d) operands or the indexed CB page. A prefix before any other opcode
// only adds its fetch.
// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void TZ80::Dispatch(TRegPair& xy, u32 key)
{
    switch (key) {
    case 0x00: break;                                       // NOP              4
    case 0x01: BC.W = Imm16(); break;                       // LD BC,nn        10
    case 0x02: LdMemA(BC.W); break;                         // LD (BC),A        7
    case 0x03: Tick2(); ++BC.W; break;                      // INC BC           6
    case 0x04: B() = Inc8(B()); break;                      // INC B            4
    case 0x05: B() = Dec8(B()); break;                      // DEC B            4
    case 0x06: B() = Imm8(); break;                         // LD B,n           7
    case 0x07: Rlca(); break;                               // RLCA             4
    case 0x08: std::swap(AF, AltAF); break;                 // EX AF,AF'        4
    case 0x09: AddRr(xy, BC.W); break;                      // ADD HL,BC       11
    case 0x0A: LdAMem(BC.W); break;                         // LD A,(BC)        7
    case 0x0B: Tick2(); --BC.W; break;                      // DEC BC           6
    case 0x0C: C() = Inc8(C()); break;                      // INC C            4
    case 0x0D: C() = Dec8(C()); break;                      // DEC C            4
    case 0x0E: C() = Imm8(); break;                         // LD C,n           7
    case 0x0F: Rrca(); break;                               // RRCA             4

    case 0x10: Tick1(); --B(); JumpRelIf(B() != 0); break;  // DJNZ e        13/8
    case 0x11: DE.W = Imm16(); break;                       // LD DE,nn        10
    case 0x12: LdMemA(DE.W); break;                         // LD (DE),A        7
    case 0x13: Tick2(); ++DE.W; break;                      // INC DE           6
    case 0x14: D() = Inc8(D()); break;                      // INC D            4
    case 0x15: D() = Dec8(D()); break;                      // DEC D            4
    case 0x16: D() = Imm8(); break;                         // LD D,n           7
    case 0x17: Rla(); break;                                // RLA              4
    case 0x18: JumpRelIf(true); break;                      // JR e            12
    case 0x19: AddRr(xy, DE.W); break;                      // ADD HL,DE       11
    case 0x1A: LdAMem(DE.W); break;                         // LD A,(DE)        7
    case 0x1B: Tick2(); --DE.W; break;                      // DEC DE           6
    case 0x1C: E() = Inc8(E()); break;                      // INC E            4
    case 0x1D: E() = Dec8(E()); break;                      // DEC E            4
    case 0x1E: E() = Imm8(); break;                         // LD E,n           7
    case 0x1F: Rra(); break;                                // RRA              4

    case 0x20: JumpRelIf(!(F() & FlagZ)); break;            // JR NZ,e       12/7
    case 0x21: xy.W = Imm16(); break;                       // LD HL,nn        10
    case 0x22: LdMemRr(xy.W); break;                        // LD (nn),HL      16
    case 0x23: Tick2(); ++xy.W; break;                      // INC HL           6
    case 0x24: xy.Hi() = Inc8(xy.Hi()); break;              // INC H            4
    case 0x25: xy.Hi() = Dec8(xy.Hi()); break;              // DEC H            4
    case 0x26: xy.Hi() = Imm8(); break;                     // LD H,n           7
    case 0x27: Daa(); break;                                // DAA              4
    case 0x28: JumpRelIf(F() & FlagZ); break;               // JR Z,e        12/7
    case 0x29: AddRr(xy, xy.W); break;                      // ADD HL,HL       11
    case 0x2A: LdRrMem(xy); break;                          // LD HL,(nn)      16
    case 0x2B: Tick2(); --xy.W; break;                      // DEC HL           6
    case 0x2C: xy.Lo() = Inc8(xy.Lo()); break;              // INC L            4
    case 0x2D: xy.Lo() = Dec8(xy.Lo()); break;              // DEC L            4
    case 0x2E: xy.Lo() = Imm8(); break;                     // LD L,n           7
    case 0x2F: Cpl(); break;                                // CPL              4

    case 0x30: JumpRelIf(!(F() & FlagC)); break;            // JR NC,e       12/7
    case 0x31: SP = Imm16(); break;                         // LD SP,nn        10
    case 0x32: LdAbsA(); break;                             // LD (nn),A       13
    case 0x33: Tick2(); ++SP; break;                        // INC SP           6
    case 0x34: IncMem(HL.W); break;                         // INC (HL)        11
    case 0x35: DecMem(HL.W); break;                         // DEC (HL)        11
    case 0x36: WriteMem(HL.W, Imm8()); break;               // LD (HL),n       10
    case 0x37: Scf(); break;                                // SCF              4
    case 0x38: JumpRelIf(F() & FlagC); break;               // JR C,e        12/7
    case 0x39: AddRr(xy, SP); break;                        // ADD HL,SP       11
    case 0x3A: LdAAbs(); break;                             // LD A,(nn)       13
    case 0x3B: Tick2(); --SP; break;                        // DEC SP           6
    case 0x3C: A() = Inc8(A()); break;                      // INC A            4
    case 0x3D: A() = Dec8(A()); break;                      // DEC A            4
    case 0x3E: A() = Imm8(); break;                         // LD A,n           7
    case 0x3F: Ccf(); break;                                // CCF              4

    case 0x40: break;                                       // LD B,B           4
    case 0x41: B() = C(); break;                            // LD B,C           4
    case 0x42: B() = D(); break;                            // LD B,D           4
    case 0x43: B() = E(); break;                            // LD B,E           4
    case 0x44: B() = xy.Hi(); break;                        // LD B,H           4
    case 0x45: B() = xy.Lo(); break;                        // LD B,L           4
    case 0x46: B() = ReadMem(HL.W); break;                  // LD B,(HL)        7
    case 0x47: B() = A(); break;                            // LD B,A           4
    case 0x48: C() = B(); break;                            // LD C,B           4
    case 0x49: break;                                       // LD C,C           4
    case 0x4A: C() = D(); break;                            // LD C,D           4
    case 0x4B: C() = E(); break;                            // LD C,E           4
    case 0x4C: C() = xy.Hi(); break;                        // LD C,H           4
    case 0x4D: C() = xy.Lo(); break;                        // LD C,L           4
    case 0x4E: C() = ReadMem(HL.W); break;                  // LD C,(HL)        7
    case 0x4F: C() = A(); break;                            // LD C,A           4

    case 0x50: D() = B(); break;                            // LD D,B           4
    case 0x51: D() = C(); break;                            // LD D,C           4
    case 0x52: break;                                       // LD D,D           4
    case 0x53: D() = E(); break;                            // LD D,E           4
    case 0x54: D() = xy.Hi(); break;                        // LD D,H           4
    case 0x55: D() = xy.Lo(); break;                        // LD D,L           4
    case 0x56: D() = ReadMem(HL.W); break;                  // LD D,(HL)        7
    case 0x57: D() = A(); break;                            // LD D,A           4
    case 0x58: E() = B(); break;                            // LD E,B           4
    case 0x59: E() = C(); break;                            // LD E,C           4
    case 0x5A: E() = D(); break;                            // LD E,D           4
    case 0x5B: break;                                       // LD E,E           4
    case 0x5C: E() = xy.Hi(); break;                        // LD E,H           4
    case 0x5D: E() = xy.Lo(); break;                        // LD E,L           4
    case 0x5E: E() = ReadMem(HL.W); break;                  // LD E,(HL)        7
    case 0x5F: E() = A(); break;                            // LD E,A           4

    case 0x60: xy.Hi() = B(); break;                        // LD H,B           4
    case 0x61: xy.Hi() = C(); break;                        // LD H,C           4
    case 0x62: xy.Hi() = D(); break;                        // LD H,D           4
    case 0x63: xy.Hi() = E(); break;                        // LD H,E           4
    case 0x64: break;                                       // LD H,H           4
    case 0x65: xy.Hi() = xy.Lo(); break;                    // LD H,L           4
    case 0x66: H() = ReadMem(HL.W); break;                  // LD H,(HL)        7
    case 0x67: xy.Hi() = A(); break;                        // LD H,A           4
    case 0x68: xy.Lo() = B(); break;                        // LD L,B           4
    case 0x69: xy.Lo() = C(); break;                        // LD L,C           4
    case 0x6A: xy.Lo() = D(); break;                        // LD L,D           4
    case 0x6B: xy.Lo() = E(); break;                        // LD L,E           4
    case 0x6C: xy.Lo() = xy.Hi(); break;                    // LD L,H           4
    case 0x6D: break;                                       // LD L,L           4
    case 0x6E: L() = ReadMem(HL.W); break;                  // LD L,(HL)        7
    case 0x6F: xy.Lo() = A(); break;                        // LD L,A           4

    case 0x70: WriteMem(HL.W, B()); break;                  // LD (HL),B        7
    case 0x71: WriteMem(HL.W, C()); break;                  // LD (HL),C        7
    case 0x72: WriteMem(HL.W, D()); break;                  // LD (HL),D        7
    case 0x73: WriteMem(HL.W, E()); break;                  // LD (HL),E        7
    case 0x74: WriteMem(HL.W, H()); break;                  // LD (HL),H        7
    case 0x75: WriteMem(HL.W, L()); break;                  // LD (HL),L        7
    case 0x76: Halted = 1; --PC; break;                     // HALT             4
    case 0x77: WriteMem(HL.W, A()); break;                  // LD (HL),A        7
    case 0x78: A() = B(); break;                            // LD A,B           4
    case 0x79: A() = C(); break;                            // LD A,C           4
    case 0x7A: A() = D(); break;                            // LD A,D           4
    case 0x7B: A() = E(); break;                            // LD A,E           4
    case 0x7C: A() = xy.Hi(); break;                        // LD A,H           4
    case 0x7D: A() = xy.Lo(); break;                        // LD A,L           4
    case 0x7E: A() = ReadMem(HL.W); break;                  // LD A,(HL)        7
    case 0x7F: break;                                       // LD A,A           4

    case 0x80: Add8(B()); break;                            // ADD A,B          4
    case 0x81: Add8(C()); break;                            // ADD A,C          4
    case 0x82: Add8(D()); break;                            // ADD A,D          4
    case 0x83: Add8(E()); break;                            // ADD A,E          4
    case 0x84: Add8(xy.Hi()); break;                        // ADD A,H          4
    case 0x85: Add8(xy.Lo()); break;                        // ADD A,L          4
    case 0x86: Add8(ReadMem(HL.W)); break;                  // ADD A,(HL)       7
    case 0x87: Add8(A()); break;                            // ADD A,A          4
    case 0x88: Adc8(B()); break;                            // ADC A,B          4
    case 0x89: Adc8(C()); break;                            // ADC A,C          4
    case 0x8A: Adc8(D()); break;                            // ADC A,D          4
    case 0x8B: Adc8(E()); break;                            // ADC A,E          4
    case 0x8C: Adc8(xy.Hi()); break;                        // ADC A,H          4
    case 0x8D: Adc8(xy.Lo()); break;                        // ADC A,L          4
    case 0x8E: Adc8(ReadMem(HL.W)); break;                  // ADC A,(HL)       7
    case 0x8F: Adc8(A()); break;                            // ADC A,A          4

    case 0x90: Sub8(B()); break;                            // SUB B            4
    case 0x91: Sub8(C()); break;                            // SUB C            4
    case 0x92: Sub8(D()); break;                            // SUB D            4
    case 0x93: Sub8(E()); break;                            // SUB E            4
    case 0x94: Sub8(xy.Hi()); break;                        // SUB H            4
    case 0x95: Sub8(xy.Lo()); break;                        // SUB L            4
    case 0x96: Sub8(ReadMem(HL.W)); break;                  // SUB (HL)         7
    case 0x97: Sub8(A()); break;                            // SUB A            4
    case 0x98: Sbc8(B()); break;                            // SBC A,B          4
    case 0x99: Sbc8(C()); break;                            // SBC A,C          4
    case 0x9A: Sbc8(D()); break;                            // SBC A,D          4
    case 0x9B: Sbc8(E()); break;                            // SBC A,E          4
    case 0x9C: Sbc8(xy.Hi()); break;                        // SBC A,H          4
    case 0x9D: Sbc8(xy.Lo()); break;                        // SBC A,L          4
    case 0x9E: Sbc8(ReadMem(HL.W)); break;                  // SBC A,(HL)       7
    case 0x9F: Sbc8(A()); break;                            // SBC A,A          4

    case 0xA0: And8(B()); break;                            // AND B            4
    case 0xA1: And8(C()); break;                            // AND C            4
    case 0xA2: And8(D()); break;                            // AND D            4
    case 0xA3: And8(E()); break;                            // AND E            4
    case 0xA4: And8(xy.Hi()); break;                        // AND H            4
    case 0xA5: And8(xy.Lo()); break;                        // AND L            4
    case 0xA6: And8(ReadMem(HL.W)); break;                  // AND (HL)         7
    case 0xA7: And8(A()); break;                            // AND A            4
    case 0xA8: Xor8(B()); break;                            // XOR B            4
    case 0xA9: Xor8(C()); break;                            // XOR C            4
    case 0xAA: Xor8(D()); break;                            // XOR D            4
    case 0xAB: Xor8(E()); break;                            // XOR E            4
    case 0xAC: Xor8(xy.Hi()); break;                        // XOR H            4
    case 0xAD: Xor8(xy.Lo()); break;                        // XOR L            4
    case 0xAE: Xor8(ReadMem(HL.W)); break;                  // XOR (HL)         7
    case 0xAF: Xor8(A()); break;                            // XOR A            4

    case 0xB0: Or8(B()); break;                             // OR B             4
    case 0xB1: Or8(C()); break;                             // OR C             4
    case 0xB2: Or8(D()); break;                             // OR D             4
    case 0xB3: Or8(E()); break;                             // OR E             4
    case 0xB4: Or8(xy.Hi()); break;                         // OR H             4
    case 0xB5: Or8(xy.Lo()); break;                         // OR L             4
    case 0xB6: Or8(ReadMem(HL.W)); break;                   // OR (HL)          7
    case 0xB7: Or8(A()); break;                             // OR A             4
    case 0xB8: Cp8(B()); break;                             // CP B             4
    case 0xB9: Cp8(C()); break;                             // CP C             4
    case 0xBA: Cp8(D()); break;                             // CP D             4
    case 0xBB: Cp8(E()); break;                             // CP E             4
    case 0xBC: Cp8(xy.Hi()); break;                         // CP H             4
    case 0xBD: Cp8(xy.Lo()); break;                         // CP L             4
    case 0xBE: Cp8(ReadMem(HL.W)); break;                   // CP (HL)          7
    case 0xBF: Cp8(A()); break;                             // CP A             4

    case 0xC0: RetIf(!(F() & FlagZ)); break;                // RET NZ        11/5
    case 0xC1: BC.W = Pop(); break;                         // POP BC          10
    case 0xC2: JumpIf(!(F() & FlagZ)); break;               // JP NZ,nn        10
    case 0xC3: JumpIf(true); break;                         // JP nn           10
    case 0xC4: CallIf(!(F() & FlagZ)); break;               // CALL NZ,nn   17/10
    case 0xC5: Tick1(); Push(BC.W); break;                  // PUSH BC         11
    case 0xC6: Add8(Imm8()); break;                         // ADD A,n          7
    case 0xC7: Rst(0x00); break;                            // RST 0           11
    case 0xC8: RetIf(F() & FlagZ); break;                   // RET Z         11/5
    case 0xC9: PC = Pop(); WZ = PC; break;                  // RET             10
    case 0xCA: JumpIf(F() & FlagZ); break;                  // JP Z,nn         10
    case 0xCB: ExecuteCB(); break;                          // CB page
    case 0xCC: CallIf(F() & FlagZ); break;                  // CALL Z,nn    17/10
    case 0xCD: CallIf(true); break;                         // CALL nn         17
    case 0xCE: Adc8(Imm8()); break;                         // ADC A,n          7
    case 0xCF: Rst(0x08); break;                            // RST 8           11

    case 0xD0: RetIf(!(F() & FlagC)); break;                // RET NC        11/5
    case 0xD1: DE.W = Pop(); break;                         // POP DE          10
    case 0xD2: JumpIf(!(F() & FlagC)); break;               // JP NC,nn        10
    case 0xD3: OutImmA(); break;                            // OUT (n),A       11
    case 0xD4: CallIf(!(F() & FlagC)); break;               // CALL NC,nn   17/10
    case 0xD5: Tick1(); Push(DE.W); break;                  // PUSH DE         11
    case 0xD6: Sub8(Imm8()); break;                         // SUB n            7
    case 0xD7: Rst(0x10); break;                            // RST 10h         11
    case 0xD8: RetIf(F() & FlagC); break;                   // RET C         11/5
    case 0xD9:                                              // EXX              4
        std::swap(BC, AltBC);
        std::swap(DE, AltDE);
        std::swap(HL, AltHL);
        break;
    case 0xDA: JumpIf(F() & FlagC); break;                  // JP C,nn         10
    case 0xDB: InAImm(); break;                             // IN A,(n)        11
    case 0xDC: CallIf(F() & FlagC); break;                  // CALL C,nn    17/10
    case 0xDD: ExecuteIndexed(&IX); break;                  // IX prefix        4
    case 0xDE: Sbc8(Imm8()); break;                         // SBC A,n          7
    case 0xDF: Rst(0x18); break;                            // RST 18h         11

    case 0xE0: RetIf(!(F() & FlagPV)); break;               // RET PO        11/5
    case 0xE1: xy.W = Pop(); break;                         // POP HL          10
    case 0xE2: JumpIf(!(F() & FlagPV)); break;              // JP PO,nn        10
    case 0xE3: ExSpRr(xy); break;                           // EX (SP),HL      19
    case 0xE4: CallIf(!(F() & FlagPV)); break;              // CALL PO,nn   17/10
    case 0xE5: Tick1(); Push(xy.W); break;                  // PUSH HL         11
    case 0xE6: And8(Imm8()); break;                         // AND n            7
    case 0xE7: Rst(0x20); break;                            // RST 20h         11
    case 0xE8: RetIf(F() & FlagPV); break;                  // RET PE        11/5
    case 0xE9: PC = xy.W; break;                            // JP (HL)          4
    case 0xEA: JumpIf(F() & FlagPV); break;                 // JP PE,nn        10
    case 0xEB: std::swap(DE, HL); break;                    // EX DE,HL         4
    case 0xEC: CallIf(F() & FlagPV); break;                 // CALL PE,nn   17/10
    case 0xED: ExecuteED(); break;                          // ED page
    case 0xEE: Xor8(Imm8()); break;                         // XOR n            7
    case 0xEF: Rst(0x28); break;                            // RST 28h         11

    case 0xF0: RetIf(!(F() & FlagS)); break;                // RET P         11/5
    case 0xF1: AF.W = Pop(); break;                         // POP AF          10
    case 0xF2: JumpIf(!(F() & FlagS)); break;               // JP P,nn         10
    case 0xF3: IFF1 = IFF2 = 0; break;                      // DI               4
    case 0xF4: CallIf(!(F() & FlagS)); break;               // CALL P,nn    17/10
    case 0xF5: Tick1(); Push(AF.W); break;                  // PUSH AF         11
    case 0xF6: Or8(Imm8()); break;                          // OR n             7
    case 0xF7: Rst(0x30); break;                            // RST 30h         11
    case 0xF8: RetIf(F() & FlagS); break;                   // RET M         11/5
    case 0xF9: Tick2(); SP = xy.W; break;                   // LD SP,HL         6
    case 0xFA: JumpIf(F() & FlagS); break;                  // JP M,nn         10
    case 0xFB:                                              // EI               4
        IFF1 = IFF2 = 1;
        InterruptAllowed = 0;
        break;
    case 0xFC: CallIf(F() & FlagS); break;                  // CALL M,nn    17/10
    case 0xFD: ExecuteIndexed(&IY); break;                  // IY prefix        4
    case 0xFE: Cp8(Imm8()); break;                          // CP n             7
    case 0xFF: Rst(0x38); break;                            // RST 38h         11

    // Under DD/FD (the prefix fetch adds 4 to each): (HL) becomes (IX+d),
    // a register H or L named beside it stays the real one.
    case 0x134: IncMem(IndexedAddress(xy)); break;          // INC (IX+d)      23
    case 0x135: DecMem(IndexedAddress(xy)); break;          // DEC (IX+d)      23
    case 0x136: LdIndexedImm(xy); break;                    // LD (IX+d),n     19
    case 0x146: B() = ReadMem(IndexedAddress(xy)); break;   // LD B,(IX+d)     19
    case 0x14E: C() = ReadMem(IndexedAddress(xy)); break;   // LD C,(IX+d)     19
    case 0x156: D() = ReadMem(IndexedAddress(xy)); break;   // LD D,(IX+d)     19
    case 0x15E: E() = ReadMem(IndexedAddress(xy)); break;   // LD E,(IX+d)     19
    case 0x166: H() = ReadMem(IndexedAddress(xy)); break;   // LD H,(IX+d)     19
    case 0x16E: L() = ReadMem(IndexedAddress(xy)); break;   // LD L,(IX+d)     19
    case 0x170: WriteMem(IndexedAddress(xy), B()); break;   // LD (IX+d),B     19
    case 0x171: WriteMem(IndexedAddress(xy), C()); break;   // LD (IX+d),C     19
    case 0x172: WriteMem(IndexedAddress(xy), D()); break;   // LD (IX+d),D     19
    case 0x173: WriteMem(IndexedAddress(xy), E()); break;   // LD (IX+d),E     19
    case 0x174: WriteMem(IndexedAddress(xy), H()); break;   // LD (IX+d),H     19
    case 0x175: WriteMem(IndexedAddress(xy), L()); break;   // LD (IX+d),L     19
    case 0x177: WriteMem(IndexedAddress(xy), A()); break;   // LD (IX+d),A     19
    case 0x17E: A() = ReadMem(IndexedAddress(xy)); break;   // LD A,(IX+d)     19
    case 0x186: Add8(ReadMem(IndexedAddress(xy))); break;   // ADD A,(IX+d)    19
    case 0x18E: Adc8(ReadMem(IndexedAddress(xy))); break;   // ADC A,(IX+d)    19
    case 0x196: Sub8(ReadMem(IndexedAddress(xy))); break;   // SUB (IX+d)      19
    case 0x19E: Sbc8(ReadMem(IndexedAddress(xy))); break;   // SBC A,(IX+d)    19
    case 0x1A6: And8(ReadMem(IndexedAddress(xy))); break;   // AND (IX+d)      19
    case 0x1AE: Xor8(ReadMem(IndexedAddress(xy))); break;   // XOR (IX+d)      19
    case 0x1B6: Or8(ReadMem(IndexedAddress(xy))); break;    // OR (IX+d)       19
    case 0x1BE: Cp8(ReadMem(IndexedAddress(xy))); break;    // CP (IX+d)       19
    case 0x1CB: ExecuteIndexedCB(xy); break;                // indexed CB page
    default: break;
    }
}

// One instruction without a prefix in force.
[[gnu::always_inline]] inline void TZ80::Execute()
{
    LastQ = Q;
    Q = 0;
    InterruptClearsPV = 0;
    Halted = 0;
    Dispatch(HL, FetchOpcode());
}

// After a DD or FD: further prefixes only choose the index register again
// (the last one counts), each a fetch of its own. The run is bounded: after
// MaxPrefixRun prefixes the step ends and the next continues with the byte
// that follows. (Only memory full of prefixes gets there: a real ROM
// never does.)
void TZ80::ExecuteIndexed(TRegPair* xy)
{
    for (i32 prefixes = 1; prefixes < MaxPrefixRun; ++prefixes) {
        const u8 op = FetchOpcode();
        if (op == 0xDD) {
            xy = &IX;
        } else if (op == 0xFD) {
            xy = &IY;
        } else {
            Dispatch(*xy, op | static_cast<u32>(IndexedForms[op]) << 8);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// CB page: 00ooorrr rotate/shift, 01bbbrrr BIT, 10bbbrrr RES, 11bbbrrr SET.
//
//   form       register  (HL)
//   rotate     8         15   RD, t1, WR
//   BIT        8         12   RD, t1; bits 5 and 3 from the high byte of WZ
//   RES, SET   8         15   RD, t1, WR; no flags
// ---------------------------------------------------------------------------

void TZ80::ExecuteCB()
{
    const u8 op = FetchOpcode();
    const u32 y = op >> 3 & 7;
    const u32 r = op & 7;
    if (r != 6) {
        u8& reg = Reg8(r);
        switch (op >> 6) {
        case 0: reg = Rotate(y, reg); break;                          // RLC .. SRL r    8
        case 1: Bit(y, reg, reg); break;                              // BIT b,r         8
        case 2: reg = static_cast<u8>(reg & ~(1u << y)); break;      // RES b,r         8
        default: reg = static_cast<u8>(reg | 1u << y); break;        // SET b,r         8
        }
        return;
    }
    const u16 address = HL.W;
    const u8 v = ReadMem(address);
    Tick1();
    switch (op >> 6) {
    case 0: WriteMem(address, Rotate(y, v)); break;                   // RLC .. SRL (HL) 15
    case 1: Bit(y, v, static_cast<u8>(WZ >> 8)); break;               // BIT b,(HL)      12
    case 2: WriteMem(address, static_cast<u8>(v & ~(1u << y))); break; // RES b,(HL)     15
    default: WriteMem(address, static_cast<u8>(v | 1u << y)); break;  // SET b,(HL)      15
    }
}

// ---------------------------------------------------------------------------
// ED page. An index prefix before ED changes nothing. Undefined opcodes do
// nothing in the 8 T-states of their two fetches, as on the chip.
// ---------------------------------------------------------------------------

void TZ80::ExecuteED()
{
    switch (FetchOpcode()) {
    case 0x40: InC(&B()); break;                            // IN B,(C)        12
    case 0x41: OutC(B()); break;                            // OUT (C),B       12
    case 0x42: SbcHl(BC.W); break;                          // SBC HL,BC       15
    case 0x43: LdMemRr(BC.W); break;                        // LD (nn),BC      20
    case 0x44: Neg(); break;                                // NEG              8
    case 0x45: Retn(); break;                               // RETN            14
    case 0x46: IM = 0; break;                               // IM 0             8
    case 0x47: Tick1(); I = A(); break;                     // LD I,A           9
    case 0x48: InC(&C()); break;                            // IN C,(C)        12
    case 0x49: OutC(C()); break;                            // OUT (C),C       12
    case 0x4A: AdcHl(BC.W); break;                          // ADC HL,BC       15
    case 0x4B: LdRrMem(BC); break;                          // LD BC,(nn)      20
    case 0x4C: Neg(); break;                                // NEG              8
    case 0x4D: Retn(); break;                               // RETI            14
    case 0x4E: IM = 0; break;                               // IM 0             8
    case 0x4F:                                              // LD R,A           9
        Tick1();
        R = A();
        R7 = A() & 0x80;
        break;

    case 0x50: InC(&D()); break;                            // IN D,(C)        12
    case 0x51: OutC(D()); break;                            // OUT (C),D       12
    case 0x52: SbcHl(DE.W); break;                          // SBC HL,DE       15
    case 0x53: LdMemRr(DE.W); break;                        // LD (nn),DE      20
    case 0x54: Neg(); break;                                // NEG              8
    case 0x55: Retn(); break;                               // RETN            14
    case 0x56: IM = 1; break;                               // IM 1             8
    case 0x57: LdAIR(I); break;                             // LD A,I           9
    case 0x58: InC(&E()); break;                            // IN E,(C)        12
    case 0x59: OutC(E()); break;                            // OUT (C),E       12
    case 0x5A: AdcHl(DE.W); break;                          // ADC HL,DE       15
    case 0x5B: LdRrMem(DE); break;                          // LD DE,(nn)      20
    case 0x5C: Neg(); break;                                // NEG              8
    case 0x5D: Retn(); break;                               // RETN            14
    case 0x5E: IM = 2; break;                               // IM 2             8
    case 0x5F: LdAIR(static_cast<u8>((R & 0x7F) | R7)); break;  // LD A,R       9

    case 0x60: InC(&H()); break;                            // IN H,(C)        12
    case 0x61: OutC(H()); break;                            // OUT (C),H       12
    case 0x62: SbcHl(HL.W); break;                          // SBC HL,HL       15
    case 0x63: LdMemRr(HL.W); break;                        // LD (nn),HL      20
    case 0x64: Neg(); break;                                // NEG              8
    case 0x65: Retn(); break;                               // RETN            14
    case 0x66: IM = 0; break;                               // IM 0             8
    case 0x67: Rrd(); break;                                // RRD             18
    case 0x68: InC(&L()); break;                            // IN L,(C)        12
    case 0x69: OutC(L()); break;                            // OUT (C),L       12
    case 0x6A: AdcHl(HL.W); break;                          // ADC HL,HL       15
    case 0x6B: LdRrMem(HL); break;                          // LD HL,(nn)      20
    case 0x6C: Neg(); break;                                // NEG              8
    case 0x6D: Retn(); break;                               // RETN            14
    case 0x6E: IM = 0; break;                               // IM 0             8
    case 0x6F: Rld(); break;                                // RLD             18

    case 0x70: InC(nullptr); break;                         // IN F,(C)        12
    case 0x71: OutC(0); break;                              // OUT (C),0       12
    case 0x72: SbcHl(SP); break;                            // SBC HL,SP       15
    case 0x73: LdMemRr(SP); break;                          // LD (nn),SP      20
    case 0x74: Neg(); break;                                // NEG              8
    case 0x75: Retn(); break;                               // RETN            14
    case 0x76: IM = 1; break;                               // IM 1             8
    case 0x78: InC(&A()); break;                            // IN A,(C)        12
    case 0x79: OutC(A()); break;                            // OUT (C),A       12
    case 0x7A: AdcHl(SP); break;                            // ADC HL,SP       15
    case 0x7B: {                                            // LD SP,(nn)      20
        TRegPair sp(SP);
        LdRrMem(sp);
        SP = sp.W;
        break;
    }
    case 0x7C: Neg(); break;                                // NEG              8
    case 0x7D: Retn(); break;                               // RETN            14
    case 0x7E: IM = 2; break;                               // IM 2             8

    // Block instructions: one iteration per step; a repeating one moves PC
    // back onto its ED byte and takes 5 more T-states (21 instead of 16).
    case 0xA0: Ldi(1); break;                               // LDI             16
    case 0xA1: Cpi(1); break;                               // CPI             16
    case 0xA2: Ini(1); break;                               // INI             16
    case 0xA3: Outi(1); break;                              // OUTI            16
    case 0xA8: Ldi(-1); break;                              // LDD             16
    case 0xA9: Cpi(-1); break;                              // CPD             16
    case 0xAA: Ini(-1); break;                              // IND             16
    case 0xAB: Outi(-1); break;                             // OUTD            16
    case 0xB0: Ldi(1); if (BC.W != 0) RepeatBlock(); break;     // LDIR     21/16
    case 0xB1:                                                  // CPIR     21/16
        Cpi(1);
        if (BC.W != 0 && !(F() & FlagZ))
            RepeatBlock();
        break;
    case 0xB2: RepeatBlockIO(Ini(1)); break;                // INIR         21/16
    case 0xB3: RepeatBlockIO(Outi(1)); break;               // OTIR         21/16
    case 0xB8: Ldi(-1); if (BC.W != 0) RepeatBlock(); break;    // LDDR     21/16
    case 0xB9:                                                  // CPDR     21/16
        Cpi(-1);
        if (BC.W != 0 && !(F() & FlagZ))
            RepeatBlock();
        break;
    case 0xBA: RepeatBlockIO(Ini(-1)); break;               // INDR         21/16
    case 0xBB: RepeatBlockIO(Outi(-1)); break;              // OTDR         21/16
    default: break;                                         // undefined        8
    }
}

// ---------------------------------------------------------------------------
// Indexed CB page: DD/FD CB d op.
//   PC passes d without a cycle; op is read (RD, no refresh), then d (RD at
//   PC - 2); WZ = IX + d; t2; RD at the address; t1; WR unless BIT.
//   23 T-states, 20 for BIT (bits 5 and 3 from the address's high byte).
//   Register codes other than 6 also receive the result (not for BIT;
//   SingleStepTests dd cb __ 00-ff).
// ---------------------------------------------------------------------------

void TZ80::ExecuteIndexedCB(TRegPair& xy)
{
    PC = static_cast<u16>(PC + 1);
    const u8 op = ReadMem(PC);
    PC = static_cast<u16>(PC + 1);
    Opcode = op;
    const i8 d = static_cast<i8>(ReadMem(static_cast<u16>(PC - 2)));
    const u16 address = static_cast<u16>(xy.W + d);
    WZ = address;
    Tick2();
    const u8 v = ReadMem(address);
    Tick1();
    const u32 y = op >> 3 & 7;
    u8 result = 0;
    switch (op >> 6) {
    case 0: result = Rotate(y, v); break;                             // RLC .. SRL (IX+d)  23
    case 1: Bit(y, v, static_cast<u8>(address >> 8)); return;         // BIT b,(IX+d)       20
    case 2: result = static_cast<u8>(v & ~(1u << y)); break;         // RES b,(IX+d)       23
    default: result = static_cast<u8>(v | 1u << y); break;           // SET b,(IX+d)       23
    }
    WriteMem(address, result);
    if ((op & 7) != 6)
        Reg8(op & 7) = result;
}

// ---------------------------------------------------------------------------
// Step and AcceptInterrupt
// ---------------------------------------------------------------------------

void TZ80::WrapTact(i64 frameLength)
{
    i64 frames = Tact / frameLength;
    i64 tact = Tact % frameLength;
    if (tact < 0) {
        tact += frameLength;
        --frames;
    }
    Tact = static_cast<i32>(tact);
    Frame = static_cast<i32>(static_cast<u32>(static_cast<i64>(Frame) + frames));
}

bool TZ80::AcceptInterrupt()
{
    if (!IFF1 || !InterruptAllowed)
        return false;
    // Only a HALT that has executed is left behind: an interrupt due just
    // before an unexecuted HALT returns to it.
    if (Halted) {
        PC = static_cast<u16>(PC + 1);
        Halted = 0;
    }
    if (InterruptClearsPV) {
        F() &= static_cast<u8>(~FlagPV);
        InterruptClearsPV = 0;
    }
    Q = 0;
    IFF1 = IFF2 = 0;
    ++R;  // the acknowledge has a refresh cycle like a fetch
    Tick6();
    Push(PC);
    Tick1();
    if (IM == 2)
        PC = ReadMemWord(static_cast<u16>(I << 8 | 0xFF));
    else
        PC = 0x0038;
    WZ = PC;
    return true;
}

// The settings mix signed and unsigned fields. Between the wrap and the
// instruction Tact is inside 0 .. frame length - 1, so there it compares
// with either kind as an unsigned number, as it would in 64 bits.
u32 TZ80::FrameLengthOf(const TSettings& settings)
{
    return std::clamp<u32>(settings.TStatesPerFrame, 1, u32(1) << 30);
}

// The frame end of a step.
[[gnu::always_inline]] inline bool TZ80::EndStep(const TSettings& settings, u32 frameLength)
{
    // One instruction never takes a frame: Tact stays below 2^31.
    if (static_cast<u32>(Tact) >= frameLength) {
        Tact = static_cast<i32>(static_cast<u32>(Tact) - frameLength);
        Frame = static_cast<i32>(static_cast<u32>(Frame) + 1);
    }
    // Nearly every step has reported its frame already.
    if (Frame != LastFrame && static_cast<u32>(Tact) >= settings.FrameEventTState) {
        LastFrame = Frame;
        return true;
    }
    return false;
}

bool TZ80::Step()
{
    const TSettings& settings = *g_Settings;
    const u32 frameLength = FrameLengthOf(settings);
    if (static_cast<u32>(Tact) >= frameLength) [[unlikely]]
        WrapTact(frameLength);

    const u32 tact = static_cast<u32>(Tact);
    if (ResetRequest) [[unlikely]] {
        Reset();
        ResetRequest = 0;
        // Four T-states that only count: nothing latches.
        Tact += 4;
        return EndStep(settings, frameLength);
    }
    if (VideoCard)
        VideoCard->OpenLatchRegion(Tact);
    if (tact <= settings.InterruptLast  // the window is short: this test fails first
        && static_cast<i64>(tact) >= static_cast<i64>(settings.InterruptFirst) && AcceptInterrupt()) {
        // accepted
    } else {
        InterruptAllowed = 1;
        Execute();
    }
    if (VideoCard)
        VideoCard->CloseLatchRegion(Tact);
    return EndStep(settings, frameLength);
}

i32 TZ80::GetPlainRunLimit() const
{
    const TSettings& settings = *g_Settings;
    const u32 frameLength = FrameLengthOf(settings);
    const u32 tact = static_cast<u32>(Tact);
    // A reset, or a Tact written from outside: the step itself deals with it.
    if (ResetRequest || tact >= frameLength)
        return Tact;
    i64 limit = frameLength;
    const i64 windowFirst = std::max<i64>(settings.InterruptFirst, 0);
    const i64 windowLast = settings.InterruptLast;
    if (windowFirst <= windowLast) {
        if (tact >= windowFirst && tact <= windowLast)
            return Tact;
        if (tact < windowFirst)
            limit = windowFirst;
    }
    if (Frame != LastFrame) {
        if (tact >= settings.FrameEventTState)
            return Tact;
        limit = std::min<i64>(limit, settings.FrameEventTState);
    }
    return static_cast<i32>(limit);
}

template <bool Stops>
[[gnu::always_inline]] inline bool TZ80::RunPlainSteps(i32 limit, i32& stepTact, const TBreakpoints* stops)
{
    if (VideoCard)
        VideoCard->OpenLatchRegion(Tact);
    do {
        stepTact = Tact;
        InterruptAllowed = 1;
        Execute();
        if constexpr (Stops) {
            if (stops->Contains(PC)) [[unlikely]]
                break;
        }
    } while (Tact < limit);
    if (VideoCard)
        VideoCard->CloseLatchRegion(Tact);
    const TSettings& settings = *g_Settings;
    return EndStep(settings, FrameLengthOf(settings));
}

bool TZ80::StepUntil(i32 limit, i32& stepTact)
{
    return RunPlainSteps<false>(limit, stepTact, nullptr);
}

bool TZ80::StepUntil(i32 limit, i32& stepTact, const TBreakpoints& stops)
{
    return RunPlainSteps<true>(limit, stepTact, &stops);
}

// ---------------------------------------------------------------------------
// Construction, reset, the debugger's questions
// ---------------------------------------------------------------------------

TZ80::TZ80(TMemory* memory, TPorts* ports)
    : FlagTable(FlagTableValues.data()), Memory(memory), Ports(ports), VideoCard(nullptr)
{
}

void TZ80::CopyRegisters(const TZ80& from)
{
    BC = from.BC;
    DE = from.DE;
    HL = from.HL;
    IX = from.IX;
    IY = from.IY;
    AF = from.AF;
    IFF2 = from.IFF2;
    IFF1 = from.IFF1;
    WZ = from.WZ;
    PC = from.PC;
    SP = from.SP;
    AltBC = from.AltBC;
    AltDE = from.AltDE;
    AltHL = from.AltHL;
    AltAF = from.AltAF;
    I = from.I;
    IM = from.IM;
    R = from.R;
    R7 = from.R7;
    InterruptAllowed = from.InterruptAllowed;
    Opcode = from.Opcode;
    Tact = from.Tact;
    Frame = from.Frame;
    LastFrame = from.LastFrame;
    Halted = from.Halted;
    Q = from.Q;
    InterruptClearsPV = from.InterruptClearsPV;
    LastQ = from.LastQ;
}

void TZ80::Reset()
{
    IM = 0;
    IFF1 = IFF2 = 0;
    PC = 0;
    R = 0;
    R7 = 0;
    AF.W = 0xFFFF;
    SP = 0xFFFF;
    Halted = 0;
    Q = 0;
    InterruptClearsPV = 0;
}

bool TZ80::GetStepOverAddress(u16& address) const
{
    u16 at = PC;
    for (i32 scanned = 0; scanned < MaxStepOverScan; ++scanned) {
        const u8 b = Memory->ReadByte(at);
        const u16 next = static_cast<u16>(at + 1);
        switch (b) {
        case 0xDD:
        case 0xFD:
            at = next;
            continue;
        case 0xCD: case 0xC4: case 0xCC: case 0xD4: case 0xDC: case 0xE4: case 0xEC: case 0xF4: case 0xFC:
            address = static_cast<u16>(next + 2);  // CALL, CALL cc
            return true;
        case 0xC7: case 0xCF: case 0xD7: case 0xDF: case 0xE7: case 0xEF: case 0xF7: case 0xFF:
        case 0x76:
            address = next;  // RST, HALT
            return true;
        case 0x10:
            address = static_cast<u16>(next + 1);  // DJNZ
            return true;
        case 0xED: {
            const u8 op = Memory->ReadByte(next);
            const bool repeating = (op >= 0xB0 && op <= 0xB3) || (op >= 0xB8 && op <= 0xBB);
            if (!repeating)
                return false;
            address = static_cast<u16>(at + 2);
            return true;
        }
        default:
            return false;
        }
    }
    return false;
}
