// The keyboard device over a key source: reads of at most ten events in
// order, the notification that stays signalled while events are pending, the
// full key state, the error texts and the fatal error; and the key buffer
// itself under random key traffic.
#include "host/Direct_input.h"

#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_key_source.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr i32 Code(u32 value) { return static_cast<i32>(value); }

struct DirectInputTest : ::testing::Test {
    // A prvalue: the device is neither copied nor moved.
    TDirectInput Make(TKeySource* source)
    {
        return TDirectInput(source, Host.Services(), [this] {
            CloseMessages = Host.Messages.Count();
            ++Closes;
        });
    }
    std::vector<TKeyEvent> Drain(TDirectInput& input)
    {
        std::vector<TKeyEvent> events;
        u8 code = 0;
        bool pressed = false;
        while (input.NextKeyEvent(code, pressed))
            events.push_back({code, pressed});
        return events;
    }

    TFakeHostServices Host;
    TFakeKeySource Keys;
    int Closes = 0;
    std::size_t CloseMessages = 0;
};

TEST_F(DirectInputTest, HandsOutTenEventsPerReadAndKeepsTheRestSignalled)
{
    TDirectInput input = Make(&Keys);
    ASSERT_TRUE(input.IsReady());
    std::vector<TKeyEvent> posted;
    for (u8 code = 0x10; code < 0x10 + 13; ++code) {
        Keys.Press(code);
        posted.push_back({code, true});
    }
    Keys.Release(0x10);
    posted.push_back({0x10, false});

    input.WaitForEvent();   // pending: returns at once
    input.ReadBufferedData();
    const auto first = Drain(input);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first, std::vector<TKeyEvent>(posted.begin(), posted.begin() + 10));
    u8 code = 0;
    bool pressed = false;
    EXPECT_FALSE(input.NextKeyEvent(code, pressed)) << "stays false until the next read";

    // The rest come without another key change.
    input.WaitForEvent();
    input.ReadBufferedData();
    EXPECT_EQ(Drain(input), std::vector<TKeyEvent>(posted.begin() + 10, posted.end()));

    // An empty read hands out nothing.
    input.ReadBufferedData();
    EXPECT_FALSE(input.NextKeyEvent(code, pressed));
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_F(DirectInputTest, AWakeEndsAWaitWithNoEvents)
{
    TDirectInput input = Make(&Keys);
    std::thread waiter([&] { input.WaitForEvent(); });
    input.Wake();
    waiter.join();
    // A wake that comes before the wait is not lost.
    input.Wake();
    input.WaitForEvent();
    EXPECT_EQ(Keys.Wakes(), 2);
    EXPECT_EQ(Keys.Pending(), 0u);
}

TEST_F(DirectInputTest, AnOverflowLosesChangesButIsNoFailure)
{
    TDirectInput input = Make(&Keys);
    for (int i = 0; i < 200; ++i) {
        Keys.Press(0x1E);
        Keys.Release(0x1E);
    }
    EXPECT_EQ(Keys.Pending(), TKeyBuffer::QueueCapacity);
    input.ReadBufferedData();
    EXPECT_EQ(Drain(input).size(), 10u);
    EXPECT_EQ(Host.Messages.Count(), 0u);
    EXPECT_TRUE(input.IsReady());
}

TEST_F(DirectInputTest, AFailedReadLeavesNoEventsAndIsReportedOnce)
{
    TDirectInput input = Make(&Keys);
    Keys.Press({0x10, 0x11, 0x12});
    input.ReadBufferedData();
    u8 code = 0;
    bool pressed = false;
    ASSERT_TRUE(input.NextKeyEvent(code, pressed));

    Keys.Press(0x13);
    Keys.FailNextEventReads(2, Code(0x8007001Eu));
    input.ReadBufferedData();
    EXPECT_FALSE(input.NextKeyEvent(code, pressed)) << "the events of the previous read are gone";
    EXPECT_FALSE(input.IsReady());
    input.ReadBufferedData();   // not ready: does nothing
    EXPECT_EQ(Keys.EventReads(), 2);

    EXPECT_EQ(Closes, 0);
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Caption, " DirectInput Fatal Error!");
    EXPECT_EQ(Host.Messages.Messages()[0].Text,
              "Can't get DirectInput Device Data!\nFunction 'GetDeviceData'. "
              "Access to the input device has been lost. It must be reacquired.");
    EXPECT_EQ(Closes, 1);
    EXPECT_EQ(CloseMessages, 1u);
}

