// The address space: word access across 0xFFFF, ROM protection, the page
// layout of both models, ROM images from 16 KB banks of a file (and where the
// file is looked for), the random content of pages without a ROM, and the
// view of memory through TCpuMemoryArray.
#include "core/Cpu_memory_array.h"
#include "core/Memory.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t Bank = 0x4000;

// Bank b of a synthetic ROM file: a pattern no other bank shares.
u8 RomByte(size_t bank, size_t offset)
{
    return static_cast<u8>(offset * 7 + bank * 0x55 + (offset >> 8));
}

std::vector<u8> RomImage(size_t bytes)
{
    std::vector<u8> image(bytes);
    for (size_t i = 0; i < bytes; ++i)
        image[i] = RomByte(i / Bank, i % Bank);
    return image;
}

std::vector<u8> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool PageHoldsBank(const u8* page, const std::vector<u8>& image, size_t bank)
{
    return page && image.size() >= (bank + 1) * Bank &&
           std::equal(page, page + Bank, image.begin() + static_cast<std::ptrdiff_t>(bank * Bank));
}

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvane-memory-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        TMemory::SeedRandom(12345);
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::string WriteFile(const std::string& name, const std::vector<u8>& bytes)
    {
        const std::string path = (Folder / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Points every ROM slot of the settings at one synthetic 3-bank file:
    // 128 ROM bank 0, 48 BASIC bank 1, disk ROM bank 2.
    std::vector<u8> UseSyntheticRoms()
    {
        std::vector<u8> image = RomImage(3 * Bank);
        const std::string path = WriteFile("three.rom", image);
        Settings->Rom48File = Settings->Rom128File = Settings->DiskRomFile = path;
        Settings->Rom128Bank = 0;
        Settings->Rom48Bank = 1;
        Settings->DiskRomBank = 2;
        return image;
    }

    TTestSettings Settings;
    fs::path Folder;
};

TEST_F(MemoryTest, WordsWrapFrom0xFFFFTo0x0000AndRomIgnoresWrites)
{
    TMemory memory(TMemory::Model48);
    const u8 rom0 = memory.ReadByte(0x0000);
    memory.WriteByte(0xFFFF, 0x34);
    EXPECT_EQ(memory.ReadWord(0xFFFF), 0x34 | rom0 << 8);

    memory.WriteWord(0xFFFF, 0xABCD);
    EXPECT_EQ(memory.ReadByte(0xFFFF), 0xCD);
    EXPECT_EQ(memory.ReadByte(0x0000), rom0);  // the high byte went to ROM

    memory.WriteWord(0x3FFF, 0x1234);  // straddles ROM and RAM
    EXPECT_EQ(memory.ReadByte(0x4000), 0x12);
    memory.WriteWord(0x8000, 0xBEEF);
    EXPECT_EQ(memory.ReadWord(0x8000), 0xBEEF);
    EXPECT_EQ(memory.ReadByte(0x8000), 0xEF);  // little-endian

    // Every ROM byte resists; GetPointer (the snapshot path) reaches it.
    const u8 before = memory.ReadByte(0x1234);
    memory.WriteByte(0x1234, static_cast<u8>(~before));
    EXPECT_EQ(memory.ReadByte(0x1234), before);
    *memory.GetPointer(0x1234) = static_cast<u8>(~before);
    EXPECT_EQ(memory.ReadByte(0x1234), static_cast<u8>(~before));
}

TEST_F(MemoryTest, ModelsLayTheirPagesOutAndLoadTheirRoms)
{
    const std::vector<u8> image = UseSyntheticRoms();
    {
        TMemory memory(TMemory::Model48);
        EXPECT_EQ(memory.GetModel(), TMemory::Model48);
        EXPECT_EQ(memory.GetPageCount(), 5);
        for (i32 slot = 0; slot < 4; ++slot)
            EXPECT_EQ(memory.GetSlotPageNumber(slot), slot);
        EXPECT_EQ(memory.GetRomPage(0), 0);
        EXPECT_EQ(memory.GetRomPage(1), TMemory::NoRomPage);
        EXPECT_EQ(memory.GetRomPage(2), 4);
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(0), image, 1));
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(4), image, 2));
        EXPECT_EQ(memory.GetBankPtr(5), nullptr);  // no bank 5 in the 48K model
        EXPECT_EQ(memory.GetBankPtr(7), nullptr);
        EXPECT_EQ(memory.ReadByte(0x0005), RomByte(1, 5));
    }
    {
        TMemory memory(TMemory::Model128);
        EXPECT_EQ(memory.GetPageCount(), 11);
        EXPECT_EQ(memory.GetSlotPageNumber(0), 8);
        EXPECT_EQ(memory.GetSlotPageNumber(1), 5);
        EXPECT_EQ(memory.GetSlotPageNumber(2), 2);
        EXPECT_EQ(memory.GetSlotPageNumber(3), 0);
        EXPECT_EQ(memory.GetRomSlot(), 0);
        EXPECT_EQ(memory.GetPagedBank(), 0);
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(8), image, 1));
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(9), image, 0));
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(10), image, 2));
        EXPECT_EQ(memory.GetBankPtr(11), nullptr);
        EXPECT_EQ(memory.GetBankPtr(0x105), memory.GetBankPtr(5));  // n & 0xFF

        // The banks in the slots are the banks GetBankPtr gives.
        memory.WriteByte(0x4000, 0x55);
        memory.WriteByte(0x8001, 0x66);
        memory.WriteByte(0xC002, 0x77);
        EXPECT_EQ(memory.GetBankPtr(5)[0], 0x55);
        EXPECT_EQ(memory.GetBankPtr(2)[1], 0x66);
        EXPECT_EQ(memory.GetBankPtr(0)[2], 0x77);

        // Every ROM page is read-only, whichever is paged in.
        for (u8 slot : {0, 1, 2}) {
            memory.SelectRom(slot);
            const u8 before = memory.ReadByte(0x0100);
            memory.WriteByte(0x0100, static_cast<u8>(~before));
            EXPECT_EQ(memory.ReadByte(0x0100), before) << "ROM slot " << int(slot);
        }
    }
    Settings->DiskInterface = 0;
    EXPECT_EQ(TMemory(TMemory::Model48).GetPageCount(), 4);
    EXPECT_EQ(TMemory(TMemory::Model128).GetPageCount(), 10);
}

