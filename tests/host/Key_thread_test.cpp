// The key thread with a hand-driven key source: the key map checked against
// the Spectrum's keyboard matrix as its ports read, the order of the shifts
// of the combinations, the joystick, the emulator's own keys, the Alt rules,
// the resynchronisation of held keys, and the failures of the keyboard.
#include "host/Key_thread.h"

#include "core/Computer.h"
#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "core/Settings.h"
#include "host/Direct_input.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_key_source.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// PC scan codes.
constexpr u8 ESCAPE = 0x01, BACK = 0x0E, TAB = 0x0F, Q = 0x10, W = 0x11, T = 0x14, RETURN = 0x1C, LCONTROL = 0x1D;
constexpr u8 A = 0x1E, F = 0x21, LSHIFT = 0x2A, RSHIFT = 0x36, LMENU = 0x38, SPACE = 0x39, F8 = 0x42;
constexpr u8 RMENU = 0xB8, HOME = 0xC7, UP = 0xC8, END = 0xCF, NEXT = 0xD1, DELETE = 0xD3;

// The Spectrum's keyboard as its port reads it: the half-row port and the
// bit of every key.
struct TMatrixKey {
    u16 Port;
    u8 Bit;
};

const std::map<std::string, TMatrixKey>& Matrix()
{
    static const std::map<std::string, TMatrixKey> matrix = [] {
        std::map<std::string, TMatrixKey> keys;
        const std::pair<u16, std::array<const char*, 5>> rows[] = {
            {0xFEFE, {"CS", "Z", "X", "C", "V"}},
            {0xFDFE, {"A", "S", "D", "F", "G"}},
            {0xFBFE, {"Q", "W", "E", "R", "T"}},
            {0xF7FE, {"1", "2", "3", "4", "5"}},
            {0xEFFE, {"0", "9", "8", "7", "6"}},
            {0xDFFE, {"P", "O", "I", "U", "Y"}},
            {0xBFFE, {"ENTER", "L", "K", "J", "H"}},
            {0x7FFE, {"SPACE", "SS", "M", "N", "B"}},
        };
        for (const auto& [port, names] : rows)
            for (int bit = 0; bit < 5; ++bit)
                keys[names[bit]] = {port, static_cast<u8>(1 << bit)};
        return keys;
    }();
    return matrix;
}

using TRows = std::array<u8, 8>;
constexpr u16 RowPorts[8] = {0xFEFE, 0xFDFE, 0xFBFE, 0xF7FE, 0xEFFE, 0xDFFE, 0xBFFE, 0x7FFE};

// What the eight half-rows read with these keys down (two at most: no
// ghosting).
TRows Expected(std::initializer_list<const char*> names)
{
    TRows rows;
    rows.fill(0xBF);
    for (const char* name : names) {
        const TMatrixKey key = Matrix().at(name);
        for (int row = 0; row < 8; ++row)
            if (RowPorts[row] == key.Port)
                rows[row] &= static_cast<u8>(~key.Bit);
    }
    return rows;
}

std::string Describe(const TRows& rows)
{
    std::string text;
    for (const u8 row : rows) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", row);
        text += hex;
    }
    return text;
}

// The emulated keyboard and joystick, and the computer's two flags, seen
// from the key thread. While recording, every use of the keyboard first
// notes how its rows read, which shows the order of the presses.
class TTestKeyTarget : public TKeyTarget {
public:
    TKeyboard& Keyboard() override
    {
        if (Recording)
            Snapshots.push_back(Rows());
        return Kb;
    }
    TKempstonJoystick& Joystick() override { return Joy; }
    void SetStopRequest(u8 request) override { StopRequests += request ? 1 : 0; }
    void ToggleNoSync() override { ++NoSyncToggles; }

    TRows Rows()
    {
        TRows rows;
        for (int row = 0; row < 8; ++row)
            rows[row] = Kb.PortRead(RowPorts[row]);
        return rows;
    }

