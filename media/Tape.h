// The catalogue of one tape image (TAP or TZX): a one-line description of
// every block, where it lies in the file, how long it plays and when it
// starts on the tape. The Open file command builds one and hands it to the
// tape recorder; the tape-recorder view lists it.
//
// Times are date-time values in days, converted from T-states at a fixed
// 3,500,000 T-states a second (not the settings' CPU clock), so a tape lists
// the same on every machine model.
//
// The input is untrusted: every length is checked against the bytes that
// are really there, position arithmetic is done in 64 bits and saturates at
// the file size, and T-state sums are 64-bit, so a crafted file is either
// catalogued or refused with one of the texts below, never read out of
// bounds and never walked backwards.
//
// Descriptions are UTF-8; names and texts taken from the file are read as
// Latin-1.
//
// Threads. Built on the user-interface thread. Afterwards the catalogue
// (count, names, infos, sum) is read-only and may be read by the view while
// the run thread plays the tape; the current block and the file's read
// position belong to whoever plays it (the tape recorder).
#pragma once

#include "core/Types.h"

#include <memory>
#include <string>
#include <vector>

class TFile;

// One catalogued block.
struct TTapeBlockInfo {
    // File offset of the block: a TAP block's length word, a TZX block's ID.
    u32 Offset = 0;
    // Playing time and start on the tape, in days.
    double Duration = 0.0;
    double Start = 0.0;
};

class TTape {
public:
    static constexpr i32 TypeTZX = 0;
    static constexpr i32 TypeTAP = 1;

    // The ROM's own timing, in T-states.
    static constexpr u16 StandardOnePulse = 1710;
    static constexpr u16 StandardZeroPulse = 855;
    static constexpr u16 StandardPilotPulse = 2168;
    static constexpr u16 StandardSync1 = 667;
    static constexpr u16 StandardSync2 = 735;
    static constexpr u16 StandardHeaderPilotCount = 8063;
    static constexpr u16 StandardDataPilotCount = 3223;
    static constexpr u8 StandardUsedBits = 8;

    // Takes the file and catalogues it as TZX (TypeTZX) or TAP (TypeTAP).
    // Throws TTextError with the user-visible text: "Invalid Tape Image file
    // type.", "Error! TAP file size too small!", "TZX tape image file size
    // too small.", "Invalid TZX file format.", "TZX file has unsupported
    // revision (not like 1.xx).", the nesting texts of groups and loops,
    // "Unsupported tape image format or file corrupt!" or "End of file
    // reached.". A null file is catalogued as an empty one.
    TTape(std::unique_ptr<TFile> file, i32 type);
    ~TTape();
    TTape(const TTape&) = delete;
    TTape& operator=(const TTape&) = delete;

    i32 GetType() const { return Type; }
    // "1.20" for a TZX image; empty for TAP.
    const std::string& GetVersion() const { return Version; }

    i32 GetBlockCount() const { return static_cast<i32>(Blocks.size()); }
    // Any index is answered: outside 0..count-1 the name is "" and the info
    // nullptr.
    std::string GetBlockName(i32 index) const;
    const TTapeBlockInfo* GetBlockInfo(i32 index) const;
    // The length of the whole tape, in days.
    double GetTotalTime() const { return TotalTime; }
    // The sum of the image's bytes: the tape's identity for the view.
    u32 GetSum() const { return ByteSum; }

    // --- Playing (the tape recorder) ---

    // -1 keeps the current block; another index becomes the current one
    // (clamped to the count; below -1 is refused and changes nothing). True
    // when the current block exists: its info is then current and the file
    // is positioned at its offset.
    bool SelectBlock(i32 index);
    i32 GetCurrentIndex() const { return CurrentIndex; }
    const TTapeBlockInfo* GetCurrentInfo() const { return CurrentInfo; }
    bool IsEndOfTape() const { return CurrentIndex >= GetBlockCount(); }
    // The byte at the file's read position, then on; throws "End of file
    // reached." at the end.
    u8 ReadNextByte();
    // The image itself (random access never throws: past the end reads 0).
    const TFile& GetFile() const { return *File; }

    // Days from T-states (at 3,500,000 a second) and from milliseconds.
    static double TStatesToDays(i64 tstates);
    static double MillisecondsToDays(i64 milliseconds);

private:
    struct TBlock {
        std::string Name;
        TTapeBlockInfo Info;
    };

    void LoadTAP();
    void LoadTZX();
    // Describes and times the n-byte standard block at the read position and
    // leaves the position after it.
    std::string DescribeStandardBlock(i64 n);
    // The bit times of the first count bits of b, from bit 7 down.
    void AddByteTime(u8 b, i32 count);
    void SetStandardTiming();
    void AddBlock(const std::string& name, u32 offset, double duration, double start);
    // A ".." number of the TZX block table: the 1-based entry number of a
    // jump or call target.
    i64 TargetEntry(i16 relative) const;

    std::unique_ptr<TFile> File;
    i32 Type = TypeTAP;
    std::string Version;
    std::vector<TBlock> Blocks;
    double TotalTime = 0.0;
    double BlockTime = 0.0;
    i64 TStateSum = 0;
    const TTapeBlockInfo* CurrentInfo = nullptr;
    u32 ByteSum = 0;
    i32 CurrentIndex = 0;

    // The timing of the block being described.
    u16 OnePulse = StandardOnePulse;
    u16 ZeroPulse = StandardZeroPulse;
    u16 PilotPulse = StandardPilotPulse;
    u16 Sync1 = StandardSync1;
    u16 Sync2 = StandardSync2;
    u16 HeaderPilotCount = StandardHeaderPilotCount;
    u16 DataPilotCount = StandardDataPilotCount;
    u8 UsedBits = StandardUsedBits;
};
