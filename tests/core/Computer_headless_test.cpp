// A computer without a user interface (no poster, so no screen view) draws
// every frame but leaves the front copy alone while it runs; whenever the
// stepping stops (Step, Step Over's step, the end of a run) the front copy
// is the last drawn frame, as a computer with a user interface publishes it.
#include "core/Computer.h"

#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Render.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr u16 Origin = 0x8000;

class ComputerHeadlessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(THostServices{});
        Computer->SetNoSync(1);
        // A program that changes the border every few hundred T-states, so
        // frames differ from one another:
        //   loop: inc a; out (0xFE),a; ld b,20; djnz $; jr loop
        const std::vector<u8> program = {0x3C, 0xD3, 0xFE, 0x06, 0x14, 0x10, 0xFE, 0x18, 0xF7};
        for (size_t i = 0; i < program.size(); ++i)
            Computer->Memory->WriteByte(static_cast<u16>(Origin + i), program[i]);
        Computer->Z80->PC = Origin;
        Computer->Z80->SP = 0x7F00;
    }

    // The front copy equals the picture the renderer last drew.
    void ExpectFrontIsDrawnPicture(const char* when) const
    {
        TIndexedSurface& surface = *Computer->Render->GetDC();
        std::vector<u8> front;
        TIndexedSurface::TColourTable colours{};
        i32 width = 0;
        i32 height = 0;
        surface.CopyFront(front, colours, width, height);
        ASSERT_EQ(width, surface.GetWidth()) << when;
        ASSERT_EQ(height, surface.GetHeight()) << when;
        const u8* back = surface.GetBits();
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(std::equal(front.begin(), front.end(), back)) << when;
        EXPECT_EQ(colours, surface.GetColours()) << when;
    }

    TTestSettings Settings;
    std::unique_ptr<TComputer> Computer;
};

TEST_F(ComputerHeadlessTest, StepPublishesTheFrameItEnded)
{
    TIndexedSurface& surface = *Computer->Render->GetDC();
    // A new processor reports a frame end at its first step too.
    while (Computer->Z80->Frame < 1)
        ASSERT_TRUE(Computer->Step());
    for (i32 frame = 2; frame <= 4; ++frame) {
        const u64 serial = surface.GetSerial();
        while (Computer->Z80->Frame < frame)
            ASSERT_TRUE(Computer->Step());
        EXPECT_EQ(surface.GetSerial(), serial + 1) << "frame " << frame;
        ExpectFrontIsDrawnPicture("after the step that ended the frame");
        // Steps inside a frame publish nothing.
        const u64 within = surface.GetSerial();
        ASSERT_TRUE(Computer->Step());
        EXPECT_EQ(surface.GetSerial(), within);
    }
}

TEST_F(ComputerHeadlessTest, RunPublishesOnceWhenItEnds)
{
    TIndexedSurface& surface = *Computer->Render->GetDC();
    const u64 serial = surface.GetSerial();
    const i32 firstFrame = Computer->Z80->Frame;
    ASSERT_TRUE(Computer->Run(nullptr));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Computer->Z80->Frame < firstFrame + 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Computer->Stop();
    ASSERT_GE(Computer->Z80->Frame, firstFrame + 20);
    EXPECT_EQ(surface.GetSerial(), serial + 1) << "frames were drawn, the copy made once at the end";
    ExpectFrontIsDrawnPicture("after the run");

    // Run until Interrupt ends at a frame end, which it drew.
    const u64 before = surface.GetSerial();
    ASSERT_TRUE(Computer->RunUntilInterrupt(nullptr));
    while (Computer->IsRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Computer->Stop();
    EXPECT_EQ(surface.GetSerial(), before + 1);
    ExpectFrontIsDrawnPicture("after a run until the interrupt");
}

} // namespace
