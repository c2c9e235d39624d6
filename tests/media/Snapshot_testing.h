// What the snapshot tests share: a machine built by hand from the parts a
// snapshot writes, a capture of its whole state (to show that a refused file
// changes nothing), a SHA-1 to compare RAM banks with the golden texts that
// Debian's snapdump printed (tests/data/snapshot/make.sh), and file helpers.
#pragma once

#include "core/Ay.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Ports.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "media/Snapshot.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace snapshot_testing {

inline const std::string Fixtures = std::string(QUORVANE_FIXTURES_DIR) + "/snapshot/";
inline const std::string Samples = std::string(QUORVANE_TESTDATA_DIR) + "/media/";

inline std::vector<u8> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<u8>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// SHA-1 in lower-case hex, as snapdump prints it.
inline std::string Sha1(const u8* data, size_t size)
{
    std::array<u32, 5> h{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::vector<u8> message(data, data + size);
    message.push_back(0x80);
    while (message.size() % 64 != 56)
        message.push_back(0);
    const u64 bits = static_cast<u64>(size) * 8;
    for (int i = 7; i >= 0; --i)
        message.push_back(static_cast<u8>(bits >> (8 * i)));
    const auto rotl = [](u32 v, int n) { return (v << n) | (v >> (32 - n)); };
    for (size_t block = 0; block < message.size(); block += 64) {
        std::array<u32, 80> w{};
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<u32>(message[block + 4 * i]) << 24 | message[block + 4 * i + 1] << 16 |
                   message[block + 4 * i + 2] << 8 | message[block + 4 * i + 3];
        for (int i = 16; i < 80; ++i)
            w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        u32 a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            u32 f, k;
            if (i < 20) { f = (b & c) | (~b & d); k = 0x5A827999; }
            else if (i < 40) { f = b ^ c ^ d; k = 0x6ED9EBA1; }
            else if (i < 60) { f = (b & c) | (b & d) | (c & d); k = 0x8F1BBCDC; }
            else { f = b ^ c ^ d; k = 0xCA62C1D6; }
            const u32 t = rotl(a, 5) + f + e + k + w[i];
            e = d; d = c; c = rotl(b, 30); b = a; a = t;
        }
        h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e;
    }
    char text[41];
    for (int i = 0; i < 5; ++i)
        std::snprintf(text + 8 * i, 9, "%08x", h[i]);
    return text;
}

// snapdump's text as "key" -> "value": "PC" -> "0x056C", "ram_page_5" ->
// its SHA-1, "128 mem" -> "0x10", "ULA" -> "07", "AY registers" -> "00 ...".
inline std::map<std::string, std::string> ReadSnapdump(const std::string& path)
{
    std::map<std::string, std::string> fields;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ram_page_", 0) == 0) {
            const size_t sha = line.find("sha1: ");
            fields[line.substr(0, line.find(' '))] = line.substr(sha + 6);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const size_t value = line.find_first_not_of(' ', colon + 1);
        fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return fields;
}

inline i32 Hex(const std::string& text)
{
    return static_cast<i32>(std::stoul(text, nullptr, 16));
}

// A machine made of the parts a snapshot writes, built as the computer
// builds them, with every RAM byte set to a filler so that unloaded bytes
// show.
class TSnapshotMachine {
public:
    static constexpr u8 Filler = 0xA5;

    explicit TSnapshotMachine(i32 model = TMemory::Model128)
    {
        Settings->Model = static_cast<u32>(model);
        Memory = std::make_unique<TMemory>(model);
        Ports = std::make_unique<TPorts>();
        Z80 = std::make_unique<TZ80>(Memory.get(), Ports.get());
        VideoCard = std::make_unique<TVideoCard>(Memory.get(), Z80.get());
        Z80->SetVideoCard(VideoCard.get());
        if (model == TMemory::Model128)
            Paging = std::make_unique<TMemoryPagination>(*Memory, VideoCard.get());
        AY = std::make_unique<TAY>();
        Z80->Reset();
        for (i32 n = 0; n < RamPages(); ++n)
            std::memset(RamPage(n), Filler, TMemoryPage::Size);
    }

