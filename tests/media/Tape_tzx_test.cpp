// The TZX catalogue: the header, every block ID's text and time, groups,
// loops, jumps and calls, the crafted lengths that must neither loop nor
// read out of bounds, and TZX images (ours and the shared ones) against
// tzxlist's listings.
#include "media/Tape.h"

#include "tests/media/Tape_test_files.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace tape_test;

namespace {

// One second of pure tone: 3,500 pulses of 1,000 T-states.
void PutSecondOfTone(TBytes& out)
{
    Put(out, {0x12});
    PutWord(out, 1000);
    PutWord(out, 3500);
}

void PutPause(TBytes& out, int milliseconds)
{
    Put(out, {0x20});
    PutWord(out, milliseconds);
}

class TzxTest : public ::testing::Test {
protected:
    std::unique_ptr<TTape> Tzx(const TBytes& blocks)
    {
        TBytes image = TzxHeader();
        image.insert(image.end(), blocks.begin(), blocks.end());
        return Maker.Tzx(image);
    }
    std::string Error(const TBytes& blocks)
    {
        TBytes image = TzxHeader();
        image.insert(image.end(), blocks.begin(), blocks.end());
        return Maker.Error(image, TTape::TypeTZX);
    }
    std::vector<std::string> Names(const TTape& tape)
    {
        std::vector<std::string> names;
        for (i32 i = 0; i < tape.GetBlockCount(); ++i)
            names.push_back(tape.GetBlockName(i));
        return names;
    }

    TTestSettings Settings;
    TTapeMaker Maker;
};

constexpr double Tolerance = 1e-13;  // days: about 10 ns

}  // namespace

// ---------------------------------------------------------------------------
// The header

TEST_F(TzxTest, HeaderVersionAndRefusals)
{
    const auto empty = Maker.Tzx(TzxHeader(1, 20));
    EXPECT_EQ(empty->GetVersion(), "1.20");
    EXPECT_EQ(empty->GetBlockCount(), 0);
    EXPECT_EQ(empty->GetType(), TTape::TypeTZX);
    EXPECT_TRUE(empty->IsEndOfTape());
    EXPECT_FALSE(empty->SelectBlock(-1));
    EXPECT_EQ(Maker.Tzx(TzxHeader(1, 0))->GetVersion(), "1.0");

    EXPECT_EQ(Maker.Error(TzxHeader(2, 0), TTape::TypeTZX), "TZX file has unsupported revision (not like 1.xx).");
    EXPECT_EQ(Maker.Error(TzxHeader(0, 20), TTape::TypeTZX), "TZX file has unsupported revision (not like 1.xx).");
    TBytes shortImage = TzxHeader();
    shortImage.pop_back();
    EXPECT_EQ(Maker.Error(shortImage, TTape::TypeTZX), "TZX tape image file size too small.");
    TBytes badSignature = TzxHeader();
    badSignature[7] = 0x1B;
    EXPECT_EQ(Maker.Error(badSignature, TTape::TypeTZX), "Invalid TZX file format.");
    TBytes zeroInSignature = TzxHeader();
    zeroInSignature[3] = 0;
    EXPECT_EQ(Maker.Error(zeroInSignature, TTape::TypeTZX), "Invalid TZX file format.");
    // A TAP image is not a TZX one.
    EXPECT_EQ(Maker.Error(ReadBytes(FixturePath("program.tap")), TTape::TypeTZX), "Invalid TZX file format.");
}

// ---------------------------------------------------------------------------
// Blocks and their times

TEST_F(TzxTest, StandardBlockWithPause)
{
    TBytes blocks;
    const TBytes header(19, 0);
    PutStandardBlock(blocks, 1000, header);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(tape->GetBlockCount(), 1);
    EXPECT_EQ(tape->GetBlockName(0), "Standard Header, Program \"\", Length 0, Line 0, Vars 0");
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration, SecondsToDays(1.0) + Days(17'611'946), Tolerance);
    EXPECT_EQ(tape->GetBlockInfo(0)->Offset, 10u);
    EXPECT_EQ(tape->GetCurrentIndex(), 0);
}

