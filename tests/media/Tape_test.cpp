// The TAP catalogue: the standard-block descriptions and their timing, the
// edges of the format, the answers for any index, and TAP images made by
// zmakebas and pasmo (and the shared ones) against tzxlist's listings.
#include "media/Tape.h"

#include "tests/media/Tape_test_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>

using namespace tape_test;

namespace {

// The pilot, syncs and one pulse length per bit of a standard block.
double StandardTStates(const TBytes& block, int usedBits = 8)
{
    double sum = (block.at(0) < 128 ? 8063.0 : 3223.0) * 2168.0 + 667.0 + 735.0;
    for (size_t i = 0; i < block.size(); ++i) {
        const int bits = i + 1 == block.size() ? usedBits : 8;
        for (int k = 0; k < bits; ++k)
            sum += (k < 8 && (block[i] << k & 0x80)) ? 1710.0 : 855.0;
    }
    return sum;
}

TBytes HeaderPayload(int type, const std::string& name, int length, int p1, int p2)
{
    TBytes payload{static_cast<u8>(type)};
    std::string padded = name;
    padded.resize(10, ' ');
    PutText(payload, padded);
    PutWord(payload, length);
    PutWord(payload, p1);
    PutWord(payload, p2);
    return payload;
}

class TapTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TTapeMaker Maker;
};

}  // namespace

// ---------------------------------------------------------------------------
// Descriptions

TEST_F(TapTest, ZeroHeaderIsTheWorkedExample)
{
    TBytes image;
    PutTapBlock(image, TBytes(19, 0));
    const auto tape = Maker.Tap(image);
    ASSERT_EQ(tape->GetBlockCount(), 1);
    EXPECT_EQ(tape->GetBlockName(0), "Standard Header, Program \"\", Length 0, Line 0, Vars 0");
    // 8063 x 2168 + 667 + 735 + 152 x 855
    EXPECT_DOUBLE_EQ(tape->GetBlockInfo(0)->Duration, TTape::TStatesToDays(17'611'946));
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration * 86'400.0, 5.032, 0.0005);
    EXPECT_EQ(tape->GetBlockInfo(0)->Offset, 0u);
    EXPECT_EQ(tape->GetBlockInfo(0)->Start, 0.0);
    EXPECT_EQ(tape->GetType(), TTape::TypeTAP);
    EXPECT_EQ(tape->GetVersion(), "");
}

TEST_F(TapTest, HeadersOfEveryType)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0, HeaderPayload(3, "NAME", 6912, 16384, 32768)));
    PutTapBlock(image, RomBlock(0, HeaderPayload(0, "run", 300, 32768, 250)));
    PutTapBlock(image, RomBlock(0, HeaderPayload(1, "n", 8, 0x8E00, 0)));
    PutTapBlock(image, RomBlock(0, HeaderPayload(2, "t$", 34, 0xD400, 0)));
    PutTapBlock(image, RomBlock(0, HeaderPayload(7, "odd", 1, 2, 3)));
    const auto tape = Maker.Tap(image);
    ASSERT_EQ(tape->GetBlockCount(), 5);
    EXPECT_EQ(tape->GetBlockName(0), "Standard Header, Code \"NAME\", Length 6912, Start 16384");
    EXPECT_EQ(tape->GetBlockName(1), "Standard Header, Program \"run\", Length 300, Line 32768, Vars 250");
    EXPECT_EQ(tape->GetBlockName(2), "Standard Header, Number Array \"n\"");
    EXPECT_EQ(tape->GetBlockName(3), "Standard Header, Character Array \"t$\"");
    EXPECT_EQ(tape->GetBlockName(4), "Standard Header, Nonstandard");
    EXPECT_EQ(tape->GetBlockInfo(1)->Offset, 21u);
    EXPECT_EQ(tape->GetBlockInfo(4)->Offset, 84u);
}

TEST_F(TapTest, NamesEndAtZeroLoseTrailingBlanksAndReadAsLatin1)
{
    TBytes image;
    TBytes payload = HeaderPayload(3, "", 1, 2, 3);
    const u8 name[10] = {' ', 'A', 0xE9, 'b', ' ', '\t', 0x01, ' ', ' ', ' '};
    std::copy(std::begin(name), std::end(name), payload.begin() + 1);
    PutTapBlock(image, RomBlock(0, payload));
    TBytes cut = HeaderPayload(3, "ab", 1, 2, 3);
    cut[2] = 'x';
    cut[3] = 0;  // "ax" then a zero, then "  ..."
    cut[4] = 'y';
    PutTapBlock(image, RomBlock(0, cut));
    const auto tape = Maker.Tap(image);
    EXPECT_EQ(tape->GetBlockName(0), "Standard Header, Code \" A\xC3\xA9" "b\", Length 1, Start 2");
    EXPECT_EQ(tape->GetBlockName(1), "Standard Header, Code \"ax\", Length 1, Start 2");
}

