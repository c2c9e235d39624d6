// Z80 snapshots: loads compared with what Debian's snapdump reads in the same
// files (versions 1 to 3, compressed and raw, 48K and 128K, the AY), the
// run-length decoder at the edges of its page and its data, the version and
// hardware rules of the header, and refused files that leave the machine as
// it was.
#include "media/Snapshot_z80.h"

#include "media/File.h"
#include "tests/media/Snapshot_testing.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace snapshot_testing;

namespace {

using THardware = TSnapshotZ80::THardware;
constexpr size_t Page = TSnapshotZ80::PageSize;

// --- Files made here ---

// The 30-byte main header with the given PC (0 for versions 2 and 3) and
// flags; the other registers all differ.
std::vector<u8> MainHeader(u16 pc, u8 flags)
{
    return {0x12, 0x34,                         // A, F
            0x56, 0x78, 0x9A, 0xBC,             // BC, HL
            static_cast<u8>(pc), static_cast<u8>(pc >> 8),
            0x00, 0xC0, 0x3F, 0x15, flags,      // SP, I, R, flags
            0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,  // DE, BC', DE', HL'
            0x99, 0xAA,                         // A', F'
            0xBB, 0xCC, 0xDD, 0xEE,             // IY, IX
            1, 0, 1};                           // IFF1, IFF2, IM
}

// A version 2 (length 23) or 3 header with the hardware mode and port.
std::vector<u8> Header(u16 length, u8 mode, u8 port = 0)
{
    std::vector<u8> file = MainHeader(0, 0x0A);
    file.resize(32 + length);
    file[30] = static_cast<u8>(length);
    file[31] = static_cast<u8>(length >> 8);
    file[32] = 0x23;  // PC 0x8123
    file[33] = 0x81;
    file[34] = mode;
    file[35] = port;
    return file;
}

// ED ED runs of the value making up count bytes.
std::vector<u8> Runs(size_t count, u8 value)
{
    std::vector<u8> data;
    for (; count > 0; count -= std::min<size_t>(count, 255))
        data.insert(data.end(), {0xED, 0xED, static_cast<u8>(std::min<size_t>(count, 255)), value});
    return data;
}

void AddPage(std::vector<u8>& file, u8 number, const std::vector<u8>& data, bool raw = false)
{
    const u16 length = raw ? TSnapshotZ80::RawPageLength : static_cast<u16>(data.size());
    file.insert(file.end(), {static_cast<u8>(length), static_cast<u8>(length >> 8), number});
    file.insert(file.end(), data.begin(), data.end());
}

std::vector<u8> Filled(u8 value)
{
    return std::vector<u8>(Page, value);
}

bool Holds(const u8* data, u8 value)
{
    return std::all_of(data, data + Page, [&](u8 b) { return b == value; });
}

// --- Agreement with a peer ---

TEST(Z80LoadTest, LoadsAsSnapdumpReadsTheSameFiles)
{
    const struct {
        std::string File;
        std::string Golden;
        bool Is128;
        std::vector<i32> SkipPages;
    } cases[] = {
        {Fixtures + "hand-v1.z80", Fixtures + "hand-v1.z80.snapdump.txt", false, {}},
        {Fixtures + "hand-v1-raw.z80", Fixtures + "hand-v1-raw.z80.snapdump.txt", false, {}},
        {Fixtures + "hand-v2-48k.z80", Fixtures + "hand-v2-48k.z80.snapdump.txt", false, {}},
        {Fixtures + "hand-v2-128k.z80", Fixtures + "hand-v2-128k.z80.snapdump.txt", true, {}},
        {Fixtures + "hand-48k.snapconv.z80", Fixtures + "hand-48k.snapconv.z80.snapdump.txt", false, {}},
        {Fixtures + "hand-128k.snapconv.z80", Fixtures + "hand-128k.snapconv.z80.snapdump.txt", true, {}},
        {Fixtures + "hand-128k-bank5.snapconv.z80", Fixtures + "hand-128k-bank5.snapconv.z80.snapdump.txt", true, {}},
        {Samples + "z80/empty.z80", Fixtures + "testdata-empty.z80.snapdump.txt", false, {}},
        {Samples + "z80/fuse-tape_48.z80", Fixtures + "testdata-fuse-tape_48.z80.snapdump.txt", false, {}},
        // A 16K machine's file has no RAM above 0x8000: snapdump shows it
        // zeroed, the loader leaves the machine's own bytes there.
        {Samples + "z80/fuse-tape_16.z80", Fixtures + "testdata-fuse-tape_16.z80.snapdump.txt", false, {0, 2}},
        {Samples + "z80/tape_48k.snapconv.z80", Fixtures + "testdata-tape_48k.snapconv.z80.snapdump.txt", false, {}},
        {Samples + "z80/tape_48k.snapconv-n.z80", Fixtures + "testdata-tape_48k.snapconv-n.z80.snapdump.txt", false,
         {}},
        {Samples + "z80/fuse-tape_128.z80", Fixtures + "testdata-fuse-tape_128.z80.snapdump.txt", true, {}},
        {Samples + "z80/fuse-tape_128.snapconv-n.z80",
         Fixtures + "testdata-fuse-tape_128.snapconv-n.z80.snapdump.txt", true, {}},
        {Samples + "z80/fuse-tape_plus2.z80", Fixtures + "testdata-fuse-tape_plus2.z80.snapdump.txt", true, {}},
        {Samples + "z80/plus3.z80", Fixtures + "testdata-plus3.z80.snapdump.txt", true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        for (i32 model : {TMemory::Model128, TMemory::Model48}) {
            if (c.Is128 && model == TMemory::Model48)
                continue;
            TSnapshotMachine machine(model);
            TSnapshotZ80 z80;
            const TFile file(c.File);
            ASSERT_GT(file.GetSize(), 0);
            z80.Load(machine.Target(), file);
            ExpectAsSnapdump(machine, c.Golden, c.Is128, c.SkipPages);
            if (c.Is128) {
                const auto peer = ReadSnapdump(c.Golden);
                EXPECT_EQ(AyRegisterText(machine), peer.at("AY registers"));
                EXPECT_EQ(machine.AY->GetSelectedRegister(), Hex(peer.at("AY")));
            }
        }
    }
}

// --- The run-length decoder ---

TEST(Z80DecoderTest, DecodesRunsAndLiteralsWithinThePageAndTheData)
{
    const struct {
        const char* What;
        std::vector<u8> Data;
        size_t PageSize;
        std::vector<u8> Expected;  // empty: refused
    } cases[] = {
        {"a run", {0xED, 0xED, 0x05, 0x41}, 5, {0x41, 0x41, 0x41, 0x41, 0x41}},
        {"a lone ED", {0xED, 0x41}, 2, {0xED, 0x41}},
        {"an empty run", {0xED, 0xED, 0x00, 0x41, 0x42, 0x43}, 2, {0x42, 0x43}},
        {"ED in the last place", {0x41, 0xED}, 2, {0x41, 0xED}},
        {"a run ending at the page end", {0x41, 0xED, 0xED, 0x03, 0x42}, 4, {0x41, 0x42, 0x42, 0x42}},
        {"bytes after a full page are not read", {0x41, 0x42, 0xED}, 2, {0x41, 0x42}},
        {"a run one byte too long", {0xED, 0xED, 0x06, 0x41}, 5, {}},
        {"data that ends early", {0x41, 0x42}, 3, {}},
        {"a lone ED at the end of the data", {0xED}, 3, {}},
        {"a run cut off", {0xED, 0xED, 0x05}, 5, {}},
        {"empty runs only", {0xED, 0xED, 0x00, 0x00, 0xED, 0xED, 0x00, 0x00}, 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<u8> page(c.PageSize, 0x99);
        try {
            TSnapshotZ80::ReadPage(c.Data, page);
            EXPECT_EQ(page, c.Expected);
        } catch (const TTextError& error) {
            EXPECT_TRUE(c.Expected.empty()) << "refused";
            EXPECT_STREQ(error.what(), "Invalid Z80 snapshot file!");
        }
    }
}

TEST(Z80LoadTest, APageMustDecodeToExactly16KWithinItsLength)
{
    const auto load = [](const std::vector<u8>& pageData, std::string& error) {
        std::vector<u8> file = Header(54, 0);
        AddPage(file, 8, pageData);
        AddPage(file, 4, Runs(Page, 0x44));  // follows: must not be read as page 8's data
        TSnapshotMachine machine;
        const auto before = machine.Capture();
        TSnapshotZ80 z80;
        error = LoadError(z80, machine, file);
        if (!error.empty())
            ExpectSameState(before, machine.Capture());
        return Holds(machine.Memory->GetPointer(0x4000), 0x11) && Holds(machine.Memory->GetPointer(0x8000), 0x44);
    };
    std::string error;
    EXPECT_TRUE(load(Runs(Page, 0x11), error));
    EXPECT_EQ(error, "");

    // A run that ends one byte past the page.
    std::vector<u8> tooLong = Runs(Page - 2, 0x11);
    tooLong.insert(tooLong.end(), {0xED, 0xED, 0x03, 0x11});
    EXPECT_FALSE(load(tooLong, error));
    EXPECT_EQ(error, "Invalid Z80 snapshot file!");

    // One byte short: the decoder stops at the page's length, it does not
    // take the next page's head for data.
    EXPECT_FALSE(load(Runs(Page - 1, 0x11), error));
    EXPECT_EQ(error, "Invalid Z80 snapshot file!");

    // A length that holds only empty runs: the page never fills.
    std::vector<u8> empty;
    for (int i = 0; i < 4000; ++i)
        empty.insert(empty.end(), {0xED, 0xED, 0x00, 0x00});
    EXPECT_FALSE(load(empty, error));
    EXPECT_EQ(error, "Invalid Z80 snapshot file!");
}

// --- The header ---

TEST(Z80LoadTest, HardwareModesClassifyByVersion)
{
    const struct {
        u16 Length;
        u8 Mode;
        THardware Expected;
    } cases[] = {
        {23, 0, THardware::Spectrum48},  {23, 1, THardware::Spectrum48},  {23, 2, THardware::SamRam},
        {23, 3, THardware::Spectrum128}, {23, 4, THardware::Spectrum128}, {23, 9, THardware::Spectrum128},
        {54, 0, THardware::Spectrum48},  {54, 1, THardware::Spectrum48},  {54, 2, THardware::SamRam},
        {54, 3, THardware::Spectrum48},  {54, 4, THardware::Spectrum128}, {55, 3, THardware::Spectrum48},
        {55, 7, THardware::Spectrum128}, {55, 12, THardware::Spectrum128},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TSnapshotZ80::ClassifyHardware(c.Length, c.Mode), c.Expected)
            << "length " << c.Length << " mode " << int(c.Mode);

    // Version 3, mode 3 loads as 48K: the 48K paging, locked.
    std::vector<u8> file = Header(54, 3, 0x07);
    AddPage(file, 5, Runs(Page, 0x55));
    TSnapshotMachine machine;
    TSnapshotZ80 z80;
    z80.LoadImage(machine.Target(), file);
    EXPECT_EQ(machine.Paging->GetLastValue(), 0x30);
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0xC000), 0x55));
    machine.Paging->PortWrite(0x07);
    EXPECT_EQ(machine.Memory->GetPagedBank(), 0) << "locked";
    EXPECT_EQ(machine.Z80->PC, 0x8123);
}

