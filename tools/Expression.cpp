#include "tools/Expression.h"

#include "core/Computer.h"

#include "core/Z80.h"

namespace {

TExpression g_TheExpression;

// Character classes on byte values: a char of 128 or more is negative on
// this platform and must never reach a <cctype> function.
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLower(int c) { return c >= 'a' && c <= 'z'; }
bool IsNameChar(int c) { return IsLower(c) || IsDigit(c) || c == '_' || c == '\''; }

int HexDigit(int c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

[[noreturn]] void Fail(i32 code) { throw TExpError{code}; }

} // namespace

TExpression* g_Expression = &g_TheExpression;

void TExpression::AddVariable(const std::string& name, const void* value, i32 size, const u8* bit7)
{
    Variables[name] = Var2T{value, size, bit7};
}

void TExpression::SetComputer(TComputer* computer)
{
    BindCpu(computer->Z80);
}

void TExpression::BindCpu(TZ80* cpu)
{
    Cpu = cpu;
    AddVariable("a", &cpu->AF.Hi(), 0);
    AddVariable("f", &cpu->AF.Lo(), 0);
    AddVariable("b", &cpu->BC.Hi(), 0);
    AddVariable("c", &cpu->BC.Lo(), 0);
    AddVariable("d", &cpu->DE.Hi(), 0);
    AddVariable("e", &cpu->DE.Lo(), 0);
    AddVariable("h", &cpu->HL.Hi(), 0);
    AddVariable("l", &cpu->HL.Lo(), 0);
    AddVariable("xl", &cpu->IX.Lo(), 0);
    AddVariable("ixl", &cpu->IX.Lo(), 0);
    AddVariable("xh", &cpu->IX.Hi(), 0);
    AddVariable("ixh", &cpu->IX.Hi(), 0);
    AddVariable("yl", &cpu->IY.Lo(), 0);
    AddVariable("iyl", &cpu->IY.Lo(), 0);
    AddVariable("yh", &cpu->IY.Hi(), 0);
    AddVariable("iyh", &cpu->IY.Hi(), 0);
    AddVariable("i", &cpu->I, 0);
    // As the program sees it (LD A,R): the counter's 7 bits and the kept bit 7.
    AddVariable("r", &cpu->R, 0, &cpu->R7);
    AddVariable("bc", &cpu->BC.W, 1);
    AddVariable("de", &cpu->DE.W, 1);
    AddVariable("hl", &cpu->HL.W, 1);
    AddVariable("ix", &cpu->IX.W, 1);
    AddVariable("iy", &cpu->IY.W, 1);
    AddVariable("af", &cpu->AF.W, 1);
    AddVariable("pc", &cpu->PC, 1);
    AddVariable("sp", &cpu->SP, 1);
    AddVariable("af'", &cpu->AltAF.W, 1);
    AddVariable("bc'", &cpu->AltBC.W, 1);
    AddVariable("de'", &cpu->AltDE.W, 1);
    AddVariable("hl'", &cpu->AltHL.W, 1);
    AddVariable("t", &cpu->Tact, 2);
}

const void* TExpression::Evaluate(const std::string& text, i32 size, u16 dollar)
{
    Dollar = dollar;
    switch (size) {
    case 0:
        if (!Calculate(text))
            return nullptr;
        ByteResult = static_cast<u8>(LastValue);
        return &ByteResult;
    case 1:
        if (!Calculate(text))
            return nullptr;
        WordResult = static_cast<u16>(LastValue);
        return &WordResult;
    case 2:
        if (!Calculate(text))
            return nullptr;
        DwordResult = static_cast<u32>(LastValue);
        return &DwordResult;
    default:
        return nullptr;
    }
}

const u32* TExpression::EvaluateDword(const std::string& text, u16 dollar)
{
    return static_cast<const u32*>(Evaluate(text, 2, dollar));
}

bool TExpression::Calculate(const std::string& text)
{
    LastErrorCode = ExpNoError;
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<u8>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<u8>(text[last - 1]) <= 32)
        --last;
    if (first == last)
        return false;