TEST_F(TapTest, DataAndNonstandardBlocks)
{
    TBytes image;
    PutTapBlock(image, {0xFF, 0x00});                      // data of length 0
    PutTapBlock(image, {0x80, 1, 2, 3, 4});                 // ID #80, length 3
    PutTapBlock(image, {0x42});                             // ID #42, length -1
    PutTapBlock(image, RomBlock(0, TBytes(10, 0x41)));      // flag 0 but not 19 bytes
    PutTapBlock(image, RomBlock(0xFF, TBytes(300, 0x18)));  // data
    const auto tape = Maker.Tap(image);
    ASSERT_EQ(tape->GetBlockCount(), 5);
    EXPECT_EQ(tape->GetBlockName(0), "Standard Data Block, Length 0");
    EXPECT_EQ(tape->GetBlockName(1), "Standard Nonstandard, ID #80, Length 3");
    EXPECT_EQ(tape->GetBlockName(2), "Standard Nonstandard, ID #42, Length -1");
    EXPECT_EQ(tape->GetBlockName(3), "Standard Nonstandard, ID #00, Length 10");
    EXPECT_EQ(tape->GetBlockName(4), "Standard Data Block, Length 300");
}

TEST_F(TapTest, DurationsCountPilotSyncsAndOnePulsePerBit)
{
    const TBytes data = RomBlock(0xFF, {0xFF, 0x00, 0xA5, 0x80});
    const TBytes flagOnly{0x42};
    const TBytes header = RomBlock(0x7F, {0x55});  // a flag below 128 takes the long pilot
    TBytes image;
    PutTapBlock(image, data);
    PutTapBlock(image, flagOnly);
    PutTapBlock(image, header);
    const auto tape = Maker.Tap(image);
    ASSERT_EQ(tape->GetBlockCount(), 3);
    EXPECT_NEAR(tape->GetBlockInfo(0)->Duration, Days(StandardTStates(data)), 1e-15);
    EXPECT_NEAR(tape->GetBlockInfo(1)->Duration, Days(StandardTStates(flagOnly)), 1e-15);
    EXPECT_NEAR(tape->GetBlockInfo(2)->Duration, Days(StandardTStates(header)), 1e-15);
    // No pause follows a TAP block in the catalogue.
    EXPECT_NEAR(tape->GetTotalTime(), Days(StandardTStates(data) + StandardTStates(flagOnly) + StandardTStates(header)),
                1e-15);
}

TEST_F(TapTest, StartsAreSumsAndZeroBlocksTakeNoTime)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0, HeaderPayload(0, "a", 1, 2, 3)));
    PutWord(image, 0);  // "Nonstandard Zero"
    PutTapBlock(image, RomBlock(0xFF, TBytes(100, 0xAA)));
    PutWord(image, 0);
    PutTapBlock(image, {0x13});
    const auto tape = Maker.Tap(image);
    ASSERT_EQ(tape->GetBlockCount(), 5);
    EXPECT_EQ(tape->GetBlockName(1), "Standard Nonstandard Zero");
    EXPECT_EQ(tape->GetBlockInfo(1)->Duration, 0.0);
    EXPECT_EQ(tape->GetBlockInfo(3)->Duration, 0.0);
    double sum = 0.0;
    for (i32 i = 0; i < tape->GetBlockCount(); ++i) {
        EXPECT_EQ(tape->GetBlockInfo(i)->Start, sum) << "block " << i;
        sum += tape->GetBlockInfo(i)->Duration;
    }
    EXPECT_EQ(tape->GetTotalTime(), sum);
    EXPECT_EQ(tape->GetBlockInfo(2)->Offset, 23u);
    EXPECT_EQ(tape->GetBlockInfo(3)->Offset, 127u);
}

// ---------------------------------------------------------------------------
// Refused images

TEST_F(TapTest, ShortFilesAndBadLengths)
{
    EXPECT_EQ(Maker.Error({0x00, 0x00}, TTape::TypeTAP), "Error! TAP file size too small!");
    EXPECT_EQ(Maker.Error({}, TTape::TypeTAP), "Error! TAP file size too small!");
    // 00 00 xx: one "Nonstandard Zero" block, then one byte left over.
    EXPECT_EQ(Maker.Error({0x00, 0x00, 0x13}, TTape::TypeTAP), "End of file reached.");
    // A length that runs past the end of the file.
    EXPECT_EQ(Maker.Error({0x05, 0x00, 0xFF, 0x01, 0x02}, TTape::TypeTAP),
              "Unsupported tape image format or file corrupt!");
    EXPECT_EQ(Maker.Error({0xFF, 0xFF, 0xFF, 0x01, 0x02}, TTape::TypeTAP),
              "Unsupported tape image format or file corrupt!");
    TBytes image;
    PutTapBlock(image, {0xFF, 0xFF});
    image.push_back(0x02);  // a block whose length word is cut off
    EXPECT_EQ(Maker.Error(image, TTape::TypeTAP), "End of file reached.");
    EXPECT_EQ(Maker.Error({0x01, 0x00, 0x42}, 5), "Invalid Tape Image file type.");
}

