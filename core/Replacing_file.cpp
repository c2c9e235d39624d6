#include "core/Replacing_file.h"

#include <atomic>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TReplacingFile::TReplacingFile(const std::string& path)
{
    namespace fs = std::filesystem;
    Target = path.empty() ? std::string() : FollowLinks(path);
    if (Target.empty()) {
        Error = path.empty() ? ENOENT : ELOOP;
        return;
    }
    const fs::path target(Target);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && Fd < 0; ++attempt) {
        const std::string name = "." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        Temporary = (folder / name).string();
        Fd = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        Error = Fd < 0 ? errno : 0;
        if (Fd < 0 && Error != EEXIST)
            break;
    }
    struct stat old {};
    if (Fd >= 0 && ::stat(Target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(Fd, old.st_mode & 07777);
}

TReplacingFile::~TReplacingFile()
{
    if (Fd >= 0) {
        ::close(Fd);
        ::unlink(Temporary.c_str());
    }
}

bool TReplacingFile::Commit()
{
    if (Fd < 0)
        return false;
    int error = ::fsync(Fd) == 0 ? 0 : errno;
    if (::close(Fd) != 0 && error == 0)
        error = errno;
    Fd = -1;
    if (error == 0 && ::rename(Temporary.c_str(), Target.c_str()) != 0)
        error = errno;
    if (error == 0)
        return true;
    ::unlink(Temporary.c_str());
    Error = error;
    return false;
}

std::string TReplacingFile::FollowLinks(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = path;
    for (int links = 0; fs::is_symlink(target, error); ++links) {
        const fs::path next = fs::read_symlink(target, error);
        if (error || links == 40)
            return {};
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}
