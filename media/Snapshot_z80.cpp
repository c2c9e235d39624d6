#include "media/Snapshot_z80.h"

#include "core/Ay.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Video_card.h"
#include "core/Z80.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr u8 EscapeByte = 0xED;

// One 16 KB page and where it goes: a 48K file names addresses (0x4000,
// 0x8000, 0xC000 through the 48K map), a 128K file RAM banks. The data is
// the file's own bytes for a raw page, else a decoded copy.
struct TPlacedPage {
    i32 Place;
    std::span<const u8> Data;
};

// The place of a page number, or -1 when the class has none for it.
i32 PlaceOf(TSnapshotZ80::THardware hardware, u8 number)
{
    if (hardware == TSnapshotZ80::THardware::Spectrum128)
        return number >= 3 && number <= 10 ? number - 3 : -1;
    switch (number) {
    case 8: return 0x4000;
    case 4: return 0x8000;
    case 5: return 0xC000;
    default: return -1;
    }
}

}  // namespace

TSnapshotZ80::TSnapshotZ80() : TSnapshot("Z80 48k", "z80") {}

TSnapshotZ80::THardware TSnapshotZ80::ClassifyHardware(u16 additionalLength, u8 mode)
{
    if (mode == 2)
        return THardware::SamRam;
    if (additionalLength == Version2Length)
        return mode <= 1 ? THardware::Spectrum48 : THardware::Spectrum128;
    // Version 3 moved the 128K modes up by one: 3 is a 48K machine with the
    // M.G.T. interface.
    return mode <= 3 ? THardware::Spectrum48 : THardware::Spectrum128;
}

void TSnapshotZ80::ReadPage(std::span<const u8> data, std::span<u8> page)
{
    // Both bounds are checked before every step: the source (a cut-off file
    // ends the page with an error) and the destination (no run overflows).
    const u8* in = data.data();
    const u8* const inEnd = in + data.size();
    u8* out = page.data();
    u8* const outEnd = out + page.size();
    const auto fail = [] { throw TTextError(InvalidError); };
    while (out < outEnd) {
        if (in == inEnd)
            fail();
        const u8 b = *in++;
        if (b != EscapeByte || out == outEnd - 1) {
            *out++ = b;
            continue;
        }
        if (in == inEnd)
            fail();
        const u8 c = *in++;
        if (c != EscapeByte) {
            // Not the last place: both bytes fit.
            out[0] = EscapeByte;
            out[1] = c;
            out += 2;
            continue;
        }
        if (inEnd - in < 2)
            fail();
        const u8 count = in[0];
        const u8 value = in[1];
        in += 2;
        if (count > outEnd - out)
            fail();
        std::memset(out, value, count);
        out += count;
    }
}

