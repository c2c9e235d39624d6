// The settings object: its defaults and derived values, and the six values
// it keeps in the per-user store across starts.
#include "core/Settings.h"
#include "core/Smart_registry.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

const char* const TimingsSection = "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Timings]";
const char* const VideoSection = "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Video]";
const char* const SoundSection = "[\\Software\\Tamrix\\Quorvane\\Options\\Emulator\\Sound]";

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

// The store as a person reads it: section header -> value name -> text.
using TStoreView = std::map<std::string, std::map<std::string, std::string>>;

TStoreView ReadStore(const std::string& file)
{
    TStoreView view;
    std::istringstream in(ReadText(file));
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            section = line;
            view[section];
        } else if (auto equals = line.find('='); equals != std::string::npos) {
            view[section][line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return view;
}

std::string StoreWith(const std::string& name, const std::string& value)
{
    const char* section = name == "DefaultZoom" ? VideoSection : name == "SoundSyncDelay" ? SoundSection : TimingsSection;
    return std::string(section) + "\n" + name + "=" + value + "\n";
}

i32 StoredField(const TSettings& settings, const std::string& name)
{
    if (name == "PixelsPerTVLeftBorder") return settings.PixelsPerTVLeftBorder;
    if (name == "PixelsPerTVRightBorder") return settings.PixelsPerTVRightBorder;
    if (name == "LinesPerTVTopBorder") return settings.LinesPerTVTopBorder;
    if (name == "LinesPerTVBottomBorder") return settings.LinesPerTVBottomBorder;
    if (name == "DefaultZoom") return settings.DefaultZoom;
    if (name == "SoundSyncDelay") return settings.SoundSyncDelay;
    ADD_FAILURE() << "no stored field " << name;
    return 0;
}

const std::map<std::string, i32> StoredDefaults = {
    {"PixelsPerTVLeftBorder", 40}, {"PixelsPerTVRightBorder", 36}, {"LinesPerTVTopBorder", 46},
    {"LinesPerTVBottomBorder", 26}, {"DefaultZoom", 2}, {"SoundSyncDelay", -10}};

} // namespace

TEST(Settings, FrameGeometryAndClocksFollowFromTheDefaults)
{
    TTestSettings settings;
    EXPECT_EQ(g_Settings, settings.get());

    EXPECT_EQ(settings->TStatesPerFrame, 71'680u);
    EXPECT_EQ(settings->CpuClock, 3'500'000u);
    EXPECT_EQ(settings->PixelsPerLine, 448u);
    EXPECT_EQ(settings->PixelsPerLineRest, 0);
    EXPECT_EQ(settings->InterruptFirst, 2);
    EXPECT_EQ(settings->InterruptLast, 24u);
    EXPECT_EQ(settings->FlashTicks, 16);
    // The raster as the video chip and the renderer see it: first paper line
    // 80, first paper pixel 136, first bottom-border line 272.
    EXPECT_EQ(settings->LinesPerVSync + settings->LinesPerTopBorder, 80u);
    EXPECT_EQ(settings->PixelsPerHSync + settings->PixelsPerHBlank + settings->PixelsPerLeftBorder, 136u);
    EXPECT_EQ(settings->LinesPerVSync + settings->LinesPerTopBorder + 192, 272u);
    EXPECT_EQ(settings->LinesPerVSync + settings->LinesPerTopBorder + 192 + settings->LinesPerBottomBorder,
        settings->LinesPerFrame);
    // Every sound source makes 903 samples a frame.
    EXPECT_EQ(u64(settings->SampleRate) * settings->TStatesPerFrame / settings->CpuClock, 903u);
}

TEST(Settings, MachineDefaults)
{
    TTestSettings settings;
    EXPECT_EQ(settings->Model, 2u);
    EXPECT_EQ(settings->PagingPort, 0x7FFD);
    EXPECT_EQ(settings->PagingMask, 0x8002);
    EXPECT_EQ(settings->AYSelectPort, 0xFFFD);
    EXPECT_EQ(settings->AYWritePort, 0xBFFD);
    EXPECT_EQ(settings->AYWriteMask, 0xC002);
    EXPECT_EQ(settings->MouseButtonsMask, 0x0320);
    EXPECT_EQ(settings->JoystickPort, 0x001F);
    EXPECT_EQ(settings->Rom48File, "roms.rom");
    EXPECT_EQ(settings->Rom48Bank, 1);
    EXPECT_EQ(settings->Rom128Bank, 0);
    EXPECT_EQ(settings->DiskRomBank, 2);
    EXPECT_EQ(settings->ShowFps, 1);
    EXPECT_EQ(settings->DisplayArea, 0);
    EXPECT_EQ(settings->NormalLevel, 187);
}

TEST(Settings, FirstStartCreatesTheThreeKeysWithTheSixDefaults)
{
    TTestSettings settings;
    for (const auto& [name, value] : StoredDefaults)
        EXPECT_EQ(StoredField(*settings, name), value) << name;

    TStoreView store = ReadStore(settings.StoreFile());
    EXPECT_EQ(store.size(), 3u);
    EXPECT_EQ(store[TimingsSection],
        (std::map<std::string, std::string>{{"PixelsPerTVLeftBorder", "40"}, {"PixelsPerTVRightBorder", "36"},
            {"LinesPerTVTopBorder", "46"}, {"LinesPerTVBottomBorder", "26"}}));
    EXPECT_EQ(store[VideoSection], (std::map<std::string, std::string>{{"DefaultZoom", "2"}}));
    EXPECT_EQ(store[SoundSection], (std::map<std::string, std::string>{{"SoundSyncDelay", "-10"}}));
}

TEST(Settings, StoredZoomIsReadAndWrittenBack)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    WriteText(store, StoreWith("DefaultZoom", "3"));
    {
        TSettings settings(store);
        EXPECT_EQ(settings.DefaultZoom, 3);
    }
    EXPECT_EQ(ReadStore(store)[VideoSection]["DefaultZoom"], "3");
}

