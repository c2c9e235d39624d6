// Damaged snapshots: truncations and a few thousand random byte flips of each
// SNA and Z80 file we have (our fixtures and the samples) either load or are
// refused with one of the loaders' own texts, never anything else; run under
// the sanitizers this also shows that no read or write leaves its buffer.
// A refused file must leave the machine as it was: checked on a sample of the
// attempts, since a whole capture of the machine costs more than a load.
//
// Files up to 24 KB are cut at every length. Of the larger ones (the 48K and
// 128K files with raw pages, nearly all of whose cuts fall inside a raw page
// and are refused the same way) every length near a structural boundary (the
// headers, the start and end of every page, the end of the file) and every
// 53rd length in between: every cut in all of them would take the test
// beyond a few seconds under the sanitizers.
#include "media/Snapshot_sna.h"
#include "media/Snapshot_z80.h"
#include "tests/media/Snapshot_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

namespace fs = std::filesystem;
using namespace snapshot_testing;

namespace {

constexpr int FlipsPerFile = 2000;
constexpr int CheckEvery = 997;  // attempts between two whole-machine checks
constexpr size_t CutEveryLengthUpTo = 24 * 1024;
constexpr size_t NearBoundary = 16;
constexpr size_t Stride = 53;
constexpr size_t Page = 0x4000;

// Where the structure of a file changes: header ends, page heads, page ends.
std::vector<size_t> Boundaries(const std::vector<u8>& bytes, bool sna)
{
    std::vector<size_t> marks = {0, bytes.size()};
    if (sna) {
        for (size_t at = TSnapshotSNA::HeaderSize; at <= bytes.size(); at += Page)
            marks.push_back(at);
        for (size_t at = TSnapshotSNA::Size48 + 4; at <= bytes.size(); at += Page)
            marks.push_back(at);
        return marks;
    }
    if (bytes.size() < 32 || (bytes[6] | bytes[7]) != 0)
        return marks;
    size_t at = 32 + (bytes[30] | bytes[31] << 8);
    marks.insert(marks.end(), {30, 32, at});
    while (at + 3 <= bytes.size()) {
        const size_t length = bytes[at] | bytes[at + 1] << 8;
        at += 3 + (length == 0xFFFF ? Page : length);
        marks.insert(marks.end(), {at - (length == 0xFFFF ? Page : length), at});
    }
    return marks;
}

bool IsCutTried(size_t size, size_t fileSize, const std::vector<size_t>& marks)
{
    if (fileSize <= CutEveryLengthUpTo || size % Stride == 0)
        return true;
    return std::ranges::any_of(marks, [&](size_t mark) { return size + NearBoundary >= mark && size <= mark + NearBoundary; });
}

std::vector<std::string> SnapshotFiles()
{
    std::vector<std::string> files;
    for (const std::string& folder : {Fixtures, Samples + "sna/", Samples + "z80/"})
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".sna" || entry.path().extension() == ".z80")
                files.push_back(entry.path().string());
    std::ranges::sort(files);
    return files;
}

class SnapshotFuzzTest : public ::testing::Test {
protected:
    // Loads the bytes; fails the test on anything but a load or one of the
    // loaders' refusals.
    void Try(TSnapshot& format, std::span<const u8> bytes)
    {
        const bool check = ++Attempts % CheckEvery == 0;
        TSnapshotMachine::TState before;
        if (check)
            before = Machine.Capture();
        try {
            format.LoadImage(Machine.Target(), bytes);
            ++Loads;
        } catch (const TTextError& error) {
            ++Refusals;
            EXPECT_TRUE(Texts.contains(error.what())) << error.what();
            if (check)
                ExpectSameState(before, Machine.Capture());
        } catch (const std::exception& error) {
            ADD_FAILURE() << "unexpected exception: " << error.what();
        }
    }

    TSnapshotMachine Machine;
    TSnapshotSNA Sna;
    TSnapshotZ80 Z80;
    const std::set<std::string> Texts = {TSnapshotSNA::FormatError, TSnapshotZ80::InvalidError,
                                         TSnapshotZ80::SamRamError, TSnapshot::Needs128KError};
    int Attempts = 0;
    int Loads = 0;
    int Refusals = 0;
};

TEST_F(SnapshotFuzzTest, TruncatedAndFlippedFilesLoadOrAreRefused)
{
    const std::vector<std::string> files = SnapshotFiles();
    ASSERT_GE(files.size(), 20u);
    std::mt19937 random(1982);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::vector<u8> bytes = ReadBytes(path);
        ASSERT_FALSE(bytes.empty());
        TSnapshot& own = path.ends_with(".sna") ? static_cast<TSnapshot&>(Sna) : Z80;
        TSnapshot& other = path.ends_with(".sna") ? static_cast<TSnapshot&>(Z80) : Sna;

        const std::vector<size_t> marks = Boundaries(bytes, path.ends_with(".sna"));
        for (size_t size = 0; size < bytes.size(); ++size)
            if (IsCutTried(size, bytes.size(), marks))
                Try(own, std::span<const u8>(bytes).first(size));

        // One to four bytes changed at a time, half of them in the headers
        // and page heads, where the lengths and modes are.
        for (int round = 0; round < FlipsPerFile; ++round) {
            std::vector<std::pair<size_t, u8>> changed;
            const int count = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < count; ++i) {
                const size_t at = round % 2 ? random() % std::min<size_t>(bytes.size(), 128) : random() % bytes.size();
                changed.push_back({at, bytes[at]});
                bytes[at] ^= static_cast<u8>(1 + random() % 255);
            }
            Try(round % 8 ? own : other, bytes);
            for (auto it = changed.rbegin(); it != changed.rend(); ++it)
                bytes[it->first] = it->second;
        }
    }
    // Both outcomes were reached: the flips did load, the cuts were refused.
    EXPECT_GT(Loads, 1000);
    EXPECT_GT(Refusals, 50000);
}

}  // namespace
