// The whole machine boots the default roms.rom (OpenSE BASIC): the 48 BASIC
// ROM's frame counter advances once per accepted interrupt, the screen
// memory holds the start-up text (read back with the ROM's own font, an
// independent decode of the Spectrum screen layout), and the picture the
// frame end publishes shows that screen. Last, the screen latches caught up
// a paper column at a time against the T-state-by-T-state form, over the
// booting ROM and a program that rewrites the screen while the beam draws it.
#include "core/Computer.h"

#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Render.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr u16 FramesVariable = 23672;  // FRAMES, three bytes, low first
constexpr u16 FontAddress = 0x3D00;    // the ROM's character set, space first
constexpr u8 CopyrightSign = 0x7F;

// Byte offset of paper line y, byte column x within the screen page.
u32 PixelOffset(u32 y, u32 x)
{
    return ((y & 0xC0) << 5) | ((y & 0x07) << 8) | ((y & 0x38) << 2) | x;
}

class BootTest : public ::testing::TestWithParam<u32> {
protected:
    void SetUp() override
    {
        Settings->Model = GetParam();
        Computer = std::make_unique<TComputer>(Host.Services());
        Computer->Reset();
    }

    u32 Frames() const
    {
        const TMemory& memory = *Computer->Memory;
        return memory.ReadByte(FramesVariable) | memory.ReadByte(FramesVariable + 1) << 8
               | memory.ReadByte(FramesVariable + 2) << 16;
    }

    // Steps until the processor has completed the frame; counts the
    // interrupts accepted meanwhile (IFF1 falls and PC lands on 0x0038).
    u32 RunToFrame(i32 frame)
    {
        u32 accepted = 0;
        TZ80& cpu = *Computer->Z80;
        while (cpu.Frame < frame) {
            const u8 enabled = cpu.IFF1;
            EXPECT_TRUE(Computer->Step());
            if (enabled && !cpu.IFF1 && cpu.PC == 0x0038)
                ++accepted;
        }
        return accepted;
    }

    // The text of a character row, matched cell by cell against the font of
    // the 48 BASIC ROM; '?' where no character matches.
    std::string TextRow(u32 row) const
    {
        TMemory& memory = *Computer->Memory;
        const u8* screen = memory.GetPointer(0x4000);
        const u8* rom = memory.GetBankPtr(memory.GetRomPage(0));
        std::string text;
        for (u32 column = 0; column < 32; ++column) {
            char found = '?';
            for (u32 code = 0x20; code <= 0x7F && found == '?'; ++code) {
                bool same = true;
                for (u32 line = 0; line < 8 && same; ++line)
                    same = screen[PixelOffset(row * 8 + line, column)] == rom[FontAddress + (code - 0x20) * 8 + line];
                if (same)
                    found = static_cast<char>(code);
            }
            text += found;
        }
        return text;
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
};

} // namespace

TEST_P(BootTest, FrameCounterAdvancesOncePerAcceptedInterrupt)
{
    RunToFrame(50);  // past the memory test and the set-up of the system variables
    const u32 before = Frames();
    const u32 accepted = RunToFrame(250);
    EXPECT_EQ(Frames() - before, accepted);
    EXPECT_EQ(accepted, 200u) << "waiting for a key, BASIC accepts the interrupt of every frame";
    EXPECT_EQ(Computer->Z80->IM, 1);
}

TEST_P(BootTest, ScreenShowsTheStartUpMessage)
{
    RunToFrame(200);
    for (u32 row = 0; row < 23; ++row)
        EXPECT_EQ(TextRow(row), std::string(32, ' ')) << "row " << row;
    const std::string bottom = TextRow(23);
    EXPECT_EQ(bottom, " " + std::string(1, static_cast<char>(CopyrightSign)) + " 1981 Nine Tiles Networks Ltd ");
    const u8* attributes = Computer->Memory->GetPointer(0x5800);
    for (u32 cell = 0; cell < 768; ++cell)
        ASSERT_EQ(attributes[cell], 0x38) << "cell " << cell << ": black ink on white paper";
}

