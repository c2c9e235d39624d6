// Golden frames: the 48K machine (memory, port bus, processor, video chip;
// no computer) boots the OpenSE BASIC ROM from roms.rom, and chosen frames of
// its first seconds, as published by the renderer, are compared byte for
// byte with tests/data/render/boot_frames.rle.
//
// Regenerate the file (after a deliberate change of the picture) with
// tests/data/render/make.sh, which runs this test with
// QUORVANE_REGENERATE_GOLDEN=1; tests/data/render/rle_to_png.py turns the
// frames into PNG images to look at.
//
// File layout (little-endian): "QVFRAMES", u16 width, u16 height, u16 frame
// count, u16 colour count, colour count x (red, green, blue); then per frame
// u32 frame number, u32 byte count and that many bytes of (run length 1-255,
// palette index) pairs covering width x height pixels.
#include "tests/host/Render_test_machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

namespace {

const char* const Magic = "QVFRAMES";
// Frames after the reset: the border turning white in the middle of frame
// 14, the ROM clearing the screen across frames 15 to 17 (drawn where the
// beam met the memory), and the finished copyright screen.
const std::vector<u32> GoldenFrames = {14, 15, 16, 17, 50};

struct TFrame {
    u32 Number = 0;
    std::vector<u8> Pixels;
};

struct TGolden {
    u16 Width = 0;
    u16 Height = 0;
    std::vector<u32> Colours;  // 0xRRGGBB
    std::vector<TFrame> Frames;
};

std::string GoldenPath()
{
    return std::string(QUORVANE_FIXTURES_DIR) + "/render/boot_frames.rle";
}

// --- The file ---

void Put16(std::string& out, u32 v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, u32 v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string Encode(const TGolden& golden)
{
    std::string out = Magic;
    Put16(out, golden.Width);
    Put16(out, golden.Height);
    Put16(out, static_cast<u32>(golden.Frames.size()));
    Put16(out, static_cast<u32>(golden.Colours.size()));
    for (u32 c : golden.Colours) {
        out += static_cast<char>((c >> 16) & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    for (const TFrame& frame : golden.Frames) {
        std::string runs;
        for (size_t i = 0; i < frame.Pixels.size();) {
            size_t n = 1;
            while (n < 255 && i + n < frame.Pixels.size() && frame.Pixels[i + n] == frame.Pixels[i])
                ++n;
            runs += static_cast<char>(n);
            runs += static_cast<char>(frame.Pixels[i]);
            i += n;
        }
        Put32(out, frame.Number);
        Put32(out, static_cast<u32>(runs.size()));
        out += runs;
    }
    return out;
}

// A reader that never trusts a length: every take checks what is left.
class TCursor {
public:
    explicit TCursor(const std::string& data) : Data(data) {}
    bool Take(size_t n, const u8*& at)
    {
        if (Data.size() - Position < n)
            return false;
        at = reinterpret_cast<const u8*>(Data.data()) + Position;
        Position += n;
        return true;
    }
    bool U16(u32& v)
    {
        const u8* p;
        if (!Take(2, p))
            return false;
        v = p[0] | p[1] << 8;
        return true;
    }
    bool U32(u32& v)
    {
        u32 lo, hi;
        if (!U16(lo) || !U16(hi))
            return false;
        v = lo | hi << 16;
        return true;
    }
    bool AtEnd() const { return Position == Data.size(); }

private:
    const std::string& Data;
    size_t Position = 0;
};

std::optional<TGolden> Decode(const std::string& data)
{
    TCursor in(data);
    const u8* magic;
    if (!in.Take(8, magic) || std::string(reinterpret_cast<const char*>(magic), 8) != Magic)
        return std::nullopt;
    u32 width, height, frames, colours;
    if (!in.U16(width) || !in.U16(height) || !in.U16(frames) || !in.U16(colours) || colours > 256)
        return std::nullopt;
    TGolden golden;
    golden.Width = static_cast<u16>(width);
    golden.Height = static_cast<u16>(height);
    for (u32 i = 0; i < colours; ++i) {
        const u8* rgb;
        if (!in.Take(3, rgb))
            return std::nullopt;
        golden.Colours.push_back(static_cast<u32>(rgb[0]) << 16 | rgb[1] << 8 | rgb[2]);
    }
    const size_t size = static_cast<size_t>(width) * height;
    for (u32 f = 0; f < frames; ++f) {
        TFrame frame;
        u32 length;
        const u8* runs;
        if (!in.U32(frame.Number) || !in.U32(length) || !in.Take(length, runs) || length % 2)
            return std::nullopt;
        frame.Pixels.reserve(size);
        for (u32 i = 0; i < length; i += 2) {
            if (runs[i] == 0 || size - frame.Pixels.size() < runs[i])
                return std::nullopt;
            frame.Pixels.insert(frame.Pixels.end(), runs[i], runs[i + 1]);
        }
        if (frame.Pixels.size() != size)
            return std::nullopt;
        golden.Frames.push_back(std::move(frame));
    }
    if (!in.AtEnd())
        return std::nullopt;
    return golden;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- The machine ---

// The 48K model: OpenSE BASIC in the ROM slot, the screen at 0x4000, the
// border port on the bus and no keyboard (every key up).
struct TBootMachine {
    TTestSettings Settings;
    TRenderTestMachine::TSeed Seed{99};
    TMemory Memory{UseRomFile(*Settings)};
    TPorts Ports;
    TZ80 Cpu{&Memory, &Ports};
    TVideoCard Video{&Memory, &Cpu};
    TRenderGDI8Bit Render;

    static i32 UseRomFile(TSettings& settings)
    {
        settings.Model = 1;
        settings.Rom48File = QUORVANE_ROMS_FILE;
        settings.DiskRomFile = QUORVANE_ROMS_FILE;
        return TMemory::Model48;
    }

    TBootMachine()
    {
        FillRam();
        Render.Init(&Video);
        Cpu.SetVideoCard(&Video);
        Ports.AddDevicePorts(Video);
        Cpu.Reset();
    }

    // RAM as the power came up, but of our own making rather than the
    // memory's noise, and in large blocks that the golden file's runs hold
    // in few bytes: each character cell in one paper colour, groups of four
    // cells alike, with a line of ink at the top of every cell.
    void FillRam()
    {
        for (u32 address = 0x4000; address < 0x10000; ++address)
            Memory.WriteByte(static_cast<u16>(address), 0);
        for (u32 offset = 0; offset < 0x1800; ++offset) {
            const u32 y = ((offset >> 8) & 7) | ((offset >> 2) & 0x38) | ((offset >> 5) & 0xC0);
            Memory.WriteByte(static_cast<u16>(0x4000 + offset), y % 8 == 0 ? 0xFF : 0x00);
        }
        for (u32 cell = 0; cell < 768; ++cell) {
            const u32 row = cell / 32, column = cell % 32;
            const u32 paper = (column / 4 + row) & 7;
            Memory.WriteByte(static_cast<u16>(0x5800 + cell), static_cast<u8>((row & 1) << 6 | paper << 3 | (7 - paper)));
        }
        Video.LatchWholeScreen();
    }

    // Runs to the next frame end and draws the frame as the computer does.
    void RunFrame()
    {
        for (i32 steps = 0; steps < 100'000; ++steps) {
            if (Cpu.Step()) {
                Render.ApplyRequests();
                Render.RenderFrame();
                return;
            }
        }
        FAIL() << "no frame end within 100,000 instructions";
    }

    TGolden Record()
    {
        TGolden golden;
        u32 frame = 0;
        for (u32 wanted : GoldenFrames) {
            while (frame < wanted) {
                RunFrame();
                ++frame;
            }
            TFrame captured;
            captured.Number = frame;
            TIndexedSurface::TColourTable colours;
            i32 width = 0, height = 0;
            Render.GetDC()->CopyFront(captured.Pixels, colours, width, height);
            golden.Width = static_cast<u16>(width);
            golden.Height = static_cast<u16>(height);
            golden.Colours.assign(colours.begin(), colours.begin() + TPalette::EntryCount);
            for (u32& c : golden.Colours)
                c &= 0xFFFFFF;
            golden.Frames.push_back(std::move(captured));
        }
        return golden;
    }
};

TEST(RenderGolden, BootedRomFramesMatchTheStoredOnes)
{
    TBootMachine machine;
    const TGolden recorded = machine.Record();
    ASSERT_FALSE(HasFatalFailure());

    if (const char* regenerate = std::getenv("QUORVANE_REGENERATE_GOLDEN"); regenerate && *regenerate == '1') {
        const std::string data = Encode(recorded);
        std::ofstream(GoldenPath(), std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        GTEST_SKIP() << "wrote " << GoldenPath() << " (" << data.size() << " bytes)";
    }

    const std::optional<TGolden> golden = Decode(ReadFile(GoldenPath()));
    ASSERT_TRUE(golden) << "cannot read " << GoldenPath();
    EXPECT_EQ(golden->Width, recorded.Width);
    EXPECT_EQ(golden->Height, recorded.Height);
    EXPECT_EQ(golden->Colours, recorded.Colours);
    ASSERT_EQ(golden->Frames.size(), recorded.Frames.size());
    for (size_t f = 0; f < recorded.Frames.size(); ++f) {
        const TFrame& want = golden->Frames[f];
        const TFrame& got = recorded.Frames[f];
        EXPECT_EQ(want.Number, got.Number);
        ASSERT_EQ(want.Pixels.size(), got.Pixels.size());
        size_t differing = 0, first = 0;
        for (size_t i = 0; i < want.Pixels.size(); ++i) {
            if (want.Pixels[i] != got.Pixels[i] && differing++ == 0)
                first = i;
        }
        EXPECT_EQ(differing, 0u) << "frame " << got.Number << ": first difference at (" << first % recorded.Width
                                 << ", " << first / recorded.Width << ")";
    }
}

// The finished start-up screen, judged without the golden file: white paper
// and border inside the TV picture, black text on it, and the paper in
// memory decoded the same way as drawn.
TEST(RenderGolden, BootedScreenIsWhiteWithText)
{
    TBootMachine machine;
    for (int frame = 0; frame < 150; ++frame)
        machine.RunFrame();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(machine.Video.GetBorder(), 7);
    EXPECT_EQ(machine.Render.GetPixel(100, 150), 7);
    int ink = 0, paper = 0;
    for (i32 y = 80; y < 272; ++y) {
        for (i32 x = 136; x < 392; ++x) {
            const u8 p = machine.Render.GetPixel(x, y);
            ASSERT_TRUE(p == 0 || p == 7) << "(" << x << ", " << y << ") = " << int(p);
            (p == 0 ? ink : paper)++;
        }
    }
    EXPECT_GT(ink, 100);     // the copyright message
    EXPECT_GT(paper, 40'000);
}

// The golden file's reader refuses damage instead of reading past its data.
TEST(RenderGolden, DamagedFilesAreRefused)
{
    const std::string data = ReadFile(GoldenPath());
    ASSERT_TRUE(Decode(data)) << "cannot read " << GoldenPath();
    for (size_t cut = 0; cut < data.size(); cut += 1 + data.size() / 300)
        EXPECT_FALSE(Decode(data.substr(0, cut))) << "cut at " << cut;
    std::mt19937 random(5);
    for (int i = 0; i < 300; ++i) {
        std::string damaged = data;
        damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
        (void)Decode(damaged);  // an error or a picture, never a crash
    }
}

} // namespace
