// The one emulated machine: it builds and owns the processor, memory, port
// bus, device chain, every peripheral, the renderer and the breakpoints, and
// offers what the debugger needs: one step, run (to an address), step over,
// run until the next interrupt, stop, reset.
//
// Threads. Everything here is called on the user-interface thread, except
// the flags that the key thread sets (SetStopRequest, ToggleNoSync) and the
// inspection of flags. A run steps the machine on a run thread that the
// computer owns and joins; while it runs, the user interface changes the
// machine only inside a pause guard:
//
//     auto pause = computer->PauseRun();   // the run thread parks after its step
//     computer->Z80->PC = address;         // ... act ...
//                                          // released at the end of the scope
//
// The end of a run is delivered on the user-interface thread (posted by the
// run thread, or at once by Stop): the sound stops, the run-to breakpoint
// goes, the run's callback runs and the caption says "Quorvane - Debug".
// It runs exactly once per run, and never after the computer is gone.
//
// The frame end of every step mixes and writes the frame's sound, paces
// (sound play position, or the clock's tick, or not at all with no sync),
// draws the frame, publishes it and has the screen view (g_Display) show it.
// A headless computer (no user-interface poster, so no screen view) skips
// the publish copy there and publishes once the stepping stops: at the end
// of Step, Step Over's step and a run.
#pragma once

#include "core/Breakpoints.h"
#include "core/Host_services.h"
#include "core/Output_bit_device.h"
#include "core/Types.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class TAY;
class TBetaDisk;
class TDevices;
class TEar;
class TKempstonJoystick;
class TKempstonMouse;
class TKeyboard;
class TMemory;
class TMemoryPagination;
class TMic;
class TMixer;
class TPorts;
class TRender;
class TRunThread;
class TSpeaker;
class TTapeRecorder;
class TVideoCard;
class TZ80;

class TComputer {
public:
    // The completion callback of a run (or of a Step Over that only stepped).
    using TOnStop = std::function<void()>;

    static constexpr i32 NoRunTo = -1;
    static constexpr const char* RunTitle = "Quorvane - Run";
    static constexpr const char* DebugTitle = "Quorvane - Debug";
    // Caption of the box that shows an error which ended a run.
    static constexpr const char* RunErrorCaption = "Quorvane";

    // Keeps the run thread parked for its lifetime (see PauseRun). Movable,
    // not copyable; an empty guard does nothing.
    class TPauseGuard {
    public:
        TPauseGuard() = default;
        TPauseGuard(TPauseGuard&& other) noexcept : Computer(other.Computer) { other.Computer = nullptr; }
        TPauseGuard& operator=(TPauseGuard&& other) noexcept;
        TPauseGuard(const TPauseGuard&) = delete;
        TPauseGuard& operator=(const TPauseGuard&) = delete;
        ~TPauseGuard() { Release(); }

        // True when this guard holds a run thread parked.
        bool IsHolding() const { return Computer != nullptr; }
        void Release();

    private:
        friend class TComputer;
        explicit TPauseGuard(TComputer* computer) : Computer(computer) {}
        TComputer* Computer = nullptr;
    };

    // Builds every part from g_Settings, in order: memory, port bus, CPU,
    // video chip, renderer, tape recorder, breakpoints, device chain, the
    // chained devices (128K paging, keyboard, Kempston joystick and mouse,
    // AY, Beta Disk), microphone, ear, beeper, mixer; then wires the ports.
    // Built stopped: stop request set, no run-to address, no callback.
    // Throws what a part throws (the port bus's messages).
    explicit TComputer(const THostServices& services);
    // Ends a run as Stop does, then deletes the parts in reverse order.
    ~TComputer();
    TComputer(const TComputer&) = delete;
    TComputer& operator=(const TComputer&) = delete;

