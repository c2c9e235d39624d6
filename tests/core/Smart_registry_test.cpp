// The per-user store behind the settings: what it keeps, what it refuses,
// and that writing it never loses the old file.
#include "core/Settings.h"
#include "core/Smart_registry.h"
#include "tests/support/File_size_limit.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

const char* const Base = "\\Software\\Tamrix\\Quorvane";

} // namespace

TEST(SmartRegistry, MissingValueIsCreatedWithItsDefault)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    {
        SmartRegistryT registry(Base, store);
        EXPECT_TRUE(registry.OpenSubKey("\\Options\\Test"));
        EXPECT_EQ(registry.ReadInteger("Missing", 17), 17);
        EXPECT_EQ(registry.WriteInteger("Written", -5), -5);
        EXPECT_EQ(registry.ReadInteger("Written", 0), -5);
    }
    SmartRegistryT again(Base, store);
    again.OpenSubKey("\\Options\\Test");
    EXPECT_EQ(again.ReadInteger("Missing", 99), 17);
    EXPECT_EQ(again.ReadInteger("Written", 99), -5);
    EXPECT_EQ(again.ReadInteger("Outside", 4, 1, 3), 4);
}

TEST(SmartRegistry, KeysAndNamesIgnoreCase)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    WriteText(store, "[\\software\\TAMRIX\\quorvane\\Options\\Emulator\\Video\\]\ndefaultzoom = 3\n");
    SmartRegistryT registry(Base, store);
    registry.OpenSubKey("\\Options\\Emulator\\Video");
    EXPECT_EQ(registry.ReadInteger("DefaultZoom", 2), 3);
}

TEST(SmartRegistry, UnknownLinesSurviveAWrite)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    const std::string original = "; written by hand\n"
                                 "# another comment\r\n"
                                 "[\\Software\\Other\\Program]\n"
                                 "Colour=red\n"
                                 "not a value line\n"
                                 "\n"
                                 "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Video]\n"
                                 "Future=\"text\"\n"
                                 "DefaultZoom=1\n"
                                 "Brightness=12\n";
    WriteText(store, original);
    {
        TSettings settings(store);
        EXPECT_EQ(settings.DefaultZoom, 1);
        settings.DefaultZoom = 3;
    }
    const std::string text = ReadText(store);
    for (const char* line : {"; written by hand\n", "# another comment\r\n", "[\\Software\\Other\\Program]\nColour=red\n",
             "not a value line\n", "Future=\"text\"\nDefaultZoom=3\nBrightness=12\n", "SoundSyncDelay=-10\n",
             "PixelsPerTVLeftBorder=40\n"})
        EXPECT_TRUE(Contains(text, line)) << line << " missing from:\n" << text;
    EXPECT_FALSE(Contains(text, "DefaultZoom=1"));
}

TEST(SmartRegistry, NothingIsWrittenWhenNothingChanged)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    { TSettings first(store); }
    const std::string written = ReadText(store);
    // Lines of ours in an unusual spelling stay as they are when their values do.
    const std::string edited = written + "; note\n";
    WriteText(store, edited);
    { TSettings second(store); }
    EXPECT_EQ(ReadText(store), edited);
}

TEST(SmartRegistry, FailedWriteLeavesTheOldFile)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    const std::string original = "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Video]\nDefaultZoom=3\n; keep me\n";
    WriteText(store, original);
    {
        // Writes past a few bytes fail, as on a full disk.
        TFileSizeLimit limit(16);
        TSettings settings(store);
        EXPECT_EQ(settings.DefaultZoom, 3);
        settings.DefaultZoom = 1;
    }
    EXPECT_EQ(ReadText(store), original);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"registry.ini"}) << "no temporary file left";

    TRegistryStore direct(store);
    direct.WriteInteger("\\A", "B", 1);
    EXPECT_TRUE(direct.Save());
    EXPECT_FALSE(direct.Modified());
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"registry.ini"});
}

TEST(SmartRegistry, ALinkPlantedWhereATemporaryFileCouldGoIsNeverWrittenThrough)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    const std::string victim = folder.File("victim.txt");
    WriteText(victim, "precious");
    // Links at every name a temporary file of this process might take,
    // in the spellings a writer could choose.
    const std::string pid = std::to_string(::getpid());
    std::vector<std::string> planted{store + "." + pid + ".tmp", store + ".tmp", store + "~"};
    for (int n = 0; n < 64; ++n)
        planted.push_back(folder.File(".registry.ini." + pid + "." + std::to_string(n) + ".tmp"));
    for (const std::string& name : planted)
        fs::create_symlink(victim, name);

    TRegistryStore direct(store);
    direct.WriteInteger("\\A", "B", 7);
    EXPECT_TRUE(direct.Save());
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_FALSE(fs::is_symlink(store)) << "no planted link took the store's place";
    EXPECT_TRUE(Contains(ReadText(store), "B=7"));
    for (const std::string& name : planted)
        EXPECT_TRUE(fs::is_symlink(name)) << name;
}

