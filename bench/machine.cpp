// Emulated speed of the whole machine, headless and unpaced: the computer as
// the program builds it (default roms.rom, the renderer drawing every frame,
// the sound devices and the tape caught up as a run catches them up), no
// sound output, no window, no clock. 50 frames a second is real time.
//
// Four loads, each on a machine of its own, measured on the run thread for a
// few seconds, best of three:
//   idle48    the 48K machine, BASIC booted and waiting for a key
//   idle128   the same on the 128K machine
//   heavy     48K: a program at 0x8000 copies 2 KB into the screen (LDIR),
//             runs a read-modify-write loop over RAM and writes the border
//             every pass; IM 2 with its own handler
//   tape      48K: a program calls the ROM's loader (LD-BYTES at 0x0556) for
//             6,912-byte blocks into the screen, forever, from a
//             standard-speed tape played edge by edge (no traps)
// The last two are the programs and the machine state of the side-by-side
// measurement against another emulator, built here so that the bench needs
// nothing outside the build: the same code bytes (listed beside them), the
// same 48K SNA image, and a tape of the same shape (pseudo-random blocks).
//
// Usage: bench_machine [seconds per round, default 2] [idle48|idle128|heavy|tape: only one]
//        bench_machine --frames N [load]
// The second form steps exactly N frames of each load on the calling thread
// and prints no rates: a fixed amount of work for instruction-counting
// profilers (valgrind --tool=callgrind), whose counts repeat on a busy
// machine where times do not. It goes through Step, the debugger's path,
// which catches the devices up after every instruction and publishes the
// picture at every frame end where a run does not: compare such counts with
// each other only.
#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Tape_recorder.h"
#include "core/Z80.h"
#include "media/File.h"
#include "media/Snapshot_sna.h"
#include "media/Tape.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TBytes = std::vector<u8>;

//  8000  31 00 7F     start: ld sp,0x7F00
//  8003  3E 81               ld a,0x81
//  8005  ED 47               ld i,a
//  8007  ED 5E               im 2
//  8009  FB                  ei
//  800A  21 00 C0     loop:  ld hl,0xC000
//  800D  11 00 40            ld de,0x4000
//  8010  01 00 08            ld bc,0x0800
//  8013  ED B0               ldir
//  8015  06 00               ld b,0
//  8017  7E           inner: ld a,(hl)
//  8018  80                  add a,b
//  8019  77                  ld (hl),a
//  801A  23                  inc hl
//  801B  CB 27               sla a
//  801D  10 F8               djnz inner
//  801F  3A 2D 80            ld a,(border)
//  8022  3C                  inc a
//  8023  E6 07               and 7
//  8025  32 2D 80            ld (border),a
//  8028  D3 FE               out (0xFE),a
//  802A  C3 0A 80            jp loop
//  802D  00           border: defb 0
const TBytes HeavyProgram = {
    0x31, 0x00, 0x7F, 0x3E, 0x81, 0xED, 0x47, 0xED, 0x5E, 0xFB, 0x21, 0x00, 0xC0, 0x11, 0x00, 0x40,
    0x01, 0x00, 0x08, 0xED, 0xB0, 0x06, 0x00, 0x7E, 0x80, 0x77, 0x23, 0xCB, 0x27, 0x10, 0xF8, 0x3A,
    0x2D, 0x80, 0x3C, 0xE6, 0x07, 0x32, 0x2D, 0x80, 0xD3, 0xFE, 0xC3, 0x0A, 0x80, 0x00,
};

