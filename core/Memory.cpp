#include "core/Memory.h"

#include "core/Settings.h"
#include "media/File.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>
#include <vector>

namespace {

// New pages are filled from one uniform byte source, shared by every memory.
// Pages are built on the UI thread, but tests may build memories on several
// threads: the generator has a lock of its own.
struct TPageNoise {
    std::mutex Lock;
    std::mt19937 Generator{std::random_device{}()};

    void Fill(u8* data, size_t size)
    {
        std::lock_guard guard(Lock);
        size_t i = 0;
        while (i < size) {
            u32 word = static_cast<u32>(Generator());
            for (int b = 0; b < 4 && i < size; ++b, word >>= 8)
                data[i++] = static_cast<u8>(word);
        }
    }
};

TPageNoise& PageNoise()
{
    static TPageNoise noise;
    return noise;
}

// Where a ROM file is looked for, in order: a bare or relative name in the
// current folder first, then in the folder of the running program.
std::vector<std::string> RomFilePlaces(const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(name);
    if (name.empty() || path.is_absolute())
        return {name};
    std::vector<std::string> places;
    const fs::path here = fs::absolute(path, error);
    places.push_back(error ? name : here.string());
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        places.push_back((program.parent_path() / path).string());
    return places;
}

// The first place that holds the file, or the name as it stands.
std::string FindRomFile(const std::string& name)
{
    std::error_code error;
    for (const std::string& place : RomFilePlaces(name))
        if (std::filesystem::exists(place, error))
            return place;
    return name;
}

const char* RomSlotName(i32 romSlot)
{
    switch (romSlot) {
    case 0: return "48 BASIC ROM";
    case 1: return "128 ROM";
    default: return "disk-interface ROM";
    }
}

}  // namespace

TMemory::TMemory(i32 model) : Unmapped(std::make_unique<TMemoryPage>())
{
    std::memset(Unmapped->Data, 0xFF, sizeof Unmapped->Data);
    Unmapped->ReadOnly = 1;
    for (i32 slot = 0; slot < 4; ++slot)
        SetSlot(slot, Unmapped.get());
    SetModel(model);
}

TMemory::~TMemory() = default;

void TMemory::SetModel(i32 model)
{
    if (model != Model48 && model != Model128)
        throw TTextError("Unknown memory model.");
    DiskInterface = g_Settings->DiskInterface ? 1 : 0;
    if (model == Model)
        return;
    FreePages();
    BuildModel(model);
}

void TMemory::FreePages()
{
    if (Model == ModelNone)
        return;
    for (i32 slot = 0; slot < 4; ++slot)
        SetSlot(slot, Unmapped.get());
    Pages.reset();
    PageCount = 0;
    RomPages.fill(NoRomPage);
    RamBank.store(0, std::memory_order_relaxed);
    RomSlot.store(0, std::memory_order_relaxed);
    Model = ModelNone;
}

void TMemory::BuildModel(i32 model)
{
    const TSettings& settings = *g_Settings;
    const i32 disk = DiskInterface;
    PageCount = (model == Model48 ? 4 : 10) + disk;
    Pages = std::make_unique<TMemoryPage[]>(static_cast<size_t>(PageCount));
    for (i32 n = 0; n < PageCount; ++n) {
        PageNoise().Fill(Pages[n].Data, TMemoryPage::Size);
        Pages[n].ReadOnly = 0;
    }
    Model = model;
    RomReport.clear();

    if (model == Model48) {
        AddRomPage(0, 0, settings.Rom48File, settings.Rom48Bank);
        if (disk)
            AddRomPage(2, 4, settings.DiskRomFile, settings.DiskRomBank);
        for (i32 slot = 0; slot < 4; ++slot)
            SetSlot(slot, &Pages[slot]);
    } else {
        AddRomPage(0, 8, settings.Rom48File, settings.Rom48Bank);
        AddRomPage(1, 9, settings.Rom128File, settings.Rom128Bank);
        if (disk)
            AddRomPage(2, 10, settings.DiskRomFile, settings.DiskRomBank);
        SetSlot(0, &Pages[8]);
        SetSlot(1, &Pages[5]);
        SetSlot(2, &Pages[2]);
        SetSlot(3, &Pages[0]);
    }
    RomSlot.store(0, std::memory_order_relaxed);
    RamBank.store(0, std::memory_order_relaxed);
}

void TMemory::AddRomPage(i32 romSlot, i32 page, const std::string& file, i32 bank)
{
    RomPages[romSlot] = static_cast<u8>(page);
    Pages[page].ReadOnly = 1;
    // A ROM that cannot be loaded keeps its random bytes and stays read-only;
    // the report tells the user why the machine may not start.
    const std::string problem = TryLoadRomPage(file, page, bank);
    if (problem.empty())
        return;
    std::string places;
    for (const std::string& place : RomFilePlaces(file))
        places += (places.empty() ? "" : " and ") + place;
    RomReport += std::string("The ") + RomSlotName(romSlot) + " (bank " + std::to_string(bank) + " of \"" + file +
                 "\") could not be loaded: " + problem + ". Looked for as " + places + ".\n";
}

bool TMemory::LoadRomPage(const std::string& fileName, i32 page, i32 bank)
{
    return TryLoadRomPage(fileName, page, bank).empty();
}

std::string TMemory::TryLoadRomPage(const std::string& fileName, i32 page, i32 bank)
{
    if (page < 0 || page >= PageCount)
        return "there is no such page";
    if (bank < 0)
        return "there is no such bank";
    const std::string found = FindRomFile(fileName);
    std::error_code error;
    if (!std::filesystem::exists(found, error))
        return "no such file";
    const TFile file(found);
    const i64 size = file.GetSize();
    const i64 bankSize = TMemoryPage::Size;
    if (size == 0)
        return "the file is empty or cannot be read";
    if (size % bankSize != 0)
        return "its " + std::to_string(size) + " bytes are not a whole number of 16 KB banks";
    if (size < (static_cast<i64>(bank) + 1) * bankSize)
        return "the file holds only " + std::to_string(size / bankSize) + " banks of 16 KB";
    const std::span<const u8> bytes = file.GetBytes().subspan(static_cast<size_t>(bank * bankSize), bankSize);
    std::copy(bytes.begin(), bytes.end(), Pages[page].Data);
    return {};
}

void TMemory::SetRamPage(u8 bank)
{
    if (Model != Model128)
        return;
    bank &= 7;
    RamBank.store(bank, std::memory_order_relaxed);
    SetSlot(3, &Pages[bank]);
}

void TMemory::SelectRom(u8 slot)
{
    if (slot >= 4 || RomPages[slot] == NoRomPage)
        return;
    RomSlot.store(slot, std::memory_order_relaxed);
    SetSlot(0, &Pages[RomPages[slot]]);
}

u8* TMemory::GetBankPtr(i32 n)
{
    const i32 page = n & 0xFF;
    return page < PageCount ? Pages[page].Data : nullptr;
}

i32 TMemory::GetSlotPageNumber(i32 slot) const
{
    if (slot < 0 || slot >= 4 || Model == ModelNone)
        return -1;
    const TMemoryPage* page = Slots[slot].load(std::memory_order_relaxed);
    return page == Unmapped.get() ? -1 : static_cast<i32>(page - Pages.get());
}

void TMemory::MakeFlatRam()
{
    for (i32 n = 0; n < PageCount; ++n)
        Pages[n].ReadOnly = 0;
    DiskInterface = 0;
}

void TMemory::SeedRandom(u32 seed)
{
    std::lock_guard guard(PageNoise().Lock);
    PageNoise().Generator.seed(seed);
}
