// The clock driven tick by tick on the test's own thread: the frames-per-
// second figure, the flash phase, the counters near their 32-bit wrap, and
// the pacing fallback when no tick source runs.
#include "core/Clock.h"

#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

// Never ticks by itself: the test calls TimerProc as the timer thread would.
class THandTickSource : public TTickSource {
public:
    explicit THandTickSource(bool starts = true) : Starts(starts) {}
    bool Start(std::function<void()>) override { return Starts; }
    void Stop() override { ++*StopCount; }

    bool Starts;
    std::shared_ptr<int> StopCount = std::make_shared<int>(0);
};

class ClockTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TClock Clock{std::make_unique<THandTickSource>()};

    void Ticks(i32 n, i32 framesPerTick = 0)
    {
        for (i32 i = 0; i < n; ++i) {
            for (i32 f = 0; f < framesPerTick; ++f)
                Clock.CountFrame();
            Clock.TimerProc();
        }
    }
};

TEST_F(ClockTest, StartsWithNothingCounted)
{
    EXPECT_TRUE(Clock.IsTicking());
    EXPECT_EQ(Clock.GetTicks(), 0u);
    EXPECT_EQ(Clock.GetFps(), 0u);
    EXPECT_EQ(Clock.GetFlashMask(), 0xFF);
}

TEST_F(ClockTest, OneFramePerTickSettlesAtFiftyAfterOneSecond)
{
    std::vector<u32> figures;
    for (i32 sample = 0; sample < 12; ++sample) {
        Ticks(5, 1);
        figures.push_back(Clock.GetFps());
    }
    // The figure covers the last ten 100 ms samples: it climbs by five a
    // sample for the first second, then stays.
    EXPECT_EQ(figures, (std::vector<u32>{5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 50, 50}));
    EXPECT_EQ(Clock.GetTicks(), 60u);
}

TEST_F(ClockTest, FigureChangesOnlyAtTheEndOfASample)
{
    Ticks(4, 3);
    EXPECT_EQ(Clock.GetFps(), 0u);
    Ticks(1, 3);
    EXPECT_EQ(Clock.GetFps(), 15u);
}

TEST_F(ClockTest, FigureFallsToZeroWithinASecondOfNoFrames)
{
    Ticks(60, 1);
    ASSERT_EQ(Clock.GetFps(), 50u);
    Ticks(45);
    EXPECT_EQ(Clock.GetFps(), 5u);
    Ticks(5);
    EXPECT_EQ(Clock.GetFps(), 0u);
}

TEST_F(ClockTest, FasterThanRealTimeShowsTheHostSpeed)
{
    Ticks(50, 4);
    EXPECT_EQ(Clock.GetFps(), 200u);
}

TEST_F(ClockTest, FlashTurnsEverySixteenTicksOnlyWhileEmulating)
{
    Ticks(40);
    EXPECT_EQ(Clock.GetFlashMask(), 0xFF);  // stopped: stands still

    Clock.SetEmulating(1);
    std::vector<u8> masks;
    for (i32 i = 0; i < 48; ++i) {
        Clock.TimerProc();
        masks.push_back(Clock.GetFlashMask());
    }
    for (i32 i = 0; i < 48; ++i) {
        const u8 expected = ((i + 1) / 16) % 2 ? 0x7F : 0xFF;
        EXPECT_EQ(masks[static_cast<size_t>(i)], expected) << "tick " << i + 1;
    }

    Clock.SetEmulating(0);
    Ticks(100);
    EXPECT_EQ(Clock.GetFlashMask(), 0x7F);  // held where the run left it

    // The count goes on from where it stopped: 48 ticks ran, so the phase is
    // 0 ticks into its 16.
    Clock.SetEmulating(1);
    Ticks(15);
    EXPECT_EQ(Clock.GetFlashMask(), 0x7F);
    Ticks(1);
    EXPECT_EQ(Clock.GetFlashMask(), 0xFF);
}

TEST_F(ClockTest, FlashPeriodComesFromTheSettingsWhenEmulationStarts)
{
    Settings->FlashTicks = 3;
    Clock.SetEmulating(1);
    Ticks(2);
    EXPECT_EQ(Clock.GetFlashMask(), 0xFF);
    Ticks(1);
    EXPECT_EQ(Clock.GetFlashMask(), 0x7F);
}

TEST_F(ClockTest, CountersWrapAt32BitsWithoutDisturbingTheFigure)
{
    Clock.PresetCounters(0xFFFF'FFF0u, 0xFFFF'FFD0u);
    Ticks(50, 1);  // the frame count wraps along the way
    EXPECT_EQ(Clock.GetFps(), 50u);
    EXPECT_EQ(Clock.GetFrames(), 0xFFFF'FFD0u + 50);
    EXPECT_EQ(Clock.GetTicks(), 0xFFFF'FFF0u + 50);

    // WaitTick sees the wrapped tick count as a new tick.
    Clock.WaitTick();
    const auto start = std::chrono::steady_clock::now();
    Clock.PresetCounters(0xFFFF'FFFFu, 0);
    Clock.TimerProc();  // ticks wrap to 0
    Clock.WaitTick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Clock.GetTicks(), 0u);
}

TEST_F(ClockTest, WaitTickReturnsAtOnceWhenATickPassedSinceTheLastCall)
{
    Clock.TimerProc();
    Clock.WaitTick();  // tick 1 is new
    Clock.TimerProc();
    Clock.TimerProc();
    Clock.WaitTick();  // two ticks passed: one return, at once
    EXPECT_EQ(Clock.GetTicks(), 3u);
}

TEST(ClockWithoutTimerTest, WaitTickPacesByTwentyMillisecondSleeps)
{
    TTestSettings settings;
    TClock clock(std::make_unique<THandTickSource>(false));
    EXPECT_FALSE(clock.IsTicking());
    using namespace std::chrono;
    const auto start = steady_clock::now();
    clock.WaitTick();
    clock.WaitTick();
    clock.WaitTick();
    // Three waits, each at least 20 ms after the previous return (the first
    // counts from construction).
    EXPECT_GE(steady_clock::now() - start, milliseconds(55));
}

TEST(ClockWithoutTimerTest, StoppedClockStopsItsSourceAndFallsBackToSleeping)
{
    TTestSettings settings;
    auto source = std::make_unique<THandTickSource>();
    std::shared_ptr<int> stops = source->StopCount;
    {
        TClock clock(std::move(source));
        clock.Stop();
        EXPECT_FALSE(clock.IsTicking());
        EXPECT_EQ(*stops, 1);
        using namespace std::chrono;
        const auto start = steady_clock::now();
        clock.WaitTick();  // no tick will come: it must not wait for one
        clock.WaitTick();
        EXPECT_GE(steady_clock::now() - start, milliseconds(20));
    }
    EXPECT_GE(*stops, 1);
}

} // namespace
