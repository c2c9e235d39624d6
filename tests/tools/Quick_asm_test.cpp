// The one-line assembler's front end and encoder rules: tokens, keywords,
// numbers through the evaluator, the result record, every message, operand
// expressions, ranges, pattern order and the quirks users meet. The bytes of
// every instruction form are checked against peer tools in
// Quick_asm_vectors_test.
#include "tools/Quick_asm.h"

#include "core/Z80.h"
#include "tools/Expression.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string TooManyTokens = "Too many tokens in string!";
const std::string UnknownToken = "Unknown token or invalid constant!";
const std::string NoCommand = "Please, input command!";
const std::string NeedMnemonic = "Need assembler mnemonic!";
const std::string BadArguments = "Invalid instruction arguments!";
const std::string NeedByte = "Expression too large! Need byte.";
const std::string BadExpression = "Invalid expression!";
const std::string BadConstant = "Invalid constant in expression!";
const std::string BadOffset = "Invalid offset in indexing!";
const std::string NeedWord = "Expression too large! Need word.";
const std::string JumpTooLong = "Near jump is too long!";

std::string Bytes(const TQAResult& result)
{
    std::string text;
    for (int k = 0; k < result.Size; ++k) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", result.Code[k]);
        if (k)
            text += ' ';
        text += hex;
    }
    return text;
}

// The bytes of a successful line, or the message of a failed one.
std::string Asm(const std::string& line, u16 address = 0x8000)
{
    const TQAResult* result = g_QuickAsm.Assemble(address, line);
    return result->Error == 0 ? Bytes(*result) : result->Message;
}

// A line of exactly n tokens that assembles: LD A,1+1+...+1.
std::string LineOfTokens(int n)
{
    std::string line = "LD A,1";        // 4 tokens
    for (int tokens = 4; tokens + 2 <= n; tokens += 2)
        line += "+1";
    return line;
}

TEST(QuickAsmFrontEnd, EmptyLineAndMissingMnemonic)
{
    EXPECT_EQ(Asm(""), NoCommand);
    EXPECT_EQ(Asm("   "), NoCommand);
    EXPECT_EQ(Asm("A,B"), NeedMnemonic);
    EXPECT_EQ(Asm("5"), NeedMnemonic);
    EXPECT_EQ(Asm("(HL)"), NeedMnemonic);
    // The tokeniser runs first: a bad word wins over a missing mnemonic.
    EXPECT_EQ(Asm("5 FOO"), UnknownToken);
}

TEST(QuickAsmFrontEnd, CaseAndBlanks)
{
    EXPECT_EQ(Asm("ld a,b"), "78");
    EXPECT_EQ(Asm("LD   A , B"), "78");
    EXPECT_EQ(Asm("  Ld a ,( iX + 5 )  "), "DD 7E 05");
    EXPECT_EQ(Asm("ex af,af'"), "08");
    // Blanks end words and only blanks and the ten punctuation characters do.
    EXPECT_EQ(Asm("L D A,B"), NeedMnemonic);     // the registers L and D
    EXPECT_EQ(Asm("LDA,B"), UnknownToken);
}

TEST(QuickAsmFrontEnd, WordsThatAreNoKeyword)
{
    EXPECT_EQ(Asm("LD A,FOO"), UnknownToken);
    // A tab is no separator: it joins the mnemonic and the next word.
    EXPECT_EQ(Asm("LD\tA,B"), UnknownToken);
    EXPECT_EQ(Asm("LD A,\xC3\xA9"), UnknownToken);
    EXPECT_EQ(Asm("LD A,5 5"), BadArguments);
    // "AF'" is one word and a keyword; other primes go to the evaluator.
    EXPECT_EQ(Asm("EX AF',AF"), BadArguments);
}

TEST(QuickAsmFrontEnd, NumberForms)
{
    EXPECT_EQ(Asm("LD A,#FF"), "3E FF");
    EXPECT_EQ(Asm("LD A,#ff"), "3E FF");
    EXPECT_EQ(Asm("LD A,%101"), "3E 05");
    EXPECT_EQ(Asm("LD A,010"), "3E 0A");
    EXPECT_EQ(Asm("JP $"), "C3 00 80");
    EXPECT_EQ(Asm("JP $", 0x1234), "C3 34 12");
    // "#" is the only hexadecimal prefix.
    EXPECT_EQ(Asm("LD A,0FFH"), UnknownToken);
    EXPECT_EQ(Asm("LD A,0x10"), UnknownToken);
    EXPECT_EQ(Asm("LD A,#"), UnknownToken);
    // A number is never taken for the keyword of the same id.
    EXPECT_EQ(Asm("LD A,67"), "3E 43");
    EXPECT_EQ(Asm("LD A,(79)"), "3A 4F 00");
}

