#include "host/Direct_input.h"

#include "core/Hex_text.h"

#include <utility>

TDirectInput* g_DirectInput = nullptr;

namespace {

// Result codes of the keyboard device, numbered as the host's input API
// publishes them (HRESULTs).
constexpr i32 Code(u32 value) { return static_cast<i32>(value); }

constexpr i32 DeviceNotRegistered = Code(0x80040154u);

struct TResultText {
    i32 Result;
    const char* Text;
};

// The texts quoted exactly are the system's own; the rest are short
// descriptions of ours.
constexpr TResultText ResultTexts[] = {
    // success
    {Code(0x00000000u), "The operation completed successfully"},
    {Code(0x00000001u), "The operation had no effect. This value is equal to the S_FALSE standard COM return value."},
    {Code(0x00000002u), "The device is a polled device"},
    {Code(0x00000003u), "The effect parameters were set but the effect was not downloaded"},
    {Code(0x00000004u), "The effect was stopped and restarted"},
    {Code(0x00000008u), "The parameters were truncated to the device's limits"},
    {Code(0x0000000Cu), "The parameters were truncated and the effect restarted"},
    // standard COM failures
    {Code(0x8000000Au), "Data is not yet available"},
    {Code(0x80004001u), "The function is not supported"},
    {Code(0x80004002u), "The interface is not supported"},
    {Code(0x80004003u), "An invalid pointer was passed"},
    {Code(0x80004005u), "An undetermined error occurred"},
    {Code(0x80040110u), "The object does not support aggregation"},
    {Code(0x80040154u), "The device is not registered"},
    // input API failures
    {Code(0x80040201u), "The device is full"},
    {Code(0x80040202u), "Not all the requested information fitted into the buffer"},
    {Code(0x80040203u), "The effect is not downloaded"},
    {Code(0x80040204u), "The device still has effects"},
    {Code(0x80040205u), "The device is not acquired in exclusive mode"},
    {Code(0x80040206u), "The effect is incomplete"},
    {Code(0x80040207u), "The device is not buffered"},
    {Code(0x80040208u), "The effect is playing"},
    {Code(0x80040209u), "The device is unplugged"},
    {Code(0x8004020Au), "The report buffer is full"},
    // system failures
    {Code(0x80070002u), "The object was not found"},
    {Code(0x80070005u), "The device already has an event notification or is in use elsewhere"},
    {Code(0x80070006u), "The HWND parameter is not a valid top-level window that belongs to the process."},
    {Code(0x8007000Cu), "The device is not acquired"},
    {Code(0x8007000Eu), "Out of memory"},
    {Code(0x80070015u), "The object is not initialized"},
    {Code(0x8007001Eu), "Access to the input device has been lost. It must be reacquired."},
    {Code(0x80070057u), "An invalid parameter was passed"},
    {Code(0x80070077u), "The driver is not compatible"},
    {Code(0x800700AAu), "The device is acquired"},
    {Code(0x8007047Eu), "The input API is too old for this program"},
    {Code(0x80070481u), "The input API is a beta version"},
    {Code(0x800704DFu), "This object is already initialized"},
};

constexpr const char* FunctionTexts[] = {
    "Can't create DirectInput object!\nFunction 'DirectInputCreate'",
    "Can't create DirectInput Device object!\nFunction 'CreateDevice'",
    "Can't set DirectInput Device Data Format!\nFunction 'SetDataFormat'",
    "Can't set DirectInput Device Cooperative Level!\nFunction 'SetCooperativeLevel'",
    "Can't create Event!\nFunction 'CreateEvent'",
    "Can't set DirectInput Device Event Notification!\nFunction 'SetEventNotification'",
    "Can't set DirectInput Device Property!\nFunction 'SetProperty'",
    "Can't acquire DirectInput Device!\nFunction 'Acquire'",
    "Can't get DirectInput Device Data!\nFunction 'GetDeviceData'",
    "Can't get DirectInput Device Sate!\nFunction 'GetDeviceState'",
};

}  // namespace