TEST_F(TzxTest, TurboPureDataToneAndPulses)
{
    TBytes blocks;
    // Turbo: pilot 2000 x 10, syncs 600/700, zero 800, one 1600, 6 bits
    // used in the last byte, 250 ms pause; data FF 80 C0 (C0: bits 1,1,0,0,0,0).
    Put(blocks, {0x11});
    for (const int v : {2000, 600, 700, 800, 1600, 10})
        PutWord(blocks, v);
    Put(blocks, {6});
    PutWord(blocks, 250);
    PutTriple(blocks, 3);
    Put(blocks, {0xFF, 0x80, 0xC0});
    // Pure data: zero 500, one 1000, 3 bits used, 0 ms; data 0F E0.
    Put(blocks, {0x14});
    PutWord(blocks, 500);
    PutWord(blocks, 1000);
    Put(blocks, {3});
    PutWord(blocks, 0);
    PutTriple(blocks, 2);
    Put(blocks, {0x0F, 0xE0});
    // Pure tone and a pulse sequence.
    Put(blocks, {0x12});
    PutWord(blocks, 2168);
    PutWord(blocks, 100);
    Put(blocks, {0x13, 3});
    PutWord(blocks, 667);
    PutWord(blocks, 735);
    PutWord(blocks, 65535);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(tape->GetBlockCount(), 4);
    EXPECT_EQ(tape->GetBlockName(0), "Turbo Data Block, Length 1");
    EXPECT_EQ(tape->GetBlockName(1), "Pure Data Block: Nonstandard, ID #0F, Length 0");
    EXPECT_EQ(tape->GetBlockName(2), "Pure Tone");
    EXPECT_EQ(tape->GetBlockName(3), "Pulse Sequence");

    // FF: 8 ones; 80: one then 7 zeros; C0 with 6 bits: 2 ones, 4 zeros.
    const double turbo = 10 * 2000 + 600 + 700 + 11 * 1600 + 11 * 800;
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration, SecondsToDays(0.25) + Days(turbo), Tolerance);
    // 0F: 4 zeros, 4 ones; E0 with 3 bits: 3 ones. No pilot, no syncs.
    EXPECT_NEAR(tape->GetBlockInfo(1)->Duration, Days(4 * 500 + 7 * 1000), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(2)->Duration, Days(216'800), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(3)->Duration, Days(667 + 735 + 65535), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(3)->Start,
                tape->GetBlockInfo(0)->Duration + tape->GetBlockInfo(1)->Duration + tape->GetBlockInfo(2)->Duration,
                Tolerance);
}

TEST_F(TzxTest, RecordingsAndUnknownBlocks)
{
    TBytes blocks;
    // Direct recording: 79 T-states a sample, 20 ms, 5 bits used, 4 bytes.
    Put(blocks, {0x15});
    PutWord(blocks, 79);
    PutWord(blocks, 20);
    Put(blocks, {5});
    PutTriple(blocks, 4);
    Put(blocks, {1, 2, 3, 4});
    // CSW: 441 pulses at 44,100 Hz = 10 ms, plus 30 ms pause; 3 data bytes.
    Put(blocks, {0x18});
    PutDWord(blocks, 13);
    PutWord(blocks, 30);
    PutTriple(blocks, 44100);
    Put(blocks, {1});
    PutDWord(blocks, 441);
    Put(blocks, {7, 8, 9});
    // Generalized data, skipped by its length.
    Put(blocks, {0x19});
    PutDWord(blocks, 3);
    Put(blocks, {0x12, 0x12, 0x12});
    // ID 0x40, not a known block: skipped by its 32-bit length.
    Put(blocks, {0x40});
    PutDWord(blocks, 2);
    Put(blocks, {0x20, 0x20});
    PutPause(blocks, 1000);
    PutPause(blocks, 0);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(Names(*tape), (std::vector<std::string>{"Direct Recording", "CSW Recording", "Generalized Data Block",
                                                      "Unknown block type (64)", "Pause: 1000ms", "Stop the Tape"}));
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration, SecondsToDays(0.020) + Days((8 * 4 + 5 - 8) * 79), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(1)->Duration, SecondsToDays(0.040), Tolerance);
    EXPECT_EQ(tape->GetBlockInfo(2)->Duration, 0.0);
    EXPECT_EQ(tape->GetBlockInfo(3)->Duration, 0.0);
    EXPECT_NEAR(tape->GetBlockInfo(4)->Duration, SecondsToDays(1.0), Tolerance);
    EXPECT_EQ(tape->GetBlockInfo(5)->Duration, 0.0) << "Pause 0 stops the tape and takes no time";
}

