#include "core/Computer.h"

#include "core/Ay.h"
#include "core/Beta_disk.h"
#include "core/Clock.h"
#include "core/Devices.h"
#include "core/Display.h"
#include "core/Ear.h"
#include "core/Kempston_joystick.h"
#include "core/Kempston_mouse.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Mic.h"
#include "core/Ports.h"
#include "core/Run_thread.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "core/Tape_recorder.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Indexed_surface.h"
#include "host/Mixer.h"
#include "host/Render_gdi_8bit.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <system_error>

// ---------------------------------------------------------------------------
// Construction

TComputer::TComputer(const THostServices& services)
    : Services(services)
    , Life(std::make_shared<TComputer*>(this))
{
    const TSettings& settings = *g_Settings;

    OwnedMemory = std::make_unique<TMemory>(static_cast<i32>(settings.Model));
    Memory = OwnedMemory.get();
    OwnedPorts = std::make_unique<TPorts>();
    Ports = OwnedPorts.get();
    OwnedZ80 = std::make_unique<TZ80>(Memory, Ports);
    Z80 = OwnedZ80.get();
    OwnedVideoCard = std::make_unique<TVideoCard>(Memory, Z80);
    VideoCard = OwnedVideoCard.get();

    // The renderer reads the chip's ring and latches from Init on; the CPU
    // latches through the chip only once both exist.
    OwnedRender = std::make_unique<TRenderGDI8Bit>();
    Render = OwnedRender.get();
    Render->Init(VideoCard);
    Z80->SetVideoCard(VideoCard);

    OwnedTapeRecorder = std::make_unique<TTapeRecorder>(Services.Messages);
    TapeRecorder = OwnedTapeRecorder.get();
    OwnedBreakpoints = std::make_unique<TBreakpoints>();
    Breakpoints = OwnedBreakpoints.get();
    OwnedDevices = std::make_unique<TDevices>();
    Devices = OwnedDevices.get();

    // Each device joins the chain as soon as it exists, so the chain owns it
    // even if a later one throws.
    Devices->Add(MemoryPagination = new TMemoryPagination(*Memory, VideoCard));
    Devices->Add(Keyboard = new TKeyboard());
    Devices->Add(KempstonJoystick = new TKempstonJoystick());
    Devices->Add(KempstonMouse = new TKempstonMouse());
    Devices->Add(AY = new TAY());
    Devices->Add(BetaDisk = new TBetaDisk());

    OwnedMic = std::make_unique<TMic>();
    Mic = OwnedMic.get();
    OwnedEar = std::make_unique<TEar>(TapeRecorder);
    Ear = OwnedEar.get();
    OwnedSpeaker = std::make_unique<TSpeaker>();
    Speaker = OwnedSpeaker.get();
    OwnedMixer = std::make_unique<TMixer>(*AY, *Speaker, *Mic);
    Mixer = OwnedMixer.get();

    WirePorts();
    Mic->FollowSteps(&StepPosition);
    AY->FollowSteps(&StepPosition);
    Speaker->FollowSteps(&StepPosition);
    // A playing tape is heard on bit 6 of the keyboard port; the ear itself
    // stays off the bus, where its zeros would hide the keys.
    Keyboard->SetTapeInput(TapeRecorder);
}

TComputer::~TComputer()
{
    Stop();
    // The keyboard goes with the chain, before the recorder it listens to;
    // clearing the link first keeps that order from mattering.
    Keyboard->SetTapeInput(nullptr);
    Life.reset();
}

void TComputer::WirePorts()
{
    Ports->Clear();
    Ports->AddDeviceList(*Devices);
    Ports->AddDevicePorts(*Mic);
    Ports->AddDevicePorts(*Speaker);
    Ports->AddDevicePorts(*VideoCard);
}

// ---------------------------------------------------------------------------
// The step

namespace {

// The frame counter is past that frame (wrap-safe).
bool FramesPast(i32 frame, i32 than)
{
    return static_cast<i32>(static_cast<u32>(frame) - static_cast<u32>(than)) > 0;
}

} // namespace

void TComputer::StepMachine()
{
    AfterStep(Z80->Step(), false);
}

// Inlined into the run loop: one call less for every event.
[[gnu::always_inline]] inline void TComputer::StepToNextEvent()
{
    TZ80& z80 = *Z80;
    const i32 tact = z80.Tact;
    const i32 frame = z80.Frame;
    i32 limit = z80.GetPlainRunLimit();
    // The sound devices: Update after the step that reaches their limit, or
    // after every step while they are in another frame.
    limit = frame == SoundFrame ? std::min(limit, SoundLimit) : tact;
    if (TapeRecorder->TTapeRecorder::IsPlaying()) [[unlikely]] {
        if (frame == TapeFrame)
            limit = std::min(limit, TapeLimit);
        else if (FramesPast(frame, TapeFrame))
            limit = tact;
    }
    bool frameEnded;
    if (limit <= tact) [[unlikely]]
        frameEnded = z80.Step();
    else if (Breakpoints->IsEmpty())
        frameEnded = z80.StepUntil(limit, StepPosition.Tact);
    else
        frameEnded = z80.StepUntil(limit, StepPosition.Tact, *Breakpoints);
    AfterStep(frameEnded, true);
}

