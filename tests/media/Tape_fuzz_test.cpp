// Untrusted images: every truncation and thousands of random byte changes of
// the tape fixtures (ours, the shared ones and the shared damaged ones) are
// either catalogued or refused with an error text, never a crash, a hang or
// an out-of-bounds read (the sanitizer build runs this too). What is
// catalogued is sound, and the tape recorder plays it without trouble.
#include "core/Tape_recorder.h"
#include "media/File.h"
#include "media/Tape.h"
#include "tests/media/Tape_test_files.h"
#include "tests/support/Fake_host_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

using namespace tape_test;

namespace {

struct TImage {
    std::string Path;
    i32 Type;
};

std::vector<TImage> Images()
{
    std::vector<TImage> images;
    auto add = [&](const std::string& folder) {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        for (const std::string& path : paths) {
            const std::string extension = std::filesystem::path(path).extension().string();
            if (extension == ".tap")
                images.push_back({path, TTape::TypeTAP});
            else if (extension == ".tzx")
                images.push_back({path, TTape::TypeTZX});
        }
    };
    add(FixturePath(""));
    add(SharedPath("tap"));
    add(SharedPath("tzx"));
    add(SharedPath("invalid"));
    return images;
}

class TapeFuzzTest : public ::testing::Test {
protected:
    // Catalogues the bytes; true when a tape was built. Any error other
    // than one of the catalogue's texts fails the test.
    bool Catalogue(const TBytes& bytes, i32 type, bool play)
    {
        const std::string path = Folder.File("fuzz");
        WriteBytes(path, bytes);
        std::unique_ptr<TTape> tape;
        try {
            tape = std::make_unique<TTape>(std::make_unique<TFile>(path), type);
        } catch (const TTextError& error) {
            EXPECT_FALSE(std::string(error.what()).empty());
            return false;
        } catch (const std::exception& error) {
            ADD_FAILURE() << "not a catalogue error: " << error.what();
            return false;
        }
        ExpectSound(*tape, bytes.size());
        if (play)
            Play(std::move(tape));
        return true;
    }

    // Entries lie in the file in order; times are finite and not negative.
    void ExpectSound(const TTape& tape, size_t size)
    {
        i64 last = -1;
        for (i32 i = 0; i < tape.GetBlockCount(); ++i) {
            const TTapeBlockInfo* info = tape.GetBlockInfo(i);
            ASSERT_NE(info, nullptr);
            ASSERT_LT(info->Offset, size);
            ASSERT_GT(i64(info->Offset), last);
            last = info->Offset;
            ASSERT_TRUE(std::isfinite(info->Duration) && info->Duration >= 0.0);
            ASSERT_TRUE(std::isfinite(info->Start) && info->Start >= 0.0);
            ASSERT_FALSE(tape.GetBlockName(i).empty());
        }
        ASSERT_TRUE(std::isfinite(tape.GetTotalTime()) && tape.GetTotalTime() >= 0.0);
    }

    // A few seconds of playback in uneven steps across frame wraps.
    void Play(std::unique_ptr<TTape> tape)
    {
        TTapeRecorder recorder(&Messages);
        recorder.SetTape(std::move(tape));
        recorder.Play();
        i64 now = 0;
        for (int i = 0; i < 600 && recorder.IsPlaying(); ++i) {
            now += 10'007 + (i % 7) * 3'001;
            recorder.Update(static_cast<i32>(now % 71'680), static_cast<i32>(now / 71'680));
        }
        recorder.Eject();
    }

    TTestSettings Settings;
    TTempFolder Folder;
    TFakeMessageService Messages;
};

}  // namespace

TEST_F(TapeFuzzTest, EveryTruncation)
{
    const std::vector<TImage> images = Images();
    ASSERT_GE(images.size(), 25u);
    int built = 0;
    int refused = 0;
    for (const TImage& image : images) {
        SCOPED_TRACE(image.Path);
        const TBytes bytes = ReadBytes(image.Path);
        // Long images: every length near the ends and inside the headers,
        // then a sample of the rest.
        for (size_t length = 0; length <= bytes.size(); ++length) {
            if (length > 300 && length + 300 < bytes.size() && length % 13 != 0)
                continue;
            const TBytes prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
            (Catalogue(prefix, image.Type, length % 5 == 0) ? built : refused) += 1;
            // The other format's reader on the same bytes.
            Catalogue(prefix, 1 - image.Type, false);
            if (HasFatalFailure())
                return;
        }
    }
    EXPECT_GT(built, 100);
    EXPECT_GT(refused, 100);
}

TEST_F(TapeFuzzTest, RandomByteChanges)
{
    std::mt19937 random(20240611);
    int built = 0;
    int refused = 0;
    for (const TImage& image : Images()) {
        SCOPED_TRACE(image.Path);
        const TBytes bytes = ReadBytes(image.Path);
        if (bytes.empty())
            continue;
        std::uniform_int_distribution<size_t> place(0, bytes.size() - 1);
        for (int variant = 0; variant < 150; ++variant) {
            TBytes changed = bytes;
            const int changes = 1 + variant % 6;
            for (int c = 0; c < changes; ++c) {
                // Keep a TZX signature now and then so the blocks are walked.
                size_t at = place(random);
                if (image.Type == TTape::TypeTZX && at < 10 && variant % 4 != 0)
                    at = 10 + at % std::max<size_t>(1, bytes.size() - 10);
                if (at >= changed.size())
                    continue;
                // Lengths and IDs are where crafted values hurt: favour the
                // extremes.
                switch (random() % 4) {
                case 0: changed[at] = 0x00; break;
                case 1: changed[at] = 0xFF; break;
                case 2: changed[at] ^= static_cast<u8>(1u << (random() % 8)); break;
                default: changed[at] = static_cast<u8>(random()); break;
                }
            }
            (Catalogue(changed, image.Type, true) ? built : refused) += 1;
            if (HasFatalFailure())
                return;
        }
    }
    EXPECT_GT(built, 500);
    EXPECT_GT(refused, 100);
}

TEST_F(TapeFuzzTest, DamagedSharedImages)
{
    // What each damaged image should give; the catalogue may list what lies
    // before the damage, but must not read past the end to do it.
    struct TCase {
        const char* Name;
        i32 Type;
        const char* Error;  // "" when it loads
    };
    const TCase cases[] = {
        {"invalid/invalid.tzx", TTape::TypeTZX, "End of file reached."},  // unknown ID 0xFF, no length
        {"invalid/invalid-hardwareinfo.tzx", TTape::TypeTZX, ""},    // 1 record claimed, none there: skip ends
        {"invalid/invalid-archiveinfo.tzx", TTape::TypeTZX, ""},     // 2 strings claimed, 1 there
        {"invalid/invalid-custominfo.tzx", TTape::TypeTZX, ""},      // length past the end
        {"invalid/invalid-gdb.tzx", TTape::TypeTZX, ""},             // skipped by its length
        {"invalid/invalid-warajevo-blockoffset.tap", TTape::TypeTAP,
         "Unsupported tape image format or file corrupt!"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes bytes = ReadBytes(SharedPath(c.Name));
        ASSERT_FALSE(bytes.empty());
        std::string error;
        try {
            const auto tape = LoadPath(SharedPath(c.Name), c.Type);
            ExpectSound(*tape, bytes.size());
            EXPECT_EQ(tape->GetBlockCount(), 1);
        } catch (const TTextError& thrown) {
            error = thrown.what();
        }
        EXPECT_EQ(error, c.Error);
    }
}
