// The tape recorder: the pulses of standard-speed blocks (measured edge to
// edge and decoded back into bytes), pauses, the frame wrap, the deck's
// buttons in every state, the playback error box, the ear device and the
// tape bit of the keyboard port.
#include "core/Ear.h"
#include "core/Keyboard.h"
#include "core/Tape_recorder.h"
#include "media/File.h"
#include "media/Tape.h"
#include "tests/media/Tape_test_files.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace tape_test;

namespace {

constexpr i64 FrameLength = 71'680;
constexpr i64 TapPause = 3'500'000;  // one second

// Drives a recorder with the CPU's T-state as the computer does: the
// T-state within the frame, wrapping at the frame length.
class TTapeClock {
public:
    explicit TTapeClock(TTapeRecorder& recorder, i64 start = 0) : Recorder(recorder), Now(start) {}

    void UpdateNow() { Recorder.Update(static_cast<i32>(Now % FrameLength), static_cast<i32>(Now / FrameLength)); }
    void Advance(i64 tstates)
    {
        Now += tstates;
        UpdateNow();
    }
    i64 Time() const { return Now; }

    // Steps until the recorder stops (or the limit), noting the time of each
    // level change.
    std::vector<i64> RecordEdges(i64 step, i64 limit)
    {
        std::vector<i64> edges;
        u8 level = Recorder.GetLevel();
        while (Recorder.IsPlaying() && Now < limit) {
            Advance(step);
            if (Recorder.GetLevel() != level) {
                level = Recorder.GetLevel();
                edges.push_back(Now);
            }
        }
        return edges;
    }

private:
    TTapeRecorder& Recorder;
    i64 Now;
};

// The signal a tape should produce, as the times between level changes: a
// pulse ends with an edge; a block after a pause opens with one; in a pause
// a high level falls after one millisecond (3,501 T-states: once more than
// a millisecond has passed).
class TSignal {
public:
    // The level right after Play (Play opens the first pilot pulse).
    explicit TSignal(u8 level) : Level(level) {}

    // Pilot, syncs, two pulses a bit.
    void Block(const TBytes& block)
    {
        const i64 pilot = block.at(0) < 128 ? 8063 : 3223;
        for (i64 i = 0; i < pilot; ++i)
            Edge(2168);
        Edge(667);
        Edge(735);
        for (const u8 b : block)
            for (int k = 7; k >= 0; --k) {
                const i64 length = (b >> k & 1) ? 1710 : 855;
                Edge(length);
                Edge(length);
            }
    }
    void Pause(i64 tstates)
    {
        if (Level) {
            Edge(3501);
            Gap += tstates - 3501;
        } else {
            Gap += tstates;
        }
    }
    // The next block after a pause opens with an edge.
    void Opening() { Edge(0); }

    std::vector<i64> Intervals;
    // T-states since the last edge (the pause still running).
    i64 Gap = 0;

private:
    void Edge(i64 after)
    {
        Intervals.push_back(Gap + after);
        Gap = 0;
        Level ^= 1;
    }
    u8 Level;
};

std::vector<i64> Intervals(i64 start, const std::vector<i64>& edges)
{
    std::vector<i64> intervals;
    i64 last = start;
    for (const i64 edge : edges) {
        intervals.push_back(edge - last);
        last = edge;
    }
    return intervals;
}

// Reads bytes back from pulse lengths as the ROM does: after the sync pair,
// each pair of pulses is one bit, long pairs are ones.
TBytes DecodeBlock(const std::vector<i64>& pulses, size_t& at)
{
    while (at < pulses.size() && pulses[at] != 2168)  // the pause before
        ++at;
    while (at < pulses.size() && pulses[at] == 2168)
        ++at;
    at += 2;  // syncs
    TBytes bytes;
    while (at + 16 <= pulses.size() && (pulses[at] == 855 || pulses[at] == 1710)) {
        u8 b = 0;
        for (int k = 0; k < 8; ++k, at += 2)
            b = static_cast<u8>(b << 1 | (pulses[at] + pulses[at + 1] > 2 * 1282 ? 1 : 0));
        bytes.push_back(b);
    }
    return bytes;
}

class TapeRecorderTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TFakeMessageService Messages;
    TTapeRecorder Recorder{&Messages};
    TTapeMaker Maker;
};

}  // namespace