TEST_F(TzxTest, InformationBlocks)
{
    TBytes blocks;
    Put(blocks, {0x27});
    Put(blocks, {0x2A});
    PutDWord(blocks, 0);
    Put(blocks, {0x2B});
    PutDWord(blocks, 1);
    Put(blocks, {1});
    Put(blocks, {0x30, 5});
    PutText(blocks, "Hi \xE9!");
    Put(blocks, {0x31, 9, 3});
    PutText(blocks, "Msg");
    Put(blocks, {0x32});
    PutWord(blocks, 8);
    Put(blocks, {2, 0, 1, 'T', 1, 2, 'A', 'B'});  // count 2, then 7 bytes
    Put(blocks, {0x33, 2, 0, 0, 1, 0, 3, 0});
    Put(blocks, {0x28});
    PutWord(blocks, 5);
    Put(blocks, {2, 1, 0, 3, 0});  // count 2, then 4 bytes
    Put(blocks, {0x5A});
    PutText(blocks, "XTape!\x1A\x01\x14");
    // Custom info: a 16-byte identifier (blanks and NULs at its end go),
    // then a 32-bit length.
    Put(blocks, {0x35});
    PutText(blocks, "POKEs   ");
    Put(blocks, {0, 0, 0, 0, ' ', ' ', ' ', ' '});
    PutDWord(blocks, 3);
    Put(blocks, {1, 2, 3});
    PutPause(blocks, 5);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(Names(*tape),
              (std::vector<std::string>{"Return from Sequence", "Stop Tape if in 48K Mode", "Set signal level",
                                        "Text Description: Hi \xC3\xA9!", "Message Block: Msg",
                                        "Archive Info (2 strings)", "Hardware Type (2 records)",
                                        "Select Block (2 selections)", "Start of Another TZX file",
                                        "Custom Info: POKEs", "Pause: 5ms"}));
    EXPECT_EQ(tape->GetTotalTime(), tape->GetBlockInfo(10)->Duration);
}

TEST_F(TzxTest, ArchiveInfoEndsAfterItsStringsOrItsLength)
{
    TBytes blocks;
    // One string "Full title" (kind 0): the block is 13 bytes after its
    // length word, which says 12 (as in the shared complete-tzx image).
    Put(blocks, {0x32});
    PutWord(blocks, 12);
    Put(blocks, {1, 0, 10});
    PutText(blocks, "Full title");
    PutPause(blocks, 1);
    // A length beyond the strings: the padding is skipped too.
    Put(blocks, {0x32});
    PutWord(blocks, 9);
    Put(blocks, {1, 0, 2, 'a', 'b', 0x20, 0x20, 0x20, 0x20});
    PutPause(blocks, 2);
    // More strings claimed than present: the walk ends with the file.
    Put(blocks, {0x32});
    PutWord(blocks, 3);
    Put(blocks, {200, 0, 0xFF});
    const auto tape = Tzx(blocks);
    EXPECT_EQ(Names(*tape), (std::vector<std::string>{"Archive Info (1 strings)", "Pause: 1ms", "Archive Info (1 strings)",
                                                      "Pause: 2ms", "Archive Info (200 strings)"}));
}

// ---------------------------------------------------------------------------
// Groups, loops, jumps and calls