    TKeyboard Kb;
    TKempstonJoystick Joy;
    std::atomic<int> StopRequests{0};
    std::atomic<int> NoSyncToggles{0};
    // Written by the key thread while Recording; read after it is idle.
    std::atomic<bool> Recording{false};
    std::vector<TRows> Snapshots;
};

class KeyThreadTest : public ::testing::Test {
protected:
    void SetUp() override { Start(&Keys); }
    void TearDown() override
    {
        Thread.reset();
        EXPECT_EQ(g_DirectInput, nullptr);
    }

    void Start(TKeySource* source)
    {
        Thread.reset();
        Thread = std::make_unique<TKeyThread>(Target, source, Host.Services(), [this] {
            CloseMessages = Host.Messages.Count();
            ++Closes;
        });
    }
    void EnableBoth()
    {
        Thread->EnableForScreenView();
        Thread->EnableForEmulation();
    }

    // Posts a change and waits until the key thread has handled it.
    void Down(u8 code) { Post(code, true); }
    void Up(u8 code) { Post(code, false); }
    void Post(u8 code, bool pressed)
    {
        ASSERT_NE(Keys.IsDown(code), pressed) << "the test posts only changes";
        Keys.PostKey(code, pressed);
        ++Posted;
        WaitHandled();
    }
    void WaitHandled()
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (Thread->GetEventsHandled() < Posted) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the key thread did not handle the events";
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(Thread->GetEventsHandled(), Posted);
    }
    void WaitFinished()
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!Thread->IsFinished()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the key thread did not end";
            std::this_thread::sleep_for(1ms);
        }
    }

    TRows Rows() { return Target.Rows(); }

    TTestSettings Settings;
    TTestKeyTarget Target;
    TFakeHostServices Host;
    TFakeKeySource Keys;
    std::unique_ptr<TKeyThread> Thread;
    u64 Posted = 0;
    int Closes = 0;
    std::size_t CloseMessages = 0;
};

TEST_F(KeyThreadTest, TablesHoldTheirEntryCounts)
{
    EXPECT_EQ(Thread->CountEntries(TKeyThread::TTable::Down), 87);
    EXPECT_EQ(Thread->CountEntries(TKeyThread::TTable::Up), 80);
    EXPECT_EQ(Thread->CountEntries(TKeyThread::TTable::AltDown), 7);
    EXPECT_EQ(Thread->CountEntries(TKeyThread::TTable::AltUp), 3);
    // With Alt held only F reaches an action; Escape, F8 and the Alt keys
    // have no up entry.
    for (int code = 0; code < 256; ++code) {
        const auto action = Thread->Entry(TKeyThread::TTable::AltDown, static_cast<u8>(code)).Action;
        if (code != F) {
            EXPECT_TRUE(action == TKeyThread::TAction::None || action == TKeyThread::TAction::Nothing) << code;
        }
    }
    for (const u8 code : {ESCAPE, F8, LMENU, RMENU})
        EXPECT_FALSE(Thread->Entry(TKeyThread::TTable::Up, code)) << int(code);
}