TEST_F(MemoryTest, RomFilesMustHoldWholeBanks)
{
    TMemory memory(TMemory::Model128);
    std::vector<u8> page(memory.GetBankPtr(3), memory.GetBankPtr(3) + Bank);

    const std::string odd = WriteFile("odd.rom", RomImage(40000));
    for (i32 bank = 0; bank < 3; ++bank)
        EXPECT_FALSE(memory.LoadRomPage(odd, 3, bank)) << "bank " << bank;
    EXPECT_TRUE(std::equal(page.begin(), page.end(), memory.GetBankPtr(3)));

    const std::string two = WriteFile("two.rom", RomImage(2 * Bank));
    EXPECT_FALSE(memory.LoadRomPage(two, 3, 2));
    EXPECT_TRUE(std::equal(page.begin(), page.end(), memory.GetBankPtr(3)));
    const std::vector<u8> image = RomImage(2 * Bank);
    EXPECT_TRUE(memory.LoadRomPage(two, 3, 1));
    EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(3), image, 1));
    EXPECT_TRUE(memory.LoadRomPage(two, 3, 0));
    EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(3), image, 0));

    EXPECT_FALSE(memory.LoadRomPage(WriteFile("empty.rom", {}), 3, 0));
    EXPECT_FALSE(memory.LoadRomPage((Folder / "missing.rom").string(), 3, 0));
    EXPECT_FALSE(memory.LoadRomPage(Folder.string(), 3, 0));  // a folder
    EXPECT_FALSE(memory.LoadRomPage(two, 11, 0));              // no such page
    EXPECT_FALSE(memory.LoadRomPage(two, 3, -1));
    EXPECT_FALSE(memory.LoadRomPage(two, 3, std::numeric_limits<i32>::max()));  // no overflow
}

