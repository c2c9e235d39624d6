#!/usr/bin/env python3
"""Golden vectors for the one-line assembler, made by peer tools.

Every instruction form the assembler accepts is expanded over its operand
sets (register, pair, condition, mnemonic groups, bit numbers, interrupt
modes, restart addresses) with fixed operand values, and each line is
assembled at 32768 by Debian's pasmo. The forms pasmo does not know are taken
from Debian's z80dasm -u instead, by disassembling every DD CB / FD CB
opcode and ED 70 / ED 71 and reading the text back:
  RLC (IX+d),r   SET b,(IX+d),r   IN F,(C)   IN (C)   OUT (C),0
The short names XH, XL, YH, YL are assembled by pasmo as IXH, IXL, IYH, IYL.

Output: vectors.txt, one line per instruction:
  form<TAB>source<TAB>bytes<TAB>reference
form is the number of the instruction form (the encoder's pattern), bytes
are upper-case hexadecimal pairs separated by blanks, reference says which
tool gave the bytes (and the text it was given, where that differs).
"""
import itertools
import os
import re
import subprocess
import sys
import tempfile

ORIGIN = 32768
NN = "4660"          # 0x1234: low and high byte differ
N = "171"            # 0xAB
DISPLACEMENTS = ["+18", "-18"]      # 0x12 and 0xEE
RELATIVE_TARGETS = [str(ORIGIN + 2 - 128), str(ORIGIN + 2), str(ORIGIN + 2 + 127)]

SETS = {
    "r": ["A", "B", "C", "D", "E", "H", "L"],
    "xy": ["IX", "IY"],
    "d": DISPLACEMENTS,
    "rp": ["BC", "DE", "HL", "SP"],
    "qq": ["BC", "DE", "HL", "AF"],
    "alua": ["ADD", "ADC", "SBC"],
    "alu": ["SUB", "AND", "XOR", "OR", "CP"],
    "incdec": ["INC", "DEC"],
    "pix": ["BC", "DE", "IX", "SP"],
    "piy": ["BC", "DE", "IY", "SP"],
    "rot": ["RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"],
    "bitop": ["BIT", "SET", "RES"],
    "cc": ["NZ", "Z", "NC", "C", "PO", "PE", "P", "M"],
    "ccjr": ["NZ", "Z", "NC", "C"],
    "xyh": ["IXH", "XH", "IYH", "YH"],
    "xyl": ["IXL", "XL", "IYL", "YL"],
    "r5": ["A", "B", "C", "D", "E"],
    "ixhalf": ["IXH", "XH", "IXL", "XL"],
    "iyhalf": ["IYH", "YH", "IYL", "YL"],
    "setres": ["SET", "RES"],
    "b": [str(b) for b in range(8)],
    "im": ["0", "1", "2"],
    "rst": [str(p) for p in range(0, 64, 8)],
    "e": RELATIVE_TARGETS,
    "n": [N],
    "nn": [NN],
}

# The instruction forms in the encoder's order; {name} is one of SETS.
FORMS = [
    "LD {r},{r}", "LD {r},{n}", "LD {r},(HL)", "LD {r},({xy}{d})", "LD (HL),{r}",
    "LD ({xy}{d}),{r}", "LD (HL),{n}", "LD ({xy}{d}),{n}", "LD A,(BC)", "LD A,(DE)",
    "LD A,({nn})", "LD (BC),A", "LD (DE),A", "LD ({nn}),A", "LD A,I",
    "LD A,R", "LD I,A", "LD R,A", "LD {xyh},{n}", "LD {xyl},{n}",
    "LD {r5},{xyh}", "LD {r5},{xyl}", "LD {xyh},{r5}", "LD {xyl},{r5}", "LD {ixhalf},{ixhalf}",
    "LD {iyhalf},{iyhalf}", "LD {rp},{nn}", "LD {xy},{nn}", "LD HL,({nn})", "LD {rp},({nn})",
    "LD {xy},({nn})", "LD ({nn}),HL", "LD ({nn}),{rp}", "LD ({nn}),{xy}", "LD SP,HL",
    "LD SP,{xy}", "PUSH {qq}", "PUSH {xy}", "POP {qq}", "POP {xy}",
    "EX DE,HL", "EX AF,AF'", "EXX", "EX (SP),HL", "EX (SP),{xy}",
    "LDI", "LDIR", "LDD", "LDDR", "CPI",
    "CPIR", "CPD", "CPDR", "{alua} A,{r}", "{alua} A,{n}",
    "{alua} A,(HL)", "{alua} A,({xy}{d})", "{alu} {r}", "{alu} {n}", "{alu} (HL)",
    "{alu} ({xy}{d})", "{incdec} {r}", "{incdec} (HL)", "{incdec} ({xy}{d})", "{incdec} {xyh}",
    "{incdec} {xyl}", "{alua} A,{ixhalf}", "{alu} {ixhalf}", "{alua} A,{iyhalf}", "{alu} {iyhalf}",
    "DAA", "CPL", "NEG", "CCF", "SCF",
    "NOP", "HALT", "DI", "EI", "IM {im}",
    "ADD HL,{rp}", "ADC HL,{rp}", "SBC HL,{rp}", "ADD IX,{pix}", "ADD IY,{piy}",
    "{incdec} {rp}", "{incdec} {xy}", "RLCA", "RLA", "RRCA",
    "RRA", "{rot} {r}", "{rot} (HL)", "{rot} ({xy}{d})", "RLD",
    "RRD", "{rot} ({xy}{d}),{r}", "{bitop} {b},{r}", "{bitop} {b},(HL)", "{bitop} {b},({xy}{d})",
    "{setres} {b},({xy}{d}),{r}", "JP {nn}", "JP {cc},{nn}", "JR {e}", "JR {ccjr},{e}",
    "JP (HL)", "JP ({xy})", "DJNZ {e}", "CALL {nn}", "CALL {cc},{nn}",
    "RET", "RET {cc}", "RETI", "RETN", "RST {rst}",
    "IN A,({n})", "IN {r},(C)", "INI", "INIR", "IND",
    "INDR", "OUT ({n}),A", "OUT (C),{r}", "OUTI", "OTIR",
    "OUTD", "OTDR", "IN (C)", "IN F,(C)", "OUT (C),0",
]
assert len(FORMS) == 130