TEST(Z80LoadTest, Version1IsAnyNonZeroPc)
{
    // PC bytes 80 80: version 1 with PC 0x8080, raw RAM after the header.
    std::vector<u8> file = MainHeader(0x8080, 0x00);
    for (u8 value : {0x45, 0x82, 0xC3})
        file.insert(file.end(), Page, value);
    TSnapshotMachine machine;
    TSnapshotZ80 z80;
    z80.LoadImage(machine.Target(), file);
    EXPECT_EQ(machine.Z80->PC, 0x8080);
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0x4000), 0x45));
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0x8000), 0x82));
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0xC000), 0xC3));
    EXPECT_EQ(machine.Paging->GetLastValue(), 0x30);
}

TEST(Z80LoadTest, FlagsByte0xFFCountsAsOneAndRawDataIsCopiedVerbatim)
{
    // Flags 0xFF: R bit 7 set, border 0, data not compressed, so ED ED 05 41
    // stays four bytes.
    std::vector<u8> file = MainHeader(0x1234, 0xFF);
    std::vector<u8> ram(3 * Page, 0x00);
    std::ranges::copy(std::vector<u8>{0xED, 0xED, 0x05, 0x41}, ram.begin());
    file.insert(file.end(), ram.begin(), ram.end());
    TSnapshotMachine machine;
    machine.VideoCard->BorderWrite(6);
    machine.Z80->Halted = 1;
    TSnapshotZ80 z80;
    z80.LoadImage(machine.Target(), file);
    EXPECT_EQ(machine.Z80->R7, 0x80);
    EXPECT_EQ(machine.Z80->R, 0x95);
    EXPECT_EQ(machine.VideoCard->GetBorder(), 0);
    EXPECT_EQ(machine.Z80->Halted, 0);
    EXPECT_EQ(machine.Memory->ReadWord(0x4000), 0xEDED);
    EXPECT_EQ(machine.Memory->ReadWord(0x4002), 0x4105);

    // The same in a raw (0xFFFF) page of version 3.
    std::vector<u8> v3 = Header(54, 0);
    std::vector<u8> page(Page, 0x00);
    std::ranges::copy(std::vector<u8>{0xED, 0xED, 0x05, 0x41}, page.begin());
    AddPage(v3, 4, page, true);
    z80.LoadImage(machine.Target(), v3);
    EXPECT_EQ(machine.Memory->ReadWord(0x8000), 0xEDED);
    EXPECT_EQ(machine.Memory->ReadWord(0x8002), 0x4105);
}

