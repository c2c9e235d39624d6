#include "tests/support/Test_settings.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

// ---------------------------------------------------------------------------
// TTempFolder

TTempFolder::TTempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/quorvane-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        throw std::runtime_error("cannot create a temporary folder from " + pattern);
    Folder = name.data();
}

TTempFolder::~TTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

// ---------------------------------------------------------------------------
// TTempHome

TTempHome::TTempHome()
{
    if (const char* home = std::getenv("HOME")) {
        Previous = home;
        HadHome = true;
    }
    ::setenv("HOME", Folder.Path().c_str(), 1);
}

TTempHome::~TTempHome()
{
    if (HadHome)
        ::setenv("HOME", Previous.c_str(), 1);
    else
        ::unsetenv("HOME");
}

// ---------------------------------------------------------------------------
// TTestSettings

TTestSettings::TTestSettings()
    : Store(Folder.File("registry.ini"))
    , Settings(std::make_unique<TSettings>(Store))
    , Previous(g_Settings)
{
    g_Settings = Settings.get();
}

TTestSettings::~TTestSettings()
{
    g_Settings = Previous;
    // The settings write their store before the folder goes.
    Settings.reset();
}

void TTestSettings::Restart()
{
    g_Settings = nullptr;
    Settings.reset();
    Settings = std::make_unique<TSettings>(Store);
    g_Settings = Settings.get();
}