TEST(Settings, ChangedOptionsPersistToTheNextStart)
{
    TTestSettings settings;
    settings->PixelsPerTVLeftBorder = 20;
    settings->SoundSyncDelay = 35;
    settings->DefaultZoom = 1;
    settings.Restart();
    EXPECT_EQ(settings->PixelsPerTVLeftBorder, 20);
    EXPECT_EQ(settings->SoundSyncDelay, 35);
    EXPECT_EQ(settings->DefaultZoom, 1);
    EXPECT_EQ(ReadStore(settings.StoreFile())[TimingsSection]["PixelsPerTVLeftBorder"], "20");
}

TEST(Settings, FixtureRestoresThePreviousSettings)
{
    TTestSettings outer;
    {
        TTestSettings inner;
        EXPECT_EQ(g_Settings, inner.get());
        EXPECT_NE(inner.StoreFile(), outer.StoreFile());
    }
    EXPECT_EQ(g_Settings, outer.get());
}

struct TStoredCase {
    const char* Name;
    const char* Stored;
    i32 Expected;   // what the settings use, and what the store then holds
};

class StoredValue : public testing::TestWithParam<TStoredCase> {};

TEST_P(StoredValue, IsUsedWhenValidElseReplacedByTheDefault)
{
    const TStoredCase& c = GetParam();
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    WriteText(store, StoreWith(c.Name, c.Stored));

    // Read at start-up; a replaced value is in the store before the exit.
    {
        TSettings settings(store);
        EXPECT_EQ(StoredField(settings, c.Name), c.Expected);
        for (const auto& [name, value] : StoredDefaults) {
            if (name != c.Name) {
                EXPECT_EQ(StoredField(settings, name), value) << name;
            }
        }
        const char* section = std::string(c.Name) == "DefaultZoom" ? VideoSection
            : std::string(c.Name) == "SoundSyncDelay"              ? SoundSection
                                                                     : TimingsSection;
        EXPECT_EQ(ReadStore(store)[section][c.Name], std::to_string(c.Expected));
    }
    TSettings again(store);
    EXPECT_EQ(StoredField(again, c.Name), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Ranges, StoredValue,
    testing::Values(TStoredCase{"DefaultZoom", "1", 1}, TStoredCase{"DefaultZoom", "3", 3},
        TStoredCase{"DefaultZoom", "0", 2}, TStoredCase{"DefaultZoom", "4", 2}, TStoredCase{"DefaultZoom", "259", 2},
        TStoredCase{"DefaultZoom", "-1", 2}, TStoredCase{"PixelsPerTVLeftBorder", "0", 0},
        TStoredCase{"PixelsPerTVLeftBorder", "72", 72}, TStoredCase{"PixelsPerTVLeftBorder", "73", 40},
        TStoredCase{"PixelsPerTVLeftBorder", "-1", 40}, TStoredCase{"PixelsPerTVRightBorder", "56", 56},
        TStoredCase{"PixelsPerTVRightBorder", "57", 36}, TStoredCase{"LinesPerTVTopBorder", "64", 64},
        TStoredCase{"LinesPerTVTopBorder", "65", 46}, TStoredCase{"LinesPerTVBottomBorder", "48", 48},
        TStoredCase{"LinesPerTVBottomBorder", "49", 26}, TStoredCase{"SoundSyncDelay", "-100", -100},
        TStoredCase{"SoundSyncDelay", "100", 100}, TStoredCase{"SoundSyncDelay", "101", -10},
        TStoredCase{"SoundSyncDelay", "-101", -10}, TStoredCase{"SoundSyncDelay", "-2147483648", -10}));

TEST(Settings, StoredIntegersMayCarryASignAndBlanks)
{
    TTempFolder folder;
    const std::string store = folder.File("registry.ini");
    WriteText(store, std::string(SoundSection) + "\n  SoundSyncDelay =  +5 \r\n" + VideoSection + "\nDefaultZoom=\t3\n");
    TSettings settings(store);
    EXPECT_EQ(settings.SoundSyncDelay, 5);
    EXPECT_EQ(settings.DefaultZoom, 3);
}

INSTANTIATE_TEST_SUITE_P(OtherTypes, StoredValue,
    testing::Values(TStoredCase{"DefaultZoom", "\"3\"", 2}, TStoredCase{"DefaultZoom", "three", 2},
        TStoredCase{"DefaultZoom", "", 2}, TStoredCase{"DefaultZoom", "3.0", 2}, TStoredCase{"DefaultZoom", "0x3", 2},
        TStoredCase{"DefaultZoom", "3 3", 2}, TStoredCase{"SoundSyncDelay", "99999999999", -10},
        TStoredCase{"SoundSyncDelay", "--5", -10}, TStoredCase{"PixelsPerTVLeftBorder", "dword:00000014", 40}));

TEST(Settings, EmptyStorePathMeansTheUsersConfigFolder)
{
    TTempFolder folder;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    {
        TSettings settings;
        EXPECT_EQ(settings.DefaultZoom, 2);
    }
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ReadStore(folder.File("quorvane/registry.ini"))[VideoSection]["DefaultZoom"], "2");
}
