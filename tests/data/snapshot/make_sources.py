#!/usr/bin/env python3
"""Writes the hand-made snapshot sources of make.sh into the current folder.

SNA files (48K, 128K, 128K with bank 5 paged and locked) and Z80 files of
versions 1 and 2, which no tool writes any more. The RAM of every bank is
recognisable (its number, a seeded pseudo-random kilobyte) and holds the
byte patterns that run-length coding must get right: ED ED, ED ED ED, a lone
ED before a run, runs of 4, 5, 255, 256 and 600 equal bytes, and ED as the
last byte of the bank. The registers are all different from one another.
"""
import struct


def bank(number):
    data = bytearray(0x4000)
    label = b"QUORVANE BANK %d" % number
    data[0:len(label)] = label
    seed = 0x1234 + number * 0x9E37
    for i in range(0x100, 0x500):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        data[i] = (seed >> 16) & 0xFF
    at = 0x600
    for pattern in ([0xED, 0xED], [0xED, 0xED, 0xED], [0xED] + [0] * 6, [0xED] * 7,
                    [0xED, 0x01, 0xED, 0x02], [0x41] * 4, [0x42] * 5, [0x43] * 255,
                    [0x44] * 256, [0x45] * 600, [0xED, 0x46, 0x46, 0x46, 0x46, 0x46, 0x46]):
        data[at:at + len(pattern)] = bytes(pattern)
        at += len(pattern) + 3
    for i in range(0x2000, 0x2400):
        data[i] = (i * 7 + number) & 0xFF
    data[0x3FFE] = 0x41
    data[0x3FFF] = 0xED
    return data


def compress(data):
    """Run-length coding of the Z80 format, as its writers do it."""
    out = bytearray()
    i = 0
    while i < len(data):
        b = data[i]
        run = 1
        while i + run < len(data) and data[i + run] == b and run < 255:
            run += 1
        # A byte right after a lone ED is stored as itself.
        after_lone_ed = i > 0 and data[i - 1] == 0xED and out[-1:] == b"\xed"
        if not after_lone_ed and (run >= 5 or (b == 0xED and run >= 2)):
            out += bytes([0xED, 0xED, run, b])
            i += run
        else:
            out.append(b)
            i += 1
    return bytes(out)


# Registers shared by every file: (name, value).
REGS = dict(AF=0x5AC3, BC=0x1B2C, DE=0x3D4E, HL=0x5F60, AltAF=0x7182, AltBC=0x93A4,
            AltDE=0xB5C6, AltHL=0xD7E8, IX=0xF901, IY=0x0A1B, I=0x3C, R=0xB7, IM=2,
            SP=0x8F00, PC=0x6D2E)
BORDER = 5


def sna_header(sp, iff2=True):
    r = REGS
    return (struct.pack("<B4H5H", r["I"], r["AltHL"], r["AltDE"], r["AltBC"], r["AltAF"],
                        r["HL"], r["DE"], r["BC"], r["IY"], r["IX"])
            + struct.pack("<BBHHBB", 4 if iff2 else 0, r["R"], r["AF"], sp, r["IM"], BORDER))


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def ram48():
    ram = bank(5) + bank(2) + bank(0)
    # The 48K SNA keeps PC on the stack.
    sp = REGS["SP"] - 2
    ram[sp - 0x4000:sp - 0x4000 + 2] = struct.pack("<H", REGS["PC"])
    return ram, sp


def sna48():
    ram, sp = ram48()
    write("hand-48k.sna", sna_header(sp) + ram)


def sna128(name, port):
    paged = port & 7
    out = sna_header(REGS["SP"]) + bank(5) + bank(2) + bank(paged)
    out += struct.pack("<HBB", REGS["PC"], port, 0)
    for n in range(8):
        if n not in (2, 5, paged):
            out += bank(n)
    write(name, out)


def z80_main_header(pc, flags):
    r = REGS
    return (struct.pack("<BBHHHHBBB", r["AF"] >> 8, r["AF"] & 0xFF, r["BC"], r["HL"], pc, r["SP"],
                        r["I"], r["R"] & 0x7F, flags)
            + struct.pack("<HHHHBBHHBBB", r["DE"], r["AltBC"], r["AltDE"], r["AltHL"],
                          r["AltAF"] >> 8, r["AltAF"] & 0xFF, r["IY"], r["IX"], 1, 1, r["IM"]))


def z80_v1():
    ram = bank(5) + bank(2) + bank(0)
    flags = (REGS["R"] >> 7) | BORDER << 1
    write("hand-v1-raw.z80", z80_main_header(REGS["PC"], flags) + ram)
    write("hand-v1.z80", z80_main_header(REGS["PC"], flags | 0x20) + compress(ram) + b"\x00\xed\xed\x00")


AY = bytes([0x11, 0x02, 0x33, 0x04, 0x55, 0x06, 0x17, 0x38, 0x09, 0x1A, 0x0B, 0x1C, 0x2D, 0x0E, 0xEF, 0xF0])


def z80_v2(name, mode, port, pages, raw):
    flags = (REGS["R"] >> 7) | BORDER << 1
    extra = struct.pack("<HHBBBB", 23, REGS["PC"], mode, port, 0, 0) + bytes([0x0E]) + AY
    assert len(extra) == 2 + 23
    out = z80_main_header(0, flags) + extra
    for number, data in pages:
        if raw:
            out += struct.pack("<HB", 0xFFFF, number) + data
        else:
            packed = compress(data)
            out += struct.pack("<HB", len(packed), number) + packed
    write(name, out)


sna48()
sna128("hand-128k.sna", 0x1B)         # bank 3 at 0xC000, screen 7, 48 BASIC ROM
sna128("hand-128k-bank5.sna", 0x35)   # bank 5 at 0xC000 (stored twice), locked
z80_v1()
z80_v2("hand-v2-48k.z80", 0, 0, [(4, bank(2)), (5, bank(0)), (8, bank(5))], raw=False)
z80_v2("hand-v2-128k.z80", 3, 0x1B, [(n + 3, bank(n)) for n in range(8)], raw=True)
