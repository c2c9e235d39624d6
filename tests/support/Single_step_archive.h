// The SingleStepTests vectors ship as .tar.xz archives; tests unpack each one
// once per build folder and read the JSON files from there.
#pragma once

#include <filesystem>
#include <string>

// Unpacks archive into <build>/testdata/<folder> unless a stamp says it is
// already there, and returns the vectors' root (the archive's "v1" folder);
// empty when tar fails. Tests that run at the same time use distinct folders.
std::filesystem::path UnpackSingleStepArchive(const std::string& archive, const std::string& folder);