TEST(QuickAsmFrontEnd, RegisterNamesGoThroughTheBoundEvaluator)
{
    TExpression evaluator;
    TZ80 cpu(nullptr, nullptr);
    cpu.PC = 0x1234;
    cpu.AltHL.W = 0xBEEF;
    cpu.BC.W = 0x0102;
    evaluator.BindCpu(&cpu);
    TExpression* const saved = g_Expression;
    g_Expression = &evaluator;

    EXPECT_EQ(Asm("LD HL,PC"), "21 34 12");
    EXPECT_EQ(Asm("ld hl,pc+1"), "21 35 12");
    EXPECT_EQ(Asm("LD DE,HL'"), "11 EF BE");
    // Keywords stay registers; only words that are none reach the evaluator.
    EXPECT_EQ(Asm("LD A,B"), "78");
    EXPECT_EQ(Asm("LD A,BC"), BadArguments);
    // A trailing tab keeps "B" from being the keyword: the word is the value of B.
    EXPECT_EQ(Asm("LD A,B\t"), "3E 01");

    g_Expression = saved;
    EXPECT_EQ(Asm("LD HL,PC"), UnknownToken);
}

TEST(QuickAsmFrontEnd, TokenLimit)
{
    EXPECT_EQ(Asm(LineOfTokens(64)), "3E 1F");
    EXPECT_EQ(Asm(LineOfTokens(64) + "+"), TooManyTokens);
    EXPECT_EQ(Asm(LineOfTokens(64) + " FOO"), TooManyTokens);
    EXPECT_EQ(Asm(std::string(1000, '(')), TooManyTokens);
}

TEST(QuickAsmFrontEnd, ResultKeepsTheLastSuccess)
{
    TQuickAsm assembler;
    const TQAResult* result = assembler.Assemble(0x8000, "LD A,300");
    EXPECT_EQ(result->Error, 1);
    EXPECT_EQ(result->Size, 0);
    EXPECT_EQ(result->Code, (std::array<u8, 4>{}));
    EXPECT_EQ(result->Message, NeedByte);

    result = assembler.Assemble(0x8000, "LD (IX+1),5");
    EXPECT_EQ(result->Error, 0);
    EXPECT_EQ(Bytes(*result), "DD 36 01 05");

    // A failure leaves the bytes and size alone, even where the failing
    // pattern had already placed fields.
    result = assembler.Assemble(0x8000, "LD (IY+2),300");
    EXPECT_EQ(result->Error, 1);
    EXPECT_EQ(result->Message, NeedByte);
    EXPECT_EQ(Bytes(*result), "DD 36 01 05");

    // A success leaves the message alone.
    result = assembler.Assemble(0x8000, "NOP");
    EXPECT_EQ(result->Error, 0);
    EXPECT_EQ(Bytes(*result), "00");
    EXPECT_EQ(result->Message, NeedByte);
    EXPECT_EQ(result->Code, (std::array<u8, 4>{0, 0, 0, 0}));
}

TEST(QuickAsmFrontEnd, EveryMessage)
{
    EXPECT_EQ(Asm(LineOfTokens(64) + "+1"), TooManyTokens);
    EXPECT_EQ(Asm("LD A,FOO"), UnknownToken);
    EXPECT_EQ(Asm(""), NoCommand);
    EXPECT_EQ(Asm("A"), NeedMnemonic);
    EXPECT_EQ(Asm("LD A"), BadArguments);
    EXPECT_EQ(Asm("LD A,256"), NeedByte);
    EXPECT_EQ(Asm("LD A,5+"), BadExpression);
    EXPECT_EQ(Asm("LD A,*5"), BadConstant);
    EXPECT_EQ(Asm("LD A,(IX+200)"), BadOffset);
    EXPECT_EQ(Asm("LD HL,65536"), NeedWord);
    EXPECT_EQ(Asm("JR 0"), JumpTooLong);
}

