// The whole-file reader: what counts as a file, random access past the end,
// the sequential readers at the end of the data, byte order, and a
// fuzz-style run of random reads checked against a plain model.
#include "media/File.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <limits>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvane-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::string Write(const std::vector<u8>& bytes, const std::string& name = "data.bin")
    {
        const std::string path = (Folder / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    fs::path Folder;
};

std::string EndOfFileText(const std::function<void()>& read)
{
    try {
        read();
    } catch (const TTextError& error) {
        return error.what();
    }
    return "(no error)";
}

TEST_F(FileTest, MissingEmptyAndNonRegularFilesHaveSizeZero)
{
    const std::string fifo = (Folder / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {(Folder / "missing").string(), Write({}, "empty"),
                                    Folder.string(), std::string("/dev/zero"), fifo}) {
        TFile file(path);
        EXPECT_EQ(file.GetSize(), 0) << path;
        EXPECT_EQ(file.GetPosition(), 0) << path;
        EXPECT_TRUE(file.IsEof()) << path;
        EXPECT_EQ(file.GetSum(), 0u) << path;
        EXPECT_EQ(file.GetByteAt(0), 0) << path;
        EXPECT_EQ(file.GetName(), path);
        EXPECT_EQ(EndOfFileText([&] { file.ReadByte(); }), "End of file reached.") << path;
        u8 buffer[4];
        EXPECT_FALSE(file.ReadBlock(buffer, 4));
        EXPECT_EQ(file.ReadString(3), "");
    }
}

TEST_F(FileTest, RandomAccessReadsZeroPastTheEndWithoutMoving)
{
    TFile file(Write({0x80, 0x80, 0x12, 0x34}));
    ASSERT_EQ(file.GetSize(), 4);
    EXPECT_EQ(file.GetSum(), 0x80u + 0x80 + 0x12 + 0x34);
    EXPECT_EQ(file.GetWordAt(0), 0x8080);
    EXPECT_EQ(file.GetWordAt(2), 0x3412);
    EXPECT_EQ(file.GetWordAt(3), 0x0034);  // the last byte, high byte 0
    EXPECT_EQ(file.GetByteAt(4), 0);
    EXPECT_EQ(file.GetByteAt(-1), 0);
    EXPECT_EQ(file.GetWordAt(-1), 0x8000);
    EXPECT_EQ(file.GetWordAt(std::numeric_limits<i64>::max()), 0);
    EXPECT_EQ(file.GetByteAt(std::numeric_limits<i64>::min()), 0);
    EXPECT_EQ(file.GetPosition(), 0);
}

TEST_F(FileTest, ReadByteAtTheEndThrowsWithoutMovingAndWiderReadsConsumeWhatTheyTook)
{
    TFile file(Write({1, 2, 3}));
    file.SetPosition(3);
    EXPECT_EQ(EndOfFileText([&] { file.ReadByte(); }), "End of file reached.");
    EXPECT_EQ(file.GetPosition(), 3);

    file.SetPosition(2);
    EXPECT_EQ(EndOfFileText([&] { file.ReadWord(); }), "End of file reached.");
    EXPECT_EQ(file.GetPosition(), 3);

    file.SetPosition(0);
    EXPECT_EQ(EndOfFileText([&] { file.ReadDWord(); }), "End of file reached.");
    EXPECT_EQ(file.GetPosition(), 3);
}

TEST_F(FileTest, MultiByteReadsAreLittleEndian)
{
    TFile file(Write({0x01, 0x02, 0x03, 0x04, 0x01, 0x02, 0x03, 0xFF, 0xFF, 0x02, 'H', 'i'}));
    EXPECT_EQ(file.ReadDWord(), 0x04030201u);
    EXPECT_EQ(file.ReadTriple(), 0x030201u);
    EXPECT_EQ(file.ReadShort(), 65535);
    EXPECT_EQ(file.ReadPascalString(), "Hi");
    EXPECT_TRUE(file.IsEof());
    file.SetPosition(0);
    EXPECT_EQ(file.ReadWord(), 0x0201);
    EXPECT_EQ(file.ReadByte(), 0x03);
}

TEST_F(FileTest, ReadBlockStopsAtTheEndAndReadStringEndsAtAZero)
{
    TFile file(Write({0x41, 0x42, 0x00, 0x43, 0x44, 9, 8, 7, 6}));
    EXPECT_EQ(file.ReadString(5), "AB");
    EXPECT_EQ(file.GetPosition(), 5);

    std::vector<u8> buffer(10, 0xEE);
    EXPECT_TRUE(file.ReadBlock(buffer.data(), 0));
    EXPECT_TRUE(file.ReadBlock(buffer.data(), -3));
    EXPECT_EQ(file.GetPosition(), 5);
    EXPECT_FALSE(file.ReadBlock(buffer.data(), 10));
    EXPECT_EQ(file.GetPosition(), 9);
    EXPECT_EQ(buffer, (std::vector<u8>{9, 8, 7, 6, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

    // A string cut off by the end takes only the bytes present.
    file.SetPosition(3);
    EXPECT_EQ(file.ReadString(100), std::string("CD\x09\x08\x07\x06"));
    EXPECT_EQ(file.GetPosition(), 9);
    EXPECT_EQ(file.ReadString(std::numeric_limits<i32>::max()), "");
}

TEST_F(FileTest, PositionMovesSaturateWithinTheFile)
{
    TFile file(Write(std::vector<u8>(100, 0x5A)));
    file.Skip(40);
    EXPECT_EQ(file.GetPosition(), 40);
    file.Skip(std::numeric_limits<u64>::max());
    EXPECT_EQ(file.GetPosition(), 100);
    EXPECT_TRUE(file.IsEof());
    file.SetPosition(-5);
    EXPECT_EQ(file.GetPosition(), 0);
    file.SetPosition(std::numeric_limits<i64>::max());
    EXPECT_EQ(file.GetPosition(), 100);
    file.SetPosition(99);
    file.Skip(0xFFFFFFFFu);  // an unsigned 32-bit skip never wraps backwards
    EXPECT_EQ(file.GetPosition(), 100);
    EXPECT_EQ(file.GetSum(), 100u * 0x5A);
}

// Random reads over random files, each checked against a plain model of
// the data and the position: a result or "End of file reached.", never a
// crash, and the position always within the file.
TEST_F(FileTest, FuzzedReadsAgreeWithAPlainModel)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        std::vector<u8> bytes(random() % 64);
        for (u8& byte : bytes)
            byte = static_cast<u8>(random());
        TFile file(Write(bytes));
        ASSERT_EQ(file.GetSize(), static_cast<i32>(bytes.size()));
        i64 model = 0;
        const i64 size = static_cast<i64>(bytes.size());
        auto at = [&](i64 i) -> u32 { return i >= 0 && i < size ? bytes[static_cast<size_t>(i)] : 0; };

        for (int step = 0; step < 200; ++step) {
            const int choice = static_cast<int>(random() % 8);
            const i64 arg = static_cast<i64>(random() % 80) - 8;
            switch (choice) {
            case 0:
                file.SetPosition(arg);
                model = std::clamp<i64>(arg, 0, size);
                break;
            case 1:
                file.Skip(static_cast<u64>(arg < 0 ? 0 : arg));
                model = std::min(size, model + std::max<i64>(arg, 0));
                break;
            case 2:
                EXPECT_EQ(file.GetByteAt(arg), at(arg));
                EXPECT_EQ(file.GetWordAt(arg), at(arg) | at(arg + 1) << 8);
                break;
            case 3:
                if (model < size) {
                    EXPECT_EQ(file.ReadByte(), at(model));
                    ++model;
                } else {
                    EXPECT_THROW(file.ReadByte(), TTextError);
                }
                break;
            case 4:
                if (model + 2 <= size) {
                    EXPECT_EQ(file.ReadWord(), at(model) | at(model + 1) << 8);
                    model += 2;
                } else {
                    EXPECT_THROW(file.ReadWord(), TTextError);
                    model = size;
                }
                break;
            case 5:
                if (model + 4 <= size) {
                    EXPECT_EQ(file.ReadDWord(),
                              at(model) | at(model + 1) << 8 | at(model + 2) << 16 | at(model + 3) << 24);
                    model += 4;
                } else {
                    EXPECT_THROW(file.ReadDWord(), TTextError);
                    model = size;
                }
                break;
            case 6: {
                std::vector<u8> buffer(static_cast<size_t>(std::max<i64>(arg, 0)));
                const i64 present = std::min(std::max<i64>(arg, 0), size - model);
                EXPECT_EQ(file.ReadBlock(buffer.data(), static_cast<i32>(arg)), arg <= 0 || present == arg);
                for (i64 i = 0; i < present; ++i)
                    EXPECT_EQ(buffer[static_cast<size_t>(i)], at(model + i));
                model += present;
                break;
            }
            default: {
                const std::string text = file.ReadString(static_cast<i32>(arg));
                std::string expected;
                for (i64 i = 0; i < std::min(std::max<i64>(arg, 0), size - model) && at(model + i) != 0; ++i)
                    expected += static_cast<char>(at(model + i));
                EXPECT_EQ(text, expected);
                model = std::min(size, model + std::max<i64>(arg, 0));
                break;
            }
            }
            ASSERT_EQ(file.GetPosition(), model) << "round " << round << " step " << step;
            ASSERT_EQ(file.IsEof(), model >= size);
        }
    }
}

// Every truncation of a real tape image reads as exactly its bytes.
TEST_F(FileTest, TruncationsOfARealFileReadAsTheirBytes)
{
    const std::string source = std::string(QUORVANE_TESTDATA_DIR) + "/media/tap/standard-tap.tap";
    std::ifstream in(source, std::ios::binary);
    ASSERT_TRUE(in) << source;
    const std::vector<u8> whole{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(whole.empty());
    for (size_t length = 0; length <= whole.size(); length += 1 + length / 8) {
        const std::vector<u8> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        TFile file(Write(cut));
        ASSERT_EQ(file.GetSize(), static_cast<i32>(length));
        u32 sum = 0;
        for (u8 byte : cut)
            sum += byte;
        EXPECT_EQ(file.GetSum(), sum);
        EXPECT_TRUE(std::equal(cut.begin(), cut.end(), file.GetBytes().begin(), file.GetBytes().end()));
    }
}

}  // namespace