void TSnapshotZ80::LoadImage(const TSnapshotTarget& target, std::span<const u8> bytes)
{
    TSnapshotCursor in(bytes, InvalidError);
    if (bytes.size() < MainHeaderSize)
        in.Fail();
    const auto word = [&](size_t offset) { return static_cast<u16>(bytes[offset] | bytes[offset + 1] << 8); };

    // The class first: a refused file must not change the machine.
    THardware hardware = THardware::Version1;
    u16 additionalLength = 0;
    if (word(6) == 0) {
        if (bytes.size() < MainHeaderSize + 2)
            in.Fail();
        additionalLength = word(30);
        // The fields used below lie within the version 2 header's 23 bytes.
        if (additionalLength < Version2Length || bytes.size() < MainHeaderSize + 2u + additionalLength)
            in.Fail();
        hardware = ClassifyHardware(additionalLength, bytes[34]);
        if (hardware == THardware::SamRam)
            throw TTextError(SamRamError);
        if (hardware == THardware::Spectrum128 && !Has128KPaging(target))
            throw TTextError(Needs128KError);
    }

    TSnapshotRegisters registers;
    registers.AF = static_cast<u16>(bytes[1] | bytes[0] << 8);
    registers.BC = word(2);
    registers.HL = word(4);
    registers.PC = word(6);
    registers.SP = word(8);
    registers.I = bytes[10];
    u8 flags = bytes[12];
    if (flags == 0xFF)
        flags = 1;
    registers.R = static_cast<u8>((bytes[11] & 0x7F) | (flags & 1) << 7);
    registers.DE = word(13);
    registers.AltBC = word(15);
    registers.AltDE = word(17);
    registers.AltHL = word(19);
    registers.AltAF = static_cast<u16>(bytes[22] | bytes[21] << 8);
    registers.IY = word(23);
    registers.IX = word(25);
    registers.IFF1 = bytes[27] != 0 ? 1 : 0;
    registers.IFF2 = bytes[28] != 0 ? 1 : 0;
    registers.IM = bytes[29] & 3;
    const u8 border = (flags >> 1) & 7;

    std::vector<TPlacedPage> pages;
    // Room for decoded pages; each is written whole before it is read.
    std::vector<std::unique_ptr<u8[]>> decoded;
    const auto takeDecoded = [&](size_t count) -> std::span<u8> {
        decoded.push_back(std::make_unique_for_overwrite<u8[]>(PageSize * count));
        return {decoded.back().get(), PageSize * count};
    };
    u8 port = 0;
    std::array<u8, 16> ay{};
    u8 aySelected = 0;
    if (hardware == THardware::Version1) {
        in.Seek(MainHeaderSize);
        std::span<const u8> ram;
        if (flags & 0x20) {
            // The end marker 00 ED ED 00 after the data is not needed.
            const std::span<u8> all = takeDecoded(3);
            ReadPage(bytes.subspan(MainHeaderSize), all);
            ram = all;
        } else {
            ram = in.Take(3 * PageSize);
        }
        for (i32 third = 0; third < 3; ++third)
            pages.push_back({PageSize * (third + 1), ram.subspan(static_cast<size_t>(PageSize * third), PageSize)});
    } else {
        registers.PC = word(32);
        port = bytes[35];
        aySelected = bytes[38];
        std::copy_n(bytes.begin() + 39, ay.size(), ay.begin());

        in.Seek(MainHeaderSize + 2u + additionalLength);
        const size_t wanted = hardware == THardware::Spectrum128 ? 8 : 3;
        while (pages.size() < wanted && !in.IsEnd()) {
            const u16 length = in.TakeWord();
            const u8 number = in.TakeByte();
            const size_t stored = length == RawPageLength ? PageSize : length;
            const i32 place = PlaceOf(hardware, number);
            if (place < 0) {
                in.TakeUpTo(stored);  // no place for it here
                continue;
            }
            if (length == RawPageLength) {
                pages.push_back({place, in.Take(stored)});
            } else {
                const std::span<u8> page = takeDecoded(1);
                ReadPage(in.Take(stored), page);
                pages.push_back({place, page});
            }
        }
    }

    // The whole file has been read: now the machine changes.
    TMemory& memory = target.Memory;
    if (hardware == THardware::Spectrum128) {
        target.MemoryPagination->SetPaging(port);
        for (const TPlacedPage& page : pages)
            std::memcpy(memory.GetBankPtr(page.Place), page.Data.data(), PageSize);
    } else {
        if (Has128KPaging(target))
            target.MemoryPagination->SetPaging(Paging48K);
        for (const TPlacedPage& page : pages)
            std::memcpy(memory.GetPointer(static_cast<u16>(page.Place)), page.Data.data(), PageSize);
    }
    ApplyRegisters(target.Z80, registers);
    target.VideoCard.BorderWrite(border);
    if (target.AY) {
        target.AY->Reset();
        if (hardware != THardware::Version1) {
            for (u8 r = 0; r < 16; ++r)
                target.AY->SetRegister(r, ay[r]);
            target.AY->SelectRegister(aySelected);
        }
    }
}

void TSnapshotZ80::Save(const TSnapshotTarget&, const std::string&, i32) {}