TEST_F(DirectInputTest, KeyStateIsTheLastSnapshot)
{
    TDirectInput input = Make(&Keys);
    Keys.Press({0x01, 0x2A, 0xD3});
    input.ReadKeyboardState();
    Keys.Release(0x2A);
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(input.IsKeyDown(static_cast<u8>(code)), code == 0x01 || code == 0x2A || code == 0xD3) << code;
    input.ReadKeyboardState();
    EXPECT_FALSE(input.IsKeyDown(0x2A));
}

TEST_F(DirectInputTest, AStateReadFailingTwiceLeavesEveryKeyUp)
{
    TDirectInput input = Make(&Keys);
    Keys.Press(0x10);
    input.ReadKeyboardState();
    ASSERT_TRUE(input.IsKeyDown(0x10));
    Keys.FailNextStateReads(2, Code(0x80004005u));
    input.ReadKeyboardState();
    EXPECT_FALSE(input.IsKeyDown(0x10));
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text.rfind("Can't get DirectInput Device Sate!\nFunction 'GetDeviceState'. ", 0),
              0u);
}

TEST_F(DirectInputTest, WithoutASourceNothingIsReadAndTheErrorIsShownOnce)
{
    TDirectInput input = Make(nullptr);
    EXPECT_FALSE(input.IsReady());
    input.WaitForEvent();   // returns at once
    input.ReadBufferedData();
    input.ReadKeyboardState();
    input.Wake();
    input.ShowError({8, 0});
    Host.UiPoster.Pump();
    ASSERT_EQ(Host.Messages.Count(), 1u);
    EXPECT_EQ(Host.Messages.Messages()[0].Text.rfind("Can't create DirectInput Device object!\nFunction 'CreateDevice'. ", 0),
              0u);
    EXPECT_EQ(Closes, 1);
}

TEST(DirectInputTexts, ErrorTextJoinsTheFunctionAndTheResult)
{
    EXPECT_EQ(TDirectInput::ErrorText({7, Code(0x800704DFu)}),
              "Can't acquire DirectInput Device!\nFunction 'Acquire'. This object is already initialized");
    EXPECT_EQ(TDirectInput::ErrorText({0, 1}),
              "Can't create DirectInput object!\nFunction 'DirectInputCreate'. "
              "The operation had no effect. This value is equal to the S_FALSE standard COM return value.");
    EXPECT_EQ(TDirectInput::ErrorText({3, Code(0x80070006u)}),
              "Can't set DirectInput Device Cooperative Level!\nFunction 'SetCooperativeLevel'. "
              "The HWND parameter is not a valid top-level window that belongs to the process.");
    // A code without a text: the number, after a full stop and two blanks.
    EXPECT_EQ(TDirectInput::ErrorText({8, Code(0x8000FFFFu)}),
              "Can't get DirectInput Device Data!\nFunction 'GetDeviceData'.  return result code 8000FFFFh.");
    EXPECT_EQ(TDirectInput::ErrorText({4, 0x1234}),
              "Can't create Event!\nFunction 'CreateEvent'.  return result code 00001234h.");
}

TEST(DirectInputTexts, EveryFunctionHasItsText)
{
    const char* const names[] = {"DirectInputCreate", "CreateDevice", "SetDataFormat", "SetCooperativeLevel",
                                 "CreateEvent", "SetEventNotification", "SetProperty", "Acquire",
                                 "GetDeviceData", "GetDeviceState"};
    for (i32 function = 0; function < 10; ++function) {
        const char* text = TDirectInput::FunctionText(function);
        ASSERT_NE(text, nullptr) << function;
        const std::string expectedEnd = std::string("!\nFunction '") + names[function] + "'";
        const std::string actual = text;
        EXPECT_EQ(actual.rfind("Can't ", 0), 0u) << actual;
        ASSERT_GE(actual.size(), expectedEnd.size());
        EXPECT_EQ(actual.substr(actual.size() - expectedEnd.size()), expectedEnd);
    }
    EXPECT_EQ(TDirectInput::FunctionText(-1), nullptr);
    EXPECT_EQ(TDirectInput::FunctionText(10), nullptr);
}

