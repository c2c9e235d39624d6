// Helpers of the tape tests: tapes built from bytes, the fixtures' paths, and
// a reader of tzxlist's listings (the golden text in tests/data/tape/tzxlist,
// made by tests/data/tape/make.sh).
#pragma once

#include "media/File.h"
#include "media/Tape.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tape_test {

using TBytes = std::vector<u8>;

inline std::string FixturePath(const std::string& name)
{
    return std::string(QUORVANE_FIXTURES_DIR) + "/tape/" + name;
}

inline std::string SharedPath(const std::string& name)
{
    return std::string(QUORVANE_TESTDATA_DIR) + "/media/" + name;
}

inline TBytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const TBytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Little-endian pieces of a crafted image.
inline void Put(TBytes& out, std::initializer_list<int> bytes)
{
    for (const int b : bytes)
        out.push_back(static_cast<u8>(b));
}
inline void PutWord(TBytes& out, int value)
{
    Put(out, {value & 0xFF, (value >> 8) & 0xFF});
}
inline void PutTriple(TBytes& out, int value)
{
    Put(out, {value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF});
}
inline void PutDWord(TBytes& out, u32 value)
{
    PutWord(out, static_cast<int>(value & 0xFFFF));
    PutWord(out, static_cast<int>(value >> 16));
}
inline void PutText(TBytes& out, const std::string& text)
{
    for (const char c : text)
        out.push_back(static_cast<u8>(c));
}

// A ROM-format block: flag, payload, XOR checksum.
inline TBytes RomBlock(u8 flag, const TBytes& payload)
{
    TBytes block;
    block.reserve(payload.size() + 2);
    block.push_back(flag);
    for (const u8 b : payload)
        block.push_back(b);
    u8 sum = 0;
    for (const u8 b : block)
        sum ^= b;
    block.push_back(sum);
    return block;
}

// A TAP block: the length word and the block.
inline void PutTapBlock(TBytes& out, const TBytes& block)
{
    PutWord(out, static_cast<int>(block.size()));
    for (const u8 b : block)
        out.push_back(b);
}

// "ZXTape!", 0x1A, revision 1.20.
inline TBytes TzxHeader(int major = 1, int minor = 20)
{
    TBytes out;
    PutText(out, "ZXTape!\x1A");
    Put(out, {major, minor});
    return out;
}

// A TZX standard-speed block (ID 0x10).
inline void PutStandardBlock(TBytes& out, int pauseMs, const TBytes& block)
{
    Put(out, {0x10});
    PutWord(out, pauseMs);
    PutWord(out, static_cast<int>(block.size()));
    for (const u8 b : block)
        out.push_back(b);
}

// Builds tapes from bytes through a file in a temporary folder.
class TTapeMaker {
public:
    std::unique_ptr<TTape> Make(const TBytes& bytes, i32 type)
    {
        const std::string path = Folder.File("image" + std::to_string(Count++));
        WriteBytes(path, bytes);
        return std::make_unique<TTape>(std::make_unique<TFile>(path), type);
    }
    std::unique_ptr<TTape> Tap(const TBytes& bytes) { return Make(bytes, TTape::TypeTAP); }
    std::unique_ptr<TTape> Tzx(const TBytes& bytes) { return Make(bytes, TTape::TypeTZX); }

    // The text the tape constructor throws, or "" when it builds.
    std::string Error(const TBytes& bytes, i32 type)
    {
        try {
            Make(bytes, type);
        } catch (const TTextError& error) {
            return error.what();
        }
        return {};
    }

private:
    TTempFolder Folder;
    int Count = 0;
};

inline std::unique_ptr<TTape> LoadPath(const std::string& path, i32 type)
{
    return std::make_unique<TTape>(std::make_unique<TFile>(path), type);
}

// T-states as days, the catalogue's unit.
inline double Days(double tstates)
{
    return tstates / 3'500'000.0 / 86'400.0;
}
inline double SecondsToDays(double seconds)
{
    return seconds / 86'400.0;
}

// One block of a tzxlist listing: its type and its "Key: value" lines in
// order (keys without their leading blanks).
struct TListedBlock {
    int Type = -1;
    std::vector<std::pair<std::string, std::string>> Fields;

    // The value of the first field with the key, or "" (found false).
    std::string Get(const std::string& key, bool* found = nullptr) const
    {
        for (const auto& [k, v] : Fields)
            if (k == key) {
                if (found)
                    *found = true;
                return v;
            }
        if (found)
            *found = false;
        return {};
    }
    bool Has(const std::string& key) const
    {
        bool found = false;
        Get(key, &found);
        return found;
    }
    // Fields after "Block duration", the per-item lines of some blocks.
    int CountFieldsAfterDuration() const
    {
        int count = 0;
        bool after = false;
        for (const auto& field : Fields) {
            if (after)
                ++count;
            if (field.first == "Block duration")
                after = true;
        }
        return count;
    }
};