TEST_F(MemoryTest, AMissingRomLeavesUniformRandomBytesThatStayReadOnly)
{
    Settings->Rom48File = Settings->Rom128File = Settings->DiskRomFile = (Folder / "none.rom").string();
    TMemory::SeedRandom(7);
    TMemory first(TMemory::Model48);
    TMemory::SeedRandom(7);
    TMemory second(TMemory::Model48);
    TMemory::SeedRandom(8);
    TMemory third(TMemory::Model48);

    const u8* a = first.GetBankPtr(0);
    EXPECT_TRUE(std::equal(a, a + Bank, second.GetBankPtr(0)));
    EXPECT_FALSE(std::equal(a, a + Bank, third.GetBankPtr(0)));

    // 16,384 draws of a uniform byte: every value appears, none dominates.
    std::array<int, 256> counts{};
    for (size_t i = 0; i < Bank; ++i)
        ++counts[a[i]];
    EXPECT_GT(*std::min_element(counts.begin(), counts.end()), 20);
    EXPECT_LT(*std::max_element(counts.begin(), counts.end()), 120);

    const u8 before = first.ReadByte(0x0000);
    first.WriteByte(0x0000, static_cast<u8>(~before));
    EXPECT_EQ(first.ReadByte(0x0000), before);
}

TEST_F(MemoryTest, EveryRomThatCouldNotBeLoadedIsReportedWithItsFileBankAndReason)
{
    UseSyntheticRoms();
    EXPECT_EQ(TMemory(TMemory::Model128).GetRomReport(), "") << "all loaded";

    // A missing file, named bare: looked for here and beside the program.
    const fs::path previous = fs::current_path();
    fs::current_path(Folder);
    Settings->Rom48File = "absent.rom";
    Settings->Rom128File = WriteFile("short.rom", RomImage(Bank));
    Settings->Rom128Bank = 1;
    std::string report = TMemory(TMemory::Model128).GetRomReport();
    fs::current_path(previous);
    const std::string program = fs::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(report,
              "The 48 BASIC ROM (bank 1 of \"absent.rom\") could not be loaded: no such file. Looked for as " +
                  (Folder / "absent.rom").string() + " and " + program + "/absent.rom.\n"
                  "The 128 ROM (bank 1 of \"" + Settings->Rom128File +
                  "\") could not be loaded: the file holds only 1 banks of 16 KB. Looked for as " +
                  Settings->Rom128File + ".\n");

    // An empty file and one that is not whole banks; a model change builds
    // the report anew.
    Settings->Rom48File = WriteFile("empty.rom", {});
    TMemory memory(TMemory::Model48);
    EXPECT_NE(memory.GetRomReport().find("the file is empty or cannot be read"), std::string::npos);
    Settings->Rom48File = WriteFile("odd.rom", RomImage(40000));
    memory.SetModel(TMemory::Model128);
    report = memory.GetRomReport();
    EXPECT_NE(report.find("48 BASIC ROM (bank 1 of"), std::string::npos) << report;
    EXPECT_NE(report.find("its 40000 bytes are not a whole number of 16 KB banks"), std::string::npos) << report;
    EXPECT_EQ(report.find("empty"), std::string::npos) << "the earlier report is gone";
}

// The program finds "roms.rom" in the current folder first, then beside
// itself (the composed file sits beside the test programs).
TEST_F(MemoryTest, TheRomFileIsLookedForInTheCurrentFolderThenBesideTheProgram)
{
    const std::vector<u8> composed = ReadAll(QUORVANE_ROMS_FILE);
    ASSERT_EQ(composed.size(), 3 * Bank);
    ASSERT_EQ(Settings->Rom128File, "roms.rom");

    const fs::path previous = fs::current_path();
    fs::current_path(Folder);
    {
        TMemory memory(TMemory::Model128);
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(9), composed, 0));
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(8), composed, 1));
    }
    const std::vector<u8> local = RomImage(3 * Bank);
    WriteFile("roms.rom", local);
    {
        TMemory memory(TMemory::Model128);
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(9), local, 0));
        EXPECT_TRUE(PageHoldsBank(memory.GetBankPtr(10), local, 2));
    }
    fs::current_path(previous);
}

