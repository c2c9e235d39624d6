#include "core/Settings.h"

#include "core/Smart_registry.h"

TSettings* g_Settings = nullptr;

namespace {

const char* const BaseKey = "\\Software\\Tamrix\\Quorvane";
const char* const TimingsKey = "\\Options\\Emulator\\Timings";
const char* const VideoKey = "\\Options\\Emulator\\Video";
const char* const SoundKey = "\\Options\\Emulator\\Sound";

// The options dialog's ranges. A stored value outside them (edited by hand,
// or written by a broken build) would make the renderer write outside its
// bitmap or the sound wait for ever, so it counts as missing.
constexpr i32 MinZoom = 1;
constexpr i32 MaxZoom = 3;
constexpr i32 MinSoundSyncDelay = -100;
constexpr i32 MaxSoundSyncDelay = 100;

} // namespace

TSettings::TSettings(const std::string& storeFile)
    : StoreFile(storeFile)
{
    SmartRegistryT registry(BaseKey, StoreFile);

    JoystickEnabled = 1;
    JoystickHighBits = 0;
    JoystickPort = 0x001F;
    JoystickMask = 0x0020;
    KeyboardPort = 0x00FE;
    KeyboardMask = 0x0001;
    BorderPort = 0x00FE;
    BorderPortMask = 0x0001;
    MouseEnabled = 1;
    MouseXPort = 0xFBDF;
    MouseXMask = 0x0720;
    MouseYPort = 0xFFDF;
    MouseYMask = 0x0720;
    MouseButtonsPort = 0xFADF;
    MouseButtonsMask = 0x0320;
    AYEnabled = 1;
    AYSelectPort = 0xFFFD;
    AYSelectMask = 0xC002;
    AYWritePort = 0xBFFD;
    AYWriteMask = 0xC002;
    MasterClock = 14'000'000;
    CpuClock = u32(MasterClock / 4);

    registry.OpenSubKey(TimingsKey);
    TStatesPerLine = 224;
    PixelsPerLine = 2 * TStatesPerLine;
    PixelsPerHSync = 32;
    PixelsPerHBlank = 32;
    PixelsPerLeftBorder = 72;
    PixelsPerTVLeftBorder = registry.ReadInteger("PixelsPerTVLeftBorder", 40, 0, i32(PixelsPerLeftBorder));
    PixelsPerRightBorder = 56;
    PixelsPerTVRightBorder = registry.ReadInteger("PixelsPerTVRightBorder", 36, 0, i32(PixelsPerRightBorder));
    PixelsPerLineRest = i32(PixelsPerLine) - i32(PixelsPerHSync) - i32(PixelsPerHBlank) - i32(PixelsPerLeftBorder) - 256
        - i32(PixelsPerRightBorder);
    LinesPerFrame = 320;
    LinesPerVSync = 16;
    LinesPerTopBorder = 64;
    LinesPerTVTopBorder = registry.ReadInteger("LinesPerTVTopBorder", 46, 0, i32(LinesPerTopBorder));
    LinesPerBottomBorder = 48;
    LinesPerTVBottomBorder = registry.ReadInteger("LinesPerTVBottomBorder", 26, 0, i32(LinesPerBottomBorder));
    InterruptStart = 0;
    InterruptFirst = InterruptStart + 2;
    InterruptLength = 23;
    InterruptLast = u32(InterruptStart) + InterruptLength + 1;
    TStatesPerFrame = TStatesPerLine * LinesPerFrame;
    FrameEventTState = 0;

    registry.OpenSubKey(VideoKey);
    ShowFps = 1;
    Grayscale = 0;
    FlashPeriod = 32;
    FlashTicks = i32(FlashPeriod / 2);
    Attributes = 1;
    BorderShading = 1;
    InterruptPulse = 1;
    SyncPulses = 1;
    RayPosition = 1;
    Screen = 1;
    WideBorder = 0;
    DebugMode = 0;
    VideoPage = 0;
    BrightLevel = 255;
    NormalLevel = 187;
    ZeroLevel = 0;
    ShadingPercent = 50;
    BlendPercent = 50;
    DisplayArea = 0;
    SyncColour = 1;
    InterruptColour = 2;
    DefaultZoom = u8(registry.ReadInteger("DefaultZoom", 2, MinZoom, MaxZoom));

    registry.OpenSubKey(SoundKey);
    SampleRate = 44'100;
    SoundSyncDelay = registry.ReadInteger("SoundSyncDelay", -10, MinSoundSyncDelay, MaxSoundSyncDelay);

    SpeakerPort = 0x00FE;
    SpeakerMask = 0x0001;
    EarPort = 0x00FE;
    EarMask = 0x0001;
    MicPort = 0x00FE;
    MicMask = 0x0001;
    Model = 2;
    PagingPort = 0x7FFD;
    PagingMask = 0x8002;
    Rom48File = "roms.rom";
    Rom128File = "roms.rom";
    DiskRomFile = "roms.rom";
    Rom48Bank = 1;
    Rom128Bank = 0;
    DiskRomBank = 2;
    DiskInterface = 1;
    // The registry wrapper goes out of scope here and writes what it created.
}

TSettings::~TSettings()
{
    SmartRegistryT registry(BaseKey, StoreFile);
    registry.OpenSubKey(SoundKey);
    registry.WriteInteger("SoundSyncDelay", SoundSyncDelay);
    registry.OpenSubKey(VideoKey);
    registry.WriteInteger("DefaultZoom", i32(DefaultZoom));
    registry.OpenSubKey(TimingsKey);
    registry.WriteInteger("PixelsPerTVLeftBorder", PixelsPerTVLeftBorder);
    registry.WriteInteger("PixelsPerTVRightBorder", PixelsPerTVRightBorder);
    registry.WriteInteger("LinesPerTVTopBorder", LinesPerTVTopBorder);
    registry.WriteInteger("LinesPerTVBottomBorder", LinesPerTVBottomBorder);
}
