#include "platform/Sdl_sound_device.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<u8, 256> OutputLevels = [] {
    std::array<u8, 256> levels{};
    for (u32 sample = 0; sample < levels.size(); ++sample)
        levels[sample] = static_cast<u8>(std::min<u32>(255, TSdlSoundDevice::Silence + (sample * 3 + 2) / 4));
    return levels;
}();

} // namespace

u8 TSdlSoundDevice::OutputLevel(u8 sample)
{
    return OutputLevels[sample];
}

TSdlSoundDevice::~TSdlSoundDevice()
{
    if (DeviceId != 0)
        SDL_CloseAudioDevice(DeviceId);  // waits for a running callback
    if (SubsystemStarted)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSdlSoundDevice::Throw(TDSFunction function, i32 result, const char* reason)
{
    Error = reason ? reason : "";
    std::fprintf(stderr, "quorvane: sound: %s\n", Error.c_str());
    throw TDSError(function, result);
}

void TSdlSoundDevice::Open(u32 sampleRate, u32 ringSamples)
{
    if (DeviceId != 0)
        Throw(TDSFunction::Create, DSResult::AlreadyInitialized, "the device is already open");
    if (ringSamples == 0 || sampleRate == 0 || sampleRate > 0x7FFFFFFF)
        Throw(TDSFunction::CreateSoundBuffer, DSResult::InvalidParam, "no ring or no sample rate");
    // Qt owns the process; SDL is here for audio only.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        Throw(TDSFunction::Create, DSResult::NoDriver, SDL_GetError());
    SubsystemStarted = true;

    Ring.Reset(ringSamples);
    BlockSamples = std::clamp<u32>(sampleRate * BlockMilliseconds / 1000, 1, 0xFFFF);
    Lead = std::max(ringSamples / 3, BlockSamples);

    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(sampleRate);
    wanted.format = AUDIO_U8;
    wanted.channels = 1;
    wanted.samples = static_cast<Uint16>(BlockSamples);
    wanted.callback = &TSdlSoundDevice::Callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the
    // callback always sees our rate, format and block.
    DeviceId = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (DeviceId == 0)
        Throw(TDSFunction::Create, DSResult::NoDriver, SDL_GetError());
    SDL_PauseAudioDevice(DeviceId, 0);
}

void TSdlSoundDevice::Clear()
{
    if (DeviceId == 0)
        return;
    SDL_LockAudioDevice(DeviceId);
    Ring.Drop();
    SDL_UnlockAudioDevice(DeviceId);
}

void TSdlSoundDevice::Play()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Play, DSResult::Uninitialized);
    {
        std::lock_guard<std::mutex> lock(WatchLock);
        Watch.Restart(GetPlayedSamples(), TStallWatch::TClock::now());
    }
    Playing.store(true, std::memory_order_release);
}

void TSdlSoundDevice::Stop()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Stop, DSResult::Uninitialized);
    Playing.store(false, std::memory_order_release);
}

bool TSdlSoundDevice::Write(const u8* samples, u32 count)
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Lock, DSResult::Uninitialized);
    return Ring.Push(samples, count);
}

u64 TSdlSoundDevice::GetPlayCursor()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::GetCurrentPosition, DSResult::Uninitialized);
    if (SDL_GetAudioDeviceStatus(DeviceId) == SDL_AUDIO_STOPPED)
        Throw(TDSFunction::GetCurrentPosition, DSResult::BufferLost, "the audio device was lost");
    if (Playing.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(WatchLock);
        if (Watch.IsStalled(GetPlayedSamples(), TStallWatch::TClock::now()))
            Throw(TDSFunction::GetCurrentPosition, DSResult::Generic, "the audio device stopped playing");
    }
    return Ring.Taken() + Lead;
}

std::string TSdlSoundDevice::DriverName() const
{
    const char* name = SubsystemStarted ? SDL_GetCurrentAudioDriver() : nullptr;
    return name ? name : "";
}

void TSdlSoundDevice::Callback(void* device, unsigned char* stream, int length)
{
    if (length > 0)
        static_cast<TSdlSoundDevice*>(device)->Fill(stream, static_cast<u32>(length));
}

void TSdlSoundDevice::Fill(u8* stream, u32 length)
{
    if (!Playing.load(std::memory_order_acquire)) {
        FadeToSilence(stream, length);
        return;
    }
    const u32 taken = Ring.Pop(stream, length);
    for (u32 i = 0; i < taken; ++i)
        stream[i] = OutputLevels[stream[i]];
    if (taken > 0)
        Level = stream[taken - 1];
    FadeToSilence(stream + taken, length - taken);
    Played.fetch_add(length, std::memory_order_acq_rel);
}

void TSdlSoundDevice::FadeToSilence(u8* stream, u32 length)
{
    for (u32 i = 0; i < length; ++i) {
        if (Level > Silence)
            --Level;
        else if (Level < Silence)
            ++Level;
        stream[i] = Level;
    }
}
