#include "platform/Sdl_sound_device.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

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

    RingSamples = ringSamples;
    Ring = std::make_unique<std::atomic<u8>[]>(ringSamples);  // all 0
    Position.store(0, std::memory_order_relaxed);

    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(sampleRate);
    wanted.format = AUDIO_U8;
    wanted.channels = 1;
    wanted.samples = CallbackSamples;
    wanted.callback = &TSdlSoundDevice::Callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the
    // callback always sees our rate and format.
    DeviceId = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (DeviceId == 0)
        Throw(TDSFunction::Create, DSResult::NoDriver, SDL_GetError());
    SDL_PauseAudioDevice(DeviceId, 0);
}

void TSdlSoundDevice::Clear()
{
    for (u32 i = 0; i < RingSamples; ++i)
        Ring[i].store(0, std::memory_order_relaxed);
}

void TSdlSoundDevice::Play()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Play, DSResult::Uninitialized);
    {
        std::lock_guard<std::mutex> lock(WatchLock);
        Watch.Restart(Consumed.load(std::memory_order_acquire), TStallWatch::TClock::now());
    }
    Playing.store(true, std::memory_order_release);
}

void TSdlSoundDevice::Stop()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Stop, DSResult::Uninitialized);
    Playing.store(false, std::memory_order_release);
}

void TSdlSoundDevice::Write(u32 offset, const u8* samples, u32 count)
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::Lock, DSResult::Uninitialized);
    if (offset > RingSamples || count > RingSamples - offset)
        throw TDSError(TDSFunction::Lock, DSResult::InvalidParam);
    for (u32 i = 0; i < count; ++i)
        Ring[offset + i].store(samples[i], std::memory_order_relaxed);
}

u32 TSdlSoundDevice::GetPlayCursor()
{
    if (DeviceId == 0)
        throw TDSError(TDSFunction::GetCurrentPosition, DSResult::Uninitialized);
    if (SDL_GetAudioDeviceStatus(DeviceId) == SDL_AUDIO_STOPPED)
        Throw(TDSFunction::GetCurrentPosition, DSResult::BufferLost, "the audio device was lost");
    if (Playing.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(WatchLock);
        if (Watch.IsStalled(Consumed.load(std::memory_order_acquire), TStallWatch::TClock::now()))
            Throw(TDSFunction::GetCurrentPosition, DSResult::Generic, "the audio device stopped playing");
    }
    return Position.load(std::memory_order_acquire);
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
        std::memset(stream, 0, length);  // silence is 0, as the mixer makes it
        return;
    }
    u32 position = Position.load(std::memory_order_relaxed);
    for (u32 i = 0; i < length; ++i) {
        stream[i] = Ring[position].load(std::memory_order_relaxed);
        if (++position == RingSamples)
            position = 0;
    }
    Position.store(position, std::memory_order_release);
    Consumed.fetch_add(length, std::memory_order_acq_rel);
}