// Every plain key presses one key of the matrix and releases it again.
TEST_F(KeyThreadTest, PlainKeysPressTheirMatrixKey)
{
    const std::vector<std::pair<u8, const char*>> plain = {
        {0x02, "1"}, {0x03, "2"}, {0x04, "3"}, {0x05, "4"}, {0x06, "5"},
        {0x07, "6"}, {0x08, "7"}, {0x09, "8"}, {0x0A, "9"}, {0x0B, "0"},
        {0x10, "Q"}, {0x11, "W"}, {0x12, "E"}, {0x13, "R"}, {0x14, "T"},
        {0x15, "Y"}, {0x16, "U"}, {0x17, "I"}, {0x18, "O"}, {0x19, "P"},
        {0x1E, "A"}, {0x1F, "S"}, {0x20, "D"}, {0x21, "F"}, {0x22, "G"},
        {0x23, "H"}, {0x24, "J"}, {0x25, "K"}, {0x26, "L"},
        {0x2C, "Z"}, {0x2D, "X"}, {0x2E, "C"}, {0x2F, "V"}, {0x30, "B"}, {0x31, "N"}, {0x32, "M"},
        // the keypad digits
        {0x4F, "1"}, {0x50, "2"}, {0x51, "3"}, {0x4B, "4"}, {0x4C, "5"},
        {0x4D, "6"}, {0x47, "7"}, {0x48, "8"}, {0x49, "9"}, {0x52, "0"},
        {RETURN, "ENTER"}, {0x9C, "ENTER"}, {LSHIFT, "CS"}, {RSHIFT, "SS"}, {SPACE, "SPACE"},
    };
    EnableBoth();
    for (const auto& [code, name] : plain) {
        SCOPED_TRACE(name);
        Down(code);
        EXPECT_EQ(Describe(Rows()), Describe(Expected({name})));
        Up(code);
        EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    }
}

// Combinations press their shift first and release it first.
TEST_F(KeyThreadTest, CombinationsPressAndReleaseTheShiftFirst)
{
    struct TCombination {
        u8 Code;
        const char* Shift;
        const char* Key;
    };
    const std::vector<TCombination> combinations = {
        {BACK, "CS", "0"}, {0x29, "CS", "1"}, {0x3A, "CS", "2"}, {0xCB, "CS", "5"},
        {0xD0, "CS", "6"}, {UP, "CS", "7"}, {0xCD, "CS", "8"}, {TAB, "CS", "SS"},
        {0x1A, "SS", "8"}, {0x1B, "SS", "9"}, {0x27, "SS", "O"}, {0x28, "SS", "P"},
        {0x0C, "SS", "J"}, {0x4A, "SS", "J"}, {0x4E, "SS", "K"}, {0x0D, "SS", "L"},
        {0x2B, "SS", "Z"}, {0x35, "SS", "C"}, {0xB5, "SS", "V"}, {0x37, "SS", "B"},
        {0x33, "SS", "N"}, {0x34, "SS", "M"}, {0x53, "SS", "M"},
    };
    ASSERT_EQ(combinations.size(), 23u);
    EnableBoth();
    for (const TCombination& combination : combinations) {
        SCOPED_TRACE(combination.Key);
        Target.Snapshots.clear();
        Target.Recording = true;
        Down(combination.Code);
        Target.Recording = false;
        ASSERT_EQ(Target.Snapshots.size(), 2u);
        EXPECT_EQ(Describe(Target.Snapshots[0]), Describe(Expected({})));
        EXPECT_EQ(Describe(Target.Snapshots[1]), Describe(Expected({combination.Shift})));
        EXPECT_EQ(Describe(Rows()), Describe(Expected({combination.Shift, combination.Key})));

        Target.Snapshots.clear();
        Target.Recording = true;
        Up(combination.Code);
        Target.Recording = false;
        ASSERT_EQ(Target.Snapshots.size(), 2u);
        EXPECT_EQ(Describe(Target.Snapshots[1]), Describe(Expected({combination.Key})));
        EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    }
}

TEST_F(KeyThreadTest, ShiftHeldWithBackStaysDownWhenBackGoesUp)
{
    EnableBoth();
    Down(LSHIFT);
    Down(BACK);
    EXPECT_EQ(Target.Kb.GetPressCount(TKeyThread::CapsShift), 2);
    Up(BACK);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"CS"})));
    EXPECT_EQ(Target.Kb.GetPressCount(TKeyThread::CapsShift), 1);
    Up(LSHIFT);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
}

