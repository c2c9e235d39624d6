// The disassembler: the text of the one Z80 instruction at an address, read
// through a TDataArray. It decodes every page (unprefixed, CB, ED, DD/FD,
// DDCB/FDCB) by the published split of an opcode into fields
//
//     x = bits 7-6   y = bits 5-3   z = bits 2-0   p = bits 5-4   q = bit 3
//
// and shows the undocumented forms (XH/XL/YH/YL, SLL, the register copies of
// DDCB, IN (C), OUT (C),0, the NEG/RETN/IM mirrors of ED). Numbers are bare
// upper-case hexadecimal, displacements signed ("+05", "-02"), relative
// jumps as their absolute target; bit numbers are decimal.
#pragma once

#include "core/Types.h"

#include <initializer_list>
#include <string>
#include <string_view>

class TDataArray;

class TZ80Mnm {
public:
    // The processor ends its step after this many DD/FD prefixes in a row;
    // the disassembler shows such a run as one NOP, as the processor runs it.
    static constexpr int MaxPrefixes = 256;

    explicit TZ80Mnm(TDataArray* memory) : Memory(memory) {}

    // Writes the text of the instruction that starts at address.
    void Disassemble(u16 address, std::string& text);
    std::string Disassemble(u16 address);

    // The address after the last instruction disassembled (modulo 65536).
    u16 GetNextAddress() const { return Address; }

private:
    // Reads the opcode and splits it into the fields. A DDCB/FDCB opcode
    // follows its displacement, so it is read one byte ahead.
    void Fetch(bool afterDisplacement = false);

    std::string DecodeUnprefixed();   // also the DD/FD page, through S and IndexHL
    std::string DecodeX0();
    std::string DecodeLoad();
    std::string DecodeX3();
    std::string DecodeCB();
    std::string DecodeIndexedCB();
    std::string DecodeED();

    // HL, H, L and (HL) under the index prefix in force; (IX+d) reads d.
    std::string SubstIndexReg(std::string_view name);
    std::string IndexHL() { return SubstIndexReg("HL"); }
    std::string ImmediateByte();
    std::string ImmediateWord();
    std::string RelativeTarget();

    // Joins the parts of a text. The elements of a braced list are evaluated
    // in order, so operands that read memory are read in the order written
    // (DD 36 d n reads d before n).
    static std::string Join(std::initializer_list<std::string_view> parts);

    u16 Address = 0;     // the next byte to read
    u8 IndexMode = 0;    // 0 HL, 1 IX (after DD), 2 IY (after FD)
    u8 Opcode = 0;
    u8 X = 0;
    u8 Y = 0;
    u8 Z = 0;
    u8 P = 0;
    u8 Q = 0;            // nonzero when bit 3 is set
    TDataArray* Memory;  // not owned
};
