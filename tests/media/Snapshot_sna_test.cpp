// SNA snapshots: loads compared with what Debian's snapdump reads in the same
// files, the PC kept on the stack of a 48K file, the two 128K sizes and the
// paging lock, refused files that leave the machine as it was, and saves:
// byte for byte against the files they were loaded from, round trips, the
// machine untouched, and a target replaced only by a whole new file.
#include "media/Snapshot_sna.h"

#include "core/Computer.h"
#include "media/File.h"
#include "tests/media/Snapshot_testing.h"
#include "tests/support/Fake_host_services.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace snapshot_testing;

namespace {

constexpr size_t HeaderSize = TSnapshotSNA::HeaderSize;

// Offsets in the SNA header.
constexpr size_t InterruptAt = 19;
constexpr size_t RAt = 20;
constexpr size_t SpAt = 23;
constexpr size_t ImAt = 25;
constexpr size_t BorderAt = 26;
constexpr size_t PortAt = 49181;

void Load(TSnapshotMachine& machine, const std::string& path)
{
    TSnapshotSNA sna;
    const TFile file(path);
    ASSERT_GT(file.GetSize(), 0) << path;
    sna.Load(machine.Target(), file);
}

// The 48 BASIC ROM as the machine maps it (bank 1 of the ROM file).
u8 Rom48Byte(u16 address)
{
    static const std::vector<u8> roms = ReadBytes(QUORVANE_ROMS_FILE);
    return roms.at(0x4000 + address);
}

TEST(SnaLoadTest, LoadsAsSnapdumpReadsTheSameFiles)
{
    const struct {
        std::string File;
        std::string Golden;
        bool Is128;
    } cases[] = {
        {Fixtures + "hand-48k.sna", Fixtures + "hand-48k.sna.snapdump.txt", false},
        {Fixtures + "hand-128k.sna", Fixtures + "hand-128k.sna.snapdump.txt", true},
        {Fixtures + "hand-128k-bank5.sna", Fixtures + "hand-128k-bank5.sna.snapdump.txt", true},
        {Samples + "sna/tape_48k.sna", Fixtures + "testdata-tape_48k.sna.snapdump.txt", false},
        {Samples + "sna/tape_128k.sna", Fixtures + "testdata-tape_128k.sna.snapdump.txt", true},
        {Samples + "sna/fuse-tape_128.snapconv.sna", Fixtures + "testdata-fuse-tape_128.snapconv.sna.snapdump.txt",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        // A 48K file loads into both memory models.
        for (i32 model : {TMemory::Model128, TMemory::Model48}) {
            if (c.Is128 && model == TMemory::Model48)
                continue;
            TSnapshotMachine machine(model);
            machine.Z80->Tact = 1234;
            machine.AY->SetRegister(7, 0x3F);
            Load(machine, c.File);
            ExpectAsSnapdump(machine, c.Golden, c.Is128);
            EXPECT_EQ(machine.Z80->Tact, 0);
            EXPECT_EQ(AyRegisterText(machine), "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00") << "AY reset";
        }
    }
}

TEST(SnaLoadTest, PcIsTakenFromTheStackWhereverSpPoints)
{
    // SP in ROM: PC is the ROM's word there.
    TSnapshotMachine inRom;
    Load(inRom, Samples + "sna/sp-2000.sna");
    EXPECT_EQ(inRom.Z80->PC, Rom48Byte(0x2000) | Rom48Byte(0x2001) << 8);
    EXPECT_EQ(inRom.Z80->SP, 0x2002);

    // SP 0xFFFF: the low byte is the last RAM byte, the high byte wraps to ROM.
    TSnapshotMachine wrapping;
    Load(wrapping, Samples + "sna/sp-ffff.sna");
    EXPECT_EQ(wrapping.Z80->PC, Rom48Byte(0x0000) << 8);
    EXPECT_EQ(wrapping.Z80->SP, 0x0001);

    // SP 0xFFFE: PC from 0xFFFE-0xFFFF, SP wraps to 0; the word stays in RAM.
    std::vector<u8> bytes = ReadBytes(Fixtures + "hand-48k.sna");
    bytes[SpAt] = 0xFE;
    bytes[SpAt + 1] = 0xFF;
    bytes[bytes.size() - 2] = 0x34;
    bytes[bytes.size() - 1] = 0x12;
    TSnapshotMachine top;
    TSnapshotSNA sna;
    sna.LoadImage(top.Target(), bytes);
    EXPECT_EQ(top.Z80->PC, 0x1234);
    EXPECT_EQ(top.Z80->SP, 0x0000);
    EXPECT_EQ(top.Memory->ReadWord(0xFFFE), 0x1234);
}

TEST(SnaLoadTest, HeaderBytesAreTakenAsTheMachineHasThem)
{
    std::vector<u8> bytes = ReadBytes(Fixtures + "hand-48k.sna");
    bytes[InterruptAt] = 0xFB;  // every bit but IFF2
    bytes[RAt] = 0x80;
    bytes[ImAt] = 0xFE;         // IM is taken AND 3
    bytes[BorderAt] = 0xFA;     // only the low three bits are the border
    TSnapshotMachine machine;
    machine.Z80->Halted = 1;
    machine.Z80->IFF1 = machine.Z80->IFF2 = 1;
    TSnapshotSNA sna;
    sna.LoadImage(machine.Target(), bytes);
    EXPECT_EQ(machine.Z80->IFF1, 0);
    EXPECT_EQ(machine.Z80->IFF2, 0);
    EXPECT_EQ(machine.Z80->R7, 0x80);
    EXPECT_EQ(machine.Z80->IM, 2);
    EXPECT_EQ(machine.VideoCard->GetBorder(), 2);
    EXPECT_EQ(machine.Z80->Halted, 0) << "the loaded PC is not on a HALT";
}

TEST(SnaLoadTest, PagingFromTheFileStaysLockedUntilReset)
{
    TSnapshotMachine machine;
    Load(machine, Fixtures + "hand-128k-bank5.sna");  // port 0x35: bank 5, locked
    machine.Paging->PortWrite(0x01);
    EXPECT_EQ(machine.Memory->GetPagedBank(), 5);
    machine.Paging->Reset();
    machine.Paging->PortWrite(0x01);
    EXPECT_EQ(machine.Memory->GetPagedBank(), 1);

    // A 48K file on the 128K machine locks the 48K paging.
    Load(machine, Fixtures + "hand-48k.sna");
    machine.Paging->PortWrite(0x07);
    EXPECT_EQ(machine.Memory->GetPagedBank(), 0);
    EXPECT_EQ(machine.Memory->GetRomSlot(), 0) << "48 BASIC";
}

TEST(SnaLoadTest, RefusedFilesLeaveTheMachineAsItWas)
{
    const std::vector<u8> file48 = ReadBytes(Fixtures + "hand-48k.sna");
    const std::vector<u8> file128 = ReadBytes(Fixtures + "hand-128k.sna");
    const std::vector<u8> twice = ReadBytes(Fixtures + "hand-128k-bank5.sna");
    const auto resized = [](std::vector<u8> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const auto withPort = [](std::vector<u8> bytes, u8 port) {
        bytes[PortAt] = port;
        return bytes;
    };
    const struct {
        const char* What;
        std::vector<u8> Bytes;
        i32 Model;
    } cases[] = {
        {"empty", {}, TMemory::Model128},
        {"48K one byte short", resized(file48, file48.size() - 1), TMemory::Model128},
        {"48K one byte long", resized(file48, file48.size() + 1), TMemory::Model128},
        {"128K one byte short", resized(file128, file128.size() - 1), TMemory::Model128},
        {"147,487 one byte long", resized(twice, twice.size() + 1), TMemory::Model128},
        {"131,103 bytes paging bank 5", withPort(file128, 0x15), TMemory::Model128},
        {"131,103 bytes paging bank 2", withPort(file128, 0x12), TMemory::Model128},
        {"147,487 bytes paging bank 3", withPort(twice, 0x13), TMemory::Model128},
        {"128K on the 48K model", file128, TMemory::Model48},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TSnapshotMachine machine(c.Model);
        machine.Z80->PC = 0x1234;
        machine.Z80->Tact = 999;
        machine.AY->SetRegister(8, 0x0F);
        const auto before = machine.Capture();
        TSnapshotSNA sna;
        EXPECT_EQ(LoadError(sna, machine, c.Bytes), "This file is not SNA format snapshot file, check it!");
        ExpectSameState(before, machine.Capture());
    }
}

// --- Saving ---

class SnaSaveTest : public ::testing::Test {
protected:
    TTempFolder Folder;
    TSnapshotSNA Sna;
};

TEST_F(SnaSaveTest, SavesTheFilesItLoadedByteForByteAndLeavesTheMachineAlone)
{
    const struct {
        std::string File;
        i32 Kind;
    } cases[] = {
        {Fixtures + "hand-48k.sna", TSnapshotSNA::Kind48},
        {Fixtures + "hand-128k.sna", TSnapshotSNA::Kind128},
        {Fixtures + "hand-128k-bank5.sna", TSnapshotSNA::Kind128},
        {Samples + "sna/tape_48k.sna", TSnapshotSNA::Kind48},
        {Samples + "sna/tape_128k.sna", TSnapshotSNA::Kind128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        TSnapshotMachine machine;
        Load(machine, c.File);
        const auto before = machine.Capture();
        const std::string saved = Folder.File("saved.sna");
        Sna.Save(machine.Target(), saved, c.Kind);
        EXPECT_EQ(ReadBytes(saved), ReadBytes(c.File));
        ExpectSameState(before, machine.Capture());
    }
}

TEST_F(SnaSaveTest, The48KFormPushesPcIntoTheImageOnlyWhereRamIs)
{
    for (u16 sp : {0x4000, 0x4001, 0x0000}) {
        SCOPED_TRACE(sp);
        TSnapshotMachine machine;
        machine.Paging->SetPaging(0x30);
        machine.Z80->SP = sp;
        machine.Z80->PC = 0xBEEF;
        const auto before = machine.Capture();
        const std::vector<u8> image = TSnapshotSNA::BuildImage(machine.Target(), TSnapshotSNA::Kind48);
        ExpectSameState(before, machine.Capture());

        ASSERT_EQ(image.size(), static_cast<size_t>(TSnapshotSNA::Size48));
        const u16 pushed = static_cast<u16>(sp - 2);
        EXPECT_EQ(image[SpAt] | image[SpAt + 1] << 8, pushed);
        // What the RAM part of the file should hold: memory, with the pushed
        // bytes where they fall at 0x4000 or above.
        std::vector<u8> ram(TSnapshotSNA::RamSize);
        for (u32 a = 0x4000; a < 0x10000; ++a)
            ram[a - 0x4000] = machine.Memory->ReadByte(static_cast<u16>(a));
        if (pushed >= 0x4000)
            ram[pushed - 0x4000] = 0xEF;
        if (static_cast<u16>(pushed + 1) >= 0x4000)
            ram[static_cast<u16>(pushed + 1) - 0x4000] = 0xBE;
        EXPECT_TRUE(std::equal(ram.begin(), ram.end(), image.begin() + HeaderSize));
    }
}

// Registers that an SNA file carries, with R as the program sees it.
std::vector<std::pair<std::string, i64>> SavedFields(TSnapshotMachine& machine)
{
    std::vector<std::pair<std::string, i64>> fields;
    const char* kept[] = {"AF", "BC", "DE", "HL", "IX", "IY", "AF'", "BC'", "DE'", "HL'", "PC", "SP", "I",
                          "IM", "IFF1", "IFF2", "Border", "ScreenMemory", "PagedBank", "RomSlot", "Paging"};
    for (const auto& field : machine.Capture().Fields)
        if (std::ranges::find_if(kept, [&](const char* name) { return field.first == name; }) != std::end(kept))
            fields.push_back(field);
    fields.push_back({"R as read", (machine.Z80->R & 0x7F) | machine.Z80->R7});
    return fields;
}

void Randomise(TSnapshotMachine& machine, std::mt19937& random)
{
    TZ80& z = *machine.Z80;
    for (TRegPair* pair : {&z.AF, &z.BC, &z.DE, &z.HL, &z.IX, &z.IY, &z.AltAF, &z.AltBC, &z.AltDE, &z.AltHL})
        pair->W = static_cast<u16>(random());
    z.PC = static_cast<u16>(random());
    z.SP = static_cast<u16>(0x4002 + random() % 0xBFFD);
    z.I = static_cast<u8>(random());
    z.R = static_cast<u8>(random());
    z.R7 = static_cast<u8>(random() & 0x80);
    z.IM = static_cast<u8>(random() % 3);
    z.IFF1 = z.IFF2 = static_cast<u8>(random() & 1);
    machine.VideoCard->BorderWrite(static_cast<u8>(random() & 7));
    for (i32 n = 0; n < 8; ++n)
        for (u32 i = 0; i < TMemoryPage::Size; ++i)
            machine.Memory->GetBankPtr(n)[i] = static_cast<u8>(random());
}

TEST_F(SnaSaveTest, RoundTripsGiveBackRegistersPagingBorderAndRam)
{
    std::mt19937 random(20240517);
    // 48K: RAM 0x4000-0xFFFF; the file's stack bytes hold PC afterwards.
    for (int round = 0; round < 3; ++round) {
        TSnapshotMachine saved;
        Randomise(saved, random);
        saved.Paging->SetPaging(0x30);
        Sna.Save(saved.Target(), Folder.File("48.sna"), TSnapshotSNA::Kind48);
        TSnapshotMachine loaded;
        Load(loaded, Folder.File("48.sna"));
        EXPECT_EQ(SavedFields(loaded), SavedFields(saved));
        const u16 sp = saved.Z80->SP;
        saved.Memory->WriteWord(static_cast<u16>(sp - 2), saved.Z80->PC);
        for (u32 a = 0x4000; a < 0x10000; ++a)
            ASSERT_EQ(loaded.Memory->ReadByte(static_cast<u16>(a)), saved.Memory->ReadByte(static_cast<u16>(a))) << a;
    }
    // 128K: every bank, and the paging with its ROM, screen and lock bits.
    for (u8 port : {0x00, 0x0F, 0x12, 0x15, 0x3B}) {
        SCOPED_TRACE(static_cast<int>(port));
        TSnapshotMachine saved;
        Randomise(saved, random);
        saved.Paging->SetPaging(port);
        Sna.Save(saved.Target(), Folder.File("128.sna"), TSnapshotSNA::Kind128);
        EXPECT_EQ(fs::file_size(Folder.File("128.sna")),
                  static_cast<uintmax_t>((port & 7) == 2 || (port & 7) == 5 ? TSnapshotSNA::Size128Twice
                                                                            : TSnapshotSNA::Size128));
        TSnapshotMachine loaded;
        Load(loaded, Folder.File("128.sna"));
        EXPECT_EQ(SavedFields(loaded), SavedFields(saved));
        for (i32 n = 0; n < 8; ++n)
            EXPECT_TRUE(std::equal(saved.RamPage(n), saved.RamPage(n) + TMemoryPage::Size, loaded.RamPage(n)))
                << "bank " << n;
    }
}

TEST_F(SnaSaveTest, AFailedSaveReportsItAndLeavesWhatWasThere)
{
    TSnapshotMachine machine;
    const auto saveError = [&](const std::string& path, i32 kind = TSnapshotSNA::Kind128) -> std::string {
        try {
            Sna.Save(machine.Target(), path, kind);
        } catch (const TTextError& error) {
            return error.what();
        }
        return "";
    };

    // No folder to write in.
    const std::string missing = Folder.File("no-such-folder/a.sna");
    EXPECT_EQ(saveError(missing).rfind("Can't save snapshot to file.\n", 0), 0u);
    EXPECT_FALSE(fs::exists(missing));

    // A folder in the way: the rename fails, the folder stays, and the
    // temporary file is gone.
    const std::string folder = Folder.File("a-folder.sna");
    fs::create_directory(folder);
    EXPECT_EQ(saveError(folder).rfind("Can't save snapshot to file.\n", 0), 0u);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder.Path()), fs::directory_iterator()), 1);

    // A kind that is neither 48K nor 128K writes nothing.
    EXPECT_EQ(saveError(Folder.File("kind2.sna"), 2), "");
    EXPECT_FALSE(fs::exists(Folder.File("kind2.sna")));

    // A 128K file needs the 128K model; the old file stays.
    TSnapshotMachine small(TMemory::Model48);
    const std::string old = Folder.File("old.sna");
    WriteBytes(old, {1, 2, 3});
    try {
        Sna.Save(small.Target(), old, TSnapshotSNA::Kind128);
        ADD_FAILURE() << "saved";
    } catch (const TTextError& error) {
        EXPECT_STREQ(error.what(), TSnapshot::Needs128KError);
    }
    EXPECT_EQ(ReadBytes(old), (std::vector<u8>{1, 2, 3}));
}

TEST_F(SnaSaveTest, AReplacedFileKeepsItsPermissionsAndLinksAreFollowed)
{
    TSnapshotMachine machine;
    const std::string real = Folder.File("real.sna");
    WriteBytes(real, {1, 2, 3});
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    const std::string link = Folder.File("link.sna");
    fs::create_symlink(real, link);

    Sna.Save(machine.Target(), link, TSnapshotSNA::Kind48);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(real), static_cast<uintmax_t>(TSnapshotSNA::Size48));
    struct stat status {};
    ASSERT_EQ(stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(SnaComputerTest, LoadsIntoTheComputersOwnParts)
{
    TTestSettings settings;
    TFakeHostServices host;
    TComputer computer(host.Services());
    TSnapshotSNA sna;
    sna.Load(computer, TFile(Fixtures + "hand-128k.sna"));
    EXPECT_EQ(computer.Z80->PC, 0x6D2E);
    EXPECT_EQ(computer.Memory->GetPagedBank(), 3);
    EXPECT_EQ(computer.VideoCard->GetBorder(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(computer.Memory->GetBankPtr(3)), 15), "QUORVANE BANK 3");
}

}  // namespace
