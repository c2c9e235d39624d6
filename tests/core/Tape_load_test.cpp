// End to end: the whole machine with the default roms.rom loads tapes made
// by Debian's zmakebas and pasmo. The test inserts the tape, presses Play,
// types LOAD "" (or LOAD "" CODE) on the emulated keyboard over frames and
// runs unpaced until the ROM has read the blocks; the bytes in memory must
// be the tape's data block. (OpenSE BASIC takes keywords typed letter by
// letter.)
#include "core/Computer.h"

#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Tape_recorder.h"
#include "core/Z80.h"
#include "media/File.h"
#include "media/Tape.h"
#include "tests/media/Tape_test_files.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

using namespace tape_test;

namespace {

// Key numbers of the emulated keyboard.
constexpr i32 KeyP = 19;
constexpr i32 KeyEnter = 29;
constexpr i32 KeySymbol = 38;
constexpr i32 KeySpace = 39;

// The key of a letter: rows Q-P, A-L, Z-M in key order.
i32 LetterKey(char letter)
{
    const std::string rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const i32 firsts[] = {10, 20, 31};
    for (int r = 0; r < 3; ++r) {
        const size_t at = rows[r].find(letter);
        if (at != std::string::npos)
            return firsts[r] + static_cast<i32>(at);
    }
    return -1;
}

constexpr u16 ProgVariable = 23635;  // PROG: where the BASIC program starts

class TapeLoadTest : public ::testing::TestWithParam<u32> {
protected:
    void SetUp() override
    {
        Settings->Model = GetParam();
        Computer = std::make_unique<TComputer>(Host.Services());
        Computer->SetNoSync(1);
        Computer->Reset();
        RunFrames(150);  // BASIC starts and waits for a key
    }

    void RunFrames(i32 count)
    {
        const i32 end = Computer->Z80->Frame + count;
        while (Computer->Z80->Frame < end)
            ASSERT_TRUE(Computer->Step());
    }

    // Holds the keys down together for a few frames, then lets them go and
    // waits, so the ROM sees one press of each combination.
    void Type(std::initializer_list<i32> keys)
    {
        for (const i32 key : keys)
            Computer->Keyboard->KeyDown(key);
        RunFrames(4);
        for (const i32 key : keys)
            Computer->Keyboard->KeyUp(key);
        RunFrames(6);
    }

    // Letters, spaces and double quotes, one press each.
    void TypeText(const std::string& text)
    {
        for (const char c : text) {
            if (c == ' ')
                Type({KeySpace});
            else if (c == '"')
                Type({KeySymbol, KeyP});
            else
                Type({LetterKey(c)});
        }
    }

    void Insert(const std::string& path, i32 type = TTape::TypeTAP)
    {
        Computer->TapeRecorder->SetTape(LoadPath(path, type));
        Computer->TapeRecorder->Play();
        ASSERT_TRUE(Computer->TapeRecorder->IsPlaying());
    }

    // Runs until the deck has played the whole tape, then lets the ROM
    // finish; at most the frames a tape of this length could need.
    void RunUntilLoaded()
    {
        const i32 limit = Computer->Z80->Frame + 3000;  // one minute
        while (Computer->TapeRecorder->IsPlaying() && Computer->Z80->Frame < limit)
            RunFrames(1);
        EXPECT_FALSE(Computer->TapeRecorder->IsPlaying()) << "the tape did not end within a minute";
        RunFrames(50);
    }

    TBytes Memory(u16 address, size_t length) const
    {
        TBytes bytes;
        for (size_t i = 0; i < length; ++i)
            bytes.push_back(Computer->Memory->ReadByte(static_cast<u16>(address + i)));
        return bytes;
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
};

}  // namespace

TEST_P(TapeLoadTest, LoadQuotesLoadsTheBasicProgram)
{
    const std::string path = FixturePath("program.tap");
    const TBytes image = ReadBytes(path);
    // Header block (2 + 19 bytes), then the data block's length word, flag,
    // the program and the checksum.
    ASSERT_GT(image.size(), 25u);
    const size_t length = (image[21] | image[22] << 8) - 2;
    const TBytes program(image.begin() + 24, image.begin() + 24 + static_cast<long>(length));

    Insert(path);
    TypeText("LOAD \"\"");
    Type({KeyEnter});
    RunUntilLoaded();

    const u16 prog = Computer->Memory->ReadByte(ProgVariable) | Computer->Memory->ReadByte(ProgVariable + 1) << 8;
    EXPECT_EQ(Memory(prog, program.size()), program);
    EXPECT_TRUE(Computer->TapeRecorder->GetTape()->IsEndOfTape());
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_P(TapeLoadTest, LoadQuotesLoadsTheTzxMadeFromTheProgram)
{
    // program.tzx is tapeconv's copy of program.tap: the same blocks as
    // TZX standard-speed blocks.
    const TBytes image = ReadBytes(FixturePath("program.tap"));
    ASSERT_GT(image.size(), 25u);
    const size_t length = (image[21] | image[22] << 8) - 2;
    const TBytes program(image.begin() + 24, image.begin() + 24 + static_cast<long>(length));

    Insert(FixturePath("program.tzx"), TTape::TypeTZX);
    TypeText("LOAD \"\"");
    Type({KeyEnter});
    RunUntilLoaded();

    const u16 prog = Computer->Memory->ReadByte(ProgVariable) | Computer->Memory->ReadByte(ProgVariable + 1) << 8;
    EXPECT_EQ(Memory(prog, program.size()), program);
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_P(TapeLoadTest, LoadQuotesCodeLoadsToItsAddress)
{
    const std::string path = FixturePath("code.tap");
    const TBytes image = ReadBytes(path);
    ASSERT_GT(image.size(), 25u);
    const u16 start = static_cast<u16>(image[16] | image[17] << 8);  // the header's parameter 1
    const size_t length = (image[21] | image[22] << 8) - 2;
    const TBytes code(image.begin() + 24, image.begin() + 24 + static_cast<long>(length));
    ASSERT_EQ(start, 40000);
    ASSERT_NE(Memory(start, code.size()), code) << "not there before the load";

    Insert(path);
    TypeText("LOAD \"\" CODE");
    Type({KeyEnter});
    RunUntilLoaded();

    EXPECT_EQ(Memory(start, code.size()), code);
}

INSTANTIATE_TEST_SUITE_P(Models, TapeLoadTest, ::testing::Values(u32{1}, u32{2}),
                         [](const ::testing::TestParamInfo<u32>& info) {
                             return info.param == 1 ? std::string("Model48") : std::string("Model128");
                         });
