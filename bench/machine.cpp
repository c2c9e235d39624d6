// Emulated frames per second of the whole machine, headless and unpaced:
// the computer as the program builds it (128K model, default roms.rom, the
// renderer drawing every frame, the sound devices caught up as a run
// catches them up), no sound output, no window, no clock. 50 frames a
// second is real time.
//
// Two loads, each measured on the run thread for a few seconds, best of
// three:
//   idle ROM  - BASIC booted and waiting for a key (its interrupt scans the
//               keyboard 50 times a frame-second)
//   CPU-heavy - a program at 0x8000 with interrupts on that copies 2 KB into
//               the screen (LDIR) and runs a read-modify-write loop over RAM
//
// Usage: bench_machine [seconds per round, default 2] [idle|heavy: only one]
//        bench_machine --frames N [idle|heavy]
// The second form steps exactly N frames of each load on the calling thread
// and prints no rates: a fixed amount of work for instruction-counting
// profilers (valgrind --tool=callgrind), whose counts repeat on a busy
// machine where times do not. It goes through Step, the debugger's path,
// which catches the sound devices up and publishes the picture at every
// frame end where a run does not: compare such counts with each other only.
#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Z80.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

//  8000  FB        ei
//  8001  21 00 C0  loop:  ld hl,0xC000
//  8004  11 00 40         ld de,0x4000
//  8007  01 00 08         ld bc,0x0800
//  800A  ED B0            ldir
//  800C  06 00            ld b,0
//  800E  7E        inner: ld a,(hl)
//  800F  80               add a,b
//  8010  77               ld (hl),a
//  8011  23               inc hl
//  8012  CB 27            sla a
//  8014  10 F8            djnz inner
//  8016  C3 01 80         jp loop
const u8 HeavyProgram[] = {
    0xFB, 0x21, 0x00, 0xC0, 0x11, 0x00, 0x40, 0x01, 0x00, 0x08, 0xED, 0xB0,
    0x06, 0x00, 0x7E, 0x80, 0x77, 0x23, 0xCB, 0x27, 0x10, 0xF8, 0xC3, 0x01, 0x80,
};
constexpr u16 HeavyOrigin = 0x8000;

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

void Report(const char* what, double fps)
{
    std::printf("%-26s %9.0f frames/s  (%6.1f x real time, %7.1f million T-states/s)\n", what, fps, fps / 50.0,
                fps * 71'680 / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const bool fixed = argc > 2 && std::string(argv[1]) == "--frames";
    const int first = fixed ? 2 : 1;
    const double seconds = argc > first ? std::atof(argv[first]) : 2.0;
    const std::string only = argc > first + 1 ? argv[first + 1] : "";
    // Settings on a store of their own, so the user's stay untouched.
    std::string store = (std::filesystem::temp_directory_path() / "quorvane-bench-machine-XXXXXX").string();
    const int fd = ::mkstemp(store.data());
    if (fd >= 0)
        ::close(fd);
    {
        TSettings settings(store);
        g_Settings = &settings;
        {
            TComputer computer(THostServices{});
            computer.SetNoSync(1);
            computer.Reset();
            // Boot to the key-wait loop (a couple of seconds of emulated time).
            while (computer.Z80->Frame < 200)
                computer.Step();
            if (fixed && only != "heavy")
                StepFrames(computer, static_cast<i32>(seconds));
            else if (only != "heavy")
                Report("idle ROM (key wait):", Best(computer, seconds));

            for (u32 i = 0; i < sizeof HeavyProgram; ++i)
                computer.Memory->WriteByte(static_cast<u16>(HeavyOrigin + i), HeavyProgram[i]);
            computer.Z80->SP = 0x7F00;
            computer.Z80->PC = HeavyOrigin;
            computer.Z80->Halted = 0;
            if (fixed && only != "idle")
                StepFrames(computer, static_cast<i32>(seconds));
            else if (only != "idle")
                Report("CPU-heavy program:", Best(computer, seconds));
        }
        g_Settings = nullptr;
    }
    std::filesystem::remove(store);
    return 0;
}