TEST_F(KeyThreadTest, CursorKeysDriveTheJoystickBits)
{
    EnableBoth();
    Down(NEXT);
    Down(HOME);
    EXPECT_EQ(Target.Joy.GetState(), 0x09);
    Down(DELETE);
    Down(END);
    Down(LCONTROL);
    EXPECT_EQ(Target.Joy.GetState(), 0x1F);
    Up(NEXT);
    EXPECT_EQ(Target.Joy.GetState(), 0x1E);
    Up(HOME);
    Up(DELETE);
    Up(END);
    Up(LCONTROL);
    EXPECT_EQ(Target.Joy.GetState(), 0x00);
    // The joystick keys leave the keyboard alone.
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
}

TEST_F(KeyThreadTest, EscapeStopsAndF8TogglesPacingOnEveryPress)
{
    EnableBoth();
    Down(ESCAPE);
    EXPECT_EQ(Target.StopRequests, 1);
    Up(ESCAPE);
    EXPECT_EQ(Target.StopRequests, 1);
    Down(F8);
    Up(F8);
    Down(F8);
    EXPECT_EQ(Target.NoSyncToggles, 2);
}

TEST_F(KeyThreadTest, AltWithALetterPressesNothing)
{
    EnableBoth();
    Down(LMENU);
    EXPECT_TRUE(Thread->IsAltHeld());
    Down(A);
    Down(T);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Up(A);
    Up(T);
    Up(LMENU);
    EXPECT_FALSE(Thread->IsAltHeld());
    // Without Alt the letter works again.
    Down(A);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"A"})));
}

TEST_F(KeyThreadTest, AltFTogglesTheFramesPerSecondDisplayAndPressesNothing)
{
    EnableBoth();
    const u8 before = g_Settings->ShowFps;
    Down(RMENU);
    Down(F);
    EXPECT_EQ(g_Settings->ShowFps, before ^ 1);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Up(F);
    Up(RMENU);
    EXPECT_FALSE(Thread->IsAltHeld());
    // Plain F is the letter.
    Down(F);
    EXPECT_EQ(g_Settings->ShowFps, before ^ 1);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"F"})));
}

// A key pressed before Alt comes up under Alt: it is released.
TEST_F(KeyThreadTest, KeyPressedPlainlyIsReleasedUnderAlt)
{
    EnableBoth();
    Down(A);
    Down(BACK);
    Down(LMENU);
    Up(A);
    Up(BACK);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    EXPECT_TRUE(Thread->IsAltHeld());
    Up(LMENU);
    EXPECT_FALSE(Thread->IsAltHeld());
}

// A key pressed under Alt comes up without Alt: it releases nothing, so a
// shift held by another key stays down.
TEST_F(KeyThreadTest, KeyPressedUnderAltReleasesNothingWithoutAlt)
{
    EnableBoth();
    Down(LSHIFT);
    Down(LMENU);
    Down(BACK);
    Up(LMENU);
    Up(BACK);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"CS"})));
    EXPECT_EQ(Target.Kb.GetPressCount(TKeyThread::CapsShift), 1);
    Up(LSHIFT);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
}

TEST_F(KeyThreadTest, EventsAreDroppedUnlessRunningWithTheScreenViewActive)
{
    Thread->EnableForEmulation();
    Down(Q);
    Up(Q);
    Thread->DisableForEmulation();
    Thread->EnableForScreenView();
    Down(ESCAPE);
    Up(ESCAPE);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    EXPECT_EQ(Target.StopRequests, 0);
    EXPECT_TRUE(Thread->IsScreenViewEnabled());
    EXPECT_FALSE(Thread->IsEmulationEnabled());
}

TEST_F(KeyThreadTest, KeysHeldWhenTheRunStartsArePressed)
{
    Thread->EnableForScreenView();
    Down(Q);
    Down(BACK);
    Down(HOME);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Thread->EnableForEmulation();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"Q", "CS", "0"})));
    EXPECT_EQ(Target.Joy.GetState(), TKempstonJoystick::Up);
    // Their releases are counted once each.
    Up(Q);
    Up(BACK);
    Up(HOME);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    EXPECT_EQ(Target.Joy.GetState(), 0);
}