SYNONYMS = {"XH": "IXH", "XL": "IXL", "YH": "IYH", "YL": "IYL"}


def expand(form):
    names = re.findall(r"\{(\w+)\}", form)
    pieces = re.split(r"\{\w+\}", form)
    for values in itertools.product(*(SETS[name] for name in names)):
        text = pieces[0]
        for value, piece in zip(values, pieces[1:]):
            text += value + piece
        yield text


def run_pasmo(text, workdir):
    source = os.path.join(workdir, "line.asm")
    binary = os.path.join(workdir, "line.bin")
    with open(source, "w") as f:
        f.write("\tORG %d\n\t%s\n" % (ORIGIN, text))
    if os.path.exists(binary):
        os.remove(binary)
    done = subprocess.run(["pasmo", "--bin", source, binary], capture_output=True)
    if done.returncode != 0:
        return None
    with open(binary, "rb") as f:
        code = f.read()
    return code if 1 <= len(code) <= 4 else None


def z80dasm_forms(workdir):
    """Text (our spelling) -> bytes, for the forms pasmo does not know."""
    sequences = []
    for prefix in (0xDD, 0xFD):
        for disp in DISPLACEMENTS:
            d = int(disp) & 0xFF
            sequences += [bytes([prefix, 0xCB, d, op]) for op in range(256)]
    sequences += [bytes([0xED, 0x70]), bytes([0xED, 0x71])]
    binary = os.path.join(workdir, "ops.bin")
    with open(binary, "wb") as f:
        f.write(b"".join(sequences))
    listing = subprocess.run(["z80dasm", "-u", "-a", "-t", "-g", str(ORIGIN), binary],
                             capture_output=True, text=True, check=True).stdout
    starts = {}
    at = ORIGIN
    for seq in sequences:
        starts[at] = seq
        at += len(seq)

    def decimal_displacement(match):
        return "(" + match.group(1).upper() + match.group(2) + str(int(match.group(3), 16)) + ")"

    forms = {}
    for line in listing.splitlines():
        m = re.match(r"^\t(.+?)\t+;([0-9a-f]{4})\t", line)
        if not m:
            continue
        text, address = m.group(1), int(m.group(2), 16)
        if address not in starts:
            sys.exit("z80dasm split a sequence at %04x: %s" % (address, line))
        text = re.sub(r"\((i[xy])([+-])0*([0-9a-f]+)h\)", decimal_displacement, text)
        copy = re.match(r"^(\w+) (?:(\d),)?(\(I[XY][+-]\d+\)) & ld (\w),\(I[XY][+-]\d+\)$", text)
        if copy:
            op, bit, target, reg = copy.groups()
            text = op + " " + (bit + "," if bit else "") + target + "," + reg
        text = re.sub(r"^sli ", "sll ", text).upper()
        forms[text] = starts[address]
    return forms


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_lines = [
        "# Golden vectors for the one-line assembler, made by make.sh (pasmo, z80dasm).",
        "# Every line is assembled at %d (0x%04X)." % (ORIGIN, ORIGIN),
        "# form<TAB>source<TAB>bytes<TAB>reference",
    ]
    with tempfile.TemporaryDirectory() as workdir:
        dasm = z80dasm_forms(workdir)
        for number, form in enumerate(FORMS, start=1):
            for text in expand(form):
                sent = re.sub(r"\b(XH|XL|YH|YL)\b", lambda m: SYNONYMS[m.group(1)], text)
                code = run_pasmo(sent, workdir)
                reference = "pasmo" if sent == text else "pasmo:" + sent
                if code is None:
                    alias = "IN F,(C)" if sent == "IN (C)" else sent
                    code = dasm.get(alias)
                    reference = "z80dasm" if alias == text else "z80dasm:" + alias
                if code is None:
                    sys.exit("no reference for form %d: %s" % (number, text))
                out_lines.append("%d\t%s\t%s\t%s" % (
                    number, text, " ".join("%02X" % b for b in code), reference))
    with open(os.path.join(here, "vectors.txt"), "w") as f:
        f.write("\n".join(out_lines) + "\n")
    print("%d vectors" % (len(out_lines) - 3))


if __name__ == "__main__":
    main()