// Reads a listing; an empty result means the file held none.
inline std::vector<TListedBlock> ReadListing(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<TListedBlock> blocks;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("--= Block #", 0) == 0) {
            blocks.emplace_back();
            continue;
        }
        if (blocks.empty())
            continue;
        const std::string typePrefix = "  Block type ";
        if (line.rfind(typePrefix, 0) == 0) {
            blocks.back().Type = static_cast<int>(std::strtol(line.c_str() + typePrefix.size(), nullptr, 16));
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const size_t first = line.find_first_not_of(' ');
        std::string key = line.substr(first, colon - first);
        std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : std::string();
        blocks.back().Fields.emplace_back(std::move(key), std::move(value));
    }
    return blocks;
}

// The number a value begins with: "19 bytes" gives 19.
inline long long ToNumber(const std::string& text)
{
    return std::strtoll(text.c_str(), nullptr, 10);
}


inline std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const u8 b = static_cast<u8>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | b >> 6);
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

// The header fields as tzxlist dumps them: "03 | 62 6c ... | 28 00 | 40 9c | 00 80".
struct TRawHeader {
    int Type = -1;
    std::string Name;  // the ten bytes
    int Length = 0;
    int Parameter1 = 0;
    int Parameter2 = 0;
};

inline TRawHeader ParseRawHeader(const std::string& text)
{
    std::vector<int> bytes;
    std::istringstream in(text);
    std::string token;
    while (in >> token)
        if (token != "|")
            bytes.push_back(static_cast<int>(std::strtol(token.c_str(), nullptr, 16)));
    TRawHeader header;
    if (bytes.size() != 17)
        return header;
    header.Type = bytes[0];
    for (int i = 1; i <= 10; ++i)
        header.Name += static_cast<char>(bytes[static_cast<size_t>(i)]);
    header.Length = bytes[11] | bytes[12] << 8;
    header.Parameter1 = bytes[13] | bytes[14] << 8;
    header.Parameter2 = bytes[15] | bytes[16] << 8;
    return header;
}

// A tape name as a listing shows it: up to the first zero byte, without
// trailing blanks or control characters, Latin-1.
inline std::string ShownName(std::string name)
{
    name = name.substr(0, name.find('\0'));
    while (!name.empty() && static_cast<u8>(name.back()) <= 0x20)
        name.pop_back();
    return Latin1ToUtf8(name);
}

inline std::string HexFlag(int flag)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string("#") + digits[(flag >> 4) & 15] + digits[flag & 15];
}

// The description of a ROM-format block of n bytes whose flag byte is the
// image's byte at flagAt, from the listed fields.
inline std::string ExpectedStandard(const TListedBlock& block, long long n, const TBytes& image, size_t flagAt)
{
    if (n == 0)
        return "Nonstandard Zero";
    const int flag = flagAt < image.size() ? image[flagAt] : -1;
    if (flag == 0 && n == 19) {
        const TRawHeader header = ParseRawHeader(block.Get("Raw header"));
        const std::string name = ShownName(header.Name);
        switch (header.Type) {
        case 0:
            return "Header, Program \"" + name + "\", Length " + std::to_string(header.Length) + ", Line " +
                   std::to_string(header.Parameter1) + ", Vars " + std::to_string(header.Parameter2);
        case 1: return "Header, Number Array \"" + name + "\"";
        case 2: return "Header, Character Array \"" + name + "\"";
        case 3:
            return "Header, Code \"" + name + "\", Length " + std::to_string(header.Length) + ", Start " +
                   std::to_string(header.Parameter1);
        default: return "Header, Nonstandard";
        }
    }
    if (flag == 0xFF)
        return "Data Block, Length " + std::to_string(n - 2);
    return "Nonstandard, ID " + HexFlag(flag) + ", Length " + std::to_string(n - 2);
}

// Where a listed block's data (its flag byte) begin, after the block's
// fixed fields.
inline size_t DataStart(int type, u32 offset, bool tap)
{
    if (tap)
        return offset + 2;
    switch (type) {
    case 0x10: return offset + 5;
    case 0x11: return offset + 19;
    case 0x14: return offset + 11;
    default: return offset;
    }
}


