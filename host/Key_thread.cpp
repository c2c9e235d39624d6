#include "host/Key_thread.h"

#include "core/Computer.h"
#include "core/Kempston_joystick.h"
#include "core/Keyboard.h"
#include "core/Settings.h"
#include "core/Thread_name.h"
#include "host/Direct_input.h"

#include <utility>

TKeyThread* g_KeyThread = nullptr;

namespace {

// The program's target: the computer's own parts and flags.
class TComputerKeyTarget : public TKeyTarget {
public:
    explicit TComputerKeyTarget(TComputer* computer) : Computer(*computer) {}

    TKeyboard& Keyboard() override { return *Computer.Keyboard; }
    TKempstonJoystick& Joystick() override { return *Computer.KempstonJoystick; }
    void SetStopRequest(u8 request) override { Computer.SetStopRequest(request); }
    void ToggleNoSync() override { Computer.ToggleNoSync(); }

private:
    TComputer& Computer;
};

}  // namespace

TKeyThread::TKeyThread(TComputer* computer, TKeySource* source, const THostServices& services,
                       std::function<void()> closeMainWindow)
    : TKeyThread(std::make_unique<TComputerKeyTarget>(computer), nullptr, source, services,
                 std::move(closeMainWindow))
{
}

TKeyThread::TKeyThread(TKeyTarget& target, TKeySource* source, const THostServices& services,
                       std::function<void()> closeMainWindow)
    : TKeyThread(nullptr, &target, source, services, std::move(closeMainWindow))
{
}

TKeyThread::TKeyThread(std::unique_ptr<TKeyTarget> ownedTarget, TKeyTarget* target, TKeySource* source,
                       const THostServices& services, std::function<void()> closeMainWindow)
    : OwnedTarget(std::move(ownedTarget))
    , Target(target ? *target : *OwnedTarget)
{
    BuildKeyTables();
    DirectInput = std::make_unique<TDirectInput>(source, services, std::move(closeMainWindow));
    Thread = std::thread([this] { Execute(); });
    // Published once nothing can throw any more.
    g_DirectInput = DirectInput.get();
}

TKeyThread::~TKeyThread()
{
    Terminate();
    if (g_DirectInput == DirectInput.get())
        g_DirectInput = nullptr;
    DirectInput.reset();
}

void TKeyThread::Terminate()
{
    std::call_once(Terminated, [this] {
        TerminateRequested.store(true, std::memory_order_release);
        DirectInput->Wake();
        if (Thread.joinable())
            Thread.join();
    });
}

void TKeyThread::Execute()
{
    NameCurrentThread("quorvane-keys");
    // A keyboard that could not be set up has been reported; there is
    // nothing to wait for.
    while (DirectInput->IsReady() && !TerminateRequested.load(std::memory_order_acquire)) {
        DirectInput->WaitForEvent();
        if (TerminateRequested.load(std::memory_order_acquire))
            break;
        DispatchEvents();
    }
    Finished.store(true, std::memory_order_release);
}

void TKeyThread::DispatchEvents()
{
    // The read is under the lock too: once the source's queue is seen
    // empty, taking the lock waits for the dispatch of the last read.
    std::lock_guard guard(KeyLock);
    DirectInput->ReadBufferedData();
    // Presses read while the machine is stopped or the view inactive are
    // dropped; the resynchronisation catches up when both are on again.
    // Releases are not: a key the machine holds goes up with its host key
    // (the view may have lost the focus while the key was down).
    const bool enabled = IsEmulationEnabled() && IsScreenViewEnabled();
    u64 handled = 0;
    u8 code = 0;
    bool pressed = false;
    while (DirectInput->NextKeyEvent(code, pressed)) {
        if (enabled || !pressed)
            KeyEvent(code, pressed);
        ++handled;
    }
    EventsHandled.fetch_add(handled, std::memory_order_release);
}

