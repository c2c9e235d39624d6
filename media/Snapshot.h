// Snapshots: the whole state of the emulated machine in one file.
//
// TSnapshot is the base of the formats (SNA in Snapshot_sna.h, Z80 in
// Snapshot_z80.h). A loader writes the processor's registers, the RAM, the
// 128K paging, the border and the AY into the machine; it checks the whole
// file first and changes nothing when it refuses it, so a bad file costs the
// user nothing. Loading or saving while the machine runs happens inside the
// computer's pause guard: that is the caller's job.
//
// The loaders reach the machine through TSnapshotTarget, a handful of
// references to the parts they write, so that they work on a TComputer
// (SnapshotTargetOf) and on parts built by hand alike.
#pragma once

#include "core/Types.h"

#include <span>
#include <string>

class TAY;
class TComputer;
class TFile;
class TMemory;
class TMemoryPagination;
class TVideoCard;
class TZ80;

// The parts of the machine a snapshot reads and writes. The paging device
// and the AY may be missing (a 48K machine built by hand); the loaders then
// leave out what they would do with them.
struct TSnapshotTarget {
    TZ80& Z80;
    TMemory& Memory;
    TMemoryPagination* MemoryPagination;
    TVideoCard& VideoCard;
    TAY* AY;
};

// The computer's own parts.
TSnapshotTarget SnapshotTargetOf(TComputer& computer);

// The processor state a snapshot carries, gathered from the file before the
// machine is touched.
struct TSnapshotRegisters {
    u16 AF = 0, BC = 0, DE = 0, HL = 0;
    u16 AltAF = 0, AltBC = 0, AltDE = 0, AltHL = 0;
    u16 IX = 0, IY = 0, SP = 0, PC = 0;
    u8 I = 0;
    u8 R = 0;   // all eight bits; bit 7 is also kept in R7
    u8 IM = 0;
    u8 IFF1 = 0;
    u8 IFF2 = 0;
};

class TSnapshot {
public:
    // A 128K snapshot on a machine without the eight RAM banks and their
    // paging.
    static constexpr const char* Needs128KError = "A 128K snapshot needs the 128K memory model.";

    virtual ~TSnapshot() = default;
    TSnapshot(const TSnapshot&) = delete;
    TSnapshot& operator=(const TSnapshot&) = delete;

    // Loads the file's bytes into the machine, or throws a TTextError with
    // the text the user sees and leaves the machine exactly as it was.
    virtual void LoadImage(const TSnapshotTarget& target, std::span<const u8> image) = 0;
    // Saves the machine into the file at path; kind 0 is the 48K form, 1
    // the 128K form. The machine is never changed.
    virtual void Save(const TSnapshotTarget& target, const std::string& path, i32 kind) = 0;

    // LoadImage of the whole file, wherever its read position is.
    void Load(const TSnapshotTarget& target, const TFile& file);
    void Load(TComputer& computer, const TFile& file) { Load(SnapshotTargetOf(computer), file); }
    void Save(TComputer& computer, const std::string& path, i32 kind) { Save(SnapshotTargetOf(computer), path, kind); }

    const std::string& GetDescription() const { return Description; }
    const std::string& GetExtension() const { return Extension; }

protected:
    // The paging of a 48K snapshot on the 128K machine: RAM bank 0, the 48
    // BASIC ROM, screen bank 5, locked as a 48K machine is.
    static constexpr u8 Paging48K = 0x30;

    TSnapshot(std::string description, std::string extension);

    // Writes the registers into the processor: R7 from bit 7 of R, and the
    // halted marker cleared, since PC no longer points at a HALT it waits on.
    static void ApplyRegisters(TZ80& z80, const TSnapshotRegisters& registers);
    // True when the memory has the eight RAM banks and a paging device to
    // map them: what a 128K snapshot needs.
    static bool Has128KPaging(const TSnapshotTarget& target);

private:
    std::string Description;
    std::string Extension;
};

// Reads a file image front to back and never past its end: Take fails with
// the format's own error text when fewer bytes remain than it is asked for.
class TSnapshotCursor {
public:
    TSnapshotCursor(std::span<const u8> data, const char* errorText) : Data(data), ErrorText(errorText) {}

    size_t GetPosition() const { return Position; }
    size_t GetRemaining() const { return Data.size() - Position; }
    bool IsEnd() const { return Position >= Data.size(); }
    // Moves to an absolute position; past the end fails.
    void Seek(size_t position);

    std::span<const u8> Take(size_t n);
    u8 TakeByte() { return Take(1)[0]; }
    u16 TakeWord();
    // The bytes left, up to n, without failing; the position moves past them.
    std::span<const u8> TakeUpTo(size_t n);

    [[noreturn]] void Fail() const;

private:
    std::span<const u8> Data;
    size_t Position = 0;
    const char* ErrorText;
};