    TSnapshotTarget Target() { return {*Z80, *Memory, Paging.get(), *VideoCard, AY.get()}; }

    // RAM pages: the eight banks of the 128K model, the three pages at
    // 0x4000, 0x8000, 0xC000 of the 48K model.
    i32 RamPages() const { return Memory->GetModel() == TMemory::Model128 ? 8 : 3; }
    u8* RamPage(i32 n) { return Memory->GetModel() == TMemory::Model128 ? Memory->GetBankPtr(n) : Memory->GetBankPtr(n + 1); }

    // Every register and flag, the paging, the border, the AY's registers
    // and every page of memory: equal captures mean an unchanged machine.
    struct TState {
        std::vector<std::pair<std::string, i64>> Fields;
        std::vector<u8> Pages;
        bool operator==(const TState&) const = default;
    };

    TState Capture()
    {
        TZ80& z = *Z80;
        TState state;
        state.Fields = {
            {"AF", z.AF.W}, {"BC", z.BC.W}, {"DE", z.DE.W}, {"HL", z.HL.W}, {"IX", z.IX.W}, {"IY", z.IY.W},
            {"AF'", z.AltAF.W}, {"BC'", z.AltBC.W}, {"DE'", z.AltDE.W}, {"HL'", z.AltHL.W},
            {"PC", z.PC}, {"SP", z.SP}, {"WZ", z.WZ}, {"I", z.I}, {"R", z.R}, {"R7", z.R7}, {"IM", z.IM},
            {"IFF1", z.IFF1}, {"IFF2", z.IFF2}, {"Halted", z.Halted}, {"Tact", z.Tact}, {"Frame", z.Frame},
            {"Border", VideoCard->GetBorder()}, {"RingWritePosition", VideoCard->GetRingWritePosition()},
            {"ScreenMemory", ScreenBank()}, {"PagedBank", Memory->GetPagedBank()},
            {"RomSlot", Memory->GetRomSlot()}, {"Paging", Paging ? Paging->GetLastValue() : -1},
            {"AYSelected", AY->GetSelectedRegister()}};
        for (i32 slot = 0; slot < 4; ++slot)
            state.Fields.push_back({"Slot" + std::to_string(slot), Memory->GetSlotPageNumber(slot)});
        for (i32 r = 0; r < 16; ++r)
            state.Fields.push_back({"AY R" + std::to_string(r), AY->GetRegister(r)});
        for (i32 page = 0; page < Memory->GetPageCount(); ++page) {
            const u8* data = Memory->GetBankPtr(page);
            state.Pages.insert(state.Pages.end(), data, data + TMemoryPage::Size);
        }
        return state;
    }

    // The bank the video chip shows, -1 for another page.
    i32 ScreenBank() const
    {
        for (i32 n = 0; n < Memory->GetPageCount(); ++n)
            if (VideoCard->GetScreenMemory() == Memory->GetBankPtr(n))
                return n;
        return -1;
    }

    TTestSettings Settings;
    std::unique_ptr<TMemory> Memory;
    std::unique_ptr<TPorts> Ports;
    std::unique_ptr<TZ80> Z80;
    std::unique_ptr<TVideoCard> VideoCard;
    std::unique_ptr<TMemoryPagination> Paging;
    std::unique_ptr<TAY> AY;
};

// Names the first difference between two captures.
inline void ExpectSameState(const TSnapshotMachine::TState& before, const TSnapshotMachine::TState& after)
{
    if (before == after)
        return;
    EXPECT_EQ(before.Fields, after.Fields);
    ASSERT_EQ(before.Pages.size(), after.Pages.size());
    const auto [a, b] = std::ranges::mismatch(before.Pages, after.Pages);
    if (a != before.Pages.end()) {
        const size_t at = static_cast<size_t>(a - before.Pages.begin());
        ADD_FAILURE() << "memory page " << at / TMemoryPage::Size << " changed at offset " << at % TMemoryPage::Size;
    }
}

