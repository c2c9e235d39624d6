#!/bin/sh
# Makes the tape fixtures and the golden listings the tests compare with.
# Needs Debian's zmakebas, pasmo, fuse-emulator-utils (tapeconv, tzxlist) and
# python3; the tests read only the committed results.
set -e
cd "$(dirname "$0")"
shared=../external/media

# TAP images: a BASIC program (no autostart) and a CODE block.
zmakebas -n hello -o program.tap program.bas
pasmo --name table --tap code.asm code.tap
# The same program as a TZX of standard-speed blocks.
rm -f program.tzx
tapeconv program.tap program.tzx
# A TZX with a block of every kind tzxlist reads.
python3 make_blocks_tzx.py blocks.tzx

# tzxlist's listing of each, with the folder taken out of its title line.
mkdir -p tzxlist
list() {
    tzxlist "$1" 2>&1 | sed "s|Listing of \`.*/|Listing of \`|" > "tzxlist/$(basename "$1").txt"
}
for f in program.tap code.tap program.tzx blocks.tzx; do
    list "$f"
done
for f in "$shared"/tap/*.tap "$shared"/tzx/*.tzx; do
    list "$f"
done