TEST_F(TzxTest, GroupOfTwoIsOneEntryAtTheGroupEnd)
{
    TBytes blocks;
    PutSecondOfTone(blocks);
    Put(blocks, {0x21, 1, 'A'});
    const TBytes data = RomBlock(0xFF, {1, 2, 3});
    PutStandardBlock(blocks, 100, data);
    PutStandardBlock(blocks, 200, data);
    const u32 groupEnd = static_cast<u32>(TzxHeader().size() + blocks.size());
    Put(blocks, {0x22});
    PutPause(blocks, 1000);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(tape->GetBlockCount(), 3);
    EXPECT_EQ(tape->GetBlockName(1), "Group: A (2 subblocks)");
    EXPECT_EQ(tape->GetBlockInfo(1)->Offset, groupEnd);
    // Both standard blocks with their pauses.
    double dataTime = 3223.0 * 2168 + 667 + 735;
    for (const u8 b : data)
        for (int k = 0; k < 8; ++k)
            dataTime += (b << k & 0x80) ? 1710 : 855;
    EXPECT_NEAR(tape->GetBlockInfo(1)->Duration, 2 * Days(dataTime) + SecondsToDays(0.3), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(1)->Start, SecondsToDays(1.0), Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(2)->Start, SecondsToDays(1.0) + tape->GetBlockInfo(1)->Duration, Tolerance);
}

TEST_F(TzxTest, GroupErrorsAndAGroupLeftOpen)
{
    EXPECT_EQ(Error({0x21, 1, 'A', 0x21, 1, 'B', 0x22, 0x22}), "Nesting of groups is not allowed.");
    EXPECT_EQ(Error({0x22}), "Group End without Group Start.");
    // A group still open at the end: its members are not listed.
    TBytes blocks;
    PutPause(blocks, 10);
    Put(blocks, {0x21, 1, 'G'});
    PutPause(blocks, 20);
    const auto tape = Tzx(blocks);
    EXPECT_EQ(Names(*tape), (std::vector<std::string>{"Pause: 10ms"}));
}

TEST_F(TzxTest, LoopOfThreeAroundTwoSeconds)
{
    TBytes blocks;
    PutSecondOfTone(blocks);
    Put(blocks, {0x24});
    PutWord(blocks, 3);
    PutPause(blocks, 2000);
    Put(blocks, {0x25});
    PutSecondOfTone(blocks);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(Names(*tape), (std::vector<std::string>{"Pure Tone", "Loop Start (3 repetitions)", "Pause: 2000ms",
                                                      "Loop End", "Pure Tone"}));
    const double second = SecondsToDays(1.0);
    EXPECT_EQ(tape->GetBlockInfo(1)->Start, 0.0);
    EXPECT_EQ(tape->GetBlockInfo(1)->Duration, 0.0);
    EXPECT_EQ(tape->GetBlockInfo(2)->Start, 0.0) << "the loop body starts at 0";
    EXPECT_NEAR(tape->GetBlockInfo(2)->Duration, 2 * second, Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(3)->Duration, 6 * second, Tolerance);
    EXPECT_NEAR(tape->GetBlockInfo(3)->Start, second, Tolerance) << "the total before the loop";
    EXPECT_NEAR(tape->GetBlockInfo(4)->Start, 7 * second, Tolerance);
    EXPECT_NEAR(tape->GetTotalTime(), 8 * second, Tolerance);
}

TEST_F(TzxTest, LoopErrorsAndALoopLeftOpen)
{
    EXPECT_EQ(Error({0x24, 2, 0, 0x24, 2, 0, 0x25, 0x25}), "Nesting of loop blocks is not allowed.");
    EXPECT_EQ(Error({0x25}), "Loop End without Loop Start.");
    EXPECT_EQ(Maker.Error(ReadBytes(SharedPath("tzx/loopend.tzx")), TTape::TypeTZX), "Loop End without Loop Start.");
    TBytes blocks;
    Put(blocks, {0x24});
    PutWord(blocks, 5);
    PutSecondOfTone(blocks);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(tape->GetBlockCount(), 2);
    EXPECT_EQ(tape->GetBlockInfo(1)->Start, 0.0);
    EXPECT_EQ(tape->GetTotalTime(), 0.0) << "an unclosed loop's time never reaches the total";
}