// Loads the bytes; the error text, or "" when the load succeeded.
inline std::string LoadError(TSnapshot& format, TSnapshotMachine& machine, const std::vector<u8>& bytes)
{
    try {
        format.LoadImage(machine.Target(), bytes);
    } catch (const TTextError& error) {
        return error.what();
    }
    return "";
}

// Compares the machine with what snapdump read in the same file. In a 48K
// snapshot snapdump's banks 5, 2 and 0 are the RAM at 0x4000, 0x8000 and
// 0xC000; in a 128K one they are the banks. Pages that snapdump lists but
// skipPages names are left out (see the callers' reasons).
inline void ExpectAsSnapdump(TSnapshotMachine& machine, const std::string& golden, bool is128,
                             const std::vector<i32>& skipPages = {})
{
    SCOPED_TRACE(golden);
    const auto peer = ReadSnapdump(golden);
    ASSERT_FALSE(peer.empty());
    TZ80& z = *machine.Z80;
    const std::pair<const char*, i32> registers[] = {
        {"PC", z.PC}, {"SP", z.SP}, {"AF", z.AF.W}, {"AF'", z.AltAF.W}, {"BC", z.BC.W}, {"BC'", z.AltBC.W},
        {"DE", z.DE.W}, {"DE'", z.AltDE.W}, {"HL", z.HL.W}, {"HL'", z.AltHL.W}, {"IX", z.IX.W},
        {"IY", z.IY.W}, {"I", z.I}, {"R", (z.R & 0x7F) | z.R7}, {"IFF1", z.IFF1}, {"IFF2", z.IFF2},
        {"IM", z.IM}};
    for (const auto& [name, value] : registers) {
        ASSERT_TRUE(peer.contains(name)) << name;
        EXPECT_EQ(value, Hex(peer.at(name))) << name;
    }
    EXPECT_EQ(z.Halted, 0);
    EXPECT_EQ(machine.VideoCard->GetBorder(), Hex(peer.at("ULA")) & 7) << "border";

    int pages = 0;
    for (i32 bank = 0; bank < 8; ++bank) {
        const std::string key = "ram_page_" + std::to_string(bank);
        if (!peer.contains(key) || std::ranges::find(skipPages, bank) != skipPages.end())
            continue;
        ++pages;
        const u8* data = nullptr;
        if (is128) {
            data = machine.Memory->GetBankPtr(bank);
        } else {
            const u16 address = bank == 5 ? 0x4000 : bank == 2 ? 0x8000 : 0xC000;
            data = machine.Memory->GetPointer(address);
        }
        EXPECT_EQ(Sha1(data, TMemoryPage::Size), peer.at(key)) << key;
    }
    EXPECT_GT(pages, 0);

    if (is128) {
        const i32 port = Hex(peer.at("128 mem"));
        EXPECT_EQ(machine.Paging->GetLastValue(), port);
        EXPECT_EQ(machine.Memory->GetPagedBank(), port & 7);
        EXPECT_EQ(machine.Memory->GetRomSlot(), (port & 0x10) ? 0 : 1) << "ROM";
        EXPECT_EQ(machine.ScreenBank(), (port & 0x08) ? 7 : 5) << "screen";
    } else if (machine.Paging) {
        EXPECT_EQ(machine.Paging->GetLastValue(), 0x30) << "48K snapshots lock the 48K paging";
    }
}

// The AY registers as snapdump prints them.
inline std::string AyRegisterText(TSnapshotMachine& machine)
{
    std::ostringstream text;
    for (i32 r = 0; r < 16; ++r) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", machine.AY->GetRegister(r));
        text << (r ? " " : "") << hex;
    }
    return text.str();
}

}  // namespace snapshot_testing
