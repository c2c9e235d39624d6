// The keyboard matrix (half-rows, press counts, ghosting, the tape bit) and
// the Kempston joystick and mouse.
#include "core/Kempston_joystick.h"
#include "core/Kempston_mouse.h"
#include "core/Keyboard.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// Key numbers in row order.
enum : i32 {
    K1 = 0, K2, K3, K4, K5, K6, K7, K8, K9, K0,
    KQ, KW, KE, KR, KT, KY, KU, KI, KO, KP,
    KA, KS, KD, KF, KG, KH, KJ, KK, KL, KEnter,
    KCaps, KZ, KX, KC, KV, KB, KN, KM, KSymbol, KSpace
};

// The matrix as the hardware documents it: the port of each half-row and
// its keys from bit 0 to bit 4.
struct THalfRow {
    u16 Port;
    std::array<i32, 5> Keys;
};
const std::array<THalfRow, 8> Matrix{{
    {0xFEFE, {KCaps, KZ, KX, KC, KV}},
    {0xFDFE, {KA, KS, KD, KF, KG}},
    {0xFBFE, {KQ, KW, KE, KR, KT}},
    {0xF7FE, {K1, K2, K3, K4, K5}},
    {0xEFFE, {K0, K9, K8, K7, K6}},
    {0xDFFE, {KP, KO, KI, KU, KY}},
    {0xBFFE, {KEnter, KL, KK, KJ, KH}},
    {0x7FFE, {KSpace, KSymbol, KM, KN, KB}},
}};

class TFakeTape : public TTapeInput {
public:
    bool IsPlaying() const override { return Playing; }
    bool GetEarLevel() const override { return Level; }
    bool Playing = false;
    bool Level = false;
};

class KeyboardTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TKeyboard Keyboard;
};

TEST_F(KeyboardTest, EveryKeyReadsOnItsOwnHalfRowOnly)
{
    for (i32 row = 0; row < 8; ++row)
        for (i32 bit = 0; bit < 5; ++bit) {
            const i32 key = Matrix[row].Keys[bit];
            Keyboard.KeyDown(key);
            for (i32 other = 0; other < 8; ++other) {
                const u8 expected = other == row ? static_cast<u8>(0xBF & ~(1 << bit)) : 0xBF;
                EXPECT_EQ(Keyboard.PortRead(Matrix[other].Port), expected)
                    << "key " << key << " read on half-row " << other;
            }
            // Reading all half-rows at once sees it too.
            EXPECT_EQ(Keyboard.PortRead(0x00FE), static_cast<u8>(0xBF & ~(1 << bit)));
            Keyboard.KeyUp(key);
            EXPECT_EQ(Keyboard.PortRead(0x00FE), 0xBF);
        }
    EXPECT_EQ(Keyboard.GetKeysDown(), 0);
}

TEST_F(KeyboardTest, QReadsOnItsRowAndOnAMultiRowSelect)
{
    Keyboard.KeyDown(KQ);
    EXPECT_EQ(Keyboard.PortRead(0xFBFE), 0xBE);
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xBF);
    EXPECT_EQ(Keyboard.PortRead(0x00FE), 0xBE);
    EXPECT_EQ(Keyboard.PortRead(0xFFFE), 0xBF);  // no half-row selected

    // Two half-rows at once (0xFA: rows 0 and 2) AND their keys.
    Keyboard.KeyDown(KX);
    EXPECT_EQ(Keyboard.PortRead(0xFAFE), 0xBF & ~0x01 & ~0x04);
    EXPECT_EQ(Keyboard.PortRead(0xFBFE), 0xBE);
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xBB);
}

TEST_F(KeyboardTest, PressesAreCountedPerKey)
{
    Keyboard.KeyDown(KA);
    Keyboard.KeyDown(KA);
    EXPECT_EQ(Keyboard.GetPressCount(KA), 2);
    EXPECT_EQ(Keyboard.GetKeysDown(), 1);
    Keyboard.KeyUp(KA);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBE);  // still down
    Keyboard.KeyUp(KA);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBF);
    EXPECT_EQ(Keyboard.GetKeysDown(), 0);

    // A release of a key that is not down changes nothing.
    Keyboard.KeyDown(KS);
    Keyboard.KeyUp(KD);
    Keyboard.KeyUp(KA);
    EXPECT_EQ(Keyboard.GetKeysDown(), 1);
    EXPECT_EQ(Keyboard.GetPressCount(KD), 0);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBD);

    // Keys outside 0-39 are ignored.
    Keyboard.KeyDown(-1);
    Keyboard.KeyDown(40);
    Keyboard.KeyUp(40);
    EXPECT_EQ(Keyboard.GetKeysDown(), 1);
    EXPECT_EQ(Keyboard.PortRead(0x00FE), 0xBD);
}

