// The Z80's 64K address space: four 16 KB slots, each pointing at one page of
// an array of 16 KB pages, read-only ROM pages, the 48K and 128K models, ROM
// images loaded from 16 KB banks of a file, and the automatic paging of the
// disk interface's ROM on opcode fetches.
//
// The byte accessors are inline: the processor calls them for every memory
// access. The slot pointers and the ROM slot are atomics (relaxed) because the
// views read live memory on the UI thread while the run thread pages; on
// x86-64 those loads are plain moves.
#pragma once

#include "core/Types.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>

struct TMemoryPage {
    static constexpr u32 Size = 0x4000;

    u8 Data[Size];
    u8 ReadOnly;  // 1 for a ROM page: writes to it are ignored
};

class TMemory {
public:
    static constexpr i32 ModelNone = 0;
    static constexpr i32 Model48 = 1;
    static constexpr i32 Model128 = 2;
    static constexpr u8 NoRomPage = 0xFF;  // a ROM slot the model does not have

    // Builds the model (1 = 48K, 2 = 128K) from the settings' ROM files.
    explicit TMemory(i32 model);
    ~TMemory();
    TMemory(const TMemory&) = delete;
    TMemory& operator=(const TMemory&) = delete;

    // Rebuilds the pages for a new model (new pages hold random bytes; ROM
    // pages are loaded from the settings' files and banks). The same model
    // again changes nothing. A model other than 1 or 2 is refused with a
    // TTextError and the memory stays as it was.
    void SetModel(i32 model);
    // Drops every page: model 0, every slot reads 0xFF and ignores writes.
    void FreePages();
    // Copies 16 KB bank `bank` of the file into page `page`. False (page
    // untouched) for a missing or empty file, a size that is not a multiple
    // of 16 KB or a file too short for the bank. The file is looked for as
    // named (the current folder for a bare name) and then beside the program.
    bool LoadRomPage(const std::string& fileName, i32 page, i32 bank);
    // What the last build of the model could not load: one line for each ROM
    // that kept its random bytes, naming the ROM, its file and bank, why it
    // failed and where the file was looked for. Empty when every ROM loaded.
    const std::string& GetRomReport() const { return RomReport; }

    // --- Processor access (hot path) ---

    // The opcode-fetch read (the M1 cycle only): with the disk interface
    // present, a fetch in 0x3D00-0x3DFF while the 48 BASIC ROM is mapped
    // pages the disk ROM in, and a fetch at 0x4000 or above pages it out.
    [[gnu::always_inline]] u8 ReadOpcode(u16 address)
    {
        if (DiskInterface) {
            const u8 romSlot = RomSlot.load(std::memory_order_relaxed);
            if (romSlot == 0 && (address >> 8) == 0x3D) [[unlikely]]
                SelectRom(2);
            else if (romSlot == 2 && address >= 0x4000) [[unlikely]]
                SelectRom(0);
        }
        return ReadByte(address);
    }

    [[gnu::always_inline]] u8 ReadByte(u16 address) const { return SlotPage(address)->Data[address & 0x3FFF]; }

    // A write to a ROM page is ignored without a message.
    [[gnu::always_inline]] void WriteByte(u16 address, u8 value)
    {
        TMemoryPage* page = SlotPage(address);
        if (!page->ReadOnly)
            page->Data[address & 0x3FFF] = value;
    }

    // Little-endian; the high byte of 0xFFFF is at 0x0000.
    u16 ReadWord(u16 address) const
    {
        return static_cast<u16>(ReadByte(address) | ReadByte(static_cast<u16>(address + 1)) << 8);
    }
    void WriteWord(u16 address, u16 value)
    {
        WriteByte(address, static_cast<u8>(value));
        WriteByte(static_cast<u16>(address + 1), static_cast<u8>(value >> 8));
    }

    // The byte at the address as currently paged (snapshot readers and
    // writer). Writing through it bypasses the ROM protection.
    u8* GetPointer(u16 address) { return SlotPage(address)->Data + (address & 0x3FFF); }

    // --- Paging ---

    // Maps RAM bank 0-7 at 0xC000 (128K model; ignored in the 48K model,
    // which has no pageable RAM).
    void SetRamPage(u8 bank);
    // Maps ROM slot 0 (48 BASIC), 1 (128) or 2 (disk interface) at 0x0000;
    // a slot the model does not have is ignored.
    void SelectRom(u8 slot);
    // The data of page n & 0xFF (in the 128K model pages 0-7 are the RAM
    // banks), or nullptr when the model has no such page. Callers check.
    u8* GetBankPtr(i32 n);
    // The RAM bank mapped at 0xC000.
    u8 GetPagedBank() const { return RamBank.load(std::memory_order_relaxed); }

    // --- What the views and the snapshot code ask ---

    i32 GetModel() const { return Model; }
    i32 GetPageCount() const { return PageCount; }
    u8 GetRomSlot() const { return RomSlot.load(std::memory_order_relaxed); }
    // The page number of ROM slot 0-3, or NoRomPage.
    u8 GetRomPage(i32 romSlot) const { return romSlot >= 0 && romSlot < 4 ? RomPages[romSlot] : NoRomPage; }
    // The page number mapped in address slot 0-3, or -1 when none is.
    i32 GetSlotPageNumber(i32 slot) const;
    bool HasDiskInterface() const { return DiskInterface != 0; }

    // --- Seams for tests only; the program never calls these ---

    // Turns the current mapping into 64K of plain RAM: every page writable
    // and the disk-interface ROM paging switched off. The processor's vector
    // tests put code and data anywhere, also below 0x4000.
    void MakeFlatRam();
    // Reseeds the generator that fills new pages, for repeatable tests. By
    // default it is seeded from the system's entropy source.
    static void SeedRandom(u32 seed);

private:
    [[gnu::always_inline]] TMemoryPage* SlotPage(u16 address) const { return Slots[address >> 14].load(std::memory_order_relaxed); }
    void SetSlot(i32 slot, TMemoryPage* page) { Slots[slot].store(page, std::memory_order_relaxed); }
    void BuildModel(i32 model);
    void AddRomPage(i32 romSlot, i32 page, const std::string& file, i32 bank);
    // LoadRomPage with the reason of a failure (empty when it loaded).
    std::string TryLoadRomPage(const std::string& fileName, i32 page, i32 bank);

    std::array<std::atomic<TMemoryPage*>, 4> Slots{};
    std::unique_ptr<TMemoryPage[]> Pages;
    i32 PageCount = 0;
    i32 Model = ModelNone;
    std::atomic<u8> RamBank{0};
    std::atomic<u8> RomSlot{0};
    std::array<u8, 4> RomPages{NoRomPage, NoRomPage, NoRomPage, NoRomPage};
    u8 DiskInterface = 0;
    std::string RomReport;
    // What the slots show while there are no pages: 0xFF, read-only.
    std::unique_ptr<TMemoryPage> Unmapped;
};
