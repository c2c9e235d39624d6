#include "core/Smart_registry.h"

#include "core/Home_folder.h"
#include "core/Replacing_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Our own store is a few hundred bytes; anything this large was not written
// by us, and is left alone rather than rewritten.
constexpr std::uintmax_t MaxStoreSize = 1024 * 1024;

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

// Below: key equals parent or lies somewhere beneath it.
bool SameOrBelow(const std::string& key, const std::string& parent)
{
    if (key.size() < parent.size())
        return false;
    if (!SameText(key.substr(0, parent.size()), parent))
        return false;
    return key.size() == parent.size() || key[parent.size()] == '\\';
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n\f\v";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// "\Software\\Tamrix\" and "Software\Tamrix" both become "\Software\Tamrix".
std::string NormaliseKey(const std::string& path)
{
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = Trim(path.substr(start, end - start));
        if (!part.empty())
            result += '\\' + part;
        start = end + 1;
    }
    return result;
}

bool IsHeader(const std::string& trimmed)
{
    return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']';
}

// Splits "Name = value"; false for blank, comment and other lines.
bool SplitValueLine(const std::string& line, std::string& name, std::string& value)
{
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#')
        return false;
    std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos)
        return false;
    name = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return !name.empty();
}

std::optional<i32> ParseInteger(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    i32 value = 0;
    auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

bool WriteAll(int fd, const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// TRegistryStore

TRegistryStore::TRegistryStore(std::string file)
    : Path(std::move(file))
{
    Load();
}

void TRegistryStore::Load()
{
    Sections.clear();
    Sections.push_back(TSection{});   // the lines before the first header

    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status status = fs::status(Path, error);
    if (status.type() == fs::file_type::not_found) {
        Sections.front().Lines.push_back("; Quorvane's options: registry-style keys holding integer values.");
        return;
    }
    if (error || status.type() != fs::file_type::regular || fs::file_size(Path, error) > MaxStoreSize || error) {
        CanWrite = false;
        return;
    }
    std::ifstream in(Path, std::ios::binary);
    if (!in) {
        CanWrite = false;
        return;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        CanWrite = false;
        return;
    }

    const std::string text = content.str();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;

        std::string trimmed = Trim(line);
        if (IsHeader(trimmed)) {
            TSection section;
            section.Key = NormaliseKey(trimmed.substr(1, trimmed.size() - 2));
            section.HasHeader = true;
            section.Lines.push_back(line);   // the header as written
            Sections.push_back(std::move(section));
        } else {
            Sections.back().Lines.push_back(line);
        }
    }
}

TRegistryStore::TSection* TRegistryStore::FindSection(const std::string& key)
{
    for (TSection& section : Sections)
        if (section.HasHeader && SameText(section.Key, key))
            return &section;
    return nullptr;
}

bool TRegistryStore::KeyExists(const std::string& keyPath) const
{
    std::string key = NormaliseKey(keyPath);
    if (key.empty())
        return true;   // the root always exists
    for (const TSection& section : Sections)
        if (section.HasHeader && SameOrBelow(section.Key, key))
            return true;
    return false;
}

void TRegistryStore::CreateKey(const std::string& keyPath)
{
    std::string key = NormaliseKey(keyPath);
    if (!key.empty() && !KeyExists(key))
        AddSection(key);
}

TRegistryStore::TSection& TRegistryStore::AddSection(const std::string& key)
{
    std::vector<std::string>& previous = Sections.back().Lines;
    if (!previous.empty() && !Trim(previous.back()).empty())
        previous.push_back("");
    Sections.push_back(TSection{key, true, {"[" + key + "]"}});
    Dirty = true;
    return Sections.back();
}

std::optional<i32> TRegistryStore::ReadInteger(const std::string& keyPath, const std::string& name) const
{
    std::string key = NormaliseKey(keyPath);
    std::string lineName, value;
    for (const TSection& section : Sections) {
        if (!section.HasHeader || !SameText(section.Key, key))
            continue;
        for (std::size_t i = 1; i < section.Lines.size(); ++i)
            if (SplitValueLine(section.Lines[i], lineName, value) && SameText(lineName, name))
                return ParseInteger(value);
    }
    return std::nullopt;
}

void TRegistryStore::WriteInteger(const std::string& keyPath, const std::string& name, i32 value)
{
    std::string key = NormaliseKey(keyPath);
    if (key.empty() || name.empty())
        return;
    const std::string newLine = name + "=" + std::to_string(value);
    std::string lineName, oldValue;

    // Replace the value where a reader finds it: its first occurrence.
    for (TSection& section : Sections) {
        if (!section.HasHeader || !SameText(section.Key, key))
            continue;
        for (std::size_t i = 1; i < section.Lines.size(); ++i) {
            if (SplitValueLine(section.Lines[i], lineName, oldValue) && SameText(lineName, name)) {
                if (section.Lines[i] != newLine) {
                    section.Lines[i] = newLine;
                    Dirty = true;
                }
                return;
            }
        }
    }

    TSection* section = FindSection(key);
    if (!section)
        section = &AddSection(key);
    // After the section's last value, before the blank lines that separate it.
    std::size_t at = section->Lines.size();
    while (at > 1 && Trim(section->Lines[at - 1]).empty())
        --at;
    section->Lines.insert(section->Lines.begin() + std::ptrdiff_t(at), newLine);
    Dirty = true;
}

bool TRegistryStore::HoldsNothing(const TSection& section)
{
    for (std::size_t i = 1; i < section.Lines.size(); ++i)
        if (!Trim(section.Lines[i]).empty())
            return false;
    return true;
}

std::string TRegistryStore::Text() const
{
    std::string text;
    for (const TSection& section : Sections) {
        // A key we created that holds nothing is implied by its subkeys.
        if (section.HasHeader && HoldsNothing(section)) {
            bool hasSubkey = false;
            for (const TSection& other : Sections)
                if (&other != &section && other.HasHeader && SameOrBelow(other.Key, section.Key))
                    hasSubkey = true;
            if (hasSubkey)
                continue;
        }
        for (const std::string& line : section.Lines) {
            text += line;
            text += '\n';
        }
    }
    return text;
}

bool TRegistryStore::Save()
{
    if (!CanWrite)
        return false;

    // Writing through a symbolic link keeps the link and replaces its target
    // (which need not exist yet, nor its folder).
    const std::string target = TReplacingFile::FollowLinks(Path);
    if (target.empty())
        return false;
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    std::error_code error;
    if (!parent.empty())
        std::filesystem::create_directories(parent, error);

    TReplacingFile file(target);
    if (file.GetFd() < 0 || !WriteAll(file.GetFd(), Text()) || !file.Commit())
        return false;
    Dirty = false;
    return true;
}

std::string TRegistryStore::DefaultFile()
{
    std::string folder;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        folder = config;
    } else {
        folder = HomeFolder() + "/.config";
    }
    return folder + "/quorvane/registry.ini";
}

