// Emulated T-states per second of the processor alone, on a long-running
// loop of mixed instructions: loads, 8-bit arithmetic and logic, stack,
// relative jumps and DJNZ, indexed loads and arithmetic, CB rotates and BIT,
// CALL/RET, LDIR, SBC HL, EX (SP),HL, EXX and EX AF,AF'. Run once with no
// video chip (no latching) and once with the real video chip latching every
// T-state. Real time is 3.5 million T-states per second.
#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Settings.h"
#include "core/Video_card.h"
#include "core/Z80.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// pasmo --bin of this source, org 0x8000:
//   start:   di / ld sp,65000
//   outer:   ld hl,49152 / ld de,50176 / ld b,0 / ld c,17
//   inner:   ld a,(hl) / add a,b / ld (de),a / inc hl / inc de / xor c / rlca
//            ld c,a / push bc / pop bc / and 15 / or b / cp 200 / jr c,skip
//            inc a
//   skip:    djnz inner
//            ld ix,49152 / ld iy,50176 / ld b,64
//   indexed: ld a,(ix+5) / add a,(iy+6) / ld (ix+7),a / srl (hl) / bit 3,a
//            rl c / call addsub / inc ix / djnz indexed
//            ld hl,49152 / ld de,51200 / ld bc,32 / ldir
//            ld hl,1000 / ld de,300 / sbc hl,de / ex (sp),hl / ex (sp),hl
//            exx / ex af,af' / exx / ex af,af' / jp outer
//   addsub:  ex de,hl / add hl,bc / ex de,hl / ret
const u8 Program[] = {
    0xf3, 0x31, 0xe8, 0xfd, 0x21, 0x00, 0xc0, 0x11, 0x00, 0xc4, 0x06, 0x00, 0x0e, 0x11, 0x7e, 0x80, 0x12,
    0x23, 0x13, 0xa9, 0x07, 0x4f, 0xc5, 0xc1, 0xe6, 0x0f, 0xb0, 0xfe, 0xc8, 0x38, 0x01, 0x3c, 0x10, 0xec,
    0xdd, 0x21, 0x00, 0xc0, 0xfd, 0x21, 0x00, 0xc4, 0x06, 0x40, 0xdd, 0x7e, 0x05, 0xfd, 0x86, 0x06, 0xdd,
    0x77, 0x07, 0xcb, 0x3e, 0xcb, 0x5f, 0xcb, 0x11, 0xcd, 0x5e, 0x80, 0xdd, 0x23, 0x10, 0xea, 0x21, 0x00,
    0xc0, 0x11, 0x00, 0xc8, 0x01, 0x20, 0x00, 0xed, 0xb0, 0x21, 0xe8, 0x03, 0x11, 0x2c, 0x01, 0xed, 0x52,
    0xe3, 0xe3, 0xd9, 0x08, 0xd9, 0x08, 0xc3, 0x04, 0x80, 0xeb, 0x09, 0xeb, 0xc9,
};
constexpr u16 Origin = 0x8000;

struct TFigures {
    double TStatesPerSecond;
    double StepsPerSecond;
};

// Steps the processor for about `seconds` of host time; the best of three.
TFigures Measure(TMemory& memory, TPorts& ports, TVideoCard* video, double seconds)
{
    TFigures best{0, 0};
    for (int round = 0; round < 3; ++round) {
        TZ80 cpu(&memory, &ports);
        cpu.SetVideoCard(video);
        cpu.Reset();
        for (u32 i = 0; i < sizeof Program; ++i)
            memory.WriteByte(static_cast<u16>(Origin + i), Program[i]);
        cpu.PC = Origin;

        using TClock = std::chrono::steady_clock;
        const TClock::time_point start = TClock::now();
        const i64 frameLength = g_Settings->TStatesPerFrame;
        u64 steps = 0;
        double elapsed = 0;
        do {
            for (int i = 0; i < 1'000'000; ++i)
                cpu.Step();
            steps += 1'000'000;
            elapsed = std::chrono::duration<double>(TClock::now() - start).count();
        } while (elapsed < seconds);
        const double tstates = static_cast<double>(cpu.Frame) * static_cast<double>(frameLength) + cpu.Tact;
        if (tstates / elapsed > best.TStatesPerSecond)
            best = TFigures{tstates / elapsed, static_cast<double>(steps) / elapsed};
    }
    return best;
}

void Report(const char* what, const TFigures& figures)
{
    std::printf("%-34s %8.1f million T-states/s  (%6.1f x real time, %6.1f million steps/s)\n", what,
                figures.TStatesPerSecond / 1e6, figures.TStatesPerSecond / 3.5e6, figures.StepsPerSecond / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    // Settings on a store of their own, so the user's stay untouched.
    std::string store = (std::filesystem::temp_directory_path() / "quorvane-bench-z80-XXXXXX").string();
    const int fd = ::mkstemp(store.data());
    if (fd >= 0)
        ::close(fd);
    {
        TSettings settings(store);
        g_Settings = &settings;
        TMemory memory(TMemory::Model48);
        TPorts ports;

        Report("CPU, no video chip:", Measure(memory, ports, nullptr, seconds));
        {
            TZ80 owner(&memory, &ports);
            TVideoCard video(&memory, &owner);
            Report("CPU, video chip latching:", Measure(memory, ports, &video, seconds));
        }
        g_Settings = nullptr;
    }
    std::filesystem::remove(store);
    return 0;
}