[[gnu::always_inline]] inline void TComputer::AfterStep(bool frameEnded, bool lazy)
{
    const i32 tact = Z80->Tact;
    // Two loads: merged into one 8-byte load, the pair would wait for the
    // 4-byte store of Tact that ended the step (a store-forwarding stall).
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const i32 frame = Z80->Frame;
    StepPosition.Tact = tact;
    StepPosition.Frame = frame;
    if (!lazy || frame != SoundFrame || tact >= SoundLimit) [[unlikely]]
        UpdateSoundDevices(tact, frame);
    // A stopped recorder's Update does nothing, and the first one after Play
    // only takes the T-state: skipping it while stopped changes nothing.
    if (TapeRecorder->TTapeRecorder::IsPlaying()) [[unlikely]] {
        if (!lazy)
            TapeRecorder->Update(tact, frame);
        else if ((frame == TapeFrame && tact >= TapeLimit) || FramesPast(frame, TapeFrame))
            UpdateTape(tact, frame);
        else
            TapeBehind = true;
    }

    if (frameEnded) [[unlikely]]
        EndFrame();

    // After the instruction: a run started on a breakpoint executes it first.
    if (!Breakpoints->IsEmpty() && Breakpoints->Contains(Z80->PC)) [[unlikely]]
        StopRequest.store(1, std::memory_order_relaxed);
}

void TComputer::UpdateSoundDevices(i32 tact, i32 frame)
{
    StepPosition.Valid = true;
    Mic->Update(tact, frame);
    AY->Update(tact, frame);
    Speaker->Update(tact, frame);
    const i32 micFrame = Mic->GetFrame();
    if (AY->GetNotingFrame() == micFrame && Speaker->GetFrame() == micFrame) {
        SoundFrame = micFrame;
        SoundLimit = std::min({Mic->GetNotingLimit(), AY->GetNotingLimit(), Speaker->GetNotingLimit()});
    } else {
        // The devices disagree (only a state set from outside does that):
        // update them after every step until they agree again.
        SoundLimit = std::numeric_limits<i32>::min();
    }
}

void TComputer::UpdateTape(i32 tact, i32 frame)
{
    TapeRecorder->Update(tact, frame);
    TapeBehind = false;
    // The recorder tells a frame wrap by a T-state below its last, so the
    // CPU moves on by less than a frame between two Updates: the wait stays
    // below half a frame less the longest step.
    const i64 frameLength = TZ80::FrameLengthOf(*g_Settings);
    const i64 longestWait = std::max<i64>(0, frameLength / 2 - TZ80::LongestStep);
    i64 limit = tact + std::min(TapeRecorder->GetTStatesToNextChange(), longestWait);
    TapeFrame = frame;
    if (limit >= frameLength) {
        limit -= frameLength;
        TapeFrame = static_cast<i32>(static_cast<u32>(frame) + 1);
    }
    TapeLimit = static_cast<i32>(limit);
}

void TComputer::CatchUpLazyDevices()
{
    if (StepPosition.Valid)
        UpdateSoundDevices(StepPosition.Tact, StepPosition.Frame);
    if (TapeBehind && TapeRecorder->IsPlaying())
        TapeRecorder->Update(StepPosition.Tact, StepPosition.Frame);
    TapeBehind = false;
}

void TComputer::EndSteppingSession()
{
    // The devices are caught up; until the next step the machine may be
    // changed from outside, so a port write must not note the old position.
    StepPosition.Valid = false;
}

void TComputer::EndFrame()
{
    // Without a sound output nobody would hear the mix.
    TDirectSound* sound = g_DirectSound;
    if (sound)
        sound->Write(Mixer->Mix());

    // The keyboard is not polled here: the key thread feeds it on its own.

    if (!IsNoSync()) {
        if (sound && sound->IsPacing())
            sound->WaitForPlayCursor();
        else if (g_Clock)
            g_Clock->WaitTick();
    }

    // Changes the user interface asked for during the frame (palette,
    // border layout, colour pairs) and the chip's address table.
    if (Render->HasRequests())
        Render->ApplyRequests();
    if (VideoCard->IsRebuildRequested())
        VideoCard->BuildAddressTable();
    if (Services.UiPoster) {
        Render->RenderFrame();
        RefreshScreenView();
    } else {
        // Headless: no screen view can ever show the front copy, so the
        // frame is only drawn; the copy catches up when the machine stops.
        Render->DrawFrame();
        FrameUnpublished = true;
    }

    if (RunOneFrame.load(std::memory_order_relaxed)) {
        RunOneFrame.store(0, std::memory_order_relaxed);
        StopRequest.store(1, std::memory_order_relaxed);
    }
    if (g_Clock)
        g_Clock->CountFrame();
}

