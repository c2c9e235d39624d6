// The SNA snapshot, read and written in its 48K and 128K forms.
//
//   offset  size   field (words little-endian, a pair low byte first)
//   0       1      I
//   1       8      HL', DE', BC', AF'
//   9       10     HL, DE, BC, IY, IX
//   19      1      interrupt byte: bit 2 = IFF2
//   20      1      R
//   21      4      AF, SP
//   25      1      interrupt mode
//   26      1      border colour
//   27      49152  RAM 0x4000-0xFFFF as mapped (128K: banks 5, 2, the paged bank)
//   --- 128K only ---
//   49179   2      PC
//   49181   1      port 0x7FFD
//   49182   1      disk-interface ROM paged (written 0, ignored)
//   49183   16384  each further bank 0-7 ascending, without 2, 5 and the paged one
//
// A 48K file (49,179 bytes) keeps PC on the emulated stack. A 128K file is
// 131,103 bytes, or 147,487 when the paged bank is 2 or 5 (that bank is then
// stored twice).
#pragma once

#include "media/Snapshot.h"

#include <vector>

class TSnapshotSNA : public TSnapshot {
public:
    static constexpr i32 HeaderSize = 27;
    static constexpr i32 RamSize = 0xC000;
    static constexpr i32 BankSize = 0x4000;
    static constexpr i32 Size48 = HeaderSize + RamSize;          // 49,179
    static constexpr i32 Size128 = Size48 + 4 + 5 * BankSize;    // 131,103
    static constexpr i32 Size128Twice = Size128 + BankSize;      // 147,487

    static constexpr i32 Kind48 = 0;
    static constexpr i32 Kind128 = 1;

    static constexpr const char* FormatError = "This file is not SNA format snapshot file, check it!";
    static constexpr const char* SaveError = "Can't save snapshot to file.";

    TSnapshotSNA();

    using TSnapshot::Save;

    // Refuses (FormatError) a size that is none of the three, a 128K file
    // whose size does not match its paged bank, and a 128K file on a machine
    // without 128K paging.
    void LoadImage(const TSnapshotTarget& target, std::span<const u8> image) override;
    // Kind 0 or 1; any other kind writes nothing. The 128K form needs the
    // 128K memory model (else Needs128KError). The file is built whole in
    // memory and written to a temporary file beside the target, which
    // replaces the target only when everything was written; any failure is
    // thrown as SaveError with the system's reason, and an old file at the
    // path stays as it was.
    void Save(const TSnapshotTarget& target, const std::string& path, i32 kind) override;

    // The file image of kind 0 or 1, as Save writes it. The 48K form stacks
    // PC in the image (at SP - 2, where it falls in RAM), not in memory.
    static std::vector<u8> BuildImage(const TSnapshotTarget& target, i32 kind);
};
