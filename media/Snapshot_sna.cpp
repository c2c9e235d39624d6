#include "media/Snapshot_sna.h"

#include "core/Ay.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Replacing_file.h"
#include "core/Video_card.h"
#include "core/Z80.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {


bool IsStoredTwice(u8 bank)
{
    return bank == 2 || bank == 5;
}

// The reason of the last failed system call, for the user.
[[noreturn]] void FailSave(int error)
{
    throw TTextError(std::string(TSnapshotSNA::SaveError) + "\n" + std::strerror(error) + ".");
}

bool WriteAll(int fd, const u8* data, size_t size)
{
    while (size > 0) {
        const ssize_t done = write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

// Writes the bytes to a fresh file beside the target and renames it over
// the target once every write, the flush and the close have succeeded, so
// the target is either the old file or the whole new one.
void WriteReplacing(const std::string& path, const std::vector<u8>& bytes)
{
    TReplacingFile file(path);
    if (file.GetFd() < 0)
        FailSave(file.GetError());
    if (!WriteAll(file.GetFd(), bytes.data(), bytes.size()))
        FailSave(errno != 0 ? errno : EIO);
    if (!file.Commit())
        FailSave(file.GetError());
}

}  // namespace

TSnapshotSNA::TSnapshotSNA() : TSnapshot("Sna 48k", "sna") {}

void TSnapshotSNA::LoadImage(const TSnapshotTarget& target, std::span<const u8> bytes)
{
    const size_t size = bytes.size();
    if (size != Size48 && size != Size128 && size != Size128Twice)
        throw TTextError(FormatError);

    // Everything is read and checked first; the machine changes only below.
    TSnapshotCursor in(bytes, FormatError);
    TSnapshotRegisters registers;
    registers.I = in.TakeByte();
    registers.AltHL = in.TakeWord();
    registers.AltDE = in.TakeWord();
    registers.AltBC = in.TakeWord();
    registers.AltAF = in.TakeWord();
    registers.HL = in.TakeWord();
    registers.DE = in.TakeWord();
    registers.BC = in.TakeWord();
    registers.IY = in.TakeWord();
    registers.IX = in.TakeWord();
    const u8 interrupt = in.TakeByte();
    registers.R = in.TakeByte();
    registers.AF = in.TakeWord();
    registers.SP = in.TakeWord();
    registers.IM = in.TakeByte() & 3;
    const u8 border = in.TakeByte() & 7;
    registers.IFF1 = registers.IFF2 = (interrupt >> 2) & 1;
    const std::span<const u8> ram = in.Take(RamSize);

    TZ80& z80 = target.Z80;
    TMemory& memory = target.Memory;
    if (size == Size48) {
        if (Has128KPaging(target))
            target.MemoryPagination->SetPaging(Paging48K);
        for (i32 third = 0; third < 3; ++third)
            std::memcpy(memory.GetPointer(static_cast<u16>(BankSize * (third + 1))),
                        ram.data() + BankSize * third, BankSize);
        ApplyRegisters(z80, registers);
        // PC was pushed when the file was saved; the word stays in memory.
        z80.PC = memory.ReadWord(z80.SP);
        z80.SP = static_cast<u16>(z80.SP + 2);
    } else {
        // A 48K memory has no banks to put the rest in.
        if (!Has128KPaging(target))
            throw TTextError(FormatError);
        registers.PC = in.TakeWord();
        const u8 port = in.TakeByte();
        in.TakeByte();  // disk-interface ROM paged: not emulated
        const u8 paged = port & 7;
        // Every bank must be there: a size that does not match the paged
        // bank would leave one unloaded.
        if (size != static_cast<size_t>(IsStoredTwice(paged) ? Size128Twice : Size128))
            throw TTextError(FormatError);

        target.MemoryPagination->SetPaging(port);
        const u8 mapped[3] = {5, 2, paged};
        for (i32 third = 0; third < 3; ++third)
            std::memcpy(memory.GetBankPtr(mapped[third]), ram.data() + BankSize * third, BankSize);
        for (u8 bank = 0; bank < 8; ++bank)
            if (!IsStoredTwice(bank) && bank != paged)
                std::memcpy(memory.GetBankPtr(bank), in.Take(BankSize).data(), BankSize);
        ApplyRegisters(z80, registers);
    }
    z80.Tact = 0;
    target.VideoCard.BorderWrite(border);
    if (target.AY)
        target.AY->Reset();
}

std::vector<u8> TSnapshotSNA::BuildImage(const TSnapshotTarget& target, i32 kind)
{
    const bool is48 = kind == Kind48;
    if (!is48 && !Has128KPaging(target))
        throw TTextError(Needs128KError);

    TZ80& z80 = target.Z80;
    TMemory& memory = target.Memory;
    std::vector<u8> image;
    image.reserve(Size128Twice);
    const auto byte = [&](u8 value) { image.push_back(value); };
    const auto word = [&](u16 value) {
        image.push_back(static_cast<u8>(value));
        image.push_back(static_cast<u8>(value >> 8));
    };
    const auto bank = [&](const u8* data) { image.insert(image.end(), data, data + BankSize); };

    // The 48K form pushes PC: the header's SP is two lower.
    const u16 sp = is48 ? static_cast<u16>(z80.SP - 2) : z80.SP;
    byte(z80.I);
    word(z80.AltHL.W);
    word(z80.AltDE.W);
    word(z80.AltBC.W);
    word(z80.AltAF.W);
    word(z80.HL.W);
    word(z80.DE.W);
    word(z80.BC.W);
    word(z80.IY.W);
    word(z80.IX.W);
    byte(static_cast<u8>((z80.IFF2 & 1) << 2));
    byte(static_cast<u8>((z80.R & 0x7F) | (z80.R7 & 0x80)));
    word(z80.AF.W);
    word(sp);
    byte(z80.IM);
    byte(target.VideoCard.GetBorder());
    for (u32 address = 0x4000; address < 0x10000; address += BankSize)
        bank(memory.GetPointer(static_cast<u16>(address)));

    if (is48) {
        // PC on the stack of the image only. A byte that falls below 0x4000
        // is in ROM, where the push would not have stored it either.
        for (u16 i = 0; i < 2; ++i) {
            const u16 address = static_cast<u16>(sp + i);
            if (address >= 0x4000)
                image[HeaderSize + address - 0x4000] = static_cast<u8>(z80.PC >> (8 * i));
        }
        return image;
    }

    const u8 paged = memory.GetPagedBank();
    word(z80.PC);
    // The port byte names the bank the file stores at 0xC000.
    byte(static_cast<u8>((target.MemoryPagination->GetLastValue() & ~7) | paged));
    byte(0);
    for (u8 n = 0; n < 8; ++n)
        if (!IsStoredTwice(n) && n != paged)
            bank(memory.GetBankPtr(n));
    return image;
}

void TSnapshotSNA::Save(const TSnapshotTarget& target, const std::string& path, i32 kind)
{
    if (kind != Kind48 && kind != Kind128)
        return;
    WriteReplacing(path, BuildImage(target, kind));
}