TEST(QuickAsmEncoder, PatternOrder)
{
    EXPECT_EQ(Asm("LD HL,(#1234)"), "2A 34 12");
    EXPECT_EQ(Asm("LD BC,(#1234)"), "ED 4B 34 12");
    EXPECT_EQ(Asm("LD SP,(#1234)"), "ED 7B 34 12");
    EXPECT_EQ(Asm("LD (#4000),HL"), "22 00 40");
    EXPECT_EQ(Asm("LD (#4000),DE"), "ED 53 00 40");
    EXPECT_EQ(Asm("LD A,(#5C00)"), "3A 00 5C");
    EXPECT_EQ(Asm("LD H,(IX+1)"), "DD 66 01");
    EXPECT_EQ(Asm("LD (IY-2),A"), "FD 77 FE");
    EXPECT_EQ(Asm("LD (HL),5"), "36 05");
    EXPECT_EQ(Asm("IN A,(C)"), "ED 78");
}

TEST(QuickAsmEncoder, Ranges)
{
    EXPECT_EQ(Asm("LD A,255"), "3E FF");
    EXPECT_EQ(Asm("LD A,-128"), "3E 80");
    EXPECT_EQ(Asm("LD A,-129"), NeedByte);
    EXPECT_EQ(Asm("LD A,300"), NeedByte);
    EXPECT_EQ(Asm("LD HL,-1"), "21 FF FF");
    EXPECT_EQ(Asm("LD HL,-32768"), "21 00 80");
    EXPECT_EQ(Asm("LD HL,-32769"), NeedWord);
    EXPECT_EQ(Asm("LD BC,65535"), "01 FF FF");
    EXPECT_EQ(Asm("LD BC,70000"), NeedWord);
    EXPECT_EQ(Asm("LD A,(IX+127)"), "DD 7E 7F");
    EXPECT_EQ(Asm("LD A,(IX+128)"), BadOffset);
    EXPECT_EQ(Asm("LD A,(IX-128)"), "DD 7E 80");
    EXPECT_EQ(Asm("LD A,(IX-129)"), BadOffset);
    EXPECT_EQ(Asm("OUT (256),A"), NeedByte);
    // A value out of range ends the assembly at once, before later patterns.
    EXPECT_EQ(Asm("LD (IX+1),300"), NeedByte);
}

TEST(QuickAsmEncoder, OperandExpressionsRunLeftToRight)
{
    EXPECT_EQ(Asm("LD A,2+3*4"), "3E 14");
    EXPECT_EQ(Asm("LD A,10-2-3"), "3E 05");
    EXPECT_EQ(Asm("LD A,7&3|8"), "3E 0B");
    EXPECT_EQ(Asm("LD A,6^3"), "3E 05");
    EXPECT_EQ(Asm("LD A,-7/2"), "3E FD");
    EXPECT_EQ(Asm("LD A,#10+2"), "3E 12");
    EXPECT_EQ(Asm("LD A,+5"), "3E 05");
    EXPECT_EQ(Asm("LD A,2*-3"), "3E FA");
    EXPECT_EQ(Asm("LD A,5+"), BadExpression);
    EXPECT_EQ(Asm("LD A,*5"), BadConstant);
    EXPECT_EQ(Asm("LD A,-"), BadConstant);
    EXPECT_EQ(Asm("LD A,5+-"), BadConstant);
    EXPECT_EQ(Asm("LD A,5+*3"), BadConstant);
    EXPECT_EQ(Asm("LD A,5+,B"), BadConstant);
    EXPECT_EQ(Asm("LD A,5+B"), BadConstant);
    // The whole displacement expression takes the sign before it.
    EXPECT_EQ(Asm("LD A,(IX-5+3)"), "DD 7E F8");
    EXPECT_EQ(Asm("LD A,(IX+-5)"), "DD 7E FB");
    EXPECT_EQ(Asm("LD A,(IX--5)"), "DD 7E 05");
    EXPECT_EQ(Asm("LD (#4000+#20),A"), "32 20 40");
}