// ---------------------------------------------------------------------------
// Pulses

TEST_F(TapeRecorderTest, TapBlocksPlayAsPilotSyncsBitsAndAOneSecondPause)
{
    const TBytes header = RomBlock(0, {3, 'a', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 2, 0, 0, 0x80, 0, 0x80});
    const TBytes data = RomBlock(0xFF, {0xA5, 0x00});
    TBytes image;
    PutTapBlock(image, header);
    PutTapBlock(image, data);
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    ASSERT_TRUE(Recorder.IsPlaying());
    EXPECT_EQ(Recorder.GetLevel(), 1) << "the first pilot pulse opens with an edge";

    TTapeClock clock(Recorder, 12'345);
    clock.UpdateNow();
    const i64 start = clock.Time();
    const std::vector<i64> edges = clock.RecordEdges(1, 100'000'000);
    EXPECT_FALSE(Recorder.IsPlaying()) << "stops after the last block's pause";
    EXPECT_TRUE(Recorder.GetTape()->IsEndOfTape());

    TSignal expected(1);
    expected.Block(header);
    expected.Pause(TapPause);
    expected.Opening();
    expected.Block(data);
    expected.Pause(TapPause);
    const std::vector<i64> intervals = Intervals(start, edges);
    ASSERT_EQ(intervals.size(), expected.Intervals.size());
    EXPECT_EQ(intervals, expected.Intervals);
    // The deck stops once the last pause is over.
    EXPECT_EQ(clock.Time() - edges.back(), expected.Gap);
}

TEST_F(TapeRecorderTest, CoarseUpdatesSeeWhatFineOnesSee)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {0x12, 0x34, 0x56}));
    PutTapBlock(image, RomBlock(0x00, TBytes(17, 0x7E)));
    // The level at fixed times of the tape, reached in steps of at most the
    // given size: a pulse that ends inside a step passes its overrun on, so
    // every step size sees the same levels at the same T-states. Step 0:
    // straight to the next change the recorder announces, which must see
    // every change at its T-state, as steps of one do.
    struct TSeen {
        std::vector<u8> Levels;
        std::vector<i64> Changes;
    };
    auto seen = [&](i64 step) {
        TTapeRecorder recorder;
        recorder.SetTape(Maker.Tap(image));
        recorder.Play();
        TTapeClock clock(recorder, 1000);
        clock.UpdateNow();
        TSeen result;
        u8 level = recorder.GetLevel();
        i64 next = clock.Time() + 100'003;
        while (recorder.IsPlaying() && clock.Time() < 40'000'000) {
            const i64 size = step > 0 ? step : std::clamp<i64>(recorder.GetTStatesToNextChange(), 1, FrameLength - 1);
            clock.Advance(std::min(size, next - clock.Time()));
            if (recorder.GetLevel() != level) {
                level = recorder.GetLevel();
                result.Changes.push_back(clock.Time());
            }
            if (clock.Time() == next) {
                if (recorder.IsPlaying())
                    result.Levels.push_back(recorder.GetLevel());
                next += 100'003;
            }
        }
        EXPECT_FALSE(recorder.IsPlaying());
        return result;
    };
    const TSeen reference = seen(1);
    EXPECT_GT(reference.Levels.size(), 200u);
    for (const i64 step : {7, 23, 2168, 71'679, 0})
        EXPECT_EQ(seen(step).Levels, reference.Levels) << "step " << step;
    EXPECT_EQ(seen(0).Changes, reference.Changes);
}

TEST_F(TapeRecorderTest, DecodedPulsesGiveBackTheFixtureBlocks)
{
    const std::string path = FixturePath("code.tap");
    const TBytes image = ReadBytes(path);
    Recorder.SetTape(LoadPath(path, TTape::TypeTAP));
    Recorder.Play();
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    const std::vector<i64> pulses = Intervals(0, clock.RecordEdges(23, 100'000'000));
    // Coarse steps see each edge up to 22 T-states late; round to the
    // nearest nominal length.
    std::vector<i64> nominal;
    for (const i64 p : pulses) {
        i64 best = 0;
        for (const i64 n : {i64(667), i64(735), i64(855), i64(1710), i64(2168), TapPause})
            if (best == 0 || std::abs(p - n) < std::abs(p - best))
                best = n;
        nominal.push_back(best);
    }
    size_t at = 0;
    const TBytes header = DecodeBlock(nominal, at);
    const TBytes data = DecodeBlock(nominal, at);
    ASSERT_GE(image.size(), 21u);
    EXPECT_EQ(header, TBytes(image.begin() + 2, image.begin() + 21));
    EXPECT_EQ(data, TBytes(image.begin() + 23, image.end()));
}

TEST_F(TapeRecorderTest, TzxPauseFieldsAndAZeroPause)
{
    const TBytes first = RomBlock(0xFF, {0x01});
    const TBytes second = RomBlock(0xFF, {0x80});
    TBytes image = TzxHeader();
    PutStandardBlock(image, 0, first);     // no pause: the next pilot follows at once
    PutStandardBlock(image, 250, second);  // 250 ms
    Recorder.SetTape(Maker.Tzx(image));
    Recorder.Play();
    TSignal expected(Recorder.GetLevel());
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    const std::vector<i64> edges = clock.RecordEdges(1, 100'000'000);
    expected.Block(first);
    // The last data edge of the first block opens the second's pilot.
    expected.Block(second);
    expected.Pause(250 * 3500);
    EXPECT_EQ(Intervals(0, edges), expected.Intervals);
    EXPECT_EQ(clock.Time() - edges.back(), expected.Gap);
}

TEST_F(TapeRecorderTest, BlocksWithoutDataAndPauseAreSteppedOver)
{
    TBytes image = TzxHeader();
    PutStandardBlock(image, 0, {});
    PutStandardBlock(image, 0, {});
    PutStandardBlock(image, 0, RomBlock(0xFF, {}));
    Recorder.SetTape(Maker.Tzx(image));
    Recorder.Play();
    EXPECT_TRUE(Recorder.IsPlaying());
    EXPECT_EQ(Recorder.GetTape()->GetCurrentIndex(), 2) << "straight to the block with data";

    // Empty blocks only: the deck stops at once, without looping.
    TBytes empty = TzxHeader();
    for (int i = 0; i < 1000; ++i)
        PutStandardBlock(empty, 0, {});
    Recorder.SetTape(Maker.Tzx(empty));
    Recorder.Play();
    EXPECT_FALSE(Recorder.IsPlaying());
    EXPECT_TRUE(Recorder.GetTape()->IsEndOfTape());
}

TEST_F(TapeRecorderTest, FirstUpdateOnlyTakesTheTStateAndTheFrameWraps)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {1}));
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    const u8 level = Recorder.GetLevel();
    Recorder.Update(71'000, 3);  // long after Play: no shortened first pulse
    EXPECT_EQ(Recorder.GetLevel(), level);
    // 2,167 T-states across the frame end: still the first pulse.
    Recorder.Update(1'487, 4);
    EXPECT_EQ(Recorder.GetLevel(), level);
    Recorder.Update(1'488, 4);
    EXPECT_NE(Recorder.GetLevel(), level) << "680 + 1,488 = 2,168";
}

// ---------------------------------------------------------------------------
// The deck's buttons

TEST_F(TapeRecorderTest, PlayWithoutATapeOrAtTheEndDoesNothing)
{
    Recorder.Play();
    EXPECT_FALSE(Recorder.IsPlaying());
    Recorder.Update(100, 0);
    EXPECT_EQ(Recorder.GetTape(), nullptr);

    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {1}));
    Recorder.SetTape(Maker.Tap(image));
    EXPECT_FALSE(Recorder.IsPlaying()) << "inserting does not start";
    Recorder.GetTape()->SelectBlock(1);
    Recorder.Play();
    EXPECT_FALSE(Recorder.IsPlaying()) << "past the last block it stops at once";
    EXPECT_EQ(Messages.Count(), 0u);
}

