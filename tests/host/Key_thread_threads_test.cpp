// The key thread under concurrent use: key events from a producer thread
// while the test thread resynchronises and resets, resynchronisations that
// race each other, and shutdown while events flow. Run under
// ThreadSanitizer; the counts at the end show that no press was doubled or
// lost.
#include "host/Key_thread.h"

#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_key_source.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class TTarget : public TKeyTarget {
public:
    TKeyboard& Keyboard() override { return Kb; }
    TKempstonJoystick& Joystick() override { return Joy; }
    void SetStopRequest(u8) override { ++Stops; }
    void ToggleNoSync() override { ++Toggles; }

    TKeyboard Kb;
    TKempstonJoystick Joy;
    std::atomic<int> Stops{0};
    std::atomic<int> Toggles{0};
};

int TotalPresses(const TKeyboard& keyboard)
{
    int total = 0;
    for (int key = 0; key < TKeyboard::KeyCount; ++key)
        total += keyboard.GetPressCount(key);
    return total;
}

void WaitHandled(const TKeyThread& thread, TKeyBuffer& keys)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (keys.Pending() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(keys.Pending(), 0u);
    // The key thread reads and dispatches under its lock, which this takes:
    // the last read has been dispatched when it returns.
    (void)thread.IsAltHeld();
}

// Letters, shifts, combinations and joystick keys; no emulator keys.
const std::vector<u8> Codes = {0x10, 0x11, 0x1E, 0x1F, 0x2A, 0x36, 0x0E, 0x0C, 0x1A, 0xC8, 0xD1, 0xC7, 0x39, 0x1C};

TEST(KeyThreadThreads, EventsWhileTheTestThreadResynchronisesAndResets)
{
    TTestSettings settings;
    TFakeHostServices host;
    TFakeKeySource keys;
    TTarget target;
    TKeyThread thread(target, &keys, host.Services(), nullptr);
    thread.EnableForScreenView();
    thread.EnableForEmulation();

    std::atomic<bool> done{false};
    std::thread producer([&] {
        unsigned seed = 7;
        for (int i = 0; i < 20000; ++i) {
            seed = seed * 1103515245u + 12345u;
            const u8 code = Codes[(seed >> 8) % Codes.size()];
            keys.PostKey(code, !keys.IsDown(code));
            if (i % 64 == 0)
                std::this_thread::yield();
        }
        done = true;
    });
    int rounds = 0;
    while (!done) {
        thread.ResyncKeys();
        if (rounds % 3 == 0)
            target.Kb.Reset();   // the computer's reset
        if (rounds % 5 == 0) {
            thread.DisableForScreenView();
            thread.EnableForScreenView();
        }
        ++rounds;
        std::this_thread::yield();
    }
    producer.join();
    keys.ReleaseAll();
    WaitHandled(thread, keys);
    thread.ResyncKeys();
    EXPECT_EQ(TotalPresses(target.Kb), 0);
    EXPECT_EQ(target.Kb.GetKeysDown(), 0);
    EXPECT_EQ(target.Joy.GetState(), 0);
    EXPECT_EQ(target.Stops, 0);
    EXPECT_GT(rounds, 0);
}

TEST(KeyThreadThreads, RacingEnablesPressEachHeldKeyOnce)
{
    TTestSettings settings;
    TFakeHostServices host;
    TFakeKeySource keys;
    TTarget target;
    TKeyThread thread(target, &keys, host.Services(), nullptr);
    for (int round = 0; round < 200; ++round) {
        keys.Press({0x2A, 0x0E, 0x10});   // LSHIFT, BACK (CAPS SHIFT + 0), Q
        std::thread runThread([&] { thread.EnableForEmulation(); });
        std::thread uiThread([&] { thread.EnableForScreenView(); });
        std::thread another([&] { thread.ResyncKeys(); });
        runThread.join();
        uiThread.join();
        another.join();
        ASSERT_EQ(target.Kb.GetPressCount(30), 2) << "CAPS SHIFT, round " << round;
        ASSERT_EQ(target.Kb.GetPressCount(9), 1) << "0, round " << round;
        ASSERT_EQ(target.Kb.GetPressCount(10), 1) << "Q, round " << round;
        keys.Release({0x2A, 0x0E, 0x10});
        WaitHandled(thread, keys);
        ASSERT_EQ(TotalPresses(target.Kb), 0) << "round " << round;
        thread.DisableForEmulation();
        thread.DisableForScreenView();
    }
}

TEST(KeyThreadThreads, ShutdownWhileEventsFlow)
{
    TTestSettings settings;
    TFakeHostServices host;
    for (int round = 0; round < 50; ++round) {
        TFakeKeySource keys;
        TTarget target;
        std::atomic<bool> stop{false};
        std::thread producer([&] {
            for (int i = 0; !stop; ++i)
                keys.PostKey(0x10, (i & 1) == 0);
        });
        {
            TKeyThread thread(target, &keys, host.Services(), nullptr);
            thread.EnableForScreenView();
            thread.EnableForEmulation();
            std::this_thread::sleep_for(1ms);
            thread.Terminate();
            EXPECT_TRUE(thread.IsFinished());
        }
        stop = true;
        producer.join();
        EXPECT_LE(TotalPresses(target.Kb), 1);
    }
}

}  // namespace