TEST(QuickAsmEncoder, ArithmeticWrapsWithoutTraps)
{
    EXPECT_EQ(Asm("LD A,1/0"), BadExpression);
    EXPECT_EQ(Asm("LD A,(IX+1/0)"), BadExpression);
    EXPECT_EQ(Asm("LD A,#80000000/-1"), NeedByte);
    EXPECT_EQ(Asm("LD HL,#80000000/-1"), NeedWord);
    EXPECT_EQ(Asm("LD A,#7FFFFFFF+1-#80000000"), "3E 00");
    EXPECT_EQ(Asm("LD HL,#FFFF*#FFFF"), NeedWord);
    EXPECT_EQ(Asm("LD HL,#10000*#10000+7"), "21 07 00");
    EXPECT_EQ(Asm("LD A,(IX-#80000000)"), BadOffset);
    EXPECT_EQ(Asm("LD A,-#80000000"), NeedByte);
}

TEST(QuickAsmEncoder, IndexHalves)
{
    EXPECT_EQ(Asm("LD B,XH"), "DD 44");
    EXPECT_EQ(Asm("LD IXH,IXL"), "DD 65");
    EXPECT_EQ(Asm("LD IYL,5"), "FD 2E 05");
    EXPECT_EQ(Asm("LD YH,YL"), "FD 65");
    EXPECT_EQ(Asm("LD IXH,IYL"), BadArguments);
    EXPECT_EQ(Asm("LD IXH,H"), BadArguments);
    EXPECT_EQ(Asm("LD L,IYH"), BadArguments);
    EXPECT_EQ(Asm("ADD A,IXH"), "DD 84");
    EXPECT_EQ(Asm("SUB IYL"), "FD 95");
    EXPECT_EQ(Asm("INC IXH"), "DD 24");
    EXPECT_EQ(Asm("DEC IYL"), "FD 2D");
    EXPECT_EQ(Asm("ADD IXH"), BadArguments);
}

TEST(QuickAsmEncoder, AccumulatorSpelling)
{
    EXPECT_EQ(Asm("ADD A,B"), "80");
    EXPECT_EQ(Asm("SUB B"), "90");
    EXPECT_EQ(Asm("SBC A,B"), "98");
    EXPECT_EQ(Asm("SUB A,B"), BadArguments);
    EXPECT_EQ(Asm("ADD B"), BadArguments);
    EXPECT_EQ(Asm("PUSH SP"), BadArguments);
    EXPECT_EQ(Asm("ADD IX,HL"), BadArguments);
    EXPECT_EQ(Asm("ADD IX,IY"), BadArguments);
}

TEST(QuickAsmEncoder, BitsShiftsAndIndexedCB)
{
    EXPECT_EQ(Asm("SLL B"), "CB 30");
    EXPECT_EQ(Asm("SET 3,(IX+2),B"), "DD CB 02 D8");
    EXPECT_EQ(Asm("RES 0,(IY-1),A"), "FD CB FF 87");
    EXPECT_EQ(Asm("RLC (IX+1),B"), "DD CB 01 00");
    EXPECT_EQ(Asm("RLC (IX+1)"), "DD CB 01 06");
    EXPECT_EQ(Asm("BIT 3,(IX+2)"), "DD CB 02 5E");
    EXPECT_EQ(Asm("BIT 3,(IX+2),B"), BadArguments);
    EXPECT_EQ(Asm("BIT 7,(HL)"), "CB 7E");
    EXPECT_EQ(Asm("BIT 8,A"), BadArguments);
    EXPECT_EQ(Asm("BIT #FFFFFFFF,A"), BadArguments);
    EXPECT_EQ(Asm("BIT -1,A"), BadArguments);
    EXPECT_EQ(Asm("BIT 1+1,A"), BadArguments);
}

TEST(QuickAsmEncoder, InterruptModesAndRestarts)
{
    EXPECT_EQ(Asm("IM 0"), "ED 46");
    EXPECT_EQ(Asm("IM 1"), "ED 56");
    EXPECT_EQ(Asm("IM 2"), "ED 5E");
    EXPECT_EQ(Asm("IM 3"), BadArguments);
    EXPECT_EQ(Asm("IM -1"), BadArguments);
    EXPECT_EQ(Asm("IM"), BadArguments);
    EXPECT_EQ(Asm("RST #38"), "FF");
    EXPECT_EQ(Asm("RST 8"), "CF");
    EXPECT_EQ(Asm("RST 0"), "C7");
    EXPECT_EQ(Asm("RST 38"), BadArguments);
    EXPECT_EQ(Asm("RST #40"), BadArguments);
    EXPECT_EQ(Asm("RST A"), BadArguments);
}