TEST_P(BootTest, PublishedPictureShowsTheScreen)
{
    RunToFrame(200);
    std::vector<u8> pixels;
    TIndexedSurface::TColourTable colours{};
    i32 width = 0;
    i32 height = 0;
    Computer->Render->GetDC()->CopyFront(pixels, colours, width, height);
    ASSERT_EQ(width, static_cast<i32>(Settings->PixelsPerLine));
    ASSERT_EQ(height, static_cast<i32>(Settings->LinesPerFrame));

    // Paper at (136, 80): a set bit is ink (index 0, black), a clear bit
    // paper (index 7, white), attribute 0x38 everywhere.
    const u8* screen = Computer->Memory->GetPointer(0x4000);
    i32 mismatches = 0;
    u32 inked = 0;
    for (u32 y = 0; y < 192; ++y)
        for (u32 x = 0; x < 256; ++x) {
            const bool set = (screen[PixelOffset(y, x / 8)] >> (7 - x % 8)) & 1;
            inked += set;
            const u8 shown = pixels[(80 + y) * static_cast<u32>(width) + 136 + x];
            if (shown != (set ? 0 : 7) && ++mismatches < 5)
                ADD_FAILURE() << "paper pixel (" << x << ", " << y << ") is " << int(shown);
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(inked, 300u) << "the message is on the screen";
    // The border inside the TV picture: white.
    EXPECT_EQ(pixels[60 * width + 120], 7);
    EXPECT_EQ(pixels[290 * width + 420], 7);
}

INSTANTIATE_TEST_SUITE_P(Models, BootTest, ::testing::Values(u32{1}, u32{2}),
                         [](const ::testing::TestParamInfo<u32>& info) {
                             return info.param == 1 ? std::string("Model48") : std::string("Model128");
                         });

TEST(LatchBatching, MatchesLatchingEveryTState)
{
    TTestSettings settings;
    TFakeHostServices host;
    // Two machines with the same power-on memory; the second catches its
    // latches up T-state by T-state, never a column at a time.
    TMemory::SeedRandom(2024);
    TComputer batched(host.Services());
    TMemory::SeedRandom(2024);
    TComputer plain(host.Services());
    plain.VideoCard->LatchEveryTStateForTesting();

    // A program at 0x8000, interrupts on: the border changes, LDIR copies 2 KB
    // of ROM into the screen and the attributes are stepped through, so
    // writes meet the beam in every part of the frame.
    //   ei / loop: ld a,b / and 7 / out (0xFE),a / ld hl,0x0000+b*256
    //   ld de,0x4000 / ld bc,0x0800 / ldir / ld hl,0x5800 / inc (hl)
    //   push hl / pop hl / djnz-free jr loop
    const std::vector<u8> program = {
        0xFB,                    // 8000 ei
        0x78,                    // 8001 ld a,b
        0xE6, 0x07,              // 8002 and 7
        0xD3, 0xFE,              // 8004 out (0xFE),a
        0x60,                    // 8006 ld h,b
        0x2E, 0x00,              // 8007 ld l,0
        0x11, 0x00, 0x40,        // 8009 ld de,0x4000
        0x01, 0x00, 0x08,        // 800C ld bc,0x0800
        0xED, 0xB0,              // 800F ldir
        0x21, 0x00, 0x58,        // 8011 ld hl,0x5800
        0x34,                    // 8014 inc (hl)
        0xE5, 0xE1,              // 8015 push hl / pop hl
        0x04,                    // 8017 inc b
        0x18, 0xE7,              // 8018 jr 0x8001
    };

    auto same = [&](const char* where, i32 frame) {
        const TVideoCard& a = *batched.VideoCard;
        const TVideoCard& b = *plain.VideoCard;
        ASSERT_EQ(a.GetLatchPhase(), b.GetLatchPhase()) << where << ", frame " << frame;
        ASSERT_TRUE(std::equal(a.GetPixelLatch(), a.GetPixelLatch() + TVideoCard::LatchCount + 1, b.GetPixelLatch()))
            << where << ", frame " << frame << ": pixel latches differ";
        ASSERT_TRUE(std::equal(a.GetAttributeLatch(), a.GetAttributeLatch() + TVideoCard::LatchCount + 1,
                               b.GetAttributeLatch()))
            << where << ", frame " << frame << ": attribute latches differ";
        ASSERT_EQ(batched.Z80->Tact, plain.Z80->Tact) << where << ", frame " << frame;
    };

    for (TComputer* computer : {&batched, &plain})
        computer->Reset();
    for (i32 frame = 1; frame <= 60; ++frame) {
        while (batched.Z80->Frame < frame)
            ASSERT_TRUE(batched.Step());
        while (plain.Z80->Frame < frame)
            ASSERT_TRUE(plain.Step());
        ASSERT_NO_FATAL_FAILURE(same("booting", frame));
    }
    for (TComputer* computer : {&batched, &plain}) {
        for (size_t i = 0; i < program.size(); ++i)
            computer->Memory->WriteByte(static_cast<u16>(0x8000 + i), program[i]);
        computer->Z80->PC = 0x8000;
        computer->Z80->SP = 0x7F00;
    }
    for (i32 frame = 61; frame <= 90; ++frame) {
        while (batched.Z80->Frame < frame)
            ASSERT_TRUE(batched.Step());
        while (plain.Z80->Frame < frame)
            ASSERT_TRUE(plain.Step());
        ASSERT_NO_FATAL_FAILURE(same("rewriting the screen", frame));
    }
    // The pictures drawn from those latches are the same too.
    std::vector<u8> first;
    std::vector<u8> second;
    TIndexedSurface::TColourTable colours{};
    i32 width = 0;
    i32 height = 0;
    batched.Render->GetDC()->CopyFront(first, colours, width, height);
    plain.Render->GetDC()->CopyFront(second, colours, width, height);
    EXPECT_TRUE(first == second);
}
