#include "tests/support/Single_step_archive.h"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

fs::path UnpackSingleStepArchive(const std::string& archive, const std::string& folder)
{
    const fs::path target = fs::path(QUORVANE_BUILD_DIR) / "testdata" / folder;
    const fs::path stamp = target / "unpacked";
    if (!fs::exists(stamp)) {
        fs::remove_all(target);
        fs::create_directories(target);
        const std::string command = "tar -xJf '" + archive + "' -C '" + target.string() + "'";
        if (std::system(command.c_str()) != 0)
            return {};
        std::ofstream(stamp) << archive << "\n";
    }
    return target / "v1";
}
