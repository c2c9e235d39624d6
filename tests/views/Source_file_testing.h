// Temporary source files for the project model and source viewer tests.
#pragma once

#include "core/Types.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TSourceFolder {
public:
    TSourceFolder()
    {
        char pattern[] = "/tmp/quorvane-source-XXXXXX";
        if (mkdtemp(pattern))
            Folder = pattern;
    }
    ~TSourceFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    TSourceFolder(const TSourceFolder&) = delete;
    TSourceFolder& operator=(const TSourceFolder&) = delete;

    // Writes the bytes as the file and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = (Folder / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    const std::filesystem::path& Path() const { return Folder; }

private:
    std::filesystem::path Folder;
};

// The bytes of a committed fixture.
inline std::string ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(QUORVANE_FIXTURES_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
