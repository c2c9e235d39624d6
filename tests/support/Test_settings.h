// A settings object on a store file of its own, installed as g_Settings for
// the life of the helper:
//
//     TTestSettings settings;        // g_Settings now points at it
//     settings->Model = 1;           // change a field when a test needs to
//
// The store lives in a fresh temporary folder that is removed afterwards,
// and the previous g_Settings comes back when the helper goes.
#pragma once

#include "core/Settings.h"

#include <memory>
#include <string>

// A fresh folder under $TMPDIR (or /tmp), removed with all it holds when the
// object goes.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& Path() const { return Folder; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const { return Folder + "/" + name; }

private:
    std::string Folder;
};

// A fresh temporary folder that is $HOME for the life of the object; the
// previous value comes back afterwards.
class TTempHome {
public:
    TTempHome();
    ~TTempHome();
    TTempHome(const TTempHome&) = delete;
    TTempHome& operator=(const TTempHome&) = delete;

    const std::string& Path() const { return Folder.Path(); }

private:
    TTempFolder Folder;
    std::string Previous;
    bool HadHome = false;
};

class TTestSettings {
public:
    TTestSettings();
    ~TTestSettings();
    TTestSettings(const TTestSettings&) = delete;
    TTestSettings& operator=(const TTestSettings&) = delete;

    TSettings* operator->() const { return Settings.get(); }
    TSettings& operator*() const { return *Settings; }
    TSettings* get() const { return Settings.get(); }

    // The store file (it exists once the settings have been built).
    const std::string& StoreFile() const { return Store; }
    // Ends the settings as the program's exit does (writing the store back)
    // and builds them anew from the store, as the next start would.
    void Restart();

private:
    TTempFolder Folder;
    std::string Store;
    std::unique_ptr<TSettings> Settings;
    TSettings* Previous;
};
