// A file read whole into memory, with a read position and little-endian
// readers: the one way the program reads a file (ROM images, tapes,
// snapshots, source files).
//
// Only regular files are read; anything else, or a file that cannot be
// opened, gives size 0 and no error: each caller decides what that means.
// Every position move is computed in 64 bits and saturates at the size, so
// the position always lies within 0..size.
#pragma once

#include "core/Types.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <span>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class TFile {
public:
    // Reads the whole file. Inline, so that the core library's ROM loader
    // reads through TFile without a link dependency on this library.
    explicit TFile(const std::string& path);

    const std::string& GetName() const { return Name; }
    i32 GetSize() const { return Size; }
    i32 GetPosition() const { return Position; }
    // Clamped to 0..size.
    void SetPosition(i64 position);
    // Moves forward by n, stopping at the end.
    void Skip(u64 n);
    bool IsEof() const { return Position >= Size; }

    // Random access without moving the position; bytes past the end read 0.
    u8 GetByteAt(i64 index) const;
    u16 GetWordAt(i64 index) const;

    // Sequential readers. At the end ReadByte throws "End of file reached."
    // without moving; the wider readers consume the bytes taken before the
    // failing one.
    u8 ReadByte();
    u16 ReadWord();
    i32 ReadShort();    // ReadWord as 0..65535; the caller gives it a sign
    u32 ReadTriple();   // a word, then bits 16-23
    u32 ReadDWord();    // two words, the first the low half
    // n bytes; the text ends at the first zero among them, while the
    // position moves past all n (or to the end, taking only bytes present).
    std::string ReadString(i32 n);
    // A length byte, then ReadString of that length.
    std::string ReadPascalString();
    // Copies the next n bytes into buffer and moves past them. n <= 0 is
    // true at once. When the data ends first it copies what is there, leaves
    // the position at the end and returns false. Never throws.
    bool ReadBlock(u8* buffer, i32 n);

    // The sum of all bytes modulo 2^32: the identity of a tape.
    u32 GetSum() const;

    // The whole content, for readers that parse a byte span of their own.
    std::span<const u8> GetBytes() const { return {Data.data(), Data.size()}; }

private:
    std::string Name;
    i32 Size = 0;
    i32 Position = 0;
    std::vector<u8> Data;
};

inline TFile::TFile(const std::string& path) : Name(path)
{
    // Non-blocking, so that a named pipe cannot hold the open; it has no
    // effect on a regular file, the only kind read (a directory or a device
    // has no size to trust, and /dev/zero would never end).
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
        status.st_size <= std::numeric_limits<i32>::max()) {
        Data.resize(static_cast<size_t>(status.st_size));
        size_t done = 0;
        while (done < Data.size()) {
            const ssize_t got = read(fd, Data.data() + done, Data.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        // A file that shrank while being read, or a read error, leaves what
        // was read: the size is what the buffer really holds.
        Data.resize(done);
        Size = static_cast<i32>(done);
    }
    close(fd);
}
