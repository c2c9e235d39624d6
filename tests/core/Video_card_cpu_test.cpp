// The video chip driven by the processor: a program that rewrites the screen
// while the beam is drawing it leaves the cells the beam has already passed
// with their old values, and an OUT to the border is stamped by the bus
// cycle's own T-state.
#include "core/Video_card.h"

#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Z80.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

constexpr i32 LineTStates = 224;
constexpr i32 FirstPaperLine = 80;

u16 PixelAddress(i32 y, i32 x)
{
    return static_cast<u16>(0x4000 | (y >> 6) << 11 | (y & 7) << 8 | ((y >> 3) & 7) << 5 | x);
}

u16 AttributeAddress(i32 y, i32 x)
{
    return static_cast<u16>(0x5800 | (y >> 3) << 5 | x);
}

// The three T-states at which the cell of paper line y, column x latches.
i32 FirstLatchTState(i32 y, i32 x)
{
    return (FirstPaperLine + y) * LineTStates + 64 + 4 * x + 1;
}

class VideoCardCpuTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TMemory Memory{TMemory::Model128};
    TPorts Ports;
    TZ80 Cpu{&Memory, &Ports};
    TVideoCard Video{&Memory, &Cpu};

    void SetUp() override
    {
        Ports.AddDevicePorts(Video);
        Cpu.SetVideoCard(&Video);
        Cpu.Reset();
        Cpu.Tact = 0;
    }

    void Load(u16 address, std::initializer_list<u8> bytes)
    {
        for (u8 byte : bytes)
            Memory.WriteByte(address++, byte);
    }

    u8 PixelLatch(i32 y, i32 x) const { return Video.GetPixelLatch()[y * 32 + x + 1]; }
    u8 AttributeLatch(i32 y, i32 x) const { return Video.GetAttributeLatch()[y * 32 + x + 1]; }
};

TEST_F(VideoCardCpuTest, MidFrameRewriteShowsOnlyWhereTheBeamHasNotYetBeen)
{
    for (u16 a = 0x4000; a < 0x5800; ++a)
        Memory.WriteByte(a, 0x00);
    for (u16 a = 0x5800; a < 0x5B00; ++a)
        Memory.WriteByte(a, 0x38);

    // Character row 12 covers paper lines 96 to 103. The program waits until
    // the beam is about halfway down that row, then rewrites the row's first
    // attribute and the pixel bytes of the row's first and last lines.
    const u16 attribute = AttributeAddress(96, 0);
    const u16 top = PixelAddress(96, 0);
    const u16 bottom = PixelAddress(103, 0);
    constexpr u16 Loops = 1'545;  // 26 T-states each: about 40,200 T-states
    Load(0x8000, {
        0xF3,                                              // DI
        0x01, Loops & 0xFF, Loops >> 8,                    // LD BC,Loops
        0x0B,                                              // DEC BC
        0x78,                                              // LD A,B
        0xB1,                                              // OR C
        0x20, 0xFB,                                        // JR NZ,-5
        0x3E, 0x47,                                        // LD A,0x47
        0x32, u8(attribute), u8(attribute >> 8),           // LD (attribute),A
        0x32, u8(top), u8(top >> 8),                       // LD (top),A
        0x32, u8(bottom), u8(bottom >> 8),                 // LD (bottom),A
        0x18, 0xFE,                                        // JR $
    });
    Cpu.PC = 0x8000;

    // Step through one frame, noting the T-state span of the step that
    // wrote the attribute.
    i32 writeFrom = -1, writeTo = -1;
    while (Cpu.Frame == 0) {
        const i32 before = Cpu.Tact;
        const u8 old = Memory.ReadByte(attribute);
        Cpu.Step();
        if (old != Memory.ReadByte(attribute)) {
            writeFrom = before;
            writeTo = Cpu.Tact;
        }
    }
    ASSERT_EQ(Memory.ReadByte(attribute), 0x47);
    // The loop count puts the write between the latches of lines 97 and 101.
    ASSERT_GT(writeFrom, FirstLatchTState(97, 0) + 2);
    ASSERT_LT(writeTo, FirstLatchTState(101, 0));

    for (i32 y = 96; y <= 103; ++y) {
        const i32 latch = FirstLatchTState(y, 0);
        if (latch + 2 < writeFrom) {
            EXPECT_EQ(AttributeLatch(y, 0), 0x38) << "line " << y << " was drawn before the write";
        } else if (latch >= writeTo) {
            EXPECT_EQ(AttributeLatch(y, 0), 0x47) << "line " << y << " was drawn after the write";
        }
    }
    EXPECT_EQ(PixelLatch(96, 0), 0x00);  // passed before the rewrite
    EXPECT_EQ(PixelLatch(103, 0), 0x47);
    // Everything else holds what memory held all along.
    for (i32 y = 0; y < 192; ++y) {
        for (i32 x = 0; x < 32; ++x) {
            if (x == 0 && y >= 96 && y <= 103)
                continue;
            ASSERT_EQ(AttributeLatch(y, x), 0x38) << "line " << y << " column " << x;
            ASSERT_EQ(PixelLatch(y, x), 0x00) << "line " << y << " column " << x;
        }
    }

    // The next frame draws the new values everywhere.
    while (Cpu.Frame == 1)
        Cpu.Step();
    for (i32 y = 96; y <= 103; ++y)
        EXPECT_EQ(AttributeLatch(y, 0), 0x47) << "line " << y;
    EXPECT_EQ(PixelLatch(96, 0), 0x47);
}

TEST_F(VideoCardCpuTest, OutToTheBorderIsStampedOneBeforeItsPortCycleCount)
{
    // LD A,2 (7 T-states), then OUT (0xFE),A: fetch 4, operand read 3, one
    // T-state of the port cycle, then the write.
    Load(0x8000, {0x3E, 0x02, 0xD3, 0xFE});
    Cpu.PC = 0x8000;
    Cpu.Tact = 1'000;
    Cpu.Step();
    Cpu.Step();
    ASSERT_EQ(Video.GetRingWritePosition(), 1u);
    EXPECT_EQ(Video.GetRingColours()[0], 2);
    EXPECT_EQ(Video.GetRingTStates()[0], 1'000u + 7 + 4 + 3 + 1 - 1);
    EXPECT_EQ(Video.GetBorder(), 2);
}

} // namespace
