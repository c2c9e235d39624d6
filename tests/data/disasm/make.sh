#!/bin/bash
# Makes the disassembler's golden vectors with Debian's z80dasm (package
# z80dasm, run with -u so the undocumented instructions are decoded too).
# Run once by hand; the tests read only the committed files:
#   z80dasm_raw.txt  the input bytes and z80dasm's own line for each sequence
#   vectors.txt      the same, normalised to our notation by normalise.py
#
# Every sequence of every page: the unprefixed page, CB xx, ED xx, DD xx and
# FD xx (without the prefix bytes DD, FD, CB, ED after them) and DD CB d xx,
# FD CB d xx: 1,780 sequences. Each starts at 8000 and is followed by the
# operand bytes F5 3C (n = F5, nn = 3CF5, d = -0B, e = 7FF7 from 8000) and
# four 00 bytes, so z80dasm always sees a whole instruction.
set -euo pipefail
cd "$(dirname "$0")"
command -v z80dasm >/dev/null || { echo "z80dasm is not installed (apt-get install z80dasm)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tail_bytes="f5 3c 00 00 00 00"
sequences() {
    local op
    for op in $(seq 0 255); do
        op=$(printf '%02x' "$op")
        case $op in cb|dd|ed|fd) ;; *) echo "$op $tail_bytes" ;; esac
    done
    for page in cb ed; do
        for op in $(seq 0 255); do echo "$page $(printf '%02x' "$op") $tail_bytes"; done
    done
    for prefix in dd fd; do
        for op in $(seq 0 255); do
            op=$(printf '%02x' "$op")
            case $op in cb|dd|ed|fd) ;; *) echo "$prefix $op $tail_bytes" ;; esac
        done
    done
    for prefix in dd fd; do
        for op in $(seq 0 255); do echo "$prefix cb f5 $(printf '%02x' "$op") 00 00 00 00"; done
    done
}

: > z80dasm_raw.txt
sequences | while read -r -a bytes; do
    printf "$(printf '\\x%s' "${bytes[@]}")" > "$work/code.bin"
    # -t appends ";address<TAB>bytes<TAB>ascii" to each line: the bytes
    # tell how long z80dasm takes the instruction to be.
    line=$(z80dasm -u -t -g 0x8000 "$work/code.bin" 2>/dev/null \
        | grep -v -e '^;' -e '^[[:space:]]*org' -e '^[[:space:]]*$' | head -n 1)
    printf '%s|%s\n' "${bytes[*]}" "$line" >> z80dasm_raw.txt
done

python3 normalise.py < z80dasm_raw.txt > vectors.txt
echo "$(wc -l < vectors.txt) vectors written"