// The published result codes that have a text: 37, the three that share
// one value counted once.
TEST(DirectInputTexts, ThePublishedResultCodesHaveTexts)
{
    const u32 codes[] = {
        0x00000000, 0x00000001, 0x00000002, 0x00000003, 0x00000004, 0x00000008, 0x0000000C,  // success
        0x8000000A, 0x80004001, 0x80004002, 0x80004003, 0x80004005, 0x80040110, 0x80040154,  // COM
        0x80040201, 0x80040202, 0x80040203, 0x80040204, 0x80040205, 0x80040206, 0x80040207,
        0x80040208, 0x80040209, 0x8004020A,                                                  // input API
        0x80070002, 0x80070005, 0x80070006, 0x8007000C, 0x8007000E, 0x80070015, 0x8007001E,
        0x80070057, 0x80070077, 0x800700AA, 0x8007047E, 0x80070481, 0x800704DF,              // system
    };
    ASSERT_EQ(std::size(codes), 37u);
    std::set<std::string> texts;
    for (const u32 code : codes) {
        const char* text = TDirectInput::ResultText(Code(code));
        ASSERT_NE(text, nullptr) << std::hex << code;
        EXPECT_NE(std::string(text), "");
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 37u) << "every code has a text of its own";
    EXPECT_EQ(TDirectInput::ResultText(Code(0x80070001u)), nullptr);
    EXPECT_EQ(TDirectInput::ResultText(5), nullptr);
}

// Random presses and releases from several "keys": the queued events,
// replayed over an empty keyboard, always give the state, and no key goes
// down or up twice in a row.
TEST(KeyBuffer, RandomTrafficKeepsTheQueueAndTheStateInAgreement)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 50; ++round) {
        TKeyBuffer buffer;
        buffer.Acquire();
        TKeyStates replayed{};
        const int posts = std::uniform_int_distribution<int>(0, 400)(random);
        for (int i = 0; i < posts; ++i) {
            const u8 code = static_cast<u8>(std::uniform_int_distribution<int>(0, 255)(random));
            buffer.PostKey(code, random() & 1);
            if (random() % 7 == 0)
                buffer.ReleaseAll();
            if (random() % 5 == 0) {
                std::array<TKeyEvent, 10> events;
                u32 count = std::uniform_int_distribution<u32>(0, 10)(random);
                ASSERT_GE(buffer.ReadEvents(events.data(), count), 0);
                for (u32 e = 0; e < count; ++e) {
                    ASSERT_NE((replayed[events[e].Code] & 0x80) != 0, events[e].Pressed) << "a repeated change";
                    replayed[events[e].Code] = events[e].Pressed ? 0x80 : 0;
                }
            }
        }
        std::array<TKeyEvent, 300> rest;
        u32 count = rest.size();
        ASSERT_EQ(buffer.ReadEvents(rest.data(), count), TKeySource::Ok);
        ASSERT_LE(count, TKeyBuffer::QueueCapacity);
        for (u32 e = 0; e < count; ++e)
            replayed[rest[e].Code] = rest[e].Pressed ? 0x80 : 0;
        TKeyStates state;
        buffer.ReadState(state);
        EXPECT_EQ(replayed, state) << "round " << round;
    }
}

TEST(KeyBuffer, NothingIsQueuedUntilAcquiredAndReadsFailBefore)
{
    TKeyBuffer buffer;
    buffer.PostKey(0x10, true);
    EXPECT_TRUE(buffer.IsDown(0x10));
    EXPECT_EQ(buffer.Pending(), 0u);
    std::array<TKeyEvent, 10> events;
    u32 count = 10;
    EXPECT_EQ(buffer.ReadEvents(events.data(), count), TKeySource::NotAcquired);
    EXPECT_EQ(count, 0u);
    buffer.Acquire();
    buffer.PostKey(0x10, true);   // already down: no change
    buffer.ReleaseAll();
    count = 10;
    EXPECT_EQ(buffer.ReadEvents(events.data(), count), TKeySource::Ok);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(events[0], (TKeyEvent{0x10, false}));
}

}  // namespace