    // --- The parts. Owned by the computer (the chained devices through the
    // device chain); read and used directly by the views, the snapshot code
    // and the key thread. Never deleted or replaced from outside. ---
    TMemory* Memory = nullptr;
    TPorts* Ports = nullptr;
    TZ80* Z80 = nullptr;
    TVideoCard* VideoCard = nullptr;
    TRender* Render = nullptr;                  // a TRenderGDI8Bit
    TTapeRecorder* TapeRecorder = nullptr;
    TBreakpoints* Breakpoints = nullptr;
    TDevices* Devices = nullptr;
    TMemoryPagination* MemoryPagination = nullptr;
    TKeyboard* Keyboard = nullptr;
    TKempstonJoystick* KempstonJoystick = nullptr;
    TKempstonMouse* KempstonMouse = nullptr;
    TAY* AY = nullptr;
    TBetaDisk* BetaDisk = nullptr;
    TMic* Mic = nullptr;
    TEar* Ear = nullptr;                         // never on the port bus
    TSpeaker* Speaker = nullptr;
    TMixer* Mixer = nullptr;

    // --- Stepping and runs (user-interface thread) ---

    // Trace Into: one instruction (or accepted interrupt) with everything
    // that follows from it, on the calling thread. Refused (false) while a
    // run is active.
    bool Step();
    // Starts a run to the address (NoRunTo: until a breakpoint, Escape or
    // Stop). Refused (false) while a run is active, or when the run thread
    // cannot be started (then everything Run began is undone and the error
    // is shown).
    bool Run(TOnStop onStop, i32 runTo = NoRunTo);
    // Runs to the address after a CALL, RST, DJNZ, HALT or repeating block
    // instruction; any other instruction is stepped here and onStop called
    // at once. Refused (false) while a run is active.
    bool StepOver(TOnStop onStop);
    // A run that stops at the first frame end. Refused (false) while a run
    // is active.
    bool RunUntilInterrupt(TOnStop onStop);
    // The processor and the chained devices (paging, keyboard, joystick,
    // AY) back to their power-on state; memory, the video chip, the beeper,
    // the microphone and the tape recorder are kept. Pauses a run meanwhile.
    void Reset();
    // The main window is closing: requests the stop, joins the run thread
    // and delivers the end-of-run notification if it has not run yet for
    // this run. Nothing when no run is active.
    void Stop();
    // For UI code that takes "stop requested" to mean "stopped": when a
    // run is active and its stop is requested, waits for the run thread to
    // end and delivers the notification now. True when no run is active on
    // return (false: a run goes on, its stop not requested).
    bool WaitUntilRunEnded();

    // Parks the run thread after its current step until the guard ends; an
    // empty guard when no run is active (or when called on the run thread).
    // Guards nest. Returns once the run thread is parked or has left its loop.
    [[nodiscard]] TPauseGuard PauseRun();

    // --- Flags shared with the run and key threads ---

    // Escape on the key thread, a breakpoint, the end of run-one-frame.
    void SetStopRequest(u8 request) { StopRequest.store(request ? 1 : 0, std::memory_order_relaxed); }
    bool IsStopRequested() const { return StopRequest.load(std::memory_order_relaxed) != 0; }
    // The run thread is inside its loop (set by Run before the thread starts).
    void SetRunning(u8 running);
    bool IsRunning() const { return Running.load(std::memory_order_acquire) != 0; }
    // F8 on the key thread: the frame end stops pacing (and back).
    void ToggleNoSync() { NoSync.fetch_xor(1, std::memory_order_relaxed); }
    void SetNoSync(u8 noSync) { NoSync.store(noSync ? 1 : 0, std::memory_order_relaxed); }
    bool IsNoSync() const { return NoSync.load(std::memory_order_relaxed) != 0; }
    bool IsRunOneFrame() const { return RunOneFrame.load(std::memory_order_relaxed) != 0; }
    // A run thread exists that has not been joined and notified yet.
    bool IsRunActive() const { return RunActive.load(std::memory_order_acquire); }
    // The run-to address of the current run, NoRunTo for none.
    i32 GetRunTo() const { return RunTo; }

    // Has the screen view show the newest published frame: at once on the
    // user-interface thread, else through one coalesced repaint posted there.
    void RefreshScreenView();

private:
    friend class TRunThread;

