// The Z80 snapshot, versions 1, 2 and 3, for 48K and 128K machines: read
// only (Save does nothing).
//
// Main header (30 bytes, words little-endian):
//   0 A   1 F   2 BC   4 HL   6 PC (0: version 2 or 3)   8 SP   10 I   11 R
//   12 flags: bit 0 = bit 7 of R, bits 1-3 border, bit 5 = version 1 data
//      compressed; 0xFF counts as 1
//   13 DE   15 BC'   17 DE'   19 HL'   21 A'   22 F'   23 IY   25 IX
//   27 IFF1   28 IFF2   29 bits 0-1 interrupt mode
// Version 1: 48K of RAM from offset 30, compressed or raw.
// Versions 2 and 3, additional header:
//   30 length L (23: version 2, else version 3)   32 PC   34 hardware mode
//   35 port 0x7FFD   38 selected AY register   39 AY registers 0-15
// then from 32 + L the pages: length (0xFFFF: 16,384 raw bytes), page
// number, data.
//
// Run-length coding: ED ED n b stands for n copies of b; any other byte
// stands for itself (a lone ED followed by another byte is ED and then that
// byte).
#pragma once

#include "media/Snapshot.h"

class TSnapshotZ80 : public TSnapshot {
public:
    static constexpr i32 MainHeaderSize = 30;
    static constexpr i32 PageSize = 0x4000;
    static constexpr u16 RawPageLength = 0xFFFF;
    static constexpr u16 Version2Length = 23;

    static constexpr const char* InvalidError = "Invalid Z80 snapshot file!";
    static constexpr const char* SamRamError = "Sorry! SamRam Hardware Mode not supported yet!";

    // What the loader makes of a file.
    enum class THardware { Version1, Spectrum48, Spectrum128, SamRam };

    TSnapshotZ80();

    using TSnapshot::Save;

    // Refuses, before anything in the machine changes: a file shorter than
    // the main header, an additional header shorter than 23 bytes or longer
    // than the file (InvalidError), the SamRam (SamRamError), a 128K file
    // on a machine without 128K paging (Needs128KError), and memory data
    // that is cut off or does not decode to whole pages (InvalidError).
    // A file that ends at a page boundary loads the pages it has; a page
    // with no place in the file's machine (a ROM page) is skipped by its
    // length and does not count toward the 3 (48K) or 8 (128K) pages.
    void LoadImage(const TSnapshotTarget& target, std::span<const u8> image) override;
    // The format is not written.
    void Save(const TSnapshotTarget& target, const std::string& path, i32 kind) override;

    // The class of a version 2 or 3 file by the length of its additional
    // header and its hardware mode.
    static THardware ClassifyHardware(u16 additionalLength, u8 mode);
    // Decodes run-length coded data until the page is full, reading no
    // further than the data. InvalidError when a run would overflow the page
    // or the data ends first. An ED in the page's last place is the byte ED.
    static void ReadPage(std::span<const u8> data, std::span<u8> page);
};
