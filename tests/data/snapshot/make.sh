#!/bin/sh
# Regenerates the snapshot fixtures and their golden texts. Run by hand; the
# tests read only the committed files and need none of the tools.
#
#   hand-*.sna, hand-v1*.z80, hand-v2-*.z80   written by make_sources.py
#   *.snapconv.z80                            version 3 .z80 files written by
#                                             Debian's snapconv (fuse-emulator-utils)
#                                             from the hand-made .sna files
#   *.snapdump.txt                            what Debian's snapdump reads in each
#                                             file (registers, paging, border, AY,
#                                             SHA-1 of every RAM bank): the golden
#                                             data the tests compare with
#
# The same golden texts are made for the .sna and .z80 samples of
# tests/data/external/media that snapdump reads (under testdata-*.snapdump.txt).
set -e
here=$(cd "$(dirname "$0")" && pwd)
testdata=$(cd "$here/../external/media" && pwd)
for tool in python3 snapconv snapdump; do
    command -v "$tool" >/dev/null || { echo "make.sh: $tool is missing (apt-get install fuse-emulator-utils)" >&2; exit 1; }
done
cd "$here"
rm -f ./*.sna ./*.z80 ./*.snapdump.txt
python3 make_sources.py
snapconv hand-48k.sna hand-48k.snapconv.z80
snapconv hand-128k.sna hand-128k.snapconv.z80
snapconv hand-128k-bank5.sna hand-128k-bank5.snapconv.z80
for file in ./*.sna ./*.z80; do
    snapdump "$file" | sed "s|^filename: .*|filename: $(basename "$file")|" > "$(basename "$file").snapdump.txt"
done
# Samples that snapdump refuses (sp-2000.sna, sp-ffff.sna: SP outside the
# RAM) are checked by the tests against hand-worked values instead.
for file in "$testdata"/sna/*.sna "$testdata"/z80/*.z80; do
    name=$(basename "$file")
    if snapdump "$file" > /tmp/snapdump.$$ 2>/dev/null; then
        sed "s|^filename: .*|filename: $name|" /tmp/snapdump.$$ > "testdata-$name.snapdump.txt"
    fi
done
rm -f /tmp/snapdump.$$
