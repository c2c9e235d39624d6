// The expression evaluator: number forms, grouping and precedence, 32-bit
// wrap, the error codes, the register variables over a TZ80, and robustness
// on hostile text (deep nesting, high bytes, random strings).
#include "tools/Expression.h"

#include "core/Computer.h"
#include "core/Z80.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace {

class ExpressionTest : public ::testing::Test {
protected:
    TExpression Expression;

    // The 32-bit value of text, or nothing when it does not evaluate.
    std::optional<u32> Dword(const std::string& text, u16 dollar = 0)
    {
        const u32* value = Expression.EvaluateDword(text, dollar);
        return value ? std::optional<u32>(*value) : std::nullopt;
    }
    std::optional<u16> Word(const std::string& text, u16 dollar = 0)
    {
        const void* value = Expression.Evaluate(text, 1, dollar);
        return value ? std::optional<u16>(*static_cast<const u16*>(value)) : std::nullopt;
    }
    std::optional<u8> Byte(const std::string& text, u16 dollar = 0)
    {
        const void* value = Expression.Evaluate(text, 0, dollar);
        return value ? std::optional<u8>(*static_cast<const u8*>(value)) : std::nullopt;
    }
    // The error code text fails with (ExpNoError when it evaluates).
    i32 Error(const std::string& text)
    {
        Expression.Calculate(text);
        return Expression.LastError();
    }
};

TEST_F(ExpressionTest, BlankTextGivesNothingForEverySize)
{
    for (const char* text : {"", "   ", "\t\r\n", " \x01\x1F "}) {
        for (i32 size = 0; size <= 2; ++size)
            EXPECT_EQ(Expression.Evaluate(text, size, 0), nullptr) << '"' << text << '"';
        EXPECT_EQ(Expression.LastError(), ExpNoError);
    }
    EXPECT_EQ(Dword(" 12 "), 12u);
    EXPECT_EQ(Dword("\t12\n"), 12u);
    EXPECT_EQ(Error("1 2"), ExpUnexpected);     // blanks inside are not skipped
    EXPECT_EQ(Error("1+ 2"), ExpNoOperand);
}