std::unique_ptr<TDIDevice> TDIInterface::CreateDevice()
{
    if (!Source)
        throw TDIError{CreateDeviceFunction, DeviceNotRegistered};
    return std::make_unique<TDIDevice>(*Source);
}

void TDIDevice::Acquire()
{
    const i32 result = Source.Acquire();
    if (result < 0)
        throw TDIError{AcquireFunction, result};
}

void TDIDevice::GetDeviceData(TKeyEvent* events, u32& count)
{
    const i32 result = Source.ReadEvents(events, count);
    if (result < 0)
        throw TDIError{GetDeviceDataFunction, result};
}

void TDIDevice::GetDeviceState(TKeyStates& states)
{
    if (Source.ReadState(states) >= 0)
        return;
    Acquire();
    const i32 result = Source.ReadState(states);
    if (result < 0)
        throw TDIError{GetDeviceStateFunction, result};
}

TDirectInput::TDirectInput(TKeySource* source, const THostServices& services, std::function<void()> closeMainWindow)
    : Services(services)
    , CloseMainWindow(std::move(closeMainWindow))
{
    try {
        Interface = std::make_unique<TDIInterface>(source);
        Keyboard = Interface->CreateDevice();
        Keyboard->Acquire();
        Ready.store(true, std::memory_order_release);
    } catch (const TDIError& error) {
        ShowError(error);
    }
}

TDirectInput::~TDirectInput()
{
    Keyboard.reset();
    Interface.reset();
}

void TDirectInput::WaitForEvent()
{
    if (IsReady())
        Keyboard->WaitForEvents();
}

void TDirectInput::Wake()
{
    if (Keyboard)
        Keyboard->Wake();
}

void TDirectInput::ReadBufferedData()
{
    Count = 0;
    Index = 0;
    if (!IsReady())
        return;
    try {
        u32 count = BufferSize;
        Keyboard->GetDeviceData(Events.data(), count);
        Count = static_cast<u8>(count < BufferSize ? count : BufferSize);
    } catch (const TDIError& error) {
        ShowError(error);
    }
}

bool TDirectInput::NextKeyEvent(u8& code, bool& pressed)
{
    if (Index >= Count)
        return false;
    code = Events[Index].Code;
    pressed = Events[Index].Pressed;
    ++Index;
    return true;
}

void TDirectInput::ReadKeyboardState()
{
    TKeyStates states{};
    if (IsReady()) {
        try {
            Keyboard->GetDeviceState(states);
        } catch (const TDIError& error) {
            states.fill(0);
            ShowError(error);
        }
    }
    KeyState = states;
}

void TDirectInput::ShowError(const TDIError& error)
{
    // A failed keyboard stays failed: the program is closing, and a source
    // that keeps failing must not keep the key thread spinning.
    Ready.store(false, std::memory_order_release);
    if (ErrorShown.exchange(true))
        return;
    std::string text = ErrorText(error);
    auto report = [messages = Services.Messages, text = std::move(text), close = CloseMainWindow] {
        if (messages)
            messages->ShowMessageBox(FatalCaption, text);
        if (close)
            close();
    };
    if (Services.UiPoster)
        Services.UiPoster->PostToUi(std::move(report));
    else
        report();
}

std::string TDirectInput::ErrorText(const TDIError& error)
{
    const char* function = FunctionText(error.Function);
    std::string text = function ? function : "";
    text += ". ";
    if (const char* result = ResultText(error.Result))
        text += result;
    else
        text += " return result code " + HexDWord(static_cast<u32>(error.Result)) + "h.";
    return text;
}

const char* TDirectInput::FunctionText(i32 function)
{
    constexpr i32 count = static_cast<i32>(std::size(FunctionTexts));
    return function >= 0 && function < count ? FunctionTexts[function] : nullptr;
}

const char* TDirectInput::ResultText(i32 result)
{
    for (const TResultText& entry : ResultTexts)
        if (entry.Result == result)
            return entry.Text;
    return nullptr;
}