TEST_F(TapeRecorderTest, StopThenPlayRestartsTheCurrentBlock)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {1}));
    PutTapBlock(image, RomBlock(0xFF, {2}));
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    clock.Advance(2168 * 100 + 5);
    Recorder.Stop();
    EXPECT_FALSE(Recorder.IsPlaying());
    const u8 level = Recorder.GetLevel();
    clock.Advance(100'000);
    EXPECT_EQ(Recorder.GetLevel(), level) << "a stopped deck holds its level";

    Recorder.Play();
    EXPECT_EQ(Recorder.GetTape()->GetCurrentIndex(), 0);
    clock.UpdateNow();
    const i64 start = clock.Time();
    TSignal expected(Recorder.GetLevel());
    const std::vector<i64> edges = clock.RecordEdges(1, 100'000'000);
    expected.Block(RomBlock(0xFF, {1}));
    expected.Pause(TapPause);
    expected.Opening();
    expected.Block(RomBlock(0xFF, {2}));
    EXPECT_EQ(Intervals(start, edges), expected.Intervals) << "the whole pilot again";
}

TEST_F(TapeRecorderTest, EjectAndReplaceBetweenUpdates)
{
    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, TBytes(50, 0x55)));
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    clock.Advance(3223 * 2168 + 5000);

    Recorder.Eject();
    EXPECT_FALSE(Recorder.IsPlaying());
    EXPECT_EQ(Recorder.GetTape(), nullptr);
    clock.Advance(1000);  // an update after the eject finds nothing to play

    // Replacing a playing tape starts the new one's first block.
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    clock.UpdateNow();
    clock.Advance(3223 * 2168 + 5000);
    TBytes other;
    PutTapBlock(other, RomBlock(0x00, TBytes(17, 0)));
    Recorder.SetTape(Maker.Tap(other));
    EXPECT_TRUE(Recorder.IsPlaying());
    clock.UpdateNow();
    TSignal expected(Recorder.GetLevel());
    const i64 start = clock.Time();
    const std::vector<i64> edges = clock.RecordEdges(1, 100'000'000);
    expected.Block(RomBlock(0x00, TBytes(17, 0)));
    expected.Pause(TapPause);
    EXPECT_EQ(Intervals(start, edges), expected.Intervals);

    // Replacing with no tape stops.
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    Recorder.SetTape(nullptr);
    EXPECT_FALSE(Recorder.IsPlaying());
    clock.Advance(5000);
}