bool TComputer::Step()
{
    if (IsRunActive())
        return false;
    StepMachine();
    EndSteppingSession();
    PublishDrawnFrame();
    return true;
}

void TComputer::PublishDrawnFrame()
{
    if (!FrameUnpublished)
        return;
    FrameUnpublished = false;
    Render->GetDC()->Publish();
}

// ---------------------------------------------------------------------------
// The screen view

void TComputer::RefreshScreenView()
{
    TIndexedSurface* surface = Render->GetDC();
    TUiPoster* poster = Services.UiPoster;
    if (!poster)
        return;  // no user interface to show anything
    if (poster->OnUiThread()) {
        if (g_Display)
            g_Display->Blit();
        return;
    }
    // One repaint on its way shows every frame published before it runs.
    if (!surface->ClaimRepaint())
        return;
    std::weak_ptr<TComputer*> life = Life;
    poster->PostToUi([life, surface] {
        if (!life.lock())
            return;
        // Ends the pending repaint even when no view reads the copy, so the
        // next frame posts again.
        surface->ReadFront([](const TIndexedSurface::TFrontView&) {});
        if (g_Display)
            g_Display->Blit();
    });
}

// ---------------------------------------------------------------------------
// Runs

bool TComputer::Run(TOnStop onStop, i32 runTo)
{
    if (IsRunActive())
        return false;

    if (Services.Title)
        Services.Title->SetTitle(RunTitle);
    OnStop = std::move(onStop);
    // An address is 16 bits; the run stops where PC can actually arrive.
    RunTo = runTo == NoRunTo ? NoRunTo : (runTo & 0xFFFF);
    if (RunTo != NoRunTo)
        Breakpoints->Add(static_cast<u16>(RunTo));
    RunError.clear();
    StopRequest.store(0, std::memory_order_relaxed);
    if (g_DirectSound)
        g_DirectSound->Play();

    ++Generation;
    SetRunning(1);
    RunActive.store(true, std::memory_order_release);
    try {
        RunThread = std::make_unique<TRunThread>(this);
    } catch (const std::exception& error) {
        // Nothing ran: undo what this call began and say why.
        RunActive.store(false, std::memory_order_release);
        SetRunning(0);
        StopRequest.store(1, std::memory_order_relaxed);
        RunOneFrame.store(0, std::memory_order_relaxed);
        NotifiedGeneration = Generation;
        if (g_DirectSound)
            g_DirectSound->Stop();
        if (RunTo != NoRunTo)
            Breakpoints->Remove(static_cast<u16>(RunTo));
        RunTo = NoRunTo;
        OnStop = nullptr;
        if (Services.Title)
            Services.Title->SetTitle(DebugTitle);
        if (Services.Messages)
            Services.Messages->ShowMessageBox(RunErrorCaption,
                std::string("The machine cannot run: no thread could be started (") + error.what() + ").");
        return false;
    }
    return true;
}

bool TComputer::StepOver(TOnStop onStop)
{
    if (IsRunActive())
        return false;
    u16 address = 0;
    if (Z80->GetStepOverAddress(address))
        return Run(std::move(onStop), address);
    StepMachine();
    EndSteppingSession();
    PublishDrawnFrame();
    if (onStop)
        onStop();
    return true;
}

bool TComputer::RunUntilInterrupt(TOnStop onStop)
{
    if (IsRunActive())
        return false;
    RunOneFrame.store(1, std::memory_order_relaxed);
    if (Run(std::move(onStop), NoRunTo))
        return true;
    RunOneFrame.store(0, std::memory_order_relaxed);
    return false;
}

void TComputer::Reset()
{
    auto pause = PauseRun();
    Z80->Reset();
    Devices->ResetAll();
}

void TComputer::Stop()
{
    if (!IsRunActive())
        return;
    StopRequest.store(1, std::memory_order_relaxed);
    FinishRun(Generation);
}

bool TComputer::WaitUntilRunEnded()
{
    if (!IsRunActive())
        return true;
    if (!IsStopRequested())
        return false;
    FinishRun(Generation);
    return true;
}

void TComputer::SetRunning(u8 running)
{
    {
        std::lock_guard<std::mutex> lock(PauseLock);
        Running.store(running ? 1 : 0, std::memory_order_release);
    }
    PauseChanged.notify_all();
}

