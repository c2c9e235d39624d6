#!/usr/bin/env python3
"""Writes blocks.tzx: one TZX 1.20 image with a block of every ID the
catalogue knows that tzxlist reads too, for comparison with it. (tzxlist refuses the
blocks 0x18, 0x26, 0x27 and unknown IDs, and its generalized data block
0x19 is in the shared test data: the tests craft those themselves.)"""
import struct
import sys


def word(v):
    return struct.pack('<H', v & 0xFFFF)


def triple(v):
    return struct.pack('<I', v)[:3]


def dword(v):
    return struct.pack('<I', v)


def rom_block(flag, payload):
    data = bytes([flag]) + payload
    checksum = 0
    for b in data:
        checksum ^= b
    return data + bytes([checksum])


def header(kind, name, length, p1, p2):
    return rom_block(0, bytes([kind]) + name.ljust(10).encode('latin-1') + word(length) + word(p1) + word(p2))


def pascal(text):
    raw = text.encode('latin-1')
    return bytes([len(raw)]) + raw


out = bytearray(b'ZXTape!\x1a' + bytes([1, 20]))
# 0x10: a code header and its data, 1000 ms pause each
code = bytes(range(1, 41))
h = header(3, 'blocks', len(code), 40000, 32768)
out += b'\x10' + word(1000) + word(len(h)) + h
d = rom_block(0xFF, code)
out += b'\x10' + word(500) + word(len(d)) + d
# 0x11: turbo, a data block with 6 bits in the last byte
t = rom_block(0xFF, bytes([0x55, 0xAA, 0x0F]))
out += b'\x11' + word(2000) + word(600) + word(700) + word(800) + word(1600) + word(1000) + bytes([6]) + word(250) + triple(len(t)) + t
# 0x12 pure tone, 0x13 pulses
out += b'\x12' + word(2168) + word(500)
out += b'\x13' + bytes([3]) + word(667) + word(735) + word(1000)
# 0x14 pure data with a nonstandard flag
p = rom_block(0x80, bytes([1, 2, 3, 4]))
out += b'\x14' + word(855) + word(1710) + bytes([8]) + word(100) + triple(len(p)) + p
# 0x15 direct recording: 79 T-states a sample, 4 bytes, 5 bits in the last
out += b'\x15' + word(79) + word(20) + bytes([5]) + triple(4) + bytes([0xF0, 0x0F, 0xFF, 0x80])
# 0x20 pause and stop
out += b'\x20' + word(1500)
out += b'\x20' + word(0)
# 0x21/0x22 group of two standard blocks
g = rom_block(0xFF, b'ab')
out += b'\x21' + pascal('Two parts')
out += b'\x10' + word(100) + word(len(g)) + g
out += b'\x10' + word(100) + word(len(g)) + g
out += b'\x22'
# 0x23 jump back, 0x24/0x25 loop around a pure tone
out += b'\x23' + word(-2)
out += b'\x24' + word(3)
out += b'\x12' + word(1000) + word(3500)
out += b'\x25'
# 0x28 select block: 2 selections
sel = bytes([2]) + word(1) + pascal('First') + word(3) + pascal('Second')
out += b'\x28' + word(len(sel)) + sel
# 0x2A stop in 48K mode, 0x2B signal level
out += b'\x2a' + dword(0)
out += b'\x2b' + dword(1) + bytes([1])
# 0x30 text, 0x31 message
out += b'\x30' + pascal('Made for the tests \xe9t\xe9')
out += b'\x31' + bytes([5]) + pascal('Press play')
# 0x32 archive info: title and author
info = bytes([2]) + bytes([0]) + pascal('Blocks') + bytes([2]) + pascal('Quorvane')
out += b'\x32' + word(len(info)) + info
# 0x33 hardware: two records
out += b'\x33' + bytes([2]) + bytes([0, 0, 1]) + bytes([0, 3, 0])
# 0x35 custom info: 16-byte identifier, 4-byte length
out += b'\x35' + b'Quorvane info\x00\x00\x00' + dword(5) + b'hello'
# 0x5A glue
out += b'\x5a' + b'XTape!\x1a' + bytes([1, 20])
# a last standard block after all of it
e = rom_block(0xFF, b'end')
out += b'\x10' + word(0) + word(len(e)) + e

with open(sys.argv[1] if len(sys.argv) > 1 else 'blocks.tzx', 'wb') as f:
    f.write(out)