TEST_F(TapeRecorderTest, UnplayableTzxBlockIsReportedOnceAndStops)
{
    TBytes image = TzxHeader();
    Put(image, {0x30, 3});
    PutText(image, "abc");
    PutStandardBlock(image, 100, RomBlock(0xFF, {1}));
    Recorder.SetTape(Maker.Tzx(image));
    Recorder.Play();
    EXPECT_FALSE(Recorder.IsPlaying());
    ASSERT_EQ(Messages.Count(), 1u);
    EXPECT_EQ(Messages.Messages()[0].Caption, "TZX Playback error!");
    EXPECT_EQ(Messages.Messages()[0].Text, "Неизвестный код блока #30");
    Recorder.Update(5000, 0);
    Recorder.Update(10, 1);
    EXPECT_EQ(Messages.Count(), 1u) << "once";
    EXPECT_EQ(Recorder.GetTape()->GetCurrentIndex(), 0) << "the tape stays at the block";
}

TEST_F(TapeRecorderTest, UnplayableBlockAfterAPlayableOne)
{
    TBytes image = TzxHeader();
    PutStandardBlock(image, 10, RomBlock(0xFF, {1}));
    Put(image, {0x12});
    PutWord(image, 2168);
    PutWord(image, 10);
    Recorder.SetTape(Maker.Tzx(image));
    Recorder.Play();
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    clock.RecordEdges(50, 100'000'000);
    EXPECT_FALSE(Recorder.IsPlaying());
    ASSERT_EQ(Messages.Count(), 1u);
    EXPECT_EQ(Messages.Messages()[0].Text, "Неизвестный код блока #12");
    EXPECT_EQ(Recorder.GetTape()->GetCurrentIndex(), 1);

    // Without a message service the error is not shown, and nothing fails.
    TTapeRecorder silent;
    silent.SetTape(Maker.Tzx(image));
    silent.GetTape()->SelectBlock(1);
    silent.Play();
    EXPECT_FALSE(silent.IsPlaying());
}