void TKeyThread::KeyEvent(u8 code, bool pressed)
{
    auto& table = [&]() -> const TTableArray& {
        if (pressed)
            return Tables[static_cast<int>(AltHeld ? TTable::AltDown : TTable::Down)];
        return Tables[static_cast<int>(AltHeld ? TTable::AltUp : TTable::Up)];
    }();
    if (pressed) {
        if (!AltHeld) {
            // A host key cannot go down twice; a second down (the event of
            // a key the resynchronisation has already pressed) does nothing.
            if (PlainDownRan[code])
                return;
            PlainDownRan[code] = true;
        }
        Run(table[code]);
        return;
    }
    if (PlainDownRan[code]) {
        // Released through the plain entry whatever Alt says. The Alt+up
        // entries end only Alt itself (an Alt key goes down plainly and
        // always comes up under Alt), so it runs too.
        PlainDownRan[code] = false;
        Run(Tables[static_cast<int>(TTable::Up)][code]);
        if (AltHeld)
            Run(Tables[static_cast<int>(TTable::AltUp)][code]);
        return;
    }
    // Its down went through the Alt+down table (or was never seen): only
    // the Alt+up entry, and only while Alt is held.
    if (AltHeld)
        Run(table[code]);
}

void TKeyThread::Run(const TEntry& entry)
{
    switch (entry.Action) {
    case TAction::None:
    case TAction::Nothing:
        break;
    case TAction::PressKey:
        Target.Keyboard().KeyDown(entry.Argument);
        break;
    case TAction::ReleaseKey:
        Target.Keyboard().KeyUp(entry.Argument);
        break;
    case TAction::PressCapsShifted:
        PressCapsShifted(entry.Argument);
        break;
    case TAction::ReleaseCapsShifted:
        ReleaseCapsShifted(entry.Argument);
        break;
    case TAction::PressSymbolShifted:
        PressSymbolShifted(entry.Argument);
        break;
    case TAction::ReleaseSymbolShifted:
        ReleaseSymbolShifted(entry.Argument);
        break;
    case TAction::JoystickPress:
        Target.Joystick().Press(entry.Argument);
        break;
    case TAction::JoystickRelease:
        Target.Joystick().Release(entry.Argument);
        break;
    case TAction::StopRun:
        Target.SetStopRequest(1);
        break;
    case TAction::ToggleNoSync:
        Target.ToggleNoSync();
        break;
    case TAction::AltDown:
        AltHeld = true;
        break;
    case TAction::AltUp:
        AltHeld = false;
        break;
    case TAction::ToggleShowFps:
        if (g_Settings)
            g_Settings->ShowFps.fetch_xor(1, std::memory_order_relaxed);
        break;
    }
}

void TKeyThread::PressCapsShifted(u8 key)
{
    Target.Keyboard().KeyDown(CapsShift);
    Target.Keyboard().KeyDown(key);
}

void TKeyThread::PressSymbolShifted(u8 key)
{
    Target.Keyboard().KeyDown(SymbolShift);
    Target.Keyboard().KeyDown(key);
}

void TKeyThread::ReleaseCapsShifted(u8 key)
{
    Target.Keyboard().KeyUp(CapsShift);
    Target.Keyboard().KeyUp(key);
}

void TKeyThread::ReleaseSymbolShifted(u8 key)
{
    Target.Keyboard().KeyUp(SymbolShift);
    Target.Keyboard().KeyUp(key);
}

// The flag goes up under the same lock as the replay of held keys: a key
// event the key thread holds back until then is dispatched after the replay,
// and one it already dropped shows in the state the replay reads.
void TKeyThread::EnableForEmulation()
{
    std::lock_guard guard(KeyLock);
    if (!IsEmulationEnabled())
        ReplayHeldKeys();
    EmulationRunning.store(1, std::memory_order_relaxed);
}

void TKeyThread::DisableForEmulation()
{
    EmulationRunning.store(0, std::memory_order_relaxed);
}

