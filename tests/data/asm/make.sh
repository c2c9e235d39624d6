#!/bin/sh
# Regenerates vectors.txt, the assembler's golden vectors, with Debian's pasmo
# and z80dasm (apt-get install pasmo z80dasm). The tests read the committed
# vectors.txt and need neither tool.
set -e
here=$(cd "$(dirname "$0")" && pwd)
for tool in pasmo z80dasm python3; do
    command -v "$tool" >/dev/null || { echo "make.sh: $tool is missing" >&2; exit 1; }
done
python3 "$here/make_vectors.py"
