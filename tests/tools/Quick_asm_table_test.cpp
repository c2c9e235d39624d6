// The shape of the assembler's pattern table and keyword map, decoded here
// from the raw bytes: the encoder skips patterns by their closing 255 and
// ORs fields into a 4-byte array, so a miscounted pattern or a field outside
// its instruction would go unnoticed by a line that happens to match early.
#include "tools/Quick_asm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <vector>

namespace {

// Item bytes of the pattern language.
constexpr u8 FirstWord = 170, FirstDisp = 180, FirstByte = 190, FirstSubTable = 200, LastSubTable = 224;
constexpr u8 Sign = 202, ImMode = 208, BitNumber = 212, Relative = 215, Restart = 217, Zero = 218;
constexpr u8 FirstMarker = 251, LastMarker = 254, End = 255;

bool HasPosition(u8 item)
{
    return item >= FirstSubTable && item <= LastSubTable && item != Sign && item != ImMode &&
           item != Relative && item != Restart && item != Zero;
}

struct TPattern {
    std::vector<u8> Items;      // with their position bytes
    int Size = 0;
    std::vector<u8> Code;
};

// Splits the table at its 255s, then each pattern at its size marker.
std::vector<TPattern> Split(std::span<const u8> table)
{
    std::vector<TPattern> patterns;
    std::vector<u8> bytes;
    for (size_t k = 0; k + 1 < table.size(); ++k) {
        if (table[k] != End) {
            bytes.push_back(table[k]);
            continue;
        }
        TPattern pattern;
        size_t at = 0;
        while (at < bytes.size() && !(bytes[at] >= FirstMarker && bytes[at] <= LastMarker)) {
            const size_t length = HasPosition(bytes[at]) ? 2 : 1;
            pattern.Items.insert(pattern.Items.end(), bytes.begin() + static_cast<long>(at),
                                 bytes.begin() + static_cast<long>(std::min(at + length, bytes.size())));
            at += length;
        }
        if (at < bytes.size()) {
            pattern.Size = bytes[at] - 250;
            pattern.Code.assign(bytes.begin() + static_cast<long>(at) + 1, bytes.end());
        }
        patterns.push_back(pattern);
        bytes.clear();
    }
    return patterns;
}

TEST(QuickAsmTable, ShapeOfTheTable)
{
    const std::span<const u8> table = TQuickAsm::PatternTable();
    ASSERT_EQ(table.size(), 1079u);
    ASSERT_EQ(table[table.size() - 1], End);
    ASSERT_EQ(table[table.size() - 2], End);

    const std::vector<TPattern> patterns = Split(table);
    ASSERT_EQ(patterns.size(), 130u);
    for (size_t n = 0; n < patterns.size(); ++n) {
        const TPattern& pattern = patterns[n];
        SCOPED_TRACE("pattern " + std::to_string(n + 1));
        // A marker, then exactly (marker - 250) base bytes, then the 255.
        // (Base bytes may equal a marker, FD or FB: only 255 is reserved.)
        ASSERT_GE(pattern.Size, 1);
        ASSERT_LE(pattern.Size, 4);
        EXPECT_EQ(static_cast<int>(pattern.Code.size()), pattern.Size);
        ASSERT_FALSE(pattern.Items.empty());
    }
}

TEST(QuickAsmTable, FieldsFitTheirInstruction)
{
    const TQuickAsm assembler;
    std::set<i32> ids;
    for (const auto& [text, token] : assembler.KeywordMap())
        ids.insert(token.Value);
    const std::set<u8> mnemonicTables = {205, 206, 207, 211, 213, 224};

    const std::vector<TPattern> patterns = Split(TQuickAsm::PatternTable());
    for (size_t n = 0; n < patterns.size(); ++n) {
        const TPattern& pattern = patterns[n];
        SCOPED_TRACE("pattern " + std::to_string(n + 1));
        const u8 first = pattern.Items[0];
        if (first < FirstWord) {
            const auto entry = std::find_if(assembler.KeywordMap().begin(), assembler.KeywordMap().end(),
                                            [&](const auto& e) { return e.second.Value == first; });
            ASSERT_NE(entry, assembler.KeywordMap().end());
            EXPECT_EQ(entry->second.Kind, TQuickAsm::KindMnemonic);
        } else {
            EXPECT_TRUE(mnemonicTables.count(first));
        }
        for (size_t k = 0; k < pattern.Items.size(); ++k) {
            const u8 item = pattern.Items[k];
            if (item < FirstWord) {
                EXPECT_TRUE(ids.count(item)) << "keyword " << int(item);
            } else if (item < FirstDisp) {
                EXPECT_LE(item - FirstWord + 2, pattern.Size) << "word item " << int(item);
            } else if (item < FirstByte) {
                EXPECT_LE(item - FirstDisp + 1, pattern.Size) << "displacement item " << int(item);
                EXPECT_EQ(pattern.Items[k - 1], Sign) << "a displacement follows its sign";
            } else if (item < FirstSubTable) {
                EXPECT_LE(item - FirstByte + 1, pattern.Size) << "byte item " << int(item);
            } else if (HasPosition(item)) {
                ASSERT_LT(k + 1, pattern.Items.size());
                const u8 position = pattern.Items[++k];
                EXPECT_LT(position >> 3, pattern.Size) << "position of item " << int(item);
                EXPECT_LT(position, 32);
                if (item != BitNumber) {
                    EXPECT_TRUE(std::any_of(ids.begin(), ids.end(), [&](i32 id) {
                        return TQuickAsm::LookupOperand(id, item) != 255;
                    })) << "sub-table " << int(item) << " lists nothing";
                }
            } else {
                EXPECT_LE(item, LastSubTable) << "unknown item " << int(item);
            }
        }
    }
}

TEST(QuickAsmTable, SubTablesAndKeywords)
{
    const TQuickAsm assembler;
    EXPECT_EQ(assembler.KeywordMap().size(), 111u);
    std::set<i32> ids;
    for (const auto& [text, token] : assembler.KeywordMap()) {
        ids.insert(token.Value);
        EXPECT_NE(token.Kind, TQuickAsm::KindNumber) << text;
    }
    EXPECT_EQ(ids.size(), 107u);    // XH, XL, YH, YL share ids
    EXPECT_EQ(assembler.KeywordMap().at("XH").Value, assembler.KeywordMap().at("IXH").Value);

    // Twenty sub-tables, each listing only keywords of the map; numbers
    // without a sub-table answer 255 for every id.
    int tables = 0;
    for (i32 number = 195; number <= 230; ++number) {
        int entries = 0;
        for (i32 id = 0; id < 256; ++id) {
            if (TQuickAsm::LookupOperand(id, number) == 255)
                continue;
            ++entries;
            EXPECT_TRUE(ids.count(id)) << "sub-table " << number << " id " << id;
        }
        if (entries)
            ++tables;
        else
            EXPECT_TRUE(number < 200 || number > 224 || number == ImMode || number == BitNumber ||
                        number == Relative || number == Restart || number == Zero)
                << "empty sub-table " << number;
    }
    EXPECT_EQ(tables, 20);
    // The carry condition is the register C.
    EXPECT_EQ(TQuickAsm::LookupOperand(TQuickAsm::C, 214), 3);
    EXPECT_EQ(TQuickAsm::LookupOperand(TQuickAsm::C, 216), 3);
}

} // namespace