TEST_F(KeyThreadTest, ActivatingTheScreenViewResynchronisesToo)
{
    EnableBoth();
    Down(W);
    Down(LSHIFT);
    Down(HOME);
    Thread->DisableForScreenView();
    // Inactive: a release still lets go of what its key pressed; a press
    // waits for the resynchronisation.
    Up(W);
    Up(HOME);
    Down(SPACE);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"CS"})));
    EXPECT_EQ(Target.Joy.GetState(), 0);
    Thread->EnableForScreenView();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"CS", "SPACE"})));
}

TEST_F(KeyThreadTest, EnableWhileEnabledDoesNotResynchronise)
{
    EnableBoth();
    Down(Q);
    Target.Kb.Reset();
    Thread->EnableForEmulation();
    Thread->EnableForScreenView();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
}

TEST_F(KeyThreadTest, ResynchronisingTwiceCountsEachKeyOnce)
{
    Down(LSHIFT);
    Down(BACK);
    Thread->ResyncKeys();
    Thread->ResyncKeys();
    EXPECT_EQ(Target.Kb.GetPressCount(TKeyThread::CapsShift), 2);
    EXPECT_EQ(Target.Kb.GetPressCount(9), 1);   // 0
    EnableBoth();
    Up(BACK);
    Up(LSHIFT);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    EXPECT_EQ(Target.Kb.GetKeysDown(), 0);
}

TEST_F(KeyThreadTest, AHeldEscapeDoesNotStopTheRunItStarts)
{
    Down(ESCAPE);
    Down(Q);
    EnableBoth();
    EXPECT_EQ(Target.StopRequests, 0);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"Q"})));
    Up(ESCAPE);
    EXPECT_EQ(Target.StopRequests, 0);
    Down(ESCAPE);
    EXPECT_EQ(Target.StopRequests, 1);
}

TEST_F(KeyThreadTest, HeldF8TogglesPacingOnEveryResynchronisation)
{
    Thread->EnableForScreenView();
    Down(F8);
    EXPECT_EQ(Target.NoSyncToggles, 0);
    Thread->EnableForEmulation();
    EXPECT_EQ(Target.NoSyncToggles, 1);
    Thread->DisableForEmulation();
    Thread->EnableForEmulation();
    EXPECT_EQ(Target.NoSyncToggles, 2);
    // Its release and the next press are ordinary events.
    Up(F8);
    Down(F8);
    EXPECT_EQ(Target.NoSyncToggles, 3);
}

TEST_F(KeyThreadTest, HeldAltFTogglesTheDisplayOnResynchronisation)
{
    const u8 before = g_Settings->ShowFps;
    Thread->EnableForScreenView();
    Down(LMENU);
    Down(F);
    Down(A);
    Thread->EnableForEmulation();
    EXPECT_EQ(g_Settings->ShowFps, before ^ 1);
    EXPECT_TRUE(Thread->IsAltHeld());
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Up(LMENU);
    EXPECT_FALSE(Thread->IsAltHeld());
    Up(A);
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
}

TEST_F(KeyThreadTest, MoreThanTenEventsAreHandledWithoutAnotherKeyChange)
{
    EnableBoth();
    const std::vector<u8> letters = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1E, 0x1F, 0x20};
    for (const u8 code : letters)
        Keys.PostKey(code, true);
    Posted += letters.size();
    WaitHandled();
    EXPECT_GE(Keys.EventReads(), 2);
    int pressed = 0;
    for (int key = 0; key < TKeyboard::KeyCount; ++key)
        pressed += Target.Kb.GetPressCount(key);
    EXPECT_EQ(pressed, 13);
}