TEST_F(TzxTest, JumpsAndCallsNameTheirTargetEntries)
{
    TBytes blocks;
    for (int i = 0; i < 4; ++i)
        PutPause(blocks, 10);
    Put(blocks, {0x23});
    PutWord(blocks, -1);  // the fifth entry
    Put(blocks, {0x23});
    PutWord(blocks, 3);
    Put(blocks, {0x26});
    PutWord(blocks, 3);
    PutWord(blocks, -6);
    PutWord(blocks, 0);
    PutWord(blocks, 32767);
    Put(blocks, {0x26});
    PutWord(blocks, 21);
    for (int i = 0; i < 21; ++i)
        PutWord(blocks, i);
    Put(blocks, {0x26});
    PutWord(blocks, 0);
    PutPause(blocks, 30);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(tape->GetBlockCount(), 10);
    EXPECT_EQ(tape->GetBlockName(4), "Jump to Block 4");
    EXPECT_EQ(tape->GetBlockName(5), "Jump to Block 9");
    EXPECT_EQ(tape->GetBlockName(6), "Call Sequence (1, 7, 32774)");
    EXPECT_EQ(tape->GetBlockName(7), "Call Sequence (21 calls)");
    EXPECT_EQ(tape->GetBlockName(8), "Call Sequence ()");
    EXPECT_EQ(tape->GetBlockName(9), "Pause: 30ms") << "the 21 calls' 42 bytes were skipped";
}

// ---------------------------------------------------------------------------
// Crafted lengths

TEST_F(TzxTest, LengthsThatWouldMoveBackwardsSkipNothing)
{
    TBytes blocks;
    Put(blocks, {0x28});
    PutWord(blocks, 0);
    Put(blocks, {4});
    Put(blocks, {0x32});
    PutWord(blocks, 0);
    Put(blocks, {0});
    // CSW with a length below 10 and a sample rate of 0.
    Put(blocks, {0x18});
    PutDWord(blocks, 3);
    PutWord(blocks, 0);
    PutTriple(blocks, 0);
    Put(blocks, {1});
    PutDWord(blocks, 1000);
    // Direct recording without samples, 7 bits "used" of no byte.
    Put(blocks, {0x15});
    PutWord(blocks, 100);
    PutWord(blocks, 0);
    Put(blocks, {7});
    PutTriple(blocks, 0);
    PutPause(blocks, 40);
    const auto tape = Tzx(blocks);
    ASSERT_EQ(Names(*tape), (std::vector<std::string>{"Select Block (4 selections)", "Archive Info (0 strings)",
                                                      "CSW Recording", "Direct Recording", "Pause: 40ms"}));
    EXPECT_EQ(tape->GetBlockInfo(2)->Duration, 0.0) << "sample rate 0";
    EXPECT_EQ(tape->GetBlockInfo(3)->Duration, 0.0) << "no samples";
    EXPECT_NEAR(tape->GetTotalTime(), SecondsToDays(0.04), Tolerance);
}

TEST_F(TzxTest, SkipsPastTheEndEndTheWalk)
{
    for (const u8 id : {0x19, 0x40, 0xFF}) {
        TBytes blocks;
        PutPause(blocks, 10);
        Put(blocks, {id});
        PutDWord(blocks, 0xFFFFFFFF);
        PutPause(blocks, 20);  // inside the skipped length
        const auto tape = Tzx(blocks);
        EXPECT_EQ(tape->GetBlockCount(), 2) << int(id);
    }
    TBytes direct;
    Put(direct, {0x15});
    PutWord(direct, 65535);
    PutWord(direct, 0);
    Put(direct, {255});
    PutTriple(direct, 0xFFFFFF);
    const auto tape = Tzx(direct);
    ASSERT_EQ(tape->GetBlockCount(), 1);
    // The time of the samples the header claims, in 64 bits: no wrap.
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration, Days((8.0 * 0xFFFFFF + 255 - 8) * 65535), 1e-9);
}