TEST_F(KeyboardTest, ThreeKeysAtCornersOfARectangleGhostTheFourth)
{
    Keyboard.KeyDown(KCaps);
    Keyboard.KeyDown(KA);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBE);  // two keys: no ghosting
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xBE);

    Keyboard.KeyDown(KZ);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBC);  // S reads as pressed
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xBC);
    EXPECT_EQ(Keyboard.PortRead(0xFBFE), 0xBF);

    Keyboard.KeyUp(KZ);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBE);

    // Three keys that share no column do not ghost.
    Keyboard.Reset();
    Keyboard.KeyDown(KCaps);
    Keyboard.KeyDown(KS);
    Keyboard.KeyDown(KE);
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xBE);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBD);
    EXPECT_EQ(Keyboard.PortRead(0xFBFE), 0xBB);

    // Three keys in one column and one more key in one of their rows: the
    // column ties all three rows together.
    Keyboard.Reset();
    Keyboard.KeyDown(K1);  // row 3 bit 0
    Keyboard.KeyDown(KQ);  // row 2 bit 0
    Keyboard.KeyDown(KA);  // row 1 bit 0
    Keyboard.KeyDown(KW);  // row 2 bit 1
    EXPECT_EQ(Keyboard.PortRead(0xF7FE), 0xBC);
    EXPECT_EQ(Keyboard.PortRead(0xFBFE), 0xBC);
    EXPECT_EQ(Keyboard.PortRead(0xFDFE), 0xBC);
}

TEST_F(KeyboardTest, ResetAndResynchroniseStartFromNoKeys)
{
    Keyboard.KeyDown(KSpace);
    Keyboard.KeyDown(KSpace);
    Keyboard.KeyDown(KM);
    Keyboard.Reset();
    EXPECT_EQ(Keyboard.GetKeysDown(), 0);
    EXPECT_EQ(Keyboard.GetPressCount(KSpace), 0);
    for (const THalfRow& row : Matrix)
        EXPECT_EQ(Keyboard.PortRead(row.Port), 0xBF);

    const std::vector<i32> held{KEnter, KL, KEnter, 99};
    Keyboard.KeyDown(KB);
    Keyboard.Resynchronise(held);
    EXPECT_EQ(Keyboard.GetKeysDown(), 2);
    EXPECT_EQ(Keyboard.GetPressCount(KEnter), 2);
    EXPECT_EQ(Keyboard.PortRead(0xBFFE), 0xBC);
    EXPECT_EQ(Keyboard.PortRead(0x7FFE), 0xBF);
}

TEST_F(KeyboardTest, ThePlayingTapeDrivesBit6)
{
    TFakeTape tape;
    Keyboard.KeyDown(KV);
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xAF);
    Keyboard.SetTapeInput(&tape);
    tape.Level = true;
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xAF);  // stopped: bit 6 low
    tape.Playing = true;
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xEF);
    EXPECT_EQ(Keyboard.PortRead(0xFFFE), 0xFF);
    tape.Level = false;
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xAF);
    Keyboard.SetTapeInput(nullptr);
    tape.Level = true;
    EXPECT_EQ(Keyboard.PortRead(0xFEFE), 0xAF);
}

TEST(KempstonJoystickTest, StateBitsAndHighBits)
{
    TTestSettings settings;
    {
        TKempstonJoystick joystick;
        EXPECT_TRUE(joystick.IsEnabled());
        EXPECT_EQ(joystick.PortRead(0x001F), 0x00);
        joystick.Press(TKempstonJoystick::Up);
        joystick.Press(TKempstonJoystick::Fire);
        EXPECT_EQ(joystick.PortRead(0x001F), 0x18);
        joystick.Press(TKempstonJoystick::Right | TKempstonJoystick::Left | TKempstonJoystick::Down);
        EXPECT_EQ(joystick.PortRead(0x001F), 0x1F);
        joystick.Release(TKempstonJoystick::Up | TKempstonJoystick::Left);
        EXPECT_EQ(joystick.PortRead(0x001F), 0x15);
        joystick.Reset();
        EXPECT_EQ(joystick.PortRead(0x001F), 0x00);
    }
    settings->JoystickHighBits = 1;
    settings->JoystickEnabled = 0;
    TKempstonJoystick joystick;
    EXPECT_FALSE(joystick.IsEnabled());
    joystick.Press(TKempstonJoystick::Up | TKempstonJoystick::Fire);
    EXPECT_EQ(joystick.PortRead(0x001F), 0xF8);
    joystick.Reset();
    EXPECT_EQ(joystick.PortRead(0x001F), 0xE0);
}

TEST(KempstonMouseTest, ReadsZeroUntilMovedAndFollowsTheSettings)
{
    TTestSettings settings;
    {
        TKempstonMouse mouse;
        EXPECT_TRUE(mouse.IsEnabled());
        EXPECT_EQ(mouse.ReadX(0xFBDF), 0);
        EXPECT_EQ(mouse.ReadY(0xFFDF), 0);
        EXPECT_EQ(mouse.ReadButtons(0xFADF), 0);
        mouse.SetPosition(0x12, 0x34);
        mouse.SetButtons(0xFE);
        mouse.Reset();
        EXPECT_EQ(mouse.ReadX(0xFBDF), 0x12);
        EXPECT_EQ(mouse.ReadY(0xFFDF), 0x34);
        EXPECT_EQ(mouse.ReadButtons(0xFADF), 0xFE);
    }
    settings->MouseEnabled = 0;
    EXPECT_FALSE(TKempstonMouse().IsEnabled());
}

}  // namespace