    Text.assign(text, first, last - first);
    for (char& c : Text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    Cursor = 0;
    Depth = 0;
    try {
        LastValue = static_cast<i32>(ParseSum(false));
    } catch (const TExpError& error) {
        LastErrorCode = error.Code;
        return false;
    }
    return true;
}

int TExpression::Peek() const
{
    return Cursor < Text.size() ? static_cast<u8>(Text[Cursor]) : -1;
}

u32 TExpression::ParseSum(bool nested)
{
    u32 value = ParseProduct();
    for (;;) {
        switch (Peek()) {
        case -1:
            if (nested)
                Fail(ExpUnclosed);
            return value;
        case ')':
            if (!nested)
                Fail(ExpUnopened);
            return value;
        case '+':
            ++Cursor;
            value += ParseProduct();
            break;
        case '-':
            ++Cursor;
            value -= ParseProduct();
            break;
        default:
            Fail(ExpUnexpected);
        }
    }
}

u32 TExpression::ParseProduct()
{
    u32 value = ParseFactor();
    for (;;) {
        const int c = Peek();
        if (c == '*') {
            ++Cursor;
            value *= ParseFactor();
        } else if (c == '/') {
            ++Cursor;
            const auto divisor = static_cast<i32>(ParseFactor());
            if (divisor == 0)
                Fail(ExpDivisionByZero);
            // -2147483648 / -1 overflows a signed division: its wrapped
            // quotient is the negation, which unsigned arithmetic gives.
            if (divisor == -1)
                value = 0u - value;
            else
                value = static_cast<u32>(static_cast<i32>(value) / divisor);
        } else {
            return value;
        }
    }
}

u32 TExpression::ParseFactor()
{
    bool negate = false;
    while (Peek() == '-') {
        ++Cursor;
        negate = !negate;
    }

    u32 value = 0;
    const int c = Peek();
    if (c == '#') {
        value = ParseHex();
    } else if (c == '%') {
        value = ParseBinary();
    } else if (c == '$') {
        ++Cursor;
        value = Dollar;
    } else if (IsDigit(c)) {
        value = ParseDecimal();
    } else if (c == '(') {
        // Pasted text can nest without end; the bound keeps the recursion
        // far from the stack's limit.
        if (Depth >= MaxNesting)
            Fail(ExpTooDeep);
        ++Cursor;
        ++Depth;
        value = ParseSum(true);
        --Depth;
        if (Peek() != ')')
            Fail(ExpUnclosed);
        ++Cursor;
    } else if (IsLower(c)) {
        value = ParseName();
    } else {
        Fail(ExpNoOperand);
    }
    return negate ? 0u - value : value;
}

u32 TExpression::ParseHex()
{
    ++Cursor;   // "#"
    if (HexDigit(Peek()) < 0)
        Fail(ExpBadHex);
    u32 value = 0;
    for (int digit; (digit = HexDigit(Peek())) >= 0; ++Cursor)
        value = value * 16 + static_cast<u32>(digit);
    return value;
}

u32 TExpression::ParseBinary()
{
    ++Cursor;   // "%"
    if (Peek() != '0' && Peek() != '1')
        Fail(ExpBadBinary);
    u32 value = 0;
    for (; Peek() == '0' || Peek() == '1'; ++Cursor)
        value = value * 2 + static_cast<u32>(Peek() - '0');
    return value;
}

u32 TExpression::ParseDecimal()
{
    u32 value = 0;
    for (; IsDigit(Peek()); ++Cursor)
        value = value * 10 + static_cast<u32>(Peek() - '0');
    return value;
}

u32 TExpression::ParseName()
{
    const size_t start = Cursor;
    while (IsNameChar(Peek()))
        ++Cursor;
    return GetVariable(Text.substr(start, Cursor - start));
}

u32 TExpression::GetVariable(const std::string& name) const
{
    const auto found = Variables.find(name);
    if (found == Variables.end())
        Fail(ExpUnknownName);
    const Var2T& variable = found->second;
    switch (variable.Size) {
    case 0: {
        u8 byte = *static_cast<const u8*>(variable.Value);
        if (variable.Bit7)
            byte = static_cast<u8>((byte & 0x7F) | (*variable.Bit7 & 0x80));
        return byte;
    }
    case 1:
        return *static_cast<const u16*>(variable.Value);
    default:
        return *static_cast<const u32*>(variable.Value);
    }
}