TEST_F(TapTest, MissingFileIsTooSmall)
{
    EXPECT_THROW(TTape(std::make_unique<TFile>("/nonexistent/quorvane.tap"), TTape::TypeTAP), TTextError);
    EXPECT_THROW(TTape(nullptr, TTape::TypeTAP), TTextError);
}

// ---------------------------------------------------------------------------
// Selection and any index

TEST_F(TapTest, SelectBlockAndIndexesOutsideTheTape)
{
    TBytes image;
    PutTapBlock(image, {0xFF, 1, 2});
    PutTapBlock(image, {0xFF, 3, 4});
    const auto tape = Maker.Tap(image);
    EXPECT_EQ(tape->GetCurrentIndex(), 0);
    EXPECT_TRUE(tape->SelectBlock(-1)) << "-1 keeps block 0 of a new tape";
    EXPECT_EQ(tape->GetCurrentInfo(), tape->GetBlockInfo(0));
    EXPECT_EQ(tape->ReadNextByte(), 0x03) << "positioned at the block's length word";

    EXPECT_TRUE(tape->SelectBlock(1));
    EXPECT_EQ(tape->ReadNextByte(), 0x03);
    EXPECT_EQ(tape->ReadNextByte(), 0x00);
    EXPECT_EQ(tape->ReadNextByte(), 0xFF);
    EXPECT_EQ(tape->ReadNextByte(), 0x03);
    EXPECT_FALSE(tape->IsEndOfTape());

    EXPECT_FALSE(tape->SelectBlock(2));
    EXPECT_TRUE(tape->IsEndOfTape());
    EXPECT_FALSE(tape->SelectBlock(-1));
    EXPECT_FALSE(tape->SelectBlock(1'000'000));
    EXPECT_TRUE(tape->IsEndOfTape());
    EXPECT_FALSE(tape->SelectBlock(-7)) << "refused, nothing changes";
    EXPECT_TRUE(tape->IsEndOfTape());
    EXPECT_TRUE(tape->SelectBlock(0));
    EXPECT_FALSE(tape->SelectBlock(std::numeric_limits<i32>::min()));
    EXPECT_EQ(tape->GetCurrentIndex(), 0);

    for (const i32 index : {-1, 2, 3, std::numeric_limits<i32>::max(), std::numeric_limits<i32>::min()}) {
        EXPECT_EQ(tape->GetBlockName(index), "") << index;
        EXPECT_EQ(tape->GetBlockInfo(index), nullptr) << index;
    }
}

TEST_F(TapTest, SumIsTheImagesByteSum)
{
    const TBytes image = ReadBytes(FixturePath("program.tap"));
    u32 sum = 0;
    for (const u8 b : image)
        sum += b;
    EXPECT_EQ(LoadPath(FixturePath("program.tap"), TTape::TypeTAP)->GetSum(), sum);
}

TEST(TapeTime, DaysFromTStatesAndMilliseconds)
{
    EXPECT_DOUBLE_EQ(TTape::TStatesToDays(3'500'000LL * 86'400), 1.0);
    EXPECT_DOUBLE_EQ(TTape::MillisecondsToDays(86'400'000), 1.0);
    EXPECT_EQ(TTape::TStatesToDays(0), 0.0);
    // Far beyond 32 bits: no wrap.
    EXPECT_GT(TTape::TStatesToDays(1LL << 40), 3.0);
}

// ---------------------------------------------------------------------------
// Against tzxlist

class TapListingTest : public ::testing::TestWithParam<std::string> {};

TEST_P(TapListingTest, MatchesTzxlist)
{
    TTestSettings settings;
    const std::string name = GetParam();
    const std::string path = name.find('/') == std::string::npos ? FixturePath(name) : SharedPath(name);
    const std::string base = name.substr(name.rfind('/') + 1);
    const auto listing = ReadListing(FixturePath("tzxlist/" + base + ".txt"));
    ASSERT_FALSE(listing.empty()) << "no listing for " << base;
    const auto tape = LoadPath(path, TTape::TypeTAP);
    ExpectMatchesListing(*tape, listing, ReadBytes(path));
}

INSTANTIATE_TEST_SUITE_P(Images, TapListingTest,
                         ::testing::Values("program.tap", "code.tap", "tap/standard-tap.tap", "tap/savetap_test.tap",
                                           "tap/tapout_test.tap", "tap/daa.tap", "tap/screen_timing.tap"),
                         ImageTestName);

TEST(TapZmakebas, ProgramHeaderAndDataAsZmakebasWroteThem)
{
    TTestSettings settings;
    const auto tape = LoadPath(FixturePath("program.tap"), TTape::TypeTAP);
    ASSERT_EQ(tape->GetBlockCount(), 2);
    // No autostart line: zmakebas writes 32768.
    EXPECT_EQ(tape->GetBlockName(0), "Standard Header, Program \"hello\", Length 189, Line 32768, Vars 189");
    EXPECT_EQ(tape->GetBlockName(1), "Standard Data Block, Length 189");
    EXPECT_EQ(tape->GetBlockInfo(1)->Offset, 21u);
}
