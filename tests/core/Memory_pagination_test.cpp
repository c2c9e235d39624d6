// 128K paging through port 0x7FFD with its lock, and the disk-interface ROM
// paged in and out by opcode fetches.
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Video_card.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t Bank = 0x4000;

// A ROM file of three banks, each byte telling its bank: 0x80 + bank in
// every byte, so a read shows at once which ROM is mapped.
constexpr u8 Rom128Mark = 0x80;  // bank 0
constexpr u8 Rom48Mark = 0x81;   // bank 1
constexpr u8 DiskMark = 0x82;    // bank 2

class MemoryPaginationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvane-paging-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        const std::string path = (Folder / "marked.rom").string();
        std::ofstream out(path, std::ios::binary);
        for (u8 mark : {Rom128Mark, Rom48Mark, DiskMark})
            out << std::string(Bank, static_cast<char>(mark));
        out.close();
        Settings->Rom48File = Settings->Rom128File = Settings->DiskRomFile = path;
    }
    void TearDown() override { fs::remove_all(Folder); }

    TTestSettings Settings;
    fs::path Folder;
};

TEST_F(MemoryPaginationTest, PortWritesMapRamRomAndScreenUntilLocked)
{
    TMemory memory(TMemory::Model128);
    TVideoCard video(&memory, nullptr);
    TMemoryPagination paging(memory, &video);
    ASSERT_TRUE(paging.IsEnabled());
    // Construction applies value 0: bank 0, the 128 ROM, screen 5.
    EXPECT_EQ(memory.GetPagedBank(), 0);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom128Mark);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetBankPtr(5));

    paging.PortWrite(0x10);
    EXPECT_EQ(memory.GetPagedBank(), 0);
    EXPECT_EQ(memory.GetSlotPageNumber(3), 0);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom48Mark);
    EXPECT_EQ(memory.GetRomSlot(), 0);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetBankPtr(5));
    EXPECT_EQ(paging.GetLastValue(), 0x10);

    paging.PortWrite(0x2F);
    EXPECT_EQ(memory.GetPagedBank(), 7);
    EXPECT_EQ(memory.GetSlotPageNumber(3), 7);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom128Mark);
    EXPECT_EQ(memory.GetRomSlot(), 1);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetBankPtr(7));
    EXPECT_EQ(paging.GetLastValue(), 0x2F);

    // Locked: ignored.
    paging.PortWrite(0x10);
    EXPECT_EQ(memory.GetPagedBank(), 7);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom128Mark);
    EXPECT_EQ(paging.GetLastValue(), 0x2F);

    // SetPaging unlocks and applies.
    paging.SetPaging(0x13);
    EXPECT_EQ(memory.GetPagedBank(), 3);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom48Mark);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetBankPtr(5));
    EXPECT_EQ(paging.GetLastValue(), 0x13);

    // Bank 5 and 2 stay where they are whatever 0xC000 shows.
    memory.WriteByte(0xC000, 0x33);
    EXPECT_EQ(memory.GetBankPtr(3)[0], 0x33);
    paging.PortWrite(0x05);
    EXPECT_EQ(memory.ReadByte(0xC000), memory.ReadByte(0x4000));
}

TEST_F(MemoryPaginationTest, ResetMapsBankZeroThe128RomAndScreenFiveKeepingRam)
{
    TMemory memory(TMemory::Model128);
    TVideoCard video(&memory, nullptr);
    TMemoryPagination paging(memory, &video);
    paging.PortWrite(0x3F);  // bank 7, 48 ROM, screen 7, locked
    memory.WriteByte(0xC123, 0x77);
    memory.WriteByte(0x8123, 0x22);

    paging.Reset();
    EXPECT_EQ(paging.GetLastValue(), 0);
    EXPECT_EQ(memory.GetPagedBank(), 0);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom128Mark);
    EXPECT_EQ(video.GetScreenMemory(), memory.GetBankPtr(5));
    EXPECT_EQ(memory.GetBankPtr(7)[0x0123], 0x77);
    EXPECT_EQ(memory.ReadByte(0x8123), 0x22);

    paging.PortWrite(0x01);  // unlocked again
    EXPECT_EQ(memory.GetPagedBank(), 1);
}

TEST_F(MemoryPaginationTest, The48KModelHasNoPagingRegister)
{
    Settings->Model = TMemory::Model48;
    TMemory memory(TMemory::Model48);
    TMemoryPagination paging(memory, nullptr);
    EXPECT_FALSE(paging.IsEnabled());
    EXPECT_EQ(paging.GetPortCount(), 1);  // its port, never registered

    const u8 before = memory.ReadByte(0xC000);
    paging.PortWrite(0x17);
    paging.SetPaging(0x17);
    EXPECT_EQ(paging.GetLastValue(), 0);
    EXPECT_EQ(memory.GetSlotPageNumber(3), 3);
    EXPECT_EQ(memory.ReadByte(0xC000), before);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom48Mark);
}

