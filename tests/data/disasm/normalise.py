#!/usr/bin/env python3
# Rewrites z80dasm's lines (z80dasm_raw.txt, see make.sh) into the notation
# of our disassembler, one vector a line:
#   input bytes|length|text
# length is the number of bytes z80dasm takes the instruction to be; text is
# ILLEGAL where z80dasm declines the sequence (defb): the test checks those
# against the published decoding instead.
#
# z80dasm writes            we write
#   0f5h, 03cf5h, 00bh        F5, 3CF5, 0B  (bare upper-case hex, 2 or 4 digits)
#   jr $-9                    JR 7FF7       (absolute target; every sequence is at 8000)
#   rst 8, rst 38h            RST 08, RST 38
#   ixh ixl iyh iyl           XH XL YH YL
#   sli                       SLL
#   in f,(c)                  IN (C)
#   rlc (ix-00bh) & ld b,(ix-00bh)    RLC (IX-0B),B   (the register copy of DDCB)
#   bit 0,(ix-00bh) & ld b,(ix-00bh)  BIT 0,(IX-0B)   (BIT copies nothing)
import re
import sys

ORIGIN = 0x8000


def normalise(text):
    text = " ".join(text.split())
    if text.startswith("defb"):
        return "ILLEGAL"
    # DDCB register copies: "op X & ld r,X" -> "op X,r"; BIT only tests.
    m = re.fullmatch(r"(\S+) (.*) & ld ([a-z]),\(i[xy][+-][0-9a-f]+h\)", text)
    if m:
        mnemonic, operands, register = m.groups()
        text = f"{mnemonic} {operands}" if mnemonic == "bit" else f"{mnemonic} {operands},{register}"
    m = re.fullmatch(r"rst ([0-9a-f]+)(h?)", text)
    if m:
        value = int(m.group(1), 16 if m.group(2) else 10)
        return f"RST {value:02X}"
    text = re.sub(r"\$([+-]\d+)", lambda r: f"{(ORIGIN + int(r.group(1))) & 0xFFFF:04x}", text)
    # z80dasm puts one 0 in front of every hexadecimal number.
    text = re.sub(r"\b0([0-9a-f]+)h\b", lambda r: r.group(1), text)
    text = re.sub(r"\bi([xy])([hl])\b", r"\1\2", text)
    text = re.sub(r"^sli\b", "sll", text)
    text = text.replace("in f,(c)", "in (c)")
    return text.upper()


for line in sys.stdin:
    line = line.rstrip("\n")
    if not line:
        continue
    inputs, output = line.split("|", 1)
    # The last comment is "8000<TAB>bytes<TAB>ascii" (from z80dasm -t).
    instruction = output.split(";", 1)[0]
    taken = re.search(r";8000\t([0-9a-f ]+)\t", output)
    if not taken:
        sys.exit(f"no byte column in: {line}")
    length = len(taken.group(1).split())
    print(f"{inputs.upper()}|{length}|{normalise(instruction)}")