TEST(Z80LoadTest, PagesWithoutAPlaceAreSkippedAndAShortFileLoadsWhatItHas)
{
    // 48K: ROM page 0 (raw) and page 9 come first and do not count.
    std::vector<u8> file = Header(54, 0);
    AddPage(file, 0, Filled(0xAA), true);
    AddPage(file, 9, Runs(Page, 0xBB));
    AddPage(file, 4, Runs(Page, 0x04));
    AddPage(file, 5, Runs(Page, 0x05));
    AddPage(file, 8, Runs(Page, 0x08));
    TSnapshotMachine machine;
    TSnapshotZ80 z80;
    z80.LoadImage(machine.Target(), file);
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0x4000), 0x08));
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0x8000), 0x04));
    EXPECT_TRUE(Holds(machine.Memory->GetPointer(0xC000), 0x05));

    // 128K: ROM pages 0-2 skipped, banks 3-10 placed; the AY too.
    std::vector<u8> big = Header(55, 4, 0x16);
    big[38] = 0x0B;
    for (i32 r = 0; r < 16; ++r)
        big[39 + r] = static_cast<u8>(0x10 + r);
    for (u8 rom : {0, 1, 2})
        AddPage(big, rom, Runs(Page, 0xEE));
    for (u8 bank = 0; bank < 8; ++bank)
        AddPage(big, bank + 3, Runs(Page, static_cast<u8>(0xB0 + bank)));
    TSnapshotMachine large;
    z80.LoadImage(large.Target(), big);
    for (i32 bank = 0; bank < 8; ++bank)
        EXPECT_TRUE(Holds(large.Memory->GetBankPtr(bank), static_cast<u8>(0xB0 + bank))) << bank;
    EXPECT_EQ(large.Memory->GetPagedBank(), 6);
    EXPECT_EQ(AyRegisterText(large), "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
    EXPECT_EQ(large.AY->GetSelectedRegister(), 0x0B);

    // A file that ends after one page loads that page; the rest of RAM keeps
    // what it had.
    std::vector<u8> one = Header(23, 0);
    AddPage(one, 5, Runs(Page, 0x5A));
    TSnapshotMachine shortFile;
    z80.LoadImage(shortFile.Target(), one);
    EXPECT_TRUE(Holds(shortFile.Memory->GetPointer(0xC000), 0x5A));
    EXPECT_TRUE(Holds(shortFile.Memory->GetPointer(0x4000), TSnapshotMachine::Filler));
    EXPECT_EQ(shortFile.Z80->PC, 0x8123);
}