TEST_F(ExpressionTest, NumberForms)
{
    EXPECT_EQ(Dword("#ff"), 255u);
    EXPECT_EQ(Dword("#FF"), 255u);
    EXPECT_EQ(Dword("255"), 255u);
    EXPECT_EQ(Dword("010"), 10u);
    EXPECT_EQ(Dword("%1010"), 10u);
    EXPECT_EQ(Dword("#C000"), 0xC000u);
    EXPECT_EQ(Dword("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(Dword("4294967296"), 0u);          // accumulates with wrap-around
    EXPECT_EQ(Dword("#123456789"), 0x23456789u);
    EXPECT_EQ(Error("#"), ExpBadHex);
    EXPECT_EQ(Error("#g"), ExpBadHex);
    EXPECT_EQ(Error("%2"), ExpBadBinary);
    EXPECT_EQ(Error("%"), ExpBadBinary);
    EXPECT_EQ(Error("#1g"), ExpUnexpected);      // the number ends at g
    EXPECT_EQ(Error("12ab"), ExpUnexpected);
    EXPECT_EQ(Error("%102"), ExpUnexpected);
}

TEST_F(ExpressionTest, DollarIsTheCallersValue)
{
    EXPECT_EQ(Dword("$", 0x8000), 0x8000u);
    EXPECT_EQ(Word("$+1", 0xFFFF), 0u);          // 0x10000 cut to 16 bits
    EXPECT_EQ(Byte("$+1", 0xFFFF), 0u);
    EXPECT_EQ(Dword("$+1", 0xFFFF), 0x10000u);
    EXPECT_EQ(Dword("-$", 1), 0xFFFFFFFFu);
}

TEST_F(ExpressionTest, PlusAndMinusGroupFromTheLeftBelowTimesAndDivide)
{
    EXPECT_EQ(Dword("10-2-3"), 5u);
    EXPECT_EQ(Dword("10-2+3"), 11u);
    EXPECT_EQ(Dword("#C000-#4000-1"), 0x7FFFu);  // the dump dialogs' ranges
    EXPECT_EQ(Dword("10-(2-3)"), 11u);
    EXPECT_EQ(Dword("(10-2)-3"), 5u);
    EXPECT_EQ(Dword("1+2*3-4"), 3u);
    EXPECT_EQ(Dword("2+3*4"), 14u);
    EXPECT_EQ(Dword("2*3+4"), 10u);
    EXPECT_EQ(Dword("2*3-4*5"), static_cast<u32>(-14));
    EXPECT_EQ(Dword("8/2/2"), 2u);
    EXPECT_EQ(Dword("100/10*2"), 20u);
    EXPECT_EQ(Dword("-7/2"), 0xFFFFFFFDu);       // truncated toward zero
    EXPECT_EQ(Dword("7/-2"), static_cast<u32>(-3));
    EXPECT_EQ(Dword("((1+2)*(3+4))"), 21u);
}

TEST_F(ExpressionTest, ArithmeticWrapsInThirtyTwoBits)
{
    EXPECT_EQ(Dword("-2147483648/-1"), 0x80000000u);   // the wrapped quotient, no trap
    EXPECT_EQ(Dword("#80000000/-1"), 0x80000000u);
    EXPECT_EQ(Dword("#FFFFFFFF+1"), 0u);
    EXPECT_EQ(Dword("#10000*#10000"), 0u);
    EXPECT_EQ(Dword("0-1"), 0xFFFFFFFFu);
    EXPECT_EQ(Error("7/0"), ExpDivisionByZero);
    EXPECT_EQ(Error("7/(1-1)"), ExpDivisionByZero);
}

TEST_F(ExpressionTest, UnaryMinusAndMissingOperands)
{
    EXPECT_EQ(Dword("--5"), 5u);
    EXPECT_EQ(Dword("---5"), static_cast<u32>(-5));
    EXPECT_EQ(Dword("2*-3"), static_cast<u32>(-6));
    EXPECT_EQ(Dword("-(2+3)"), static_cast<u32>(-5));
    EXPECT_EQ(Dword("-2*3"), static_cast<u32>(-6));
    EXPECT_EQ(Dword("2--3"), 5u);
    EXPECT_EQ(Error("+5"), ExpNoOperand);        // there is no unary plus
    EXPECT_EQ(Error("2*+3"), ExpNoOperand);
    EXPECT_EQ(Error("2+"), ExpNoOperand);
    EXPECT_EQ(Error("-"), ExpNoOperand);
    EXPECT_EQ(Error("()"), ExpNoOperand);
    EXPECT_EQ(Error("_a"), ExpNoOperand);
}

TEST_F(ExpressionTest, ParenthesesAndStrayCharacters)
{
    EXPECT_EQ(Error("(1+2"), ExpUnclosed);
    EXPECT_EQ(Error("((1)"), ExpUnclosed);
    EXPECT_EQ(Error("1+2)"), ExpUnopened);
    EXPECT_EQ(Error("5(1)"), ExpUnexpected);
    EXPECT_EQ(Error("2,3"), ExpUnexpected);
    EXPECT_EQ(Error("2&3"), ExpUnexpected);
    EXPECT_EQ(Error("(1) 2"), ExpUnexpected);
}

TEST_F(ExpressionTest, SizesCutTheValueAndFailuresKeepTheLastResult)
{
    EXPECT_EQ(Byte("300"), 0x2Cu);
    EXPECT_EQ(Word("-1"), 0xFFFFu);
    EXPECT_EQ(Byte("256"), 0u);
    EXPECT_EQ(Expression.Evaluate("1", 3, 0), nullptr);    // unknown size, even for good text
    EXPECT_EQ(Expression.Evaluate("1", -1, 0), nullptr);

    const u8* byte = static_cast<const u8*>(Expression.Evaluate("#12", 0, 0));
    ASSERT_NE(byte, nullptr);
    EXPECT_EQ(Expression.Evaluate("1+", 0, 0), nullptr);
    EXPECT_EQ(*byte, 0x12);
    EXPECT_EQ(Expression.GetLastValue(), 0x12);
    EXPECT_EQ(Expression.LastError(), ExpNoOperand);
}

TEST_F(ExpressionTest, NamesFailUntilBoundToAProcessor)
{
    EXPECT_EQ(Error("pc"), ExpUnknownName);
    EXPECT_EQ(Error("a"), ExpUnknownName);
    EXPECT_EQ(Dword("$+#10*2", 0x100), 0x120u);    // the rest works unbound
}

TEST_F(ExpressionTest, TheGlobalEvaluatorExistsFromStartUp)
{
    ASSERT_NE(g_Expression, nullptr);
    const u32* value = g_Expression->EvaluateDword("#4000+$", 0x10);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, 0x4010u);
}

class ExpressionRegistersTest : public ExpressionTest {
protected:
    TZ80 Cpu{nullptr, nullptr};

    void SetUp() override
    {
        Cpu.AF = 0x1122;
        Cpu.BC = 0x3344;
        Cpu.DE = 0x5566;
        Cpu.HL = 0x7788;
        Cpu.IX = 0x99AA;
        Cpu.IY = 0xBBCC;
        Cpu.PC = 0x8000;
        Cpu.SP = 0xFFF0;
        Cpu.AltAF = 0x0102;
        Cpu.AltBC = 0x0304;
        Cpu.AltDE = 0x0506;
        Cpu.AltHL = 0x0708;
        Cpu.I = 0x3F;
        Cpu.Tact = 71679;
        Expression.BindCpu(&Cpu);
    }
};

TEST_F(ExpressionRegistersTest, EveryNameReadsItsRegister)
{
    const struct {
        const char* Name;
        u32 Value;
    } registers[] = {
        {"a", 0x11}, {"f", 0x22}, {"b", 0x33}, {"c", 0x44}, {"d", 0x55}, {"e", 0x66},
        {"h", 0x77}, {"l", 0x88}, {"xh", 0x99}, {"ixh", 0x99}, {"xl", 0xAA}, {"ixl", 0xAA},
        {"yh", 0xBB}, {"iyh", 0xBB}, {"yl", 0xCC}, {"iyl", 0xCC}, {"i", 0x3F},
        {"bc", 0x3344}, {"de", 0x5566}, {"hl", 0x7788}, {"ix", 0x99AA}, {"iy", 0xBBCC},
        {"af", 0x1122}, {"pc", 0x8000}, {"sp", 0xFFF0},
        {"af'", 0x0102}, {"bc'", 0x0304}, {"de'", 0x0506}, {"hl'", 0x0708},
        {"t", 71679},
    };
    for (const auto& item : registers)
        EXPECT_EQ(Dword(item.Name), item.Value) << item.Name;
}

TEST_F(ExpressionRegistersTest, NamesInAnyCaseReadTheLiveValue)
{
    EXPECT_EQ(Dword("PC"), 0x8000u);
    EXPECT_EQ(Dword("Pc"), 0x8000u);
    EXPECT_EQ(Dword("AF'"), 0x0102u);
    EXPECT_EQ(Dword("IXH"), Dword("xh"));
    Cpu.PC = 0x1234;
    Cpu.IX.Hi() = 0x42;
    EXPECT_EQ(Dword("pc"), 0x1234u);
    EXPECT_EQ(Dword("xh"), 0x42u);
    EXPECT_EQ(Dword("hl+de*2"), 0x7788u + 0x5566u * 2);
    EXPECT_EQ(Dword("(sp)"), 0xFFF0u);
    Cpu.Tact = -1;   // a double word passes all 32 bits
    EXPECT_EQ(Dword("t"), 0xFFFFFFFFu);
}

TEST_F(ExpressionRegistersTest, RefreshRegisterReadsAsTheProgramSeesIt)
{
    Cpu.R = 0xFF;
    Cpu.R7 = 0x00;
    EXPECT_EQ(Dword("r"), 0x7Fu);
    Cpu.R = 0x05;
    Cpu.R7 = 0x80;
    EXPECT_EQ(Dword("r"), 0x85u);
}

TEST_F(ExpressionRegistersTest, UnknownNames)
{
    EXPECT_EQ(Error("foo"), ExpUnknownName);
    EXPECT_EQ(Error("af''"), ExpUnknownName);
    EXPECT_EQ(Error("abcdefghijklmnopqrstuvwxyz0123456789"), ExpUnknownName);
    EXPECT_EQ(Error("a1"), ExpUnknownName);
    EXPECT_EQ(Error("_a"), ExpNoOperand);
    EXPECT_EQ(Error("a b"), ExpUnexpected);
}

TEST_F(ExpressionTest, NestingIsBounded)
{
    const int bound = TExpression::MaxNesting;
    EXPECT_EQ(Dword(std::string(bound, '(') + "7" + std::string(bound, ')')), 7u);
    EXPECT_EQ(Error(std::string(bound + 1, '(') + "7" + std::string(bound + 1, ')')), ExpTooDeep);
    EXPECT_EQ(Error(std::string(100000, '(')), ExpTooDeep);
    // Sequential groups do not add up.
    std::string chain = "0";
    for (int i = 0; i < 1000; ++i)
        chain += "+(" + std::string(bound - 1, '(') + "1" + std::string(bound, ')');
    EXPECT_EQ(Dword(chain), 1000u);
    // A long run of minus signs is a loop, not nesting.
    EXPECT_EQ(Dword(std::string(100000, '-') + "5"), 5u);
}

TEST_F(ExpressionTest, HighBytesAreNeitherLettersNorDigits)
{
    EXPECT_EQ(Error("\xE9"), ExpNoOperand);
    EXPECT_EQ(Error("1\xFF"), ExpUnexpected);
    EXPECT_EQ(Error("#\xB0"), ExpBadHex);
    EXPECT_EQ(Error("\x80" "5"), ExpNoOperand);
    EXPECT_EQ(Dword("\xA0" "5"), std::nullopt);   // 0xA0 is not trimmed: only codes up to 32
}

TEST_F(ExpressionTest, RandomTextNeverCrashesAndAlwaysGivesAnAnswer)
{
    TZ80 cpu(nullptr, nullptr);
    Expression.BindCpu(&cpu);
    std::mt19937 random(20240601);
    const std::string alphabet = "0123456789abcdefxyhlr'#%$()+-*/ _,\t";
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 40, ' ');
        for (char& c : text)
            c = random() % 8 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        const bool ok = Expression.Calculate(text);
        const i32 error = Expression.LastError();
        if (ok) {
            EXPECT_EQ(error, ExpNoError) << text;
        } else {
            EXPECT_TRUE(error == ExpNoError || (error >= ExpBadBinary && error <= ExpTooDeep)) << text;
        }
        // Evaluating the same text again gives the same answer.
        EXPECT_EQ(Expression.Calculate(text), ok) << text;
    }
}

} // namespace

TEST_F(ExpressionTest, SetComputerBindsTheRegisterNamesToTheMachinesProcessor)
{
    TTestSettings settings;
    TFakeHostServices host;
    TComputer computer(host.Services());
    computer.Z80->HL.W = 0x1234;
    computer.Z80->SP = 0xFF48;

    Expression.SetComputer(&computer);

    EXPECT_EQ(Word("hl"), 0x1234);
    EXPECT_EQ(Word("sp+2"), 0xFF4A);
    computer.Z80->HL.W = 0x0042;  // names read the live register, not a copy
    EXPECT_EQ(Word("HL"), 0x0042);
}