void TKeyThread::EnableForScreenView()
{
    std::lock_guard guard(KeyLock);
    if (!IsScreenViewEnabled())
        ReplayHeldKeys();
    ScreenFocus.store(1, std::memory_order_relaxed);
}

void TKeyThread::DisableForScreenView()
{
    ScreenFocus.store(0, std::memory_order_relaxed);
}

void TKeyThread::ResyncKeys()
{
    std::lock_guard guard(KeyLock);
    ReplayHeldKeys();
}

void TKeyThread::ReplayHeldKeys()
{
    Target.Keyboard().Reset();
    Target.Joystick().Reset();
    PlainDownRan.fill(false);

    DirectInput->ReadKeyboardState();
    AltHeld = DirectInput->IsKeyDown(LeftAltCode) || DirectInput->IsKeyDown(RightAltCode);
    const TTable table = AltHeld ? TTable::AltDown : TTable::Down;
    for (int code = 0; code < 256; ++code) {
        const u8 key = static_cast<u8>(code);
        if (!DirectInput->IsKeyDown(key) || PlainDownRan[key])
            continue;
        if (table == TTable::Down) {
            PlainDownRan[key] = true;
            // A held Escape counts as seen, so neither it nor its queued
            // down stops the run that is starting.
            if (key == EscapeCode)
                continue;
        }
        Run(Entry(table, key));
    }
}

bool TKeyThread::IsAltHeld() const
{
    std::lock_guard guard(KeyLock);
    return AltHeld;
}

i32 TKeyThread::CountEntries(TTable table) const
{
    i32 count = 0;
    for (const TEntry& entry : Tables[static_cast<int>(table)])
        count += entry ? 1 : 0;
    return count;
}