    // One step: the instruction, the catch-up of the sound devices and the
    // tape, the frame end, the breakpoint test: Trace Into's plain form.
    void StepMachine();
    // The run loop's form of it: the plain steps up to the next event that
    // needs the machine (the interrupt window, the frame end, the sound
    // devices' or the tape's next change, a breakpoint) back to back in the
    // processor, then what follows the last as after a step. The same as
    // stepping one by one: the steps between only note the position, which
    // the sound devices read themselves before a port write (see
    // TStepPosition), and the tape only counts.
    void StepToNextEvent();
    // What follows a step. `lazy` (the run loop): the sound devices and the
    // tape are caught up only when their Update would do more than note the
    // position or count.
    void AfterStep(bool frameEnded, bool lazy);
    // Catches the sound devices up to the position of the last step, then
    // finds the next position at which they need it again.
    void UpdateSoundDevices(i32 tact, i32 frame);
    // Catches the tape up to the position of the last step, then finds the
    // step after which it needs it again.
    void UpdateTape(i32 tact, i32 frame);
    // The run loop's stepping pauses or ends: the sound devices and the tape
    // as every step would have left them.
    void CatchUpLazyDevices();
    // The stepping stops (end of Step, a park, the end of a run) with the
    // sound devices caught up.
    void EndSteppingSession();
    void EndFrame();
    // Brings the renderer's front copy up to the last drawn frame when a
    // headless frame end left it behind; on the thread that steps.
    void PublishDrawnFrame();
    void WirePorts();

    // The run thread's part.
    void RunLoop();
    void Park();
    void LeaveRunLoop();
    // The user-interface thread's end of a run: joins the thread, then the
    // notification, once per generation.
    void FinishRun(u64 generation);
    void OnRunThreadTerminate();
    void ReleasePause();

    THostServices Services;
    TOnStop OnStop;

    std::atomic<u8> StopRequest{1};
    std::atomic<u8> NoSync{0};
    std::atomic<u8> Running{0};
    std::atomic<u8> RunOneFrame{0};
    // The position after the last step, which the sound devices follow.
    TStepPosition StepPosition;
    // While the CPU stays in this frame below this T-state, every sound
    // device's Update would only note the position (stepping thread only).
    i32 SoundFrame = 0;
    i32 SoundLimit = 0;
    // In a run the playing tape is caught up after the first step that ends
    // in this frame at or past this T-state, or in a later frame; TapeBehind:
    // a step has ended since the last catch-up (stepping thread only).
    i32 TapeFrame = 0;
    i32 TapeLimit = 0;
    bool TapeBehind = false;
    // A headless frame end drew a frame without publishing it (stepping
    // thread only).
    bool FrameUnpublished = false;
    i32 RunTo = NoRunTo;

    // The owned parts, in the order of creation (destroyed in reverse).
    std::unique_ptr<TMemory> OwnedMemory;
    std::unique_ptr<TPorts> OwnedPorts;
    std::unique_ptr<TZ80> OwnedZ80;
    std::unique_ptr<TVideoCard> OwnedVideoCard;
    std::unique_ptr<TRender> OwnedRender;
    std::unique_ptr<TTapeRecorder> OwnedTapeRecorder;
    std::unique_ptr<TBreakpoints> OwnedBreakpoints;
    std::unique_ptr<TDevices> OwnedDevices;
    std::unique_ptr<TMic> OwnedMic;
    std::unique_ptr<TEar> OwnedEar;
    std::unique_ptr<TSpeaker> OwnedSpeaker;
    std::unique_ptr<TMixer> OwnedMixer;

    // Run control (user-interface thread, but for the atomics).
    std::atomic<bool> RunActive{false};
    u64 Generation = 0;           // counts runs
    u64 NotifiedGeneration = 0;   // the last run whose notification ran
    std::unique_ptr<TRunThread> RunThread;
    // Set by the run thread before it leaves its loop, read after the join.
    std::string RunError;
    // Posted work holds a weak reference: it does nothing once the computer
    // is gone.
    std::shared_ptr<TComputer*> Life;

    // The pause handshake.
    std::mutex PauseLock;
    std::condition_variable PauseChanged;
    std::atomic<u32> PauseRequests{0};
    bool Parked = false;
};
