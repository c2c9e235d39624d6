// The video chip on its own: the border ring, the latch and address tables
// against the Spectrum's screen layout, the latches, and the screen page the
// latches read (128K paging and the screen view's page choice).
#include "core/Video_card.h"

#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Ports.h"
#include "core/Z80.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

namespace {

constexpr i32 LineTStates = 224;
constexpr i32 FrameTStates = 71'680;
constexpr i32 FirstPaperLine = 80;
// The beam reaches the first paper byte of a line 68 T-states into it
// (32 sync + 32 blanking + 72 left-border pixels, two pixels a T-state).
constexpr i32 PaperStartTState = 68;

// The Spectrum screen layout written as its address bits rather than as the
// sums the chip uses: pixel byte 010T TSSS LLLC CCCC (T third, S scan line
// within the character row, L character row within the third, C column),
// attribute 0101 10TT LLLC CCCC.
u16 PixelOffset(i32 y, i32 x)
{
    const i32 third = y >> 6, row = (y >> 3) & 7, scan = y & 7;
    return static_cast<u16>(third << 11 | scan << 8 | row << 5 | x);
}

u16 AttributeOffset(i32 y, i32 x)
{
    return static_cast<u16>(0x1800 | (y >> 3) << 5 | x);
}

class VideoCardTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TMemory Memory{TMemory::Model128};
    TPorts Ports;
    TZ80 Cpu{&Memory, &Ports};
    TVideoCard Video{&Memory, &Cpu};

    u8* Bank(i32 n) { return Memory.GetBankPtr(n); }

    void FillRandom(u8* page, u32 seed)
    {
        std::mt19937 random(seed);
        for (u32 i = 0; i < 0x4000; ++i)
            page[i] = static_cast<u8>(random());
    }

    // Border ring entry n as (T-state, colour).
    std::pair<u32, u8> RingEntry(u32 n) const
    {
        return {Video.GetRingTStates()[n], Video.GetRingColours()[n]};
    }
};

// --- Border ---