TEST_F(MemoryPaginationTest, AnOpcodeFetchInTheTrapAreaPagesTheDiskRomWhileThe48RomIsMapped)
{
    TMemory memory(TMemory::Model128);
    TMemoryPagination paging(memory, nullptr);
    paging.PortWrite(0x10);  // 48 BASIC ROM
    memory.WriteByte(0x5CC2, 0xC9);

    // Data reads never page.
    EXPECT_EQ(memory.ReadByte(0x3D2F), Rom48Mark);
    EXPECT_EQ(memory.GetRomSlot(), 0);

    EXPECT_EQ(memory.ReadOpcode(0x3D2F), DiskMark);
    EXPECT_EQ(memory.GetRomSlot(), 2);
    EXPECT_EQ(memory.ReadByte(0x0000), DiskMark);
    // Fetches anywhere in ROM keep it; the first one at 0x4000 or above
    // brings the 48 BASIC ROM back and reads RAM.
    EXPECT_EQ(memory.ReadOpcode(0x3FFF), DiskMark);
    EXPECT_EQ(memory.ReadOpcode(0x0010), DiskMark);
    EXPECT_EQ(memory.ReadOpcode(0x5CC2), 0xC9);
    EXPECT_EQ(memory.GetRomSlot(), 0);
    EXPECT_EQ(memory.ReadByte(0x0000), Rom48Mark);

    // Only 0x3D00-0x3DFF traps.
    EXPECT_EQ(memory.ReadOpcode(0x3CFF), Rom48Mark);
    EXPECT_EQ(memory.ReadOpcode(0x3E00), Rom48Mark);
    EXPECT_EQ(memory.GetRomSlot(), 0);
    EXPECT_EQ(memory.ReadOpcode(0x3D00), DiskMark);
    EXPECT_EQ(memory.ReadOpcode(0xFFFF), memory.ReadByte(0xFFFF));
    EXPECT_EQ(memory.GetRomSlot(), 0);
}

TEST_F(MemoryPaginationTest, NoDiskPagingWithThe128RomMappedOrWithoutTheInterface)
{
    {
        TMemory memory(TMemory::Model128);
        TMemoryPagination paging(memory, nullptr);  // value 0: the 128 ROM
        EXPECT_EQ(memory.ReadOpcode(0x3D00), Rom128Mark);
        EXPECT_EQ(memory.ReadOpcode(0x3D2F), Rom128Mark);
        EXPECT_EQ(memory.GetRomSlot(), 1);

        // Leaving the disk ROM always returns to the 48 BASIC ROM.
        memory.SelectRom(0);
        EXPECT_EQ(memory.ReadOpcode(0x3D2F), DiskMark);
        EXPECT_EQ(memory.ReadOpcode(0x8000), memory.ReadByte(0x8000));
        EXPECT_EQ(memory.ReadByte(0x0000), Rom48Mark);

        // The paging port selects a ROM while the disk ROM is in.
        memory.ReadOpcode(0x3D2F);
        paging.PortWrite(0x00);
        EXPECT_EQ(memory.ReadByte(0x0000), Rom128Mark);
    }
    {
        Settings->DiskInterface = 0;
        TMemory memory(TMemory::Model128);
        TMemoryPagination paging(memory, nullptr);
        paging.PortWrite(0x10);
        EXPECT_EQ(memory.ReadOpcode(0x3D2F), Rom48Mark);
        EXPECT_EQ(memory.GetRomSlot(), 0);
        memory.SelectRom(2);  // the model has no disk ROM: ignored
        EXPECT_EQ(memory.GetRomSlot(), 0);
    }
}

TEST_F(MemoryPaginationTest, The48KModelPagesTheDiskRomToo)
{
    Settings->Model = TMemory::Model48;
    TMemory memory(TMemory::Model48);
    EXPECT_EQ(memory.ReadOpcode(0x3D13), DiskMark);
    EXPECT_EQ(memory.GetSlotPageNumber(0), 4);
    EXPECT_EQ(memory.ReadOpcode(0x4000), memory.ReadByte(0x4000));
    EXPECT_EQ(memory.GetSlotPageNumber(0), 0);
    EXPECT_EQ(memory.ReadByte(0x3D13), Rom48Mark);
}

}  // namespace
