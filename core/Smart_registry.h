// The per-user store of the program's options and the small registry-style
// wrapper that the settings read and write it through.
//
// The store is a text file of key sections holding integer values:
//
//     [\Software\Tamrix\Quorvane\Options\Emulator\Video]
//     DefaultZoom=2
//
// Key paths and value names compare without regard to case, as registry
// paths do. Lines the store does not understand (comments, other keys,
// values that are not integers) are kept as they are when it is written
// back; a value that is not a decimal 32-bit integer reads as missing.
#pragma once

#include "core/Types.h"

#include <optional>
#include <string>
#include <vector>

class TRegistryStore {
public:
    // Loads the file. A missing file is an empty store; a file that exists
    // but cannot be read (or is far too large to be ours) is used as an
    // empty store that is never written, so nothing of it is lost.
    explicit TRegistryStore(std::string file);

    const std::string& File() const { return Path; }
    bool Writable() const { return CanWrite; }
    bool Modified() const { return Dirty; }

    bool KeyExists(const std::string& keyPath) const;
    void CreateKey(const std::string& keyPath);
    // The integer stored under the name, or nothing when the value is
    // missing or of another type.
    std::optional<i32> ReadInteger(const std::string& keyPath, const std::string& name) const;
    void WriteInteger(const std::string& keyPath, const std::string& name, i32 value);

    // Writes a temporary file beside the store (see TReplacingFile) and
    // renames it over the old one, so a failure or a crash leaves the old
    // file whole. Returns false
    // (and leaves the store modified) when it could not.
    bool Save();

    // $XDG_CONFIG_HOME/quorvane/registry.ini, with ~/.config when the
    // variable is unset or not an absolute path.
    static std::string DefaultFile();

private:
    struct TSection {
        std::string Key;                 // normalised path; empty before the first header
        bool HasHeader = false;
        std::vector<std::string> Lines;  // the lines below the header, as read
    };

    void Load();
    TSection& AddSection(const std::string& key);
    TSection* FindSection(const std::string& key);
    static bool HoldsNothing(const TSection& section);
    std::string Text() const;

    std::string Path;
    std::vector<TSection> Sections;
    bool CanWrite = true;
    bool Dirty = false;
};

// The registry wrapper the settings use: a base key, at most one open key
// below it, integer values read with a default (created when missing) and
// written back. Changes reach the file when the wrapper is destroyed.
class SmartRegistryT {
public:
    // The empty store file means the user's own store (TRegistryStore::DefaultFile).
    explicit SmartRegistryT(const std::string& baseKey, const std::string& storeFile = {});
    ~SmartRegistryT();
    SmartRegistryT(const SmartRegistryT&) = delete;
    SmartRegistryT& operator=(const SmartRegistryT&) = delete;

    // Opens the base key followed by the subkey ("\Options\Emulator\Video"),
    // creating it when missing.
    bool OpenSubKey(const std::string& subKey);
    // Opens the absolute key path, creating it when missing.
    bool OpenKey(const std::string& keyPath);

    // The integer stored under the name in the open key; when it is missing
    // (or of another type) the default is written under the name and returned.
    i32 ReadInteger(const std::string& name, i32 defaultValue);
    // The same, and a stored value outside minimum..maximum also counts as
    // missing: the default replaces it.
    i32 ReadInteger(const std::string& name, i32 defaultValue, i32 minimum, i32 maximum);
    // Writes the value under the name in the open key and returns it.
    i32 WriteInteger(const std::string& name, i32 value);

    // Writes pending changes now; false when the file could not be written.
    bool Save();

private:
    std::string BaseKey;
    std::string OpenedKey;
    TRegistryStore Store;
};