TEST(QuickAsmEncoder, RelativeJumps)
{
    EXPECT_EQ(Asm("JR $"), "18 FE");
    EXPECT_EQ(Asm("DJNZ $"), "10 FE");
    EXPECT_EQ(Asm("JR C,$"), "38 FE");
    EXPECT_EQ(Asm("JR NZ,$"), "20 FE");
    EXPECT_EQ(Asm("JR PO,$"), BadArguments);
    EXPECT_EQ(Asm("JR #8081"), "18 7F");
    EXPECT_EQ(Asm("JR #8082"), JumpTooLong);
    EXPECT_EQ(Asm("JR #7F82"), "18 80");
    EXPECT_EQ(Asm("JR #7F81"), JumpTooLong);
    // The target is one number token: no expression, no sign.
    EXPECT_EQ(Asm("JR $+2"), BadArguments);
    EXPECT_EQ(Asm("JR -1"), BadArguments);
    EXPECT_EQ(Asm("JR 65536"), BadArguments);
    EXPECT_EQ(Asm("JR #FFFF7FFF"), BadArguments);    // -32769
    // Offsets wrap modulo 64K.
    EXPECT_EQ(Asm("JR 5", 0xFFFF), "18 04");
    EXPECT_EQ(Asm("JR #FF90", 0x0000), "18 8E");
    EXPECT_EQ(Asm("JR #FFFFFFFF", 0x0000), "18 FD");
    EXPECT_EQ(Asm("DJNZ 0", 0xFFFE), "10 00");
}

TEST(QuickAsmEncoder, ExchangesJumpsAndPorts)
{
    EXPECT_EQ(Asm("EX AF,AF'"), "08");
    EXPECT_EQ(Asm("EX (SP),IX"), "DD E3");
    EXPECT_EQ(Asm("JP (IY)"), "FD E9");
    EXPECT_EQ(Asm("LD A,(IX)"), BadArguments);
    EXPECT_EQ(Asm("JP (IX+0)"), BadArguments);
    EXPECT_EQ(Asm("IN A,(#FE)"), "DB FE");
    EXPECT_EQ(Asm("IN B,(C)"), "ED 40");
    EXPECT_EQ(Asm("IN F,(C)"), "ED 70");
    EXPECT_EQ(Asm("IN (C)"), "ED 70");
    EXPECT_EQ(Asm("OUT (C),0"), "ED 71");
    EXPECT_EQ(Asm("OUT (C),5"), BadArguments);
    EXPECT_EQ(Asm("OUT (C),A"), "ED 79");
}

// Random lines over the assembler's vocabulary: every call returns a result
// (never an exception), and a success is 1 to 4 bytes.
TEST(QuickAsmFuzz, RandomLinesNeverThrow)
{
    const std::vector<std::string> words = {
        "LD", "JR", "BIT", "SET", "RST", "IM", "OUT", "IN", "EX", "ADD", "SUB", "INC", "RLC",
        "A", "B", "C", "H", "L", "IXH", "YL", "F", "R", "I", "HL", "IX", "IY", "SP", "AF'",
        "NZ", "PO", ",", "(", ")", "+", "-", "*", "/", "&", "|", "^", "0", "1", "7", "8",
        "255", "-1", "#FFFF", "%", "$", "#", "#80000000", "65536", "\t", "'", "FOO", "\xFF"};
    std::mt19937 random(12345);
    int successes = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        const int count = 1 + static_cast<int>(random() % 10);
        for (int k = 0; k < count; ++k) {
            line += words[random() % words.size()];
            if (random() % 3 == 0)
                line += ' ';
        }
        const TQAResult* result = nullptr;
        ASSERT_NO_THROW(result = g_QuickAsm.Assemble(static_cast<u16>(random()), line)) << line;
        ASSERT_TRUE(result->Error == 0 || result->Error == 1) << line;
        if (result->Error == 0) {
            ++successes;
            ASSERT_GE(result->Size, 1) << line;
            ASSERT_LE(result->Size, 4) << line;
        } else {
            ASSERT_FALSE(result->Message.empty()) << line;
        }
    }
    EXPECT_GT(successes, 0);
}

} // namespace
