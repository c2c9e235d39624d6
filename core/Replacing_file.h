// A new file written beside a target that takes the target's place only when
// it is complete, so a failed or interrupted write leaves the old file whole:
//
//     TReplacingFile file(path);
//     bool ok = file.GetFd() >= 0 && WriteAll(file.GetFd(), bytes) && file.Commit();
//
// The temporary file is created exclusively under a fresh name and never
// through a symbolic link, so nothing planted at a name it might use is
// written to. A symbolic link at the target itself is followed: the file it
// names is replaced and the link keeps pointing to the new one. An existing
// file's permissions carry over.
#pragma once

#include <string>

class TReplacingFile {
public:
    explicit TReplacingFile(const std::string& path);
    // Removes the temporary file unless it was committed.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    // The temporary file open for writing, or -1 when it could not be made.
    int GetFd() const { return Fd; }
    // The system error of the first failure (0 while there is none).
    int GetError() const { return Error; }
    // The file that is replaced: the path with symbolic links followed.
    const std::string& GetTarget() const { return Target; }

    // Syncs and closes the temporary file and renames it over the target.
    // False, with the temporary file removed and the target untouched, when
    // any step fails.
    bool Commit();

    // The path with symbolic links at its last component followed (the
    // final target need not exist); empty for a loop of links.
    static std::string FollowLinks(const std::string& path);

private:
    std::string Target;
    std::string Temporary;
    int Fd = -1;
    int Error = 0;
};