//  8000  31 00 7F        start: ld sp,0x7F00
//  8003  3E 81                  ld a,0x81
//  8005  ED 47                  ld i,a
//  8007  ED 5E                  im 2
//  8009  FB                     ei
//  800A  DD 21 00 40     loop:  ld ix,0x4000
//  800E  11 00 1B               ld de,6912
//  8011  3E FF                  ld a,0xFF
//  8013  37                     scf
//  8014  CD 56 05               call 0x0556
//  8017  30 09                  jr nc,bad
//  8019  2A 90 83               ld hl,(good)
//  801C  23                     inc hl
//  801D  22 90 83               ld (good),hl
//  8020  18 E8                  jr loop
//  8022  2A 92 83        bad:   ld hl,(badc)
//  8025  23                     inc hl
//  8026  22 92 83               ld (badc),hl
//  8029  18 DF                  jr loop
//        (good: 0x8390, badc: 0x8392)
const TBytes TapeLoadProgram = {
    0x31, 0x00, 0x7F, 0x3E, 0x81, 0xED, 0x47, 0xED, 0x5E, 0xFB, 0xDD, 0x21, 0x00, 0x40, 0x11, 0x00,
    0x1B, 0x3E, 0xFF, 0x37, 0xCD, 0x56, 0x05, 0x30, 0x09, 0x2A, 0x90, 0x83, 0x23, 0x22, 0x90, 0x83,
    0x18, 0xE8, 0x2A, 0x92, 0x83, 0x23, 0x22, 0x92, 0x83, 0x18, 0xDF,
};
constexpr u16 GoodLoads = 0x8390;
constexpr u16 BadLoads = 0x8392;

// Both programs' interrupt handler: the IM 2 table at 0x8100 (257 bytes of
// 0x83) sends every data bus value to 0x8383, which counts at 0x838F.
//  8383  E5         push hl
//  8384  2A 8F 83   ld hl,(ticks)
//  8387  23         inc hl
//  8388  22 8F 83   ld (ticks),hl
//  838B  E1         pop hl
//  838C  FB         ei
//  838D  ED 4D      reti
const TBytes InterruptHandler = {0xE5, 0x2A, 0x8F, 0x83, 0x23, 0x22, 0x8F, 0x83, 0xE1, 0xFB, 0xED, 0x4D};

// A 48K SNA image: the program at 0x8000 (PC stacked at 0x7EFE), white
// paper, BORDCR for the loader's end, I = 0x81, IY = 0x5C3A, IM 2,
// interrupts off until the program's EI, border 7.
TBytes Sna48(const TBytes& program)
{
    TBytes image(TSnapshotSNA::Size48, 0);
    u8* ram = image.data() + TSnapshotSNA::HeaderSize - 0x4000;  // indexed by address
    for (u32 address = 0x5800; address < 0x5B00; ++address)
        ram[address] = 0x38;
    ram[0x5C48] = 0x38;
    std::copy(program.begin(), program.end(), ram + 0x8000);
    for (u32 address = 0x8100; address <= 0x8200; ++address)
        ram[address] = 0x83;
    std::copy(InterruptHandler.begin(), InterruptHandler.end(), ram + 0x8383);
    constexpr u16 sp = 0x7EFE;
    ram[sp] = 0x00;
    ram[sp + 1] = 0x80;
    image[0] = 0x81;                   // I
    image[15] = 0x3A;                  // IY
    image[16] = 0x5C;
    image[22] = 0xFF;                  // AF = 0xFF00
    image[23] = sp & 0xFF;             // SP
    image[24] = sp >> 8;
    image[25] = 2;                     // IM 2
    image[26] = 7;                     // border
    return image;
}

// `count` TAP data blocks (flag 0xFF, 6,912 pseudo-random bytes, checksum).
TBytes TapBlocks(i32 count)
{
    TBytes tape;
    u32 seed = 1982;
    for (i32 block = 0; block < count; ++block) {
        TBytes data{0xFF};
        for (i32 i = 0; i < 6912; ++i) {
            seed = seed * 1103515245u + 12345u;
            data.push_back(static_cast<u8>(seed >> 16));
        }
        u8 checksum = 0;
        for (const u8 b : data)
            checksum ^= b;
        data.push_back(checksum);
        tape.push_back(static_cast<u8>(data.size()));
        tape.push_back(static_cast<u8>(data.size() >> 8));
        tape.insert(tape.end(), data.begin(), data.end());
    }
    return tape;
}

