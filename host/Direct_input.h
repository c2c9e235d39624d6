// The host keyboard as the key thread sees it: a buffered keyboard device
// over a key source (host/Key_source.h). It hands out at most 10 events per
// read, in order, with their direction, and keeps a full snapshot of the 256
// key states for the key thread's resynchronisation.
//
// Every failure is fatal: the box " DirectInput Fatal Error!" is shown once
// (posted to the user-interface thread), then the main window is asked to
// close. A keyboard that could not be set up does nothing afterwards.
//
// Threads: the event read and NextKeyEvent belong to the key thread; the
// state read and IsKeyDown to the thread that resynchronises (the key thread
// serialises those); the fatal error may come from either.
#pragma once

#include "core/Host_services.h"
#include "core/Types.h"
#include "host/Key_source.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

// What the wrappers throw: the failed function's index (the rows of
// TDirectInput::FunctionText) and the result code of the failure.
struct TDIError {
    i32 Function = 0;
    i32 Result = 0;
};

class TDIDevice;

// The source of devices. Over a key source there is nothing to create, so
// the constructor cannot fail; a missing source fails CreateDevice.
class TDIInterface {
public:
    // Functions of TDIError.
    static constexpr i32 CreateFunction = 0;
    static constexpr i32 CreateDeviceFunction = 1;

    explicit TDIInterface(TKeySource* source) : Source(source) {}
    // Throws TDIError {1, DIERR_DEVICENOTREG} when there is no key source.
    std::unique_ptr<TDIDevice> CreateDevice();

private:
    TKeySource* Source;
};

// One keyboard device over the key source. Each operation throws TDIError
// with its function index when the source reports a failure.
class TDIDevice {
public:
    static constexpr i32 AcquireFunction = 7;
    static constexpr i32 GetDeviceDataFunction = 8;
    static constexpr i32 GetDeviceStateFunction = 9;

    explicit TDIDevice(TKeySource& source) : Source(source) {}
    ~TDIDevice() { Unacquire(); }
    TDIDevice(const TDIDevice&) = delete;
    TDIDevice& operator=(const TDIDevice&) = delete;

    void Acquire();
    void Unacquire() { Source.Unacquire(); }
    // Removes up to count events into the array; count becomes the number
    // read. A positive result (changes lost to a full buffer) is success.
    void GetDeviceData(TKeyEvent* events, u32& count);
    // All 256 key states; one new Acquire and a second try after a failure.
    void GetDeviceState(TKeyStates& states);
    void WaitForEvents() { Source.WaitForEvents(); }
    void Wake() { Source.Wake(); }

private:
    TKeySource& Source;
};

class TDirectInput {
public:
    static constexpr u32 BufferSize = 10;   // events per read
    static constexpr const char* FatalCaption = " DirectInput Fatal Error!";

    // Sets the keyboard up over the source (a device, acquired). A failure
    // is reported through ShowError and leaves the keyboard not ready.
    // closeMainWindow runs on the user-interface thread after the box.
    TDirectInput(TKeySource* source, const THostServices& services, std::function<void()> closeMainWindow);
    ~TDirectInput();
    TDirectInput(const TDirectInput&) = delete;
    TDirectInput& operator=(const TDirectInput&) = delete;

    // The keyboard was set up and no failure has happened since.
    bool IsReady() const { return Ready.load(std::memory_order_acquire); }

    // Returns while events are pending, or after Wake. Returns at once when
    // the keyboard is not ready.
    void WaitForEvent();
    // Ends one WaitForEvent (the key thread's shutdown).
    void Wake();

    // Reads up to 10 events; the previous ones are gone. A failure is shown
    // and leaves no events to hand out.
    void ReadBufferedData();
    // The next event of the last read: false when all have been handed out.
    bool NextKeyEvent(u8& code, bool& pressed);
    // Reads the state of all keys for IsKeyDown. A failure is shown and
    // leaves every key up.
    void ReadKeyboardState();
    // The key was down at the last ReadKeyboardState.
    bool IsKeyDown(u8 code) const { return (KeyState[code] & 0x80) != 0; }
    // The computer's step calls it once a frame; nothing to do here.
    void Poll() {}

    // The fatal error: the first one shows the box (posted to the
    // user-interface thread) and then closes the main window; later ones
    // only make the keyboard not ready.
    void ShowError(const TDIError& error);

    // The box's text: the function text, ". ", then the result text, or
    // " return result code " with eight hexadecimal digits and "h.".
    static std::string ErrorText(const TDIError& error);
    // The function texts by index (0 to 9); nullptr outside.
    static const char* FunctionText(i32 function);
    // The text of a published result code; nullptr for any other code.
    static const char* ResultText(i32 result);

private:
    THostServices Services;
    std::function<void()> CloseMainWindow;
    std::unique_ptr<TDIInterface> Interface;
    std::unique_ptr<TDIDevice> Keyboard;
    std::atomic<bool> Ready{false};
    std::atomic<bool> ErrorShown{false};

    TKeyStates KeyState{};
    u8 Count = 0;
    u8 Index = 0;
    std::array<TKeyEvent, BufferSize> Events{};
};

// The program's keyboard, owned by the key thread; null before it is built
// and after it is gone.
extern TDirectInput* g_DirectInput;
