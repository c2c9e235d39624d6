// The one-line assembler: one Z80 instruction typed by the user becomes its
// 1 to 4 bytes of machine code, or one of the assembler's error messages.
// There are no labels, directives or comments: one instruction per call.
//
// The line is upper-cased, split into words (a blank separates; the ten
// characters & ( ) * + , - / ^ | are words of their own), and each word
// becomes a token: a keyword of the map below, or a number through the
// expression evaluator ("#FF", "%101", "$", register names such as PC).
// The encoder then tries a fixed table of 130 instruction patterns in order;
// the first one that all tokens match gives the bytes.
//
// Operand arithmetic between number tokens (LD A,2+3*4) runs strictly left
// to right in 32-bit wrap-around arithmetic, without precedence.
#pragma once

#include "core/Types.h"

#include <array>
#include <map>
#include <span>
#include <string>

// What the last call of TQuickAsm::Assemble produced. Size and Code change
// only on success and Message only on failure, so after a failure Size and
// Code still hold the last successful instruction: look at Error first.
struct TQAResult {
    i32 Error = 0;              // 0 success, 1 error
    u8 Size = 0;                // 1 to 4 code bytes
    std::array<u8, 4> Code{};   // the instruction's bytes, Code[0] first
    std::string Message;        // the error message
};

class TQuickAsm {
public:
    // Token kinds.
    enum TQAKind : i32 {
        KindMnemonic = 0,
        KindRegister = 1,       // 8-bit register
        KindPair = 2,           // register pair
        KindCondition = 3,      // the carry condition is the register C
        KindPunctuation = 4,
        KindNumber = 5,
        KindOperator = 6,
    };

    // Keyword ids: the vocabulary of both the keyword map and the pattern
    // table. Ids are unique across kinds; the synonyms XH, XL, YH, YL share
    // the ids of IXH, IXL, IYH, IYL.
    enum TQAKeyword : u8 {
        // Mnemonics
        LD = 1, PUSH = 2, POP = 3, EX = 4, EXX = 5, LDI = 6, LDIR = 7, LDD = 8, LDDR = 9,
        CPI = 10, CPIR = 11, CPD = 12, CPDR = 13, ADD = 14, ADC = 15, SUB = 16, SBC = 17,
        AND = 18, OR = 19, XOR = 20, CP = 21, INC = 22, DEC = 23, DAA = 24, CPL = 25,
        NEG = 26, CCF = 27, NOP = 28, HALT = 29, DI = 30, EI = 31, IM = 32, RLCA = 33,
        RLA = 34, RRCA = 35, RRA = 36, RLC = 37, RL = 38, RRC = 39, RR = 40, SLA = 41,
        SRA = 42, SRL = 43, RLD = 44, RRD = 45, BIT = 46, SET = 47, RES = 48, JP = 49,
        JR = 50, DJNZ = 51, CALL = 52, RET = 53, RETI = 54, RETN = 55, RST = 56, IN = 57,
        INI = 58, INIR = 59, IND = 60, INDR = 61, OUT = 62, OUTI = 63, OTIR = 64,
        OUTD = 65, OTDR = 66, SCF = 101, SLL = 102,
        // 8-bit registers
        A = 67, B = 68, C = 69, D = 70, E = 71, H = 72, L = 73, I = 74, R = 75,
        IXH = 103, IXL = 104, IYH = 105, IYL = 106, F = 107,
        // Register pairs; AF_ is AF'
        AF = 76, BC = 77, DE = 78, HL = 79, SP = 80, IX = 81, IY = 82, AF_ = 83,
        // Conditions
        NZ = 84, Z = 85, NC = 86, PO = 87, PE = 88, P = 89, M = 90,
        // Punctuation: , ( )
        Comma = 91, Open = 92, Close = 93,
        // Operators: + - & | ^ * /
        Plus = 94, Minus = 95, Amp = 96, Bar = 97, Caret = 98, Star = 99, Slash = 100,
    };

    // Error codes; SetError turns them into the messages.
    enum TQAErrorCode : i32 {
        ErrTooManyTokens = 0,
        ErrUnknownToken = 1,
        ErrNoCommand = 2,
        ErrNeedMnemonic = 3,
        ErrBadArguments = 4,
        ErrNeedByte = 5,
        ErrBadExpression = 6,
        ErrBadConstant = 8,
        ErrBadOffset = 9,
        ErrNeedWord = 10,
        ErrJumpTooLong = 11,
    };

    // One word of the line. For a keyword Value is its id, for a number the
    // number.
    struct TQAToken {
        i32 Kind = 0;
        i32 Value = 0;
    };

    // The assembler's exception, thrown by the tokeniser and the encoder and
    // caught only by Assemble.
    struct TQAError {
        i32 Code;
    };

    static constexpr int MaxTokens = 64;
    static constexpr size_t PatternCount = 130;
    static constexpr size_t PatternTableSize = 1079;

    // Builds the keyword map.
    TQuickAsm();
    TQuickAsm(const TQuickAsm&) = delete;
    TQuickAsm& operator=(const TQuickAsm&) = delete;

    // Assembles one instruction for the given address (the value of "$" and
    // the base of relative jumps). Never throws an assembler error; the
    // result stays valid until the next call.
    const TQAResult* Assemble(u16 address, const std::string& text);

    // The code of a keyword id in an operand sub-table (200 to 224), or 255
    // when the id is not listed or the number names no sub-table.
    static u8 LookupOperand(i32 id, i32 subTable);

    // The pattern table: 130 patterns, each closed by 255, and one more 255.
    static std::span<const u8> PatternTable();

    const std::map<std::string, TQAToken>& KeywordMap() const { return Keywords; }

private:
    void Tokenize();
    void AddToken(const std::string& word);
    TQAToken ConstantToken(const std::string& word) const;
    void SetError(i32 code);

    void Encode();
    bool TryPattern(size_t start);
    bool MatchItem(size_t& at, int& t, bool& minus);
    void ClearCode();
    i32 EvalOperand(int& t) const;
    i32 ParseOperand(int& t) const;
    i32 RelativeOffset(i32 target) const;

    u8 TokenCount = 0;
    std::string Line;                               // upper-cased
    u16 Address = 0;
    std::array<TQAToken, MaxTokens> Tokens{};
    std::map<std::string, TQAToken> Keywords;
    std::array<u8, 4> Code{};                       // the instruction being built
    TQAResult Result;
};

// The program's one assembler.
extern TQuickAsm g_QuickAsm;
