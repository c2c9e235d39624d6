// The computer's threads under stress (run under ThreadSanitizer): a run of
// the booted ROM paced by a fake sound device while a stand-in key thread
// presses keys, moves the joystick, toggles the pacing and presses Escape,
// and the test thread, standing for the user-interface thread, pauses,
// edits, resets, changes display options and paints the published frames.
#include "core/Computer.h"

#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Tape_recorder.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Indexed_surface.h"
#include "host/Render.h"
#include "media/File.h"
#include "media/Tape.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_machine_host.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

class ComputerThreadsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto device = std::make_unique<TFakeSoundDevice>();
        Device = device.get();
        Device->AutoStep = 400;  // a play position that keeps moving: frames pass quickly
        Sound = std::make_unique<TDirectSound>(std::move(device), Host.Services());
        g_DirectSound = Sound.get();
        Computer = std::make_unique<TComputer>(Host.Services());
        Computer->Reset();
        Computer->SetNoSync(1);
        // Boot BASIC on this thread first: the stress then meets a machine
        // that scans its keyboard every frame.
        while (Computer->Z80->Frame < 120)
            Computer->Step();
        Computer->SetNoSync(0);
        Display.OnBlit = [this] {
            Computer->Render->GetDC()->ReadFront([this](const TIndexedSurface::TFrontView& front) {
                if (front.Pixels)
                    Painted += front.Pixels[front.Width * 100 + 200];
            });
        };
        g_Display = &Display;
    }

    void TearDown() override
    {
        Computer.reset();
        g_Display = nullptr;
        g_DirectSound = nullptr;
        Sound.reset();
    }

    // A stand-in for the key thread: keys, joystick, F8 and (when asked)
    // Escape, until told to stop.
    std::thread StartKeyThread(std::atomic<bool>& quit, bool escape)
    {
        return std::thread([this, &quit, escape] {
            std::mt19937 random(7);
            while (!quit.load()) {
                const i32 key = static_cast<i32>(random() % TKeyboard::KeyCount);
                Computer->Keyboard->KeyDown(key);
                Computer->KempstonJoystick->Press(TKempstonJoystick::Fire);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                Computer->Keyboard->KeyUp(key);
                Computer->KempstonJoystick->Release(TKempstonJoystick::Fire);
                if (random() % 16 == 0)
                    Computer->ToggleNoSync();
                if (escape && random() % 8 == 0)
                    Computer->SetStopRequest(1);
            }
        });
    }

    // A TAP image of one data block, read afresh for every insertion.
    std::unique_ptr<TTape> MakeTape()
    {
        const std::string path = Folder.File("block.tap");
        if (!std::ifstream(path)) {
            const unsigned char image[] = {0x05, 0x00, 0xFF, 0x01, 0x02, 0x03, 0xFF ^ 0x01 ^ 0x02 ^ 0x03};
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image), sizeof image);
        }
        return std::make_unique<TTape>(std::make_unique<TFile>(path), TTape::TypeTAP);
    }

    TFakeHostServices Host;
    TTestSettings Settings;
    TTempFolder Folder;
    TFakeSoundDevice* Device = nullptr;
    std::unique_ptr<TDirectSound> Sound;
    std::unique_ptr<TComputer> Computer;
    TFakeDisplay Display;
    std::atomic<u32> Painted{0};
    int Stops = 0;
};

} // namespace

TEST_F(ComputerThreadsTest, RunWhileKeysArriveAndTheUiPausesResetsAndChangesOptions)
{
    std::atomic<bool> quit{false};
    std::thread keys = StartKeyThread(quit, false);
    ASSERT_TRUE(Computer->Run([this] { ++Stops; }));

    std::mt19937 random(11);
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    int pauses = 0;
    while (std::chrono::steady_clock::now() < end) {
        switch (random() % 7) {
        case 0: {
            // A register edit and a dump load, as the views do them.
            auto pause = Computer->PauseRun();
            ++pauses;
            Computer->Z80->BC.W = static_cast<u16>(random());
            Computer->Memory->WriteByte(static_cast<u16>(0x8000 + random() % 0x4000), static_cast<u8>(random()));
            break;
        }
        case 1:
            if (random() % 8 == 0)
                Computer->Reset();
            break;
        case 2:
            // The screen view's options during a run: requests served at the
            // next frame end.
            Settings->Attributes.store(static_cast<u8>(random() & 1));
            Settings->BorderShading.store(static_cast<u8>(random() & 1));
            Computer->Render->RequestChanges(TRender::ChangeColourPairs | TRender::ChangeRecreate);
            Computer->VideoCard->RequestRebuild();
            break;
        case 3:
            Settings->ShowFps.store(static_cast<u8>(random() & 1));
            break;
        case 4: {
            // The tape-recorder view: insert and play, or eject while playing.
            auto pause = Computer->PauseRun();
            if (random() % 2) {
                Computer->TapeRecorder->SetTape(MakeTape());
                Computer->TapeRecorder->Play();
            } else {
                Computer->TapeRecorder->Eject();
            }
            break;
        }
        default:
            Host.UiPoster.Pump();  // repaints: the view reads the published frame
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }

    quit = true;
    keys.join();
    EXPECT_TRUE(Computer->IsRunActive()) << "nothing but Stop ended the run";
    Computer->Stop();
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 1);
    EXPECT_GT(pauses, 10);
    EXPECT_GT(Display.Blits.load(), 0);
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_F(ComputerThreadsTest, StopRightAfterRunAgainAndAgain)
{
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(Computer->Run([this] { ++Stops; }));
        if (i % 3 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100 * (i % 7)));
        Computer->Stop();
        ASSERT_EQ(Stops, i + 1);
        ASSERT_FALSE(Computer->IsRunning());
        if (i % 10 == 0)
            Host.UiPoster.Pump();
    }
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, 200);
}

TEST_F(ComputerThreadsTest, EscapeAndStopRaceWithinAFrame)
{
    std::atomic<bool> quit{false};
    std::atomic<bool> escapeNow{false};
    std::thread escape([&] {
        while (!quit.load()) {
            if (escapeNow.exchange(false))
                Computer->SetStopRequest(1);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(Computer->Run([this] { ++Stops; }));
        escapeNow = true;
        if (i % 2)
            std::this_thread::sleep_for(std::chrono::microseconds(50 * (i % 5)));
        Computer->Stop();
        ASSERT_EQ(Stops, i + 1);
        Host.UiPoster.Pump();
        ASSERT_EQ(Stops, i + 1) << "the notification ran once";
    }
    quit = true;
    escape.join();
}

TEST_F(ComputerThreadsTest, RunsEndedByEscapeWhileTheUiPausesAndWaits)
{
    std::atomic<bool> quit{false};
    std::thread keys = StartKeyThread(quit, true);
    int started = 0;
    const auto end = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < end) {
        if (!Computer->IsRunActive()) {
            if (Computer->Run([this] { ++Stops; }))
                ++started;
        }
        {
            auto pause = Computer->PauseRun();
            Computer->Z80->DE.W = 0x1234;
        }
        if (Computer->IsStopRequested()) {
            EXPECT_TRUE(Computer->WaitUntilRunEnded());
        }
        Host.UiPoster.Pump();
    }
    quit = true;
    keys.join();
    Computer->Stop();
    Host.UiPoster.Pump();
    EXPECT_EQ(Stops, started);
    EXPECT_GT(started, 5);
}