TEST(SmartRegistry, UnreadableStoreIsLeftAlone)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    fs::create_directories(store + "/inside");
    TSettings settings(store);
    EXPECT_EQ(settings.DefaultZoom, 2);
    EXPECT_TRUE(fs::is_directory(store + "/inside"));

    TRegistryStore direct(store);
    EXPECT_FALSE(direct.Writable());
    direct.WriteInteger("\\A", "B", 1);
    EXPECT_FALSE(direct.Save());
}

TEST(SmartRegistry, WritingThroughALinkKeepsTheLink)
{
    TTempFolder folder;
    const std::string target = folder.File("dotfiles/registry.ini");
    const std::string store = folder.File("registry.ini");
    fs::create_directories(folder.File("dotfiles"));
    WriteText(target, "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Video]\nDefaultZoom=3\n");
    fs::create_symlink(target, store);
    {
        TSettings settings(store);
        EXPECT_EQ(settings.DefaultZoom, 3);
        settings.DefaultZoom = 1;
    }
    EXPECT_TRUE(fs::is_symlink(store));
    EXPECT_TRUE(Contains(ReadText(target), "DefaultZoom=1\n"));

    // A link to a store not written yet, relative to the link's folder.
    const std::string second = folder.File("second.ini");
    fs::create_symlink("dotfiles/new/second.ini", second);
    { TSettings settings(second); }
    EXPECT_TRUE(fs::is_symlink(second));
    EXPECT_TRUE(Contains(ReadText(folder.File("dotfiles/new/second.ini")), "DefaultZoom=2\n"));
}

TEST(SmartRegistry, StoreFolderFollowsXdgConfigHome)
{
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    const std::string savedHome = oldHome ? oldHome : "";

    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/elsewhere/config", 1);
    EXPECT_EQ(TRegistryStore::DefaultFile(), "/elsewhere/config/quorvane/registry.ini");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);   // not absolute: ignored
    EXPECT_EQ(TRegistryStore::DefaultFile(), "/home/someone/.config/quorvane/registry.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(TRegistryStore::DefaultFile(), "/home/someone/.config/quorvane/registry.ini");

    oldConfig ? (void)::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1) : (void)::unsetenv("XDG_CONFIG_HOME");
    oldHome ? (void)::setenv("HOME", savedHome.c_str(), 1) : (void)::unsetenv("HOME");
}

// Damaged stores (cut short, bytes flipped, random text) give settings in
// the options' ranges and a store that reads back the same.
TEST(SmartRegistry, DamagedStoresGiveValidSettings)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    { TSettings first(store); }
    const std::string good = ReadText(store) + "[\\Software\\Tamrix\\Quorvane\\Extra]\nValue=12345\n";

    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        std::string text = good;
        switch (round % 3) {
        case 0:
            text.resize(random() % (good.size() + 1));
            break;
        case 1:
            for (int flips = 1 + int(random() % 8); flips > 0; --flips)
                text[random() % text.size()] ^= char(1 << (random() % 8));
            break;
        default:
            text.resize(random() % 400);
            static const char alphabet[] = "[]=\\-+0123456789\n\r ;#DefaultZoomSoundSyncDelay\0\xFF";
            for (char& c : text)
                c = alphabet[random() % (sizeof alphabet - 1)];
            break;
        }
        WriteText(store, text);
        i32 zoom, left, sound;
        {
            TSettings settings(store);
            zoom = settings.DefaultZoom;
            left = settings.PixelsPerTVLeftBorder;
            sound = settings.SoundSyncDelay;
            ASSERT_GE(zoom, 1);
            ASSERT_LE(zoom, 3);
            ASSERT_GE(left, 0);
            ASSERT_LE(left, 72);
            ASSERT_GE(settings.PixelsPerTVRightBorder, 0);
            ASSERT_LE(settings.PixelsPerTVRightBorder, 56);
            ASSERT_GE(settings.LinesPerTVTopBorder, 0);
            ASSERT_LE(settings.LinesPerTVTopBorder, 64);
            ASSERT_GE(settings.LinesPerTVBottomBorder, 0);
            ASSERT_LE(settings.LinesPerTVBottomBorder, 48);
            ASSERT_GE(sound, -100);
            ASSERT_LE(sound, 100);
        }
        TSettings again(store);
        ASSERT_EQ(again.DefaultZoom, zoom) << "round " << round;
        ASSERT_EQ(again.PixelsPerTVLeftBorder, left) << "round " << round;
        ASSERT_EQ(again.SoundSyncDelay, sound) << "round " << round;
    }
}