// ---------------------------------------------------------------------------
// SmartRegistryT

SmartRegistryT::SmartRegistryT(const std::string& baseKey, const std::string& storeFile)
    : BaseKey(NormaliseKey(baseKey))
    , Store(storeFile.empty() ? TRegistryStore::DefaultFile() : storeFile)
{
    if (!BaseKey.empty())
        OpenKey(BaseKey);
}

SmartRegistryT::~SmartRegistryT()
{
    if (Store.Modified() && !Store.Save())
        std::fprintf(stderr, "Quorvane: the options could not be written to %s\n", Store.File().c_str());
}

bool SmartRegistryT::OpenSubKey(const std::string& subKey)
{
    return OpenKey(BaseKey + "\\" + subKey);
}

bool SmartRegistryT::OpenKey(const std::string& keyPath)
{
    OpenedKey = NormaliseKey(keyPath);
    if (OpenedKey.empty())
        return false;
    Store.CreateKey(OpenedKey);
    return true;
}

i32 SmartRegistryT::ReadInteger(const std::string& name, i32 defaultValue)
{
    return ReadInteger(name, defaultValue, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max());
}

i32 SmartRegistryT::ReadInteger(const std::string& name, i32 defaultValue, i32 minimum, i32 maximum)
{
    if (OpenedKey.empty())
        return defaultValue;
    std::optional<i32> stored = Store.ReadInteger(OpenedKey, name);
    if (stored && *stored >= minimum && *stored <= maximum)
        return *stored;
    return WriteInteger(name, defaultValue);
}

i32 SmartRegistryT::WriteInteger(const std::string& name, i32 value)
{
    if (!OpenedKey.empty())
        Store.WriteInteger(OpenedKey, name, value);
    return value;
}

bool SmartRegistryT::Save()
{
    return !Store.Modified() || Store.Save();
}