struct TLoad {
    const char* Name;
    const char* Title;
    u32 Model;  // TSettings::Model: 1 the 48K machine, 2 the 128K
};

const TLoad Loads[] = {
    {"idle48", "idle 48K (key wait):", 1},
    {"idle128", "idle 128K (key wait):", 2},
    {"heavy", "CPU-heavy program:", 1},
    {"tape", "tape load (LD-BYTES):", 1},
};

// Runs the machine unpaced for about `seconds`; returns frames per second.
double MeasureRun(TComputer& computer, double seconds)
{
    using TClock = std::chrono::steady_clock;
    const i32 firstFrame = computer.Z80->Frame;
    const TClock::time_point start = TClock::now();
    computer.Run(nullptr);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    computer.Stop();
    const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
    return static_cast<double>(computer.Z80->Frame - firstFrame) / elapsed;
}

double Best(TComputer& computer, double seconds)
{
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        const double fps = MeasureRun(computer, seconds);
        if (fps > best)
            best = fps;
    }
    return best;
}

void StepFrames(TComputer& computer, i32 frames)
{
    const i32 last = computer.Z80->Frame + frames;
    while (computer.Z80->Frame < last)
        computer.Step();
}

// The machine of one load, ready to measure. The tape file goes to `folder`.
void Prepare(TComputer& computer, const std::string& load, const std::string& folder)
{
    computer.SetNoSync(1);
    computer.Reset();
    if (load == "idle48" || load == "idle128") {
        // Boot to the key-wait loop (a few seconds of emulated time).
        StepFrames(computer, 200);
        return;
    }
    TSnapshotSNA snapshot;
    const TBytes image = Sna48(load == "heavy" ? HeavyProgram : TapeLoadProgram);
    snapshot.LoadImage(SnapshotTargetOf(computer), image);
    if (load == "tape") {
        // Enough blocks for over an hour of emulated loading (each takes 42 s).
        const std::string path = folder + "/blocks.tap";
        const TBytes tape = TapBlocks(100);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tape.data()),
                                                    static_cast<std::streamsize>(tape.size()));
        computer.TapeRecorder->SetTape(std::make_unique<TTape>(std::make_unique<TFile>(path), TTape::TypeTAP));
        computer.TapeRecorder->Play();
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool fixed = argc > 2 && std::string(argv[1]) == "--frames";
    const int first = fixed ? 2 : 1;
    const double seconds = argc > first ? std::atof(argv[first]) : 2.0;
    const std::string only = argc > first + 1 ? argv[first + 1] : "";
    // Settings on a store of their own, so the user's stay untouched.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quorvane-bench-machine-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (const TLoad& load : Loads) {
        if (!only.empty() && only != load.Name)
            continue;
        TSettings settings((folder / "settings").string());
        settings.Model = load.Model;
        g_Settings = &settings;
        {
            TComputer computer(THostServices{});
            Prepare(computer, load.Name, folder.string());
            if (fixed) {
                StepFrames(computer, static_cast<i32>(seconds));
            } else {
                const double fps = Best(computer, seconds);
                std::printf("%-24s %9.0f frames/s  (%6.1f x real time, %7.1f million T-states/s)", load.Title, fps,
                            fps / 50.0, fps * settings.TStatesPerFrame / 1e6);
                if (std::string(load.Name) == "tape")
                    std::printf("  loads: %d good, %d bad",
                                computer.Memory->ReadByte(GoodLoads) | computer.Memory->ReadByte(GoodLoads + 1) << 8,
                                computer.Memory->ReadByte(BadLoads) | computer.Memory->ReadByte(BadLoads + 1) << 8);
                std::printf("\n");
            }
        }
        g_Settings = nullptr;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
