// The machine's timings, port decodes, ROM files, display options, colour
// levels and sound options. One instance, g_Settings, built and destroyed
// by main (and by tests); every part of the program reads its fields
// directly. Six fields are kept in the per-user store (SmartRegistryT).
//
// Fields that the user-interface or key thread change while the run thread
// reads them are atomics; the rest are fixed after construction.
#pragma once

#include "core/Types.h"

#include <atomic>
#include <string>

class TSettings {
public:
    // Reads the six stored values from the per-user store, creating missing
    // ones with their defaults. The empty path means the user's own store;
    // tests name a file of their own.
    explicit TSettings(const std::string& storeFile = {});
    // Writes the six stored values back.
    ~TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    // Frame and line geometry.
    u32 TStatesPerFrame;        // derived: TStatesPerLine x LinesPerFrame
    u32 TStatesPerLine;         // 224
    u32 PixelsPerLine;          // derived: 2 x TStatesPerLine
    u32 LinesPerFrame;          // 320
    i32 MasterClock;            // 14,000,000 Hz
    u32 PixelsPerLeftBorder;    // 72
    std::atomic<i32> PixelsPerTVLeftBorder;   // stored; 40
    u32 PixelsPerRightBorder;   // 56
    std::atomic<i32> PixelsPerTVRightBorder;  // stored; 36
    u32 PixelsPerHSync;         // 32
    u32 PixelsPerHBlank;        // 32
    i32 PixelsPerLineRest;      // derived: pixels after the right border (0)
    u32 LinesPerVSync;          // 16
    u32 LinesPerTopBorder;      // 64
    std::atomic<i32> LinesPerTVTopBorder;     // stored; 46
    u32 LinesPerBottomBorder;   // 48
    std::atomic<i32> LinesPerTVBottomBorder;  // stored; 26
    u32 CpuClock;               // derived: MasterClock / 4 = 3,500,000 Hz

    // The maskable interrupt and the frame event.
    i32 InterruptStart;         // 0
    i32 InterruptFirst;         // derived: InterruptStart + 2
    u32 InterruptLength;        // 23
    u32 InterruptLast;          // derived: InterruptStart + InterruptLength + 1
    u32 FrameEventTState;       // 0

    // Display options of the screen view and the renderer.
    std::atomic<u8> ShowFps;        // 1: frames per second in the caption
    std::atomic<u8> Grayscale;      // 0
    u32 FlashPeriod;                // 32 clock ticks
    i32 FlashTicks;                 // derived: FlashPeriod / 2
    std::atomic<u8> Attributes;     // 1
    std::atomic<u8> BorderShading;  // 1
    std::atomic<u8> InterruptPulse; // 1
    std::atomic<u8> SyncPulses;     // 1
    std::atomic<u8> RayPosition;    // 1
    std::atomic<u8> Screen;         // 1
    std::atomic<u8> WideBorder;     // 0
    std::atomic<u8> DebugMode;      // 0 "RayTrace", 1 "RealTime"
    std::atomic<u8> VideoPage;      // 0 paged by 0x7FFD, 5 primary, 7 secondary
    u8 BrightLevel;                 // 255
    u8 NormalLevel;                 // 187
    u8 ZeroLevel;                   // 0
    u8 ShadingPercent;              // 50
    std::atomic<u8> DefaultZoom;    // stored; 2 (1 to 3)
    u8 BlendPercent;                // 50
    std::atomic<u8> DisplayArea;    // 0 Full Raster, 1 Full Border, 2 TV Screen, 3 Paper Only
    u8 SyncColour;                  // 1
    u8 InterruptColour;             // 2

    // Sound.
    u32 SampleRate;                     // 44,100 Hz
    std::atomic<i32> SoundSyncDelay;    // stored; -10 (percent of a frame)

    // Port decodes: a port A is selected when ((A XOR port) AND mask) == 0.
    u16 BorderPort;         // 0x00FE
    u16 BorderPortMask;     // 0x0001  ...............0
    u8 AYEnabled;           // 1
    u16 AYSelectPort;       // 0xFFFD
    u16 AYSelectMask;       // 0xC002  11............1.
    u16 AYWritePort;        // 0xBFFD
    u16 AYWriteMask;        // 0xC002  10............0.
    u16 KeyboardPort;       // 0x00FE
    u16 KeyboardMask;       // 0x0001  ...............0
    u8 JoystickEnabled;     // 1
    u8 JoystickHighBits;    // 0
    u16 JoystickPort;       // 0x001F
    u16 JoystickMask;       // 0x0020  ..........0.....
    u8 MouseEnabled;        // 1
    u16 MouseXPort;         // 0xFBDF
    u16 MouseXMask;         // 0x0720  .....011..0.....
    u16 MouseYPort;         // 0xFFDF
    u16 MouseYMask;         // 0x0720  .....111..0.....
    u16 MouseButtonsPort;   // 0xFADF
    u16 MouseButtonsMask;   // 0x0320  ......10..0.....
    u16 SpeakerPort;        // 0x00FE
    u16 SpeakerMask;        // 0x0001  ...............0
    u16 EarPort;            // 0x00FE
    u16 EarMask;            // 0x0001  ...............0
    u16 MicPort;            // 0x00FE
    u16 MicMask;            // 0x0001  ...............0

    // Memory model and ROM images.
    u32 Model;              // 1 = 48K, 2 = 128K
    u16 PagingPort;         // 0x7FFD
    u16 PagingMask;         // 0x8002  0.............0.
    std::string Rom48File;  // "roms.rom"
    std::string Rom128File; // "roms.rom"
    std::string DiskRomFile;// "roms.rom"
    u8 Rom48Bank;           // 1
    u8 Rom128Bank;          // 0
    u8 DiskRomBank;         // 2
    u8 DiskInterface;       // 1

private:
    std::string StoreFile;
};

// The one settings object; set by main (and by tests) for the program's life.
extern TSettings* g_Settings;
