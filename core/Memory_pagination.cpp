#include "core/Memory_pagination.h"

#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Video_card.h"

TMemoryPagination::TMemoryPagination(TMemory& memory, TVideoCard* videoCard)
    : Memory(memory), VideoCard(videoCard)
{
    const TSettings& settings = *g_Settings;
    // Enabled only when the memory really has the 128K pages to switch.
    Enabled = settings.Model == TMemory::Model128 && memory.GetModel() == TMemory::Model128;
    AllocatePorts(1);
    AddPort(new TPort(settings.PagingPort, settings.PagingMask,
                      TOutHandler::Bind<TMemoryPagination, &TMemoryPagination::PortWrite>(this)));
    if (Enabled)
        Reset();
}

void TMemoryPagination::Reset()
{
    SetPaging(0);
}

void TMemoryPagination::SetPaging(u8 value)
{
    if (!Enabled)
        return;
    LastValue.store(0, std::memory_order_relaxed);
    PortWrite(value);
}

void TMemoryPagination::PortWrite(u8 value)
{
    if (!Enabled || (LastValue.load(std::memory_order_relaxed) & 0x20))
        return;
    LastValue.store(value, std::memory_order_relaxed);
    Memory.SetRamPage(value & 7);
    Memory.SelectRom((value & 0x10) ? 0 : 1);
    if (VideoCard)
        VideoCard->SetScreenMemory(Memory.GetBankPtr((value & 0x08) ? 7 : 5));
}