// --- On the run thread ---

void TComputer::RunLoop()
{
    // The first step catches the sound devices and a playing tape up.
    const auto catchUpAtOnce = [this] {
        SoundLimit = std::numeric_limits<i32>::min();
        TapeFrame = Z80->Frame;
        TapeLimit = std::numeric_limits<i32>::min();
        TapeBehind = false;
    };
    try {
        catchUpAtOnce();
        for (;;) {
            StepToNextEvent();
            if (PauseRequests.load(std::memory_order_relaxed) != 0) [[unlikely]] {
                // Whoever paused may look at the devices and change them.
                CatchUpLazyDevices();
                EndSteppingSession();
                Park();
                catchUpAtOnce();
            }
            if (StopRequest.load(std::memory_order_relaxed))
                break;
        }
    } catch (const std::exception& error) {
        RunError = error.what();
        StopRequest.store(1, std::memory_order_relaxed);
    } catch (...) {
        RunError = "Unknown error.";
        StopRequest.store(1, std::memory_order_relaxed);
    }
    // The devices as every step would have left them.
    CatchUpLazyDevices();
    EndSteppingSession();
}

void TComputer::Park()
{
    std::unique_lock<std::mutex> lock(PauseLock);
    Parked = true;
    PauseChanged.notify_all();
    // A stop request ends the park too (Stop while a guard is held): the loop
    // then ends without another step, so the guard's promise still holds.
    PauseChanged.wait(lock, [this] {
        return PauseRequests.load(std::memory_order_relaxed) == 0 || StopRequest.load(std::memory_order_relaxed);
    });
    Parked = false;
}

void TComputer::LeaveRunLoop()
{
    PublishDrawnFrame();
    SetRunning(0);
    if (!Services.UiPoster)
        return;  // no user interface: Stop delivers the notification
    std::weak_ptr<TComputer*> life = Life;
    const u64 generation = Generation;
    Services.UiPoster->PostToUi([life, generation] {
        if (const std::shared_ptr<TComputer*> alive = life.lock())
            (*alive)->FinishRun(generation);
    });
}

// --- Back on the user-interface thread ---

void TComputer::FinishRun(u64 generation)
{
    if (generation != Generation || NotifiedGeneration == generation)
        return;
    NotifiedGeneration = generation;
    if (RunThread) {
        // The stop is requested: a thread parked by a guard that the caller
        // still holds leaves its park for it (Escape sets the request
        // without waking anyone).
        {
            std::lock_guard<std::mutex> lock(PauseLock);
        }
        PauseChanged.notify_all();
        RunThread->Join();
        RunThread.reset();
    }
    RunOneFrame.store(0, std::memory_order_relaxed);
    StopRequest.store(1, std::memory_order_relaxed);
    RunActive.store(false, std::memory_order_release);
    OnRunThreadTerminate();
}

void TComputer::OnRunThreadTerminate()
{
    if (g_DirectSound)
        g_DirectSound->Stop();
    if (RunTo != NoRunTo) {
        Breakpoints->Remove(static_cast<u16>(RunTo));
        RunTo = NoRunTo;
    }
    const std::string error = std::move(RunError);
    RunError.clear();
    // The callback may start the next run at once; the caption then stays.
    const TOnStop onStop = OnStop;
    if (onStop)
        onStop();
    if (!IsRunActive() && Services.Title)
        Services.Title->SetTitle(DebugTitle);
    if (!error.empty() && Services.Messages)
        Services.Messages->ShowMessageBox(RunErrorCaption, error);
}

// ---------------------------------------------------------------------------
// The pause guard

TComputer::TPauseGuard TComputer::PauseRun()
{
    if (!IsRunActive() || (RunThread && RunThread->IsCallingThread()))
        return TPauseGuard();
    std::unique_lock<std::mutex> lock(PauseLock);
    PauseRequests.fetch_add(1, std::memory_order_relaxed);
    PauseChanged.wait(lock, [this] { return Parked || Running.load(std::memory_order_relaxed) == 0; });
    return TPauseGuard(this);
}

void TComputer::ReleasePause()
{
    {
        std::lock_guard<std::mutex> lock(PauseLock);
        PauseRequests.fetch_sub(1, std::memory_order_relaxed);
    }
    PauseChanged.notify_all();
}

TComputer::TPauseGuard& TComputer::TPauseGuard::operator=(TPauseGuard&& other) noexcept
{
    if (this != &other) {
        Release();
        Computer = other.Computer;
        other.Computer = nullptr;
    }
    return *this;
}

void TComputer::TPauseGuard::Release()
{
    if (Computer) {
        Computer->ReleasePause();
        Computer = nullptr;
    }
}