void TKeyThread::BuildKeyTables()
{
    for (TTableArray& table : Tables)
        table.fill({});
    TTableArray& down = Tables[static_cast<int>(TTable::Down)];
    TTableArray& up = Tables[static_cast<int>(TTable::Up)];
    TTableArray& altDown = Tables[static_cast<int>(TTable::AltDown)];
    TTableArray& altUp = Tables[static_cast<int>(TTable::AltUp)];

    auto plain = [&](u8 code, u8 key) {
        down[code] = {TAction::PressKey, key};
        up[code] = {TAction::ReleaseKey, key};
    };
    auto capsShifted = [&](u8 code, u8 key) {
        down[code] = {TAction::PressCapsShifted, key};
        up[code] = {TAction::ReleaseCapsShifted, key};
    };
    auto symbolShifted = [&](u8 code, u8 key) {
        down[code] = {TAction::PressSymbolShifted, key};
        up[code] = {TAction::ReleaseSymbolShifted, key};
    };
    auto joystick = [&](u8 code, u8 bit) {
        down[code] = {TAction::JoystickPress, bit};
        up[code] = {TAction::JoystickRelease, bit};
    };

    // Emulated keys: 0-9 the digits 1..9, 0; 10-19 Q..P; 20-28 A..L;
    // 29 ENTER; 30 CAPS SHIFT; 31-37 Z..M; 38 SYMBOL SHIFT; 39 SPACE.
    enum : u8 {
        K1 = 0, K2, K3, K4, K5, K6, K7, K8, K9, K0,
        KO = 18, KP = 19, KJ = 26, KK = 27, KL = 28, KEnter = 29,
        KZ = 31, KC = 33, KV = 34, KB = 35, KN = 36, KM = 37, KSpace = 39,
    };

    // The top row 1..0, and the letter rows, in scan-code order.
    for (u8 i = 0; i < 10; ++i)
        plain(0x02 + i, K1 + i);       // 1..0
    for (u8 i = 0; i < 10; ++i)
        plain(0x10 + i, 10 + i);       // Q..P
    for (u8 i = 0; i < 9; ++i)
        plain(0x1E + i, 20 + i);       // A..L
    for (u8 i = 0; i < 7; ++i)
        plain(0x2C + i, 31 + i);       // Z..M
    // The keypad digits.
    plain(0x4F, K1); plain(0x50, K2); plain(0x51, K3);
    plain(0x4B, K4); plain(0x4C, K5); plain(0x4D, K6);
    plain(0x47, K7); plain(0x48, K8); plain(0x49, K9);
    plain(0x52, K0);
    plain(0x1C, KEnter);               // RETURN
    plain(0x9C, KEnter);               // NUMPADENTER
    plain(0x2A, CapsShift);            // LSHIFT
    plain(0x36, SymbolShift);          // RSHIFT
    plain(0x39, KSpace);               // SPACE

    capsShifted(0x0E, K0);             // BACK: DELETE
    capsShifted(0x29, K1);             // GRAVE: EDIT
    capsShifted(0x3A, K2);             // CAPITAL: CAPS LOCK
    capsShifted(0xCB, K5);             // LEFT
    capsShifted(0xD0, K6);             // DOWN
    capsShifted(0xC8, K7);             // UP
    capsShifted(0xCD, K8);             // RIGHT
    capsShifted(0x0F, SymbolShift);    // TAB: EXTENDED MODE
    symbolShifted(0x1A, K8);           // LBRACKET: (
    symbolShifted(0x1B, K9);           // RBRACKET: )
    symbolShifted(0x27, KO);           // SEMICOLON: ;
    symbolShifted(0x28, KP);           // APOSTROPHE: "
    symbolShifted(0x0C, KJ);           // MINUS: -
    symbolShifted(0x4A, KJ);           // SUBTRACT: -
    symbolShifted(0x4E, KK);           // ADD: +
    symbolShifted(0x0D, KL);           // EQUALS: =
    symbolShifted(0x2B, KZ);           // BACKSLASH: :
    symbolShifted(0x35, KC);           // SLASH: ?
    symbolShifted(0xB5, KV);           // DIVIDE: /
    symbolShifted(0x37, KB);           // MULTIPLY: *
    symbolShifted(0x33, KN);           // COMMA: ,
    symbolShifted(0x34, KM);           // PERIOD: .
    symbolShifted(0x53, KM);           // DECIMAL: .

    joystick(0xD1, TKempstonJoystick::Right);   // NEXT (Page Down)
    joystick(0xD3, TKempstonJoystick::Left);    // DELETE
    joystick(0xCF, TKempstonJoystick::Down);    // END
    joystick(0xC7, TKempstonJoystick::Up);      // HOME
    joystick(0x1D, TKempstonJoystick::Fire);    // LCONTROL

    // The emulator's own keys.
    down[EscapeCode] = {TAction::StopRun, 0};
    down[0x42] = {TAction::ToggleNoSync, 0};     // F8
    down[LeftAltCode] = {TAction::AltDown, 0};
    down[RightAltCode] = {TAction::AltDown, 0};
    altUp[LeftAltCode] = {TAction::AltUp, 0};
    altUp[RightAltCode] = {TAction::AltUp, 0};
    altDown[0x21] = {TAction::ToggleShowFps, 0}; // F

    // Keys that the program's menus use; their entries change nothing here.
    down[0x3C] = {TAction::Nothing, 0};          // F2
    down[0x3D] = {TAction::Nothing, 0};          // F3
    down[0xC5] = {TAction::Nothing, 0};          // PAUSE
    down[0x58] = {TAction::Nothing, 0};          // F12
    up[0x58] = {TAction::Nothing, 0};
    for (const u8 code : {0x3E, 0x14, 0x32, 0x39, 0x1C, 0x58})   // F4, T, M, SPACE, RETURN, F12
        altDown[code] = {TAction::Nothing, 0};
    altUp[0x58] = {TAction::Nothing, 0};
}