// --- Refusals ---

TEST(Z80LoadTest, RefusedFilesLeaveTheMachineAsItWas)
{
    const std::vector<u8> v2 = ReadBytes(Fixtures + "hand-v2-48k.z80");
    const std::vector<u8> raw128 = ReadBytes(Fixtures + "hand-v2-128k.z80");
    const std::vector<u8> v1 = ReadBytes(Fixtures + "hand-v1.z80");
    const std::vector<u8> v1raw = ReadBytes(Fixtures + "hand-v1-raw.z80");
    const auto cut = [](std::vector<u8> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const auto patched = [](std::vector<u8> bytes, size_t at, std::initializer_list<u8> values) {
        std::ranges::copy(values, bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return bytes;
    };
    const size_t firstPage = 32 + 23;  // the first page's head in the version 2 files
    const u16 firstLength = static_cast<u16>(v2[firstPage] | v2[firstPage + 1] << 8);
    const std::string invalid = "Invalid Z80 snapshot file!";
    const struct {
        const char* What;
        std::vector<u8> Bytes;
        std::string Error;
        i32 Model;
    } cases[] = {
        {"empty", {}, invalid, TMemory::Model128},
        {"29 bytes", cut(v1, 29), invalid, TMemory::Model128},
        {"version 2 without its length", cut(v2, 31), invalid, TMemory::Model128},
        {"additional length 0", patched(v2, 30, {0, 0}), invalid, TMemory::Model128},
        {"additional length 22", patched(v2, 30, {22, 0}), invalid, TMemory::Model128},
        {"additional header past the end", cut(Header(54, 0), 60), invalid, TMemory::Model128},
        {"SamRam in version 2", patched(v2, 34, {2}), "Sorry! SamRam Hardware Mode not supported yet!",
         TMemory::Model128},
        {"SamRam in version 3", Header(54, 2), "Sorry! SamRam Hardware Mode not supported yet!",
         TMemory::Model128},
        {"128K on the 48K model", raw128, TSnapshot::Needs128KError, TMemory::Model48},
        {"compressed page cut off", cut(v2, firstPage + 3 + firstLength / 2), invalid, TMemory::Model128},
        {"raw page cut off", cut(raw128, raw128.size() - 1), invalid, TMemory::Model128},
        {"page head cut off", cut(v2, firstPage + 2), invalid, TMemory::Model128},
        {"page length one short",
         patched(v2, firstPage, {static_cast<u8>(firstLength - 1), static_cast<u8>((firstLength - 1) >> 8)}),
         invalid, TMemory::Model128},
        {"version 1 compressed cut off", cut(v1, v1.size() / 2), invalid, TMemory::Model128},
        {"version 1 raw cut off", cut(v1raw, v1raw.size() - 1), invalid, TMemory::Model128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TSnapshotMachine machine(c.Model);
        machine.Z80->PC = 0x1234;
        machine.Z80->Halted = 1;
        machine.AY->SetRegister(8, 0x0F);
        const auto before = machine.Capture();
        TSnapshotZ80 z80;
        EXPECT_EQ(LoadError(z80, machine, c.Bytes), c.Error);
        ExpectSameState(before, machine.Capture());
    }
}

}  // namespace
