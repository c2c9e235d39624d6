#include "host/Direct_sound.h"

#include "core/Hex_text.h"
#include "core/Output_bit_device.h"
#include "core/Settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

TDirectSound* g_DirectSound = nullptr;

namespace {

// By function index: what failed, and the call of the sound API that did.
constexpr std::array<const char*, 11> FunctionTexts = {
    "Can not create DirectSound object!\nFunction 'DirectSoundCreate'",
    "Can not set DirectSound object Cooperative Level!\nFunction 'SetCooperativeLevel'",
    "Can not create DirectSound Buffer!\nFunction 'CreateSoundBuffer'",
    "Can not set Format for DirectSound Buffer!\nFunction 'SetFormat'",
    "Can not release Direct Sound object!\nFunction 'Release'",
    "Can not release Direct Sound buffer!\nFunction 'Release'",
    "Can not lock Direct Sound buffer!\nFunction 'Lock'",
    "Can not unlock Direct Sound buffer!\nFunction 'Unlock'",
    "Can not play Direct Sound buffer!\nFunction 'Play'",
    "Can not stop Direct Sound buffer!\nFunction 'Stop'",
    "Can not get current position of Direct Sound buffer!\nFunction 'GetCurrentPosition'",
};

struct TResultText {
    i32 Code;
    const char* Text;
};

constexpr std::array<TResultText, 17> ResultTexts = {{
    {DSResult::Ok, "'DS_OK': The request completed successfully."},
    {DSResult::Allocated, "'DSERR_ALLOCATED': The sound device is already in use by another program."},
    {DSResult::AlreadyInitialized, "'DSERR_ALREADYINITIALIZED': The sound object was initialised twice."},
    {DSResult::BadFormat, "'DSERR_BADFORMAT': The sound device does not support this sample format."},
    {DSResult::BufferLost, "'DSERR_BUFFERLOST': The sound device was lost while in use."},
    {DSResult::ControlUnavail, "'DSERR_CONTROLUNAVAIL': The buffer does not offer the requested control."},
    {DSResult::Generic, "'DSERR_GENERIC': The sound system failed for an unknown reason."},
    {DSResult::InvalidCall, "'DSERR_INVALIDCALL': The call is not valid in the present state."},
    {DSResult::InvalidParam, "'DSERR_INVALIDPARAM': A parameter of the call is not valid."},
    {DSResult::NoAggregation, "'DSERR_NOAGGREGATION': The object does not support aggregation."},
    {DSResult::NoDriver, "'DSERR_NODRIVER': No sound driver is available for use."},
    {DSResult::NoInterface, "'DSERR_NOINTERFACE': The requested interface is not supported."},
    {DSResult::OtherAppHasPrio, "'DSERR_OTHERAPPHASPRIO': Another program has priority over the sound device."},
    {DSResult::OutOfMemory, "'DSERR_OUTOFMEMORY': There is not enough memory for the sound buffer."},
    {DSResult::PrioLevelNeeded, "'DSERR_PRIOLEVELNEEDED': The call needs a higher cooperative level."},
    {DSResult::Uninitialized, "'DSERR_UNINITIALIZED': The sound object has not been initialised."},
    {DSResult::Unsupported, "'DSERR_UNSUPPORTED': The sound device does not support this function."},
}};

} // namespace

void TPollClock::Pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TPollClock::TTime TPollClock::Now()
{
    return TStallWatch::TClock::now();
}

void TRateWatch::Restart(u64 played, TPollClock::TTime now)
{
    for (TWindow* window : {&Long, &Short}) {
        window->StartPlayed = played;
        window->Start = now;
    }
    Started = true;
}

void TRateWatch::Note(u64 played, TPollClock::TTime now)
{
    if (!Started) {
        Restart(played, now);
        return;
    }
    i32 verdict = 0;
    if (Long.Close(played, now, SampleRate, verdict))
        Nominal.store(verdict == 0, std::memory_order_relaxed);
    if (Short.Close(played, now, SampleRate, verdict) && verdict != 0)
        Nominal.store(false, std::memory_order_relaxed);
}

bool TRateWatch::TWindow::Close(u64 played, TPollClock::TTime now, u32 sampleRate, i32& agreed)
{
    if (now - Start < Length)
        return false;
    const double seconds = std::chrono::duration<double>(now - Start).count();
    const double ratio = double(played - StartPlayed) / (seconds * sampleRate);
    const i32 verdict = ratio < 1.0 - Tolerance ? -1 : ratio > 1.0 + Tolerance ? 1 : 0;
    const bool agrees = verdict == Last;
    Last = verdict;
    StartPlayed = played;
    Start = now;
    agreed = verdict;
    return agrees;
}

