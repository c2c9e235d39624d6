// The key thread presses and releases keys and the joystick while the run
// thread reads the ports, and two resynchronisations may meet: no data race,
// and the writers never leave the matrix inconsistent.
#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

TEST(KeyboardThreadsTest, WritersAndReadersMeetSafely)
{
    TTestSettings settings;
    TKeyboard keyboard;
    TKempstonJoystick joystick;
    std::atomic<bool> done{false};

    std::thread reader([&] {
        // At least one pass: on a loaded machine the writers may all be
        // done before this thread is first scheduled.
        u32 seen = 0;
        do {
            for (u32 high = 0; high < 0x100; ++high)
                seen += keyboard.PortRead(static_cast<u16>(high << 8 | 0xFE));
            seen += joystick.PortRead(0x1F);
        } while (!done.load(std::memory_order_relaxed));
        EXPECT_NE(seen, 0u);
    });

    auto presser = [&](u32 seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < 20000; ++i) {
            const i32 key = static_cast<i32>(random() % 40);
            keyboard.KeyDown(key);
            joystick.Press(static_cast<u8>(1 << (key % 5)));
            keyboard.KeyUp(key);
            joystick.Release(static_cast<u8>(1 << (key % 5)));
        }
    };
    auto resynchroniser = [&] {
        const std::vector<i32> held{0, 10, 20};
        for (int i = 0; i < 2000; ++i) {
            keyboard.Resynchronise(held);
            joystick.Reset();
        }
    };
    std::thread first(presser, 1u), second(presser, 2u);
    std::thread third(resynchroniser), fourth(resynchroniser);
    first.join();
    second.join();
    third.join();
    fourth.join();
    done = true;
    reader.join();

    // Whatever interleaving happened, one last resynchronisation gives a
    // consistent matrix.
    const std::vector<i32> held{29};
    keyboard.Resynchronise(held);
    EXPECT_EQ(keyboard.GetKeysDown(), 1);
    EXPECT_EQ(keyboard.PortRead(0xBFFE), 0xBE);
    EXPECT_EQ(keyboard.PortRead(0x7FFE), 0xBF);
}

}  // namespace