TEST_F(KeyThreadTest, TheThreadEndsWithoutAKeyEvent)
{
    EXPECT_EQ(g_DirectInput != nullptr, true);
    Thread->Terminate();
    EXPECT_TRUE(Thread->IsFinished());
    EXPECT_GE(Keys.Wakes(), 1);
    Thread->Terminate();   // harmless twice
    Thread.reset();
    EXPECT_EQ(g_DirectInput, nullptr);
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_F(KeyThreadTest, NoKeyboardIsReportedOnceThenTheMainWindowCloses)
{
    Start(nullptr);
    WaitFinished();
    ASSERT_EQ(Closes, 0) << "the close is queued to the user-interface thread";
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    const auto message = Host.Messages.Messages()[0];
    EXPECT_EQ(message.Caption, " DirectInput Fatal Error!");
    EXPECT_EQ(message.Text.rfind("Can't create DirectInput Device object!\nFunction 'CreateDevice'. ", 0), 0u)
        << message.Text;
    EXPECT_EQ(Closes, 1);
    EXPECT_EQ(CloseMessages, 1u) << "the box comes before the close";
    // Nothing to read: a resynchronisation presses nothing.
    Keys.PostKey(Q, true);
    EnableBoth();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Host.UiPoster.Pump();
    EXPECT_EQ(Host.Messages.Count(), 1u);
}

TEST_F(KeyThreadTest, AFailedAcquireIsFatal)
{
    Thread.reset();
    TFakeKeySource failing;
    failing.FailAcquire(static_cast<i32>(0x8007001Eu));
    Start(&failing);
    WaitFinished();
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text,
              "Can't acquire DirectInput Device!\nFunction 'Acquire'. "
              "Access to the input device has been lost. It must be reacquired.");
    EXPECT_EQ(Closes, 1);
    Thread.reset();
}

TEST_F(KeyThreadTest, AFailedReadDispatchesNothingAndEndsTheLoop)
{
    EnableBoth();
    Keys.FailNextEventReads(1, static_cast<i32>(0x8007000Cu));
    Keys.PostKey(Q, true);
    WaitFinished();
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text,
              "Can't get DirectInput Device Data!\nFunction 'GetDeviceData'. The device is not acquired");
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    EXPECT_EQ(Closes, 1);
}

TEST_F(KeyThreadTest, AStateReadIsRetriedOnceAfterAcquiring)
{
    Down(Q);
    Keys.FailNextStateReads(1, static_cast<i32>(0x8007001Eu));
    Thread->ResyncKeys();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({"Q"})));
    EXPECT_EQ(Keys.StateReads(), 2);
    Host.UiPoster.Pump();
    EXPECT_EQ(Host.Messages.Count(), 0u);

    Keys.FailNextStateReads(2, static_cast<i32>(0x8007001Eu));
    Thread->ResyncKeys();
    EXPECT_EQ(Describe(Rows()), Describe(Expected({})));
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text,
              "Can't get DirectInput Device Sate!\nFunction 'GetDeviceState'. "
              "Access to the input device has been lost. It must be reacquired.");
}

// The program's key thread acts on the computer's own parts and flags.
TEST(KeyThreadOnComputer, ReachesTheKeyboardJoystickAndFlags)
{
    TTestSettings settings;
    TFakeHostServices host;
    TFakeKeySource keys;
    TComputer computer(host.Services());
    computer.SetStopRequest(0);
    keys.Press(Q);
    TKeyThread thread(&computer, &keys, host.Services(), nullptr);
    thread.EnableForScreenView();
    thread.EnableForEmulation();
    EXPECT_EQ(computer.Keyboard->PortRead(0xFBFE), 0xBE);
    keys.Press({HOME, F8, ESCAPE});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (thread.GetEventsHandled() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(thread.GetEventsHandled(), 3u);
    EXPECT_EQ(computer.KempstonJoystick->GetState(), TKempstonJoystick::Up);
    EXPECT_TRUE(computer.IsNoSync());
    EXPECT_TRUE(computer.IsStopRequested());
}

}  // namespace
