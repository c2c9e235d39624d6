#include "media/Snapshot.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Z80.h"
#include "media/File.h"

#include <algorithm>
#include <utility>

TSnapshotTarget SnapshotTargetOf(TComputer& computer)
{
    return {*computer.Z80, *computer.Memory, computer.MemoryPagination, *computer.VideoCard, computer.AY};
}

TSnapshot::TSnapshot(std::string description, std::string extension)
    : Description(std::move(description)), Extension(std::move(extension))
{
}

void TSnapshot::Load(const TSnapshotTarget& target, const TFile& file)
{
    LoadImage(target, file.GetBytes());
}

void TSnapshot::ApplyRegisters(TZ80& z80, const TSnapshotRegisters& registers)
{
    z80.AF = registers.AF;
    z80.BC = registers.BC;
    z80.DE = registers.DE;
    z80.HL = registers.HL;
    z80.AltAF = registers.AltAF;
    z80.AltBC = registers.AltBC;
    z80.AltDE = registers.AltDE;
    z80.AltHL = registers.AltHL;
    z80.IX = registers.IX;
    z80.IY = registers.IY;
    z80.SP = registers.SP;
    z80.PC = registers.PC;
    z80.I = registers.I;
    z80.R = registers.R;
    z80.R7 = registers.R & 0x80;
    z80.IM = registers.IM;
    z80.IFF1 = registers.IFF1;
    z80.IFF2 = registers.IFF2;
    z80.Halted = 0;
}

bool TSnapshot::Has128KPaging(const TSnapshotTarget& target)
{
    return target.MemoryPagination != nullptr && target.MemoryPagination->IsEnabled() &&
           target.Memory.GetModel() == TMemory::Model128;
}

// ---------------------------------------------------------------------------

void TSnapshotCursor::Seek(size_t position)
{
    if (position > Data.size())
        Fail();
    Position = position;
}

std::span<const u8> TSnapshotCursor::Take(size_t n)
{
    if (n > GetRemaining())
        Fail();
    const std::span<const u8> bytes = Data.subspan(Position, n);
    Position += n;
    return bytes;
}

u16 TSnapshotCursor::TakeWord()
{
    const std::span<const u8> bytes = Take(2);
    return static_cast<u16>(bytes[0] | bytes[1] << 8);
}

std::span<const u8> TSnapshotCursor::TakeUpTo(size_t n)
{
    return Take(std::min(n, GetRemaining()));
}

void TSnapshotCursor::Fail() const
{
    throw TTextError(ErrorText);
}