// Compares a catalogue with tzxlist's listing of the same image: the number
// and order of the blocks, the block each entry's offset points at, and each
// text as the listed fields give it. tzxlist lists the members of a group one
// by one, where the catalogue folds them into the group's entry, and does not
// list glue blocks (0x5A) at all. Durations are not compared: the catalogue
// counts one pulse per bit by design.
inline void ExpectMatchesListing(const TTape& tape, const std::vector<TListedBlock>& listing, const TBytes& image)
{
    const bool tap = tape.GetType() == TTape::TypeTAP;
    i32 entry = 0;
    auto skipGlue = [&] {
        while (!tap && entry < tape.GetBlockCount() && tape.GetBlockName(entry) == "Start of Another TZX file") {
            EXPECT_EQ(image.at(tape.GetBlockInfo(entry)->Offset), 0x5A);
            ++entry;
        }
    };
    bool inGroup = false;
    std::string groupName;
    int members = 0;

    for (size_t index = 0; index < listing.size(); ++index) {
        const TListedBlock& block = listing[index];
        SCOPED_TRACE("listed block #" + std::to_string(index) + " type " + std::to_string(block.Type));
        if (block.Type == 0x21) {
            inGroup = true;
            groupName = Latin1ToUtf8(block.Get("Name"));
            members = 0;
            continue;
        }
        if (inGroup && block.Type != 0x22) {
            ++members;
            continue;
        }
        skipGlue();
        ASSERT_LT(entry, tape.GetBlockCount()) << "the catalogue has fewer entries";
        const TTapeBlockInfo* info = tape.GetBlockInfo(entry);
        ASSERT_NE(info, nullptr);
        if (tap) {
            ASSERT_EQ(block.Type, 0x10);
            EXPECT_EQ(image.at(info->Offset) | image.at(info->Offset + 1) << 8,
                      ToNumber(block.Get("Block length")));
        } else {
            EXPECT_EQ(image.at(info->Offset), block.Type) << "the entry's offset points at its block ID";
        }

        std::string expected;
        switch (block.Type) {
        case 0x10:
            expected = "Standard " + ExpectedStandard(block, ToNumber(block.Get("Block length")), image,
                                                      DataStart(0x10, info->Offset, tap));
            break;
        case 0x11:
            expected = "Turbo " + ExpectedStandard(block, ToNumber(block.Get("Data length")), image,
                                                   DataStart(0x11, info->Offset, tap));
            break;
        case 0x14:
            expected = "Pure Data Block: " + ExpectedStandard(block, ToNumber(block.Get("Data length")), image,
                                                              DataStart(0x14, info->Offset, tap));
            break;
        case 0x12: expected = "Pure Tone"; break;
        case 0x13: expected = "Pulse Sequence"; break;
        case 0x15: expected = "Direct Recording"; break;
        case 0x19: expected = "Generalized Data Block"; break;
        case 0x20: {
            const long long pause = ToNumber(block.Get("Length"));
            expected = pause > 0 ? "Pause: " + std::to_string(pause) + "ms" : "Stop the Tape";
            break;
        }
        case 0x22:
            expected = "Group: " + groupName + " (" + std::to_string(members) + " subblocks)";
            inGroup = false;
            break;
        case 0x23:
            expected = "Jump to Block " + std::to_string(entry + ToNumber(block.Get("Offset")) + 1);
            break;
        case 0x24: expected = "Loop Start (" + block.Get("Count") + " repetitions)"; break;
        case 0x25: expected = "Loop End"; break;
        case 0x28:
            expected = "Select Block (" + std::to_string(block.CountFieldsAfterDuration()) + " selections)";
            break;
        case 0x2A: expected = "Stop Tape if in 48K Mode"; break;
        case 0x2B: expected = "Set signal level"; break;
        case 0x30: expected = "Text Description: " + block.Get("Comment"); break;
        case 0x31: expected = "Message Block: " + block.Get("Comment"); break;
        case 0x32:
            expected = "Archive Info (" + std::to_string(block.CountFieldsAfterDuration()) + " strings)";
            break;
        case 0x33:
            expected = "Hardware Type (" + std::to_string(block.CountFieldsAfterDuration()) + " records)";
            break;
        case 0x35: {
            std::string description = block.Get("Description");
            while (!description.empty() && description.back() == ' ')
                description.pop_back();
            expected = "Custom Info: " + description;
            break;
        }
        default: ADD_FAILURE() << "a block type the comparison does not know"; break;
        }
        EXPECT_EQ(tape.GetBlockName(entry), expected);
        ++entry;
    }
    skipGlue();
    EXPECT_EQ(entry, tape.GetBlockCount()) << "the catalogue has more entries than the listing";
}

// A test name from an image path: its file name with every character that
// is not a letter or digit turned into '_'.
inline std::string ImageTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param.substr(info.param.rfind('/') + 1);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace tape_test
