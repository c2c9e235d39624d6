// Speed of the sound sources as the computer drives them: one Update per
// instruction (4 to 23 T-states, about 8 on average), a mix per frame.
// Prints emulated seconds per real second for each part and for the whole
// sound path. The machine as a whole aims at 200x real time.
#include "core/Ay.h"
#include "core/Mic.h"
#include "core/Settings.h"
#include "core/Speaker.h"
#include "host/Mixer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr i32 FrameTStates = 71'680;
constexpr i32 Frames = 2'000;  // 40.96 s of emulated time
constexpr double EmulatedSeconds = double(Frames) * FrameTStates / 3'500'000.0;

// Instruction lengths with a Z80-like mix; an OUT to 0xFE every ~200.
struct TStepPlan {
    std::vector<u8> Lengths;
    std::vector<u8> Outs;
};

TStepPlan MakePlan()
{
    std::mt19937 random(7);
    const u8 lengths[] = {4, 4, 4, 7, 7, 8, 10, 11, 11, 13, 17};
    std::uniform_int_distribution<size_t> pick(0, sizeof lengths - 1);
    std::uniform_int_distribution<i32> chance(0, 199);
    TStepPlan plan;
    for (i32 i = 0; i < 65'536; ++i) {
        plan.Lengths.push_back(lengths[pick(random)]);
        plan.Outs.push_back(chance(random) == 0 ? u8(random() & 0x18) : 0xFF);
    }
    return plan;
}

template <class TBody>
double Measure(const char* name, TBody body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-34s %8.1f x real time  (%.2f ns per emulated T-state)\n", name, EmulatedSeconds / seconds,
                seconds * 1e9 / (EmulatedSeconds * 3'500'000.0));
    return seconds;
}

template <class TUpdate>
void Drive(const TStepPlan& plan, TUpdate update)
{
    i32 tstate = 0;
    i32 frame = 0;
    size_t k = 0;
    while (frame < Frames) {
        tstate += plan.Lengths[k];
        if (tstate >= FrameTStates) {
            tstate -= FrameTStates;
            ++frame;
            update(tstate, frame, plan.Outs[k], true);
        } else {
            update(tstate, frame, plan.Outs[k], false);
        }
        k = (k + 1) & 0xFFFF;
    }
}

} // namespace

int main()
{
    const std::string store = (std::filesystem::temp_directory_path() / "quorvane-bench-sound.ini").string();
    TSettings settings(store);
    g_Settings = &settings;
    const TStepPlan plan = MakePlan();
    std::printf("%d frames, %.2f s of emulated time\n", Frames, EmulatedSeconds);
    {
        volatile i32 sink = 0;
        Measure("the driving loop alone", [&] {
            Drive(plan, [&](i32 t, i32, u8 out, bool) {
                if (out != 0xFF)
                    sink = out;
                sink = t;
            });
        });
    }
    {
        TSpeaker speaker;
        Measure("beeper Update", [&] {
            Drive(plan, [&](i32 t, i32 f, u8 out, bool) {
                if (out != 0xFF)
                    speaker.PortWrite(out);
                speaker.Update(t, f);
            });
        });
    }
    {
        TAY ay;
        Measure("AY Update, idle after reset", [&] {
            Drive(plan, [&](i32 t, i32 f, u8, bool) { ay.Update(t, f); });
        });
    }
    {
        TAY ay;
        const u8 tune[16] = {0x1C, 0x01, 0xFD, 0x00, 0x8E, 0x02, 0x0A, 0x38, 0x0F, 0x0C, 0x10, 0x00, 0x08, 0x0E, 0, 0};
        for (u8 r = 0; r < 16; ++r)
            ay.SetRegister(r, tune[r]);
        Measure("AY Update, playing tones", [&] {
            Drive(plan, [&](i32 t, i32 f, u8, bool) { ay.Update(t, f); });
        });
    }
    {
        TAY ay;
        TSpeaker speaker;
        TMic mic;
        TMixer mixer(ay, speaker, mic);
        volatile u8 sink = 0;
        Measure("mic + AY + beeper + mix", [&] {
            Drive(plan, [&](i32 t, i32 f, u8 out, bool frameEnd) {
                if (out != 0xFF) {
                    mic.PortWrite(out);
                    speaker.PortWrite(out);
                }
                mic.Update(t, f);
                ay.Update(t, f);
                speaker.Update(t, f);
                if (frameEnd)
                    sink = sink + mixer.Mix()[100];
            });
        });
    }
    g_Settings = nullptr;
    return 0;
}