TEST_F(MemoryTest, SetModelRebuildsOnlyForANewModelAndRefusesUnknownOnes)
{
    TMemory memory(TMemory::Model128);
    memory.WriteByte(0x8000, 0x42);
    memory.SetModel(TMemory::Model128);
    EXPECT_EQ(memory.ReadByte(0x8000), 0x42);

    EXPECT_THROW(memory.SetModel(3), TTextError);
    EXPECT_THROW(memory.SetModel(0), TTextError);
    EXPECT_EQ(memory.GetModel(), TMemory::Model128);
    EXPECT_EQ(memory.ReadByte(0x8000), 0x42);
    EXPECT_THROW(TMemory{5}, TTextError);

    memory.SetModel(TMemory::Model48);
    EXPECT_EQ(memory.GetPageCount(), 5);
    memory.SetRamPage(3);  // no pageable RAM in the 48K model
    EXPECT_EQ(memory.GetSlotPageNumber(3), 3);

    memory.FreePages();
    EXPECT_EQ(memory.GetModel(), TMemory::ModelNone);
    EXPECT_EQ(memory.ReadByte(0x8000), 0xFF);
    memory.WriteByte(0x8000, 0);
    EXPECT_EQ(memory.ReadByte(0x8000), 0xFF);
    EXPECT_EQ(memory.GetSlotPageNumber(2), -1);
    EXPECT_EQ(memory.GetBankPtr(0), nullptr);
}

TEST_F(MemoryTest, FlatRamMakesAll64KWritableWithoutDiskPaging)
{
    UseSyntheticRoms();
    TMemory memory(TMemory::Model48);
    memory.MakeFlatRam();
    for (u32 address = 0; address < 0x10000; address += 0x1000) {
        memory.WriteByte(static_cast<u16>(address), static_cast<u8>(address >> 12));
        EXPECT_EQ(memory.ReadByte(static_cast<u16>(address)), address >> 12);
    }
    memory.WriteByte(0x3D00, 0xC9);
    EXPECT_EQ(memory.ReadOpcode(0x3D00), 0xC9);
    EXPECT_EQ(memory.GetRomSlot(), 0);
}

TEST_F(MemoryTest, TheViewsSeeTheAddressSpaceAsPaged)
{
    UseSyntheticRoms();
    TMemory memory(TMemory::Model128);
    TCpuMemoryArray view(&memory);
    EXPECT_EQ(view.GetSize(), 0x10000);

    const u8 rom = memory.ReadByte(0x0000);
    view.SetByte(0x0000, static_cast<u8>(~rom));
    EXPECT_EQ(view.GetByte(0x0000), rom);
    view.SetByte(0x8000, 0xA5);
    EXPECT_EQ(memory.GetBankPtr(2)[0], 0xA5);

    view.SetByte(0xFFFF, 0x3C);
    EXPECT_EQ(view.GetAddressText(0xFFFF), "FFFF");
    EXPECT_EQ(view.GetAddressText(0x0A0B), "0A0B");
    EXPECT_EQ(view.GetByteText(0xFFFF), "3C");
    EXPECT_EQ(view.GetByteText(0x8000), "A5");
    char word[5];
    std::snprintf(word, sizeof word, "%02X3C", rom);
    EXPECT_EQ(view.GetWordText(0xFFFF), word);

    // Reading the disk-interface trap area through a view never pages.
    memory.SelectRom(0);
    EXPECT_EQ(view.GetByte(0x3D2F), RomByte(1, 0x3D2F));
    EXPECT_EQ(memory.GetRomSlot(), 0);
}

}  // namespace