TEST_F(TapeRecorderTest, GroupedBlocksAreNotPlayable)
{
    // The catalogue's group entry lies at the Group End block.
    TBytes image = TzxHeader();
    Put(image, {0x21, 1, 'g'});
    PutStandardBlock(image, 10, RomBlock(0xFF, {1}));
    Put(image, {0x22});
    Recorder.SetTape(Maker.Tzx(image));
    Recorder.Play();
    EXPECT_FALSE(Recorder.IsPlaying());
    ASSERT_EQ(Messages.Count(), 1u);
    EXPECT_EQ(Messages.Messages()[0].Text, "Неизвестный код блока #22");
}

// ---------------------------------------------------------------------------
// The ear and the keyboard port

TEST_F(TapeRecorderTest, EarAnswersOnlyTwentyOrZero)
{
    TEar ear(&Recorder);
    ASSERT_EQ(ear.GetPortCount(), 1);
    const TPort* port = ear.FirstPort();
    EXPECT_EQ(port->Value, 0x00FE);
    EXPECT_EQ(port->Mask, 0x0001);
    EXPECT_EQ(port->Direction, TPort::DirectionIn);
    EXPECT_EQ(ear.PortRead(0xFE), 0x00);

    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {1}));
    Recorder.SetTape(Maker.Tap(image));
    Recorder.Play();
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    int highs = 0;
    int lows = 0;
    for (int i = 0; i < 5000; ++i) {
        clock.Advance(331);
        const u8 value = port->InHandler(0xFE);
        EXPECT_TRUE(value == 0x20 || value == 0x00);
        EXPECT_EQ(value == 0x20, Recorder.GetLevel() == 1);
        (value ? highs : lows) += 1;
    }
    EXPECT_GT(highs, 1000);
    EXPECT_GT(lows, 1000);
}

TEST_F(TapeRecorderTest, LevelIsBitSixOfTheKeyboardPortWhilePlaying)
{
    TKeyboard keyboard;
    keyboard.SetTapeInput(&Recorder);
    TBytes image;
    PutTapBlock(image, RomBlock(0xFF, {1}));
    Recorder.SetTape(Maker.Tap(image));
    keyboard.KeyDown(10);  // Q: bit 0 of half-row 2
    EXPECT_EQ(keyboard.PortRead(0xFBFE), 0xBE) << "not playing: as without a recorder";

    Recorder.Play();
    ASSERT_EQ(Recorder.GetLevel(), 1);
    EXPECT_EQ(keyboard.PortRead(0xFBFE), 0xFE);
    EXPECT_EQ(keyboard.PortRead(0x7FFE), 0xFF);
    TTapeClock clock(Recorder);
    clock.UpdateNow();
    clock.Advance(2168);
    ASSERT_EQ(Recorder.GetLevel(), 0);
    EXPECT_EQ(keyboard.PortRead(0xFBFE), 0xBE);
    clock.Advance(2168);
    Recorder.Stop();
    ASSERT_EQ(Recorder.GetLevel(), 1) << "a stopped deck keeps its level";
    EXPECT_EQ(keyboard.PortRead(0xFBFE), 0xBE) << "but the port no longer hears it";
    keyboard.SetTapeInput(nullptr);
}
