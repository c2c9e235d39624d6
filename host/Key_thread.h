// The key thread: it sleeps on the host keyboard (g_DirectInput) and turns
// each key event into presses and releases on the emulated keyboard and the
// Kempston joystick, and into the emulator's own keys: Escape stops the run,
// F8 switches speed pacing off and on, Alt+F switches the frames-per-second
// display.
//
// Events reach the machine only while it runs (EnableForEmulation, from the
// run thread) and the screen view has the focus (EnableForScreenView, from
// the user-interface thread); otherwise presses are read and dropped, while
// a release still lets go of what its key pressed, so no emulated key stays
// down that is not held. When either condition begins, the keys held at
// that moment are pressed again from the keyboard's full state, so the
// emulated keyboard matches the host.
//
// Each event goes through one of four tables indexed by the PC scan code:
// down, up, Alt+down and Alt+up. One rule sits on top of the tables: a key
// whose plain down entry ran is released through its plain up entry whatever
// the Alt state, so a key pressed before Alt and released under it never
// stays down, and a key pressed under Alt never releases what it did not
// press.
//
// Lifetime: main builds the key thread after the computer and destroys it
// (stop, wake, join) before the computer. g_KeyThread is null outside that
// span; the run thread tests it before use.
#pragma once

#include "core/Host_services.h"
#include "core/Types.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TComputer;
class TDirectInput;
class TKempstonJoystick;
class TKeyboard;
class TKeySource;

// What the key thread drives. The program's target is the computer (its
// keyboard, joystick, stop request and no-sync flag); tests give their own.
class TKeyTarget {
public:
    virtual ~TKeyTarget() = default;

    virtual TKeyboard& Keyboard() = 0;
    virtual TKempstonJoystick& Joystick() = 0;
    // TComputer::SetStopRequest
    virtual void SetStopRequest(u8 request) = 0;
    // TComputer::ToggleNoSync
    virtual void ToggleNoSync() = 0;
};

class TKeyThread {
public:
    enum class TTable { Down, Up, AltDown, AltUp };

    // What one table entry does.
    enum class TAction : u8 {
        None,                   // no entry: the event is ignored
        Nothing,                // an entry that changes nothing the emulation uses
        PressKey,               // emulated key
        ReleaseKey,
        PressCapsShifted,       // CAPS SHIFT, then the key
        ReleaseCapsShifted,     // CAPS SHIFT first, then the key
        PressSymbolShifted,     // SYMBOL SHIFT, then the key
        ReleaseSymbolShifted,   // SYMBOL SHIFT first, then the key
        JoystickPress,          // set a bit of the joystick byte
        JoystickRelease,        // clear it
        StopRun,                // Escape
        ToggleNoSync,           // F8
        AltDown,                // an Alt key went down
        AltUp,                  // ... and up
        ToggleShowFps,          // Alt+F
    };
    struct TEntry {
        TAction Action = TAction::None;
        u8 Argument = 0;   // the emulated key or the joystick bit
        explicit operator bool() const { return Action != TAction::None; }
    };

    static constexpr u8 CapsShift = 30;     // emulated key numbers
    static constexpr u8 SymbolShift = 38;
    static constexpr u8 EscapeCode = 0x01;  // PC scan codes
    static constexpr u8 LeftAltCode = 0x38;
    static constexpr u8 RightAltCode = 0xB8;

    // The program's key thread over the computer. Builds the tables and
    // g_DirectInput over the source, then starts the thread. A keyboard
    // that cannot be set up is reported once through the message service
    // (posted to the user-interface thread), after which closeMainWindow
    // runs there; the thread then ends at once and reads do nothing.
    TKeyThread(TComputer* computer, TKeySource* source, const THostServices& services,
               std::function<void()> closeMainWindow);
    // The same over any target (tests). The target must outlive the thread.
    TKeyThread(TKeyTarget& target, TKeySource* source, const THostServices& services,
               std::function<void()> closeMainWindow);
    // Terminate, then g_DirectInput goes.
    ~TKeyThread();
    TKeyThread(const TKeyThread&) = delete;
    TKeyThread& operator=(const TKeyThread&) = delete;

    // Tells the loop to end, wakes it and joins it: no key event is needed.
    // Nothing after the first call.
    void Terminate();
    // The loop has ended (told to, or the keyboard could not be set up).
    bool IsFinished() const { return Finished.load(std::memory_order_acquire); }

    // The run thread before its first step: resynchronises when the flag
    // was clear, then lets events through. Disable: the run has ended.
    void EnableForEmulation();
    void DisableForEmulation();
    // The screen view became active / stopped being active (UI thread).
    void EnableForScreenView();
    void DisableForScreenView();

    // Resets the emulated keyboard and joystick and replays every key the
    // host holds now, except Escape (a held Escape must not stop the run it
    // is starting). One at a time; never waits for a key.
    void ResyncKeys();

    bool IsEmulationEnabled() const { return EmulationRunning.load(std::memory_order_relaxed) != 0; }
    bool IsScreenViewEnabled() const { return ScreenFocus.load(std::memory_order_relaxed) != 0; }
    bool IsAltHeld() const;
    // Events read so far, dispatched or dropped (tests wait on it).
    u64 GetEventsHandled() const { return EventsHandled.load(std::memory_order_acquire); }

    // Inspection of the key map (tests).
    const TEntry& Entry(TTable table, u8 code) const { return Tables[static_cast<int>(table)][code]; }
    i32 CountEntries(TTable table) const;

private:
    // target null: the owned target.
    TKeyThread(std::unique_ptr<TKeyTarget> ownedTarget, TKeyTarget* target, TKeySource* source,
               const THostServices& services, std::function<void()> closeMainWindow);

    void Execute();
    // ResyncKeys with KeyLock already held.
    void ReplayHeldKeys();
    // Reads up to 10 events and runs them through the tables (under KeyLock).
    void DispatchEvents();
    void KeyEvent(u8 code, bool pressed);
    void Run(const TEntry& entry);
    void BuildKeyTables();

    void PressCapsShifted(u8 key);
    void PressSymbolShifted(u8 key);
    void ReleaseCapsShifted(u8 key);
    void ReleaseSymbolShifted(u8 key);

    using TTableArray = std::array<TEntry, 256>;

    std::unique_ptr<TKeyTarget> OwnedTarget;
    TKeyTarget& Target;
    std::array<TTableArray, 4> Tables{};

    std::atomic<u8> ScreenFocus{0};
    std::atomic<u8> EmulationRunning{0};
    std::atomic<bool> TerminateRequested{false};
    std::atomic<bool> Finished{false};
    std::atomic<u64> EventsHandled{0};

    // Serialises the key thread's dispatch with resynchronisations, so
    // that the press counts of the emulated keys never double.
    mutable std::mutex KeyLock;
    bool AltHeld = false;
    // Per host key: its plain down entry ran and its release is still due.
    std::array<bool, 256> PlainDownRan{};

    std::unique_ptr<TDirectInput> DirectInput;
    std::once_flag Terminated;
    std::thread Thread;
};

extern TKeyThread* g_KeyThread;
