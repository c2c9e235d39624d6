#!/usr/bin/env python3
"""Turns the golden frames of boot_frames.rle into PNG images to look at.

    tests/data/render/rle_to_png.py [boot_frames.rle] [output folder]

Writes frame_<number>.png for each stored frame (the standard library only:
the PNG is built with zlib). The file layout is described at the head of
tests/host/Render_golden_test.cpp.
"""
import os
import struct
import sys
import zlib


def read_frames(path):
    data = open(path, "rb").read()
    if data[:8] != b"QVFRAMES":
        raise SystemExit(f"{path}: not a frames file")
    width, height, count, colours = struct.unpack_from("<4H", data, 8)
    pos = 16
    palette = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(colours)]
    pos += 3 * colours
    frames = []
    for _ in range(count):
        number, length = struct.unpack_from("<2I", data, pos)
        pos += 8
        runs = data[pos:pos + length]
        pos += length
        pixels = bytearray()
        for i in range(0, len(runs), 2):
            pixels += bytes([runs[i + 1]]) * runs[i]
        if len(pixels) != width * height:
            raise SystemExit(f"{path}: frame {number} has {len(pixels)} pixels")
        frames.append((number, pixels))
    return width, height, palette, frames


def png(width, height, palette, pixels):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    rows = b"".join(b"\0" + bytes(pixels[y * width:(y + 1) * width]) for y in range(height))
    plte = b"".join(bytes(c) for c in palette) + b"\0\0\0" * (256 - len(palette))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">2I5B", width, height, 8, 3, 0, 0, 0))
            + chunk(b"PLTE", plte)
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "boot_frames.rle")
    target = sys.argv[2] if len(sys.argv) > 2 else "."
    width, height, palette, frames = read_frames(source)
    os.makedirs(target, exist_ok=True)
    for number, pixels in frames:
        name = os.path.join(target, f"frame_{number}.png")
        with open(name, "wb") as out:
            out.write(png(width, height, palette, pixels))
        print(name)


if __name__ == "__main__":
    main()