TEST_F(VideoCardTest, BorderChangesAreRecordedOnceWithColourBitsAndStampedOneTStateEarly)
{
    Ports.AddDevicePorts(Video);
    Cpu.Tact = 1'000;
    Ports.Write(0x00FE, 0x0A);  // MIC bit and colour 2
    EXPECT_EQ(Video.GetBorder(), 2);
    ASSERT_EQ(Video.GetRingWritePosition(), 1u);
    EXPECT_EQ(RingEntry(0), std::make_pair(999u, u8{2}));

    Cpu.Tact = 1'100;
    Ports.Write(0x00FE, 0x12);  // EAR bit, same colour: not a change
    EXPECT_EQ(Video.GetRingWritePosition(), 1u);

    Cpu.Tact = 1'200;
    Ports.Write(0x12FE, 0x05);  // any even port reaches the border
    EXPECT_EQ(Video.GetRingWritePosition(), 2u);
    EXPECT_EQ(RingEntry(1), std::make_pair(1'199u, u8{5}));

    Ports.Write(0x00FF, 0x01);  // odd port: not the border
    EXPECT_EQ(Video.GetBorder(), 5);
}

TEST_F(VideoCardTest, BorderOfColourZeroAtStartIsNoChange)
{
    Video.BorderWrite(0);
    Video.BorderWrite(8);
    EXPECT_EQ(Video.GetRingWritePosition(), 0u);
}

TEST_F(VideoCardTest, BorderWriteAtTStateZeroIsStampedZero)
{
    Cpu.Tact = 0;  // a snapshot reader setting the border
    Video.BorderWrite(3);
    EXPECT_EQ(RingEntry(0), std::make_pair(0u, u8{3}));
}

TEST_F(VideoCardTest, RingHolds16384EntriesAndOverwritesTheOldest)
{
    ASSERT_EQ(Video.GetRingMask(), 16'383u);
    for (u32 n = 0; n <= 16'384; ++n) {
        Cpu.Tact = static_cast<i32>(n + 1);
        Video.BorderWrite(static_cast<u8>(n % 2 + 1));
    }
    EXPECT_EQ(Video.GetRingWritePosition(), 1u);
    EXPECT_EQ(RingEntry(0), std::make_pair(16'384u, u8{1}));
    EXPECT_EQ(RingEntry(1), std::make_pair(1u, u8{2}));

    Video.ResetBorderLog();
    EXPECT_EQ(Video.GetRingWritePosition(), 0u);
    EXPECT_EQ(Video.GetBorder(), 1);  // the colour is kept
}

// --- Tables ---

TEST_F(VideoCardTest, LatchTableCarriesThreeLatchesPerPaperByteFourTStatesAhead)
{
    EXPECT_EQ(Video.GetLatchIndex(80 * LineTStates + 65), 1u);
    EXPECT_EQ(Video.GetLatchIndex(271 * LineTStates + 191), 6'144u);
    EXPECT_EQ(Video.GetFirstLatchTact(), 80 * LineTStates + 64);

    std::vector<i32> uses(TVideoCard::LatchCount + 1, 0);
    i32 latching = 0;
    for (i32 t = 0; t < FrameTStates; ++t) {
        const u32 index = Video.GetLatchIndex(t);
        if (index == 0)
            continue;
        ++latching;
        ASSERT_LE(index, 6'144u) << "T-state " << t;
        ++uses[index];
        // Four T-states later the beam is on the byte this latch names.
        const i32 y = static_cast<i32>(index - 1) / 32, x = static_cast<i32>(index - 1) % 32;
        const i32 beam = t + 4;
        ASSERT_EQ(beam / LineTStates, FirstPaperLine + y) << "T-state " << t;
        ASSERT_EQ((beam % LineTStates - PaperStartTState) / 4, x) << "T-state " << t;
        ASSERT_NE((beam % LineTStates - PaperStartTState) % 4, 0) << "T-state " << t;
    }
    EXPECT_EQ(latching, 18'432);
    for (i32 index = 1; index <= TVideoCard::LatchCount; ++index)
        ASSERT_EQ(uses[static_cast<size_t>(index)], 3) << "index " << index;
}

TEST_F(VideoCardTest, AddressTableFollowsTheScreenLayoutForEveryPaperByte)
{
    for (i32 y = 0; y < 192; ++y) {
        for (i32 x = 0; x < 32; ++x) {
            for (i32 phase = 0; phase < 4; ++phase) {
                const i32 t = (FirstPaperLine + y) * LineTStates + PaperStartTState + 4 * x + phase;
                const TVideoCard::TScreenAddress address = Video.GetScreenAddress(t);
                ASSERT_EQ(address.Pixel, PixelOffset(y, x)) << "line " << y << " column " << x;
                ASSERT_EQ(address.Attribute, AttributeOffset(y, x)) << "line " << y << " column " << x;
            }
        }
    }
}

TEST_F(VideoCardTest, EveryAddressTableEntryStaysInsideTheScreenPage)
{
    for (i32 t = 0; t < FrameTStates; ++t) {
        const TVideoCard::TScreenAddress address = Video.GetScreenAddress(t);
        ASSERT_LT(address.Pixel, TMemoryPage::Size) << "T-state " << t;
        ASSERT_LT(address.Attribute, TMemoryPage::Size) << "T-state " << t;
    }
}

TEST_F(VideoCardTest, RebuildRequestIsClearedByTheRebuild)
{
    EXPECT_FALSE(Video.IsRebuildRequested());
    Video.RequestRebuild();
    EXPECT_TRUE(Video.IsRebuildRequested());
    Video.BuildAddressTable();
    EXPECT_FALSE(Video.IsRebuildRequested());
    EXPECT_EQ(Video.GetScreenAddress(FirstPaperLine * LineTStates + PaperStartTState).Attribute, 0x1800);
}

// --- Latches ---

TEST_F(VideoCardTest, LatchWholeScreenCopiesEveryPaperByteFromMemory)
{
    u8* screen = Bank(5);
    FillRandom(screen, 1);
    Video.LatchWholeScreen();
    for (i32 y = 0; y < 192; ++y) {
        for (i32 x = 0; x < 32; ++x) {
            const i32 index = y * 32 + x + 1;
            ASSERT_EQ(Video.GetPixelLatch()[index], screen[PixelOffset(y, x)]) << "line " << y << " column " << x;
            ASSERT_EQ(Video.GetAttributeLatch()[index], screen[AttributeOffset(y, x)]) << "line " << y << " column " << x;
        }
    }
    EXPECT_EQ(Video.GetLatchPhase(), 0);  // an even number of calls
}

TEST_F(VideoCardTest, LatchesAlternateOnEveryCallLatchingOrNot)
{
    u8* screen = Bank(5);
    screen[PixelOffset(0, 0)] = 0xAA;
    screen[AttributeOffset(0, 0)] = 0x47;
    Video.LatchWholeScreen();
    screen[PixelOffset(0, 0)] = 0x55;
    screen[AttributeOffset(0, 0)] = 0x38;
    const i32 first = 80 * LineTStates + 65;  // column 0's three latching T-states

    Video.LatchScreen(first);  // phase 1: attribute
    EXPECT_EQ(Video.GetAttributeLatch()[1], 0x38);
    EXPECT_EQ(Video.GetPixelLatch()[1], 0xAA);

    Video.LatchScreen(0);  // no latch, but the phase turns
    Video.LatchScreen(first + 1);  // phase 1 again: attribute, pixel untouched
    EXPECT_EQ(Video.GetPixelLatch()[1], 0xAA);

    Video.LatchScreen(first + 2);  // phase 0: pixel
    EXPECT_EQ(Video.GetPixelLatch()[1], 0x55);
}

TEST_F(VideoCardTest, TStateAtOrPastTheFrameEndLatchesAsTheNextFrame)
{
    u8* screen = Bank(5);
    screen[AttributeOffset(0, 0)] = 0x11;
    Video.LatchScreen(FrameTStates + 80 * LineTStates + 65);
    EXPECT_EQ(Video.GetAttributeLatch()[1], 0x11);
    EXPECT_EQ(Video.GetLatchIndex(FrameTStates + 80 * LineTStates + 65), 1u);
    EXPECT_EQ(Video.GetLatchIndex(FrameTStates), Video.GetLatchIndex(0));
}

TEST_F(VideoCardTest, AnyTStateIsSafe)
{
    // Under the address sanitizer these would report a read outside the
    // tables if the wrap were missing.
    for (i32 t : {INT_MIN, INT_MIN + 1, -FrameTStates - 1, -1, FrameTStates - 1, FrameTStates, 2 * FrameTStates + 17,
                  INT_MAX}) {
        Video.LatchScreen(t);
        EXPECT_LE(Video.GetLatchIndex(t), 6'144u);
    }
    EXPECT_EQ(Video.GetLatchIndex(-FrameTStates + 80 * LineTStates + 65), 1u);
}

// The processor notes its counted-only T-states and the latches are caught
// up behind it; by columns or T-state by T-state, they must end where
// latching every T-state as it passes ends, whatever the cycles, the screen
// writes meeting the beam and the points where regions close.
TEST_F(VideoCardTest, CatchingUpMatchesLatchingEachTStateAsItPasses)
{
    FillRandom(Bank(5), 2);
    FillRandom(Bank(7), 4);
    Video.LatchWholeScreen();
    TVideoCard byColumns(&Memory, &Cpu);
    TVideoCard byTStates(&Memory, &Cpu);
    byTStates.LatchEveryTStateForTesting();
    TVideoCard* const behind[] = {&byColumns, &byTStates};
    auto same = [&](const TVideoCard& card, i32 tact) {
        const char* which = &card == &byColumns ? "by columns" : "by T-states";
        ASSERT_EQ(card.GetLatchPhase(), Video.GetLatchPhase()) << which << ", T-state " << tact;
        ASSERT_TRUE(std::equal(card.GetPixelLatch(), card.GetPixelLatch() + TVideoCard::LatchCount + 1,
                               Video.GetPixelLatch()))
            << which << ": pixels at T-state " << tact;
        ASSERT_TRUE(std::equal(card.GetAttributeLatch(), card.GetAttributeLatch() + TVideoCard::LatchCount + 1,
                               Video.GetAttributeLatch()))
            << which << ": attributes at T-state " << tact;
    };

    std::mt19937 random(3);
    i32 tact = 0;
    for (TVideoCard* card : behind)
        card->OpenLatchRegion(tact);
    for (i32 total = 0; total < 3 * FrameTStates;) {
        // A bus cycle: an idle run, an opcode fetch or memory read that may
        // count its second T-state only, a write to bank 5 or 7 (which
        // counts it), landing after its second T-state, or now and then an
        // OUT to the paging port, which switches the screen between the two
        // after its first T-state. Half the writes go to a byte the beam
        // has just latched or is about to latch.
        const u32 kind = random() % 64 == 0 ? 4 : random() % 4;
        const i32 length = kind == 0 ? static_cast<i32>(1 + random() % 7) : kind == 2 || kind == 3 ? 3 : 4;
        const bool counted = kind == 3 || ((kind == 1 || kind == 2) && random() % 2 == 0);
        u8* const page = Bank(random() % 2 ? 5 : 7);
        u16 address = static_cast<u16>(0x4000 + random() % 0x1B00);
        if (random() % 2 == 0) {
            const i32 near = tact + TVideoCard::LatchLead + static_cast<i32>(random() % 16) - 10;
            const TVideoCard::TScreenAddress underBeam = Video.GetScreenAddress(near);
            address = static_cast<u16>(0x4000 + (random() % 2 ? underBeam.Pixel : underBeam.Attribute));
        }
        for (i32 i = 0; i < length; ++i) {
            if (kind == 3 && i == 2) {
                for (TVideoCard* card : behind)
                    if (card->WriteMeetsPendingLatch(page, address, tact + 2))
                        card->CatchUpLatches(tact + 2);
                page[address & 0x3FFF] = static_cast<u8>(random());
            }
            if (kind == 4 && i == 1) {
                Cpu.Tact = tact + 1;
                Video.SetScreenMemory(page);
                for (TVideoCard* card : behind)
                    card->SetScreenMemory(page);
            }
            if (i == 1 && counted) {
                for (TVideoCard* card : behind)
                    card->NoteCounted(tact + 1);
            } else {
                Video.LatchScreen(tact + i);
            }
        }
        tact += length;
        total += length;
        // Regions close at cycle ends, as steps end: often in the first
        // frame, rarely later (some run long enough to fill the notes),
        // and always soon after the frame end, where the count wraps.
        if (random() % (total < FrameTStates ? 8 : 4096) == 0 || tact >= FrameTStates + 64) {
            for (TVideoCard* card : behind) {
                card->CloseLatchRegion(tact);
                same(*card, tact);
            }
            if (tact >= FrameTStates)
                tact -= FrameTStates;
            for (TVideoCard* card : behind)
                card->OpenLatchRegion(tact);
        }
    }
    for (TVideoCard* card : behind) {
        card->CloseLatchRegion(tact);
        same(*card, tact);
    }
}

// --- Screen memory and the page choice ---

TEST_F(VideoCardTest, Model128StartsOnBank5AndFollowsThePagingPort)
{
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
    EXPECT_EQ(Video.GetSavedScreenMemory(), Bank(5));

    TMemoryPagination paging(Memory, &Video);
    Ports.AddDevicePorts(paging);
    Ports.Write(0x7FFD, 0x08);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(7));
    EXPECT_EQ(Video.GetSavedScreenMemory(), Bank(7));
    Ports.Write(0x7FFD, 0x00);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
}

TEST_F(VideoCardTest, FixedPageHoldsWhilePagingIsRememberedForSelected)
{
    TMemoryPagination paging(Memory, &Video);
    Ports.AddDevicePorts(paging);

    Video.SelectVideoPage(5);  // "Primary"
    EXPECT_EQ(Settings->VideoPage, 5);
    Ports.Write(0x7FFD, 0x08);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
    EXPECT_EQ(Video.GetSavedScreenMemory(), Bank(7));

    Video.SelectVideoPage(7);  // "Secondary" does not save bank 5 as the paged one
    EXPECT_EQ(Video.GetScreenMemory(), Bank(7));
    Ports.Write(0x7FFD, 0x00);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(7));

    Video.SelectVideoPage(0);  // "Selected": the page the port chose last
    EXPECT_EQ(Settings->VideoPage, 0);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
    Video.SelectVideoPage(0);  // twice: still that page
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
}

TEST_F(VideoCardTest, SelectedBeforeAnyOtherChoiceKeepsThePagedScreen)
{
    Video.SetScreenMemory(Bank(7));
    Video.SelectVideoPage(0);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(7));
    Video.SelectVideoPage(0);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(7));
}

TEST_F(VideoCardTest, LatchesReadTheShownPage)
{
    Bank(5)[AttributeOffset(0, 0)] = 0x05;
    Bank(7)[AttributeOffset(0, 0)] = 0x07;
    Video.SelectVideoPage(7);
    Video.LatchWholeScreen();
    EXPECT_EQ(Video.GetAttributeLatch()[1], 0x07);
    Video.SelectVideoPage(0);
    Video.LatchWholeScreen();
    EXPECT_EQ(Video.GetAttributeLatch()[1], 0x05);
}

TEST_F(VideoCardTest, NullPageAndUnknownChoicesAreIgnored)
{
    Video.SetScreenMemory(nullptr);
    Video.SetShownScreenMemory(nullptr);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
    Video.SelectVideoPage(3);
    EXPECT_EQ(Settings->VideoPage, 0);
    EXPECT_EQ(Video.GetScreenMemory(), Bank(5));
}

TEST(VideoCardModel48Test, ShowsThePageAt4000AndIgnoresFixedPages)
{
    TTestSettings settings;
    settings->Model = 1;
    TMemory memory(TMemory::Model48);
    TVideoCard video(&memory, nullptr);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetPointer(0x4000));

    video.SelectVideoPage(5);
    video.SelectVideoPage(7);
    EXPECT_EQ(settings->VideoPage, 0);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetPointer(0x4000));
    video.SelectVideoPage(0);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetPointer(0x4000));
}

TEST_F(VideoCardTest, ResetScreenMemoryFollowsANewModel)
{
    Memory.SetModel(TMemory::Model48);
    Video.ResetScreenMemory();
    EXPECT_EQ(Video.GetScreenMemory(), Memory.GetPointer(0x4000));
    EXPECT_EQ(Video.GetSavedScreenMemory(), Memory.GetPointer(0x4000));
    Video.LatchWholeScreen();
    EXPECT_EQ(Video.GetAttributeLatch()[1], Memory.ReadByte(0x5800));
}

TEST_F(VideoCardTest, ConstructionShowsTheFixedPageTheViewChose)
{
    Settings->VideoPage = 7;
    TVideoCard video(&Memory, &Cpu);
    EXPECT_EQ(video.GetScreenMemory(), Bank(7));
    EXPECT_EQ(video.GetSavedScreenMemory(), Bank(5));
    video.SelectVideoPage(0);
    EXPECT_EQ(video.GetScreenMemory(), Bank(5));
}

} // namespace