TDirectSound::TDirectSound(std::unique_ptr<TSoundDevice> device, const THostServices& services,
                           std::unique_ptr<TPollClock> pollClock)
    : Device(std::move(device))
    , Services(services)
    , PollClock(pollClock ? std::move(pollClock) : std::make_unique<TPollClock>())
    , Rate(g_Settings->SampleRate)
{
    CalcSizes();
    try {
        if (!Device)
            throw TDSError(TDSFunction::Create, DSResult::NoDriver);
        Device->Open(g_Settings->SampleRate, u32(BufferBytes));
        Ok.store(true, std::memory_order_relaxed);
    } catch (const TDSError& error) {
        ShowError(error);
    } catch (const std::bad_alloc&) {
        ShowError(TDSError(TDSFunction::CreateSoundBuffer, DSResult::OutOfMemory));
    } catch (const std::exception&) {
        ShowError(TDSError(TDSFunction::Create, DSResult::Generic));
    }
}

TDirectSound::~TDirectSound() = default;

void TDirectSound::CalcSizes()
{
    FrameSamples = SoundSamplesPerFrame(*g_Settings);
    BufferBytes = 3 * FrameSamples;
    SetSyncOffset();
}

void TDirectSound::SetSyncOffset()
{
    const i32 delay = g_Settings->SoundSyncDelay.load(std::memory_order_relaxed);
    SyncDelay.store(std::clamp(delay, MinSyncDelay, MaxSyncDelay), std::memory_order_relaxed);
}

void TDirectSound::Play()
{
    if (!IsOk())
        return;
    try {
        Device->Clear();
        Device->Play();
        Rate.Restart(Device->GetPlayedSamples(), PollClock->Now());
        Playing.store(true, std::memory_order_relaxed);
    } catch (const TDSError& error) {
        Fail(error);
    }
}

void TDirectSound::Stop()
{
    if (!IsOk())
        return;
    try {
        Device->Stop();
        Playing.store(false, std::memory_order_relaxed);
    } catch (const TDSError& error) {
        Fail(error);
    }
}

void TDirectSound::Write(const u8* samples)
{
    if (!IsOk())
        return;
    try {
        if (Device->Write(samples, u32(FrameSamples)))
            Written += u64(FrameSamples);
    } catch (const TDSError& error) {
        Fail(error);
        return;
    }
    if (IsPlaying())
        Rate.Note(Device->GetPlayedSamples(), PollClock->Now());
}

void TDirectSound::WaitForPlayCursor()
{
    // The device watches its own output; this watch also ends the wait when
    // a device does not (its position merely repeats).
    TStallWatch watch;
    bool first = true;
    while (IsPlaying()) {
        PollClock->Pause();
        u64 p = 0;
        try {
            p = Device->GetPlayCursor();
        } catch (const TDSError& error) {
            Fail(error);
            return;
        }
        if (IsCursorPast(p, Written, GetSyncShift()))
            return;
        const TPollClock::TTime now = PollClock->Now();
        if (first) {
            watch.Restart(p, now);
            first = false;
        } else if (watch.IsStalled(p, now)) {
            Fail(TDSError(TDSFunction::GetCurrentPosition, DSResult::Generic));
            return;
        }
    }
}

bool TDirectSound::IsPlaying() const
{
    return Ok.load(std::memory_order_relaxed) && Playing.load(std::memory_order_relaxed);
}

bool TDirectSound::IsPacing() const
{
    return IsPlaying() && Rate.IsNominal();
}

void TDirectSound::Fail(const TDSError& error)
{
    Ok.store(false, std::memory_order_relaxed);
    ShowError(error);
}

void TDirectSound::ShowError(const TDSError& error)
{
    if (Reported.exchange(true))
        return;
    try {
        std::string text = ErrorText(error);
        TMessageService* messages = Services.Messages;
        if (Services.UiPoster && messages)
            Services.UiPoster->PostToUi([messages, text] { messages->ShowMessageBox(ErrorCaption, text); });
        else if (messages)
            messages->ShowMessageBox(ErrorCaption, text);
        else
            std::fprintf(stderr, "%s\n%s\n", ErrorCaption, text.c_str());
    } catch (...) {
        // Reporting must not take the emulation down; the sound is off anyway.
    }
}

std::string TDirectSound::ErrorText(const TDSError& error)
{
    const char* function = error.Function >= 0 && size_t(error.Function) < FunctionTexts.size()
                               ? FunctionTexts[size_t(error.Function)]
                               : "Sound output failed!";
    return std::string(function) + " return result code " + ResultText(error.Result);
}

std::string TDirectSound::ResultText(i32 result)
{
    for (const TResultText& known : ResultTexts) {
        if (known.Code == result)
            return known.Text;
    }
    return HexDWord(static_cast<u32>(result)) + "h.";
}

i32 TDirectSound::SyncShift(i32 delay, i32 frameSamples)
{
    delay = std::clamp(delay, MinSyncDelay, MaxSyncDelay);
    const i32 d = static_cast<i32>(u32(std::abs(delay)) * u32(frameSamples) / 100u);
    return delay >= 0 ? d : -d;
}

// Past, not inside: a writer that comes late (the position went beyond the
// third) writes at once instead of waiting for the ring to come round.
bool TDirectSound::IsCursorPast(u64 playCursor, u64 written, i32 shift)
{
    return static_cast<i64>(playCursor) - static_cast<i64>(written) >= shift;
}
