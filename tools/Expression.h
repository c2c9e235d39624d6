// The expression evaluator: one line of user text (numbers, "$", register
// names, parentheses, unary minus, + - * /) to an integer. The expression
// dialog, the dump dialogs and the one-line assembler share the one
// evaluator g_Expression.
//
// Grammar (text trimmed and lower-cased first, no blanks inside):
//   sum     = product { ("+" | "-") product }          left to right
//   product = factor  { ("*" | "/") factor }           left to right
//   factor  = { "-" } ( "#"hex | "%"binary | decimal | "$" | name | "(" sum ")" )
// Arithmetic wraps in 32 bits; "/" truncates toward zero.
#pragma once

#include "core/Types.h"

#include <map>
#include <string>

class TZ80;

// One variable the text may name: where its value lives and how wide it is.
// The evaluator reads it afresh at every use and never writes through it.
struct Var2T {
    const void* Value = nullptr;
    i32 Size = 0;               // 0 byte, 1 word, 2 double word
    // The refresh register keeps its bit 7 apart (LD R,A sets it, the
    // counter never carries into it): when set, bit 7 of the byte read
    // through Value is replaced by bit 7 of this byte, as LD A,R sees it.
    const u8* Bit7 = nullptr;
};

// Why a parse failed. Callers only see success or failure; the code is kept
// in TExpression::LastError for tests and diagnostics.
enum TExpErrorCode : i32 {
    ExpNoError = -1,
    ExpBadBinary = 0,        // "%" not followed by 0 or 1
    ExpBadHex = 1,           // "#" not followed by a hex digit
    ExpUnknownName = 2,      // a name that is not a variable
    ExpUnclosed = 3,         // end of text inside parentheses
    ExpNoOperand = 4,        // an operand must start here
    ExpDivisionByZero = 5,
    ExpUnopened = 6,         // ")" without "("
    ExpUnexpected = 7,       // any other character after an operand
    ExpTooDeep = 8,          // parentheses nested deeper than MaxNesting
};

// The evaluator's internal exception; never leaves Calculate.
struct TExpError {
    i32 Code;
};

class TComputer;

class TExpression {
public:
    static constexpr int MaxNesting = 256;

    TExpression() = default;
    TExpression(const TExpression&) = delete;
    TExpression& operator=(const TExpression&) = delete;

    // Registers the 31 register names over this CPU's fields. Re-binding
    // replaces entries.
    void BindCpu(TZ80* cpu);
    // Binds the register names to the machine's processor (start-up).
    void SetComputer(TComputer* computer);

    // Evaluates text with "$" = dollar. size 0 byte, 1 word, 2 double word.
    // Returns a pointer to the typed result (u8, u16 or u32 by size), valid
    // until the next call, or null when the text does not parse, is blank or
    // the size is unknown; on failure the previous results stay.
    const void* Evaluate(const std::string& text, i32 size, u16 dollar);
    // Evaluate with size 2.
    const u32* EvaluateDword(const std::string& text, u16 dollar);

    // Trims, lower-cases and parses; true when the text gave a value (kept
    // in LastValue).
    bool Calculate(const std::string& text);

    i32 GetLastValue() const { return LastValue; }
    // The code of the last failed Calculate, ExpNoError after a success or a
    // blank text.
    i32 LastError() const { return LastErrorCode; }
    bool HasVariable(const std::string& name) const { return Variables.count(name) != 0; }

private:
    // The parser over the prepared text; each routine advances Cursor.
    u32 ParseSum(bool nested);
    u32 ParseProduct();
    u32 ParseFactor();
    u32 ParseHex();
    u32 ParseBinary();
    u32 ParseDecimal();
    u32 ParseName();
    u32 GetVariable(const std::string& name) const;
    int Peek() const;   // the byte at the cursor (0..255), or -1 at the end

    void AddVariable(const std::string& name, const void* value, i32 size, const u8* bit7 = nullptr);

    TZ80* Cpu = nullptr;
    i32 LastValue = 0;
    u16 WordResult = 0;
    u16 Dollar = 0;
    u8 ByteResult = 0;
    u32 DwordResult = 0;
    std::map<std::string, Var2T> Variables;

    std::string Text;       // the trimmed, lower-cased text being parsed
    size_t Cursor = 0;
    int Depth = 0;          // open parentheses at the cursor
    i32 LastErrorCode = ExpNoError;
};

// The program's one evaluator. It exists from start-up (static
// initialisation) with no variables; the main window binds it to the
// computer. Tests may point it at an evaluator of their own.
extern TExpression* g_Expression;