TEST_F(TzxTest, FieldsCutByTheEndOfTheFile)
{
    EXPECT_EQ(Error({0x10, 0xE8}), "End of file reached.");
    EXPECT_EQ(Error({0x10, 0xE8, 0x03, 0x05, 0x00, 0xFF}), "Unsupported tape image format or file corrupt!");
    EXPECT_EQ(Error({0x11, 1, 2, 3}), "End of file reached.");
    EXPECT_EQ(Error({0x13, 3, 1, 0, 2, 0}), "End of file reached.");
    // A text cut short takes what is there, and the walk ends.
    const auto tape = Tzx({0x30, 5, 'a'});
    EXPECT_EQ(Names(*tape), (std::vector<std::string>{"Text Description: a"}));
}

// ---------------------------------------------------------------------------
// Against tzxlist

class TzxListingTest : public ::testing::TestWithParam<std::string> {};

TEST_P(TzxListingTest, MatchesTzxlist)
{
    TTestSettings settings;
    const std::string name = GetParam();
    const std::string path = name.find('/') == std::string::npos ? FixturePath(name) : SharedPath(name);
    const std::string base = name.substr(name.rfind('/') + 1);
    const auto listing = ReadListing(FixturePath("tzxlist/" + base + ".txt"));
    ASSERT_FALSE(listing.empty()) << "no listing for " << base;
    const auto tape = LoadPath(path, TTape::TypeTZX);
    const TBytes image = ReadBytes(path);
    EXPECT_EQ(tape->GetVersion(), "1." + std::to_string(image.at(9)));
    ExpectMatchesListing(*tape, listing, image);
}

INSTANTIATE_TEST_SUITE_P(Images, TzxListingTest,
                         ::testing::Values("blocks.tzx", "program.tzx", "tzx/complete-tzx.tzx",
                                           "tzx/glue-complete-tzx+jump.tzx", "tzx/jump.tzx", "tzx/loop.tzx",
                                           "tzx/loop2.tzx", "tzx/no-pilot-gdb.tzx", "tzx/raw-data-block.tzx",
                                           "tzx/empty-drb.tzx", "tzx/savetap_test.tapeconv.tzx",
                                           "tzx/tape_48k.snap2tzx.tzx", "tzx/trailing-pause-block.tzx",
                                           "tzx/turbo-zeropilot.tzx"),
                         ImageTestName);

TEST(TzxCustomInfo, SixteenByteIdentifierKeepsTheBlocksAfterIt)
{
    TTestSettings settings;
    // The custom-info block is the 19th of 20 in the shared image; reading a
    // 10-byte identifier would misread its length and lose the last block.
    const auto tape = LoadPath(SharedPath("tzx/complete-tzx.tzx"), TTape::TypeTZX);
    ASSERT_GE(tape->GetBlockCount(), 2);
    EXPECT_EQ(tape->GetBlockName(tape->GetBlockCount() - 2), "Custom Info: Complete TZX");
    EXPECT_EQ(tape->GetBlockName(tape->GetBlockCount() - 1), "Pure Tone");
}

TEST(TzxTapeconv, SameBlocksAsTheTapItWasMadeFrom)
{
    TTestSettings settings;
    const auto tap = LoadPath(FixturePath("program.tap"), TTape::TypeTAP);
    const auto tzx = LoadPath(FixturePath("program.tzx"), TTape::TypeTZX);
    ASSERT_EQ(tzx->GetBlockCount(), tap->GetBlockCount());
    for (i32 i = 0; i < tap->GetBlockCount(); ++i) {
        EXPECT_EQ(tzx->GetBlockName(i), tap->GetBlockName(i));
        // The TZX block adds its 1,000 ms pause.
        EXPECT_NEAR(tzx->GetBlockInfo(i)->Duration, tap->GetBlockInfo(i)->Duration + SecondsToDays(1.0), Tolerance);
    }
}
