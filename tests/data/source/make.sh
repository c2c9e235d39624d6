#!/bin/sh
# Regenerates sample.asm, a source file with tabs at many columns, a CRLF
# line, an empty line, a long line and text after the last LF, and
# sample.expanded, the same text with its tabs expanded by coreutils'
# expand(1) at tab stops every 8 columns: the reference the source viewer's
# line model is checked against. The tests read the committed files.
set -e
here=$(cd "$(dirname "$0")" && pwd)
long=$(printf '%0300d' 0 | tr 0 x)
{
    printf '; Quorvane sample source: tabs every 8 columns\n'
    printf '\tORG\t#8000\n'
    printf 'START:\tLD\tHL,MESSAGE\t; text\n'
    printf 'LOOP:\tLD\tA,(HL)\n'
    printf '\tOR\tA\n'
    printf '\tRET\tZ\n'
    printf '\tRST\t#10\r\n'
    printf '\tINC\tHL\n'
    printf '\tJR\tLOOP\n'
    printf '\n'
    printf 'MESSAGE:\tDEFB\t"Hello",13,0\n'
    printf 'A_VERY_LONG_LABEL_NAME_THAT_GOES_PAST_THE_TAB_STOPS:\tNOP\n'
    printf '\t\t\t; three tabs\n'
    printf 'LOOP_COUNTER:\tDEFW\t0\n'
    printf 'x\ty\tz\n'
    printf '1234567\tseven then a tab\n'
    printf '12345678\teight then a tab\n'
    printf ' \t \t \t\n'
    printf '%s\tend\n' "$long"
    printf 'END\tSTART'
} > "$here/sample.asm"
LC_ALL=C expand -t 8 "$here/sample.asm" > "$here/sample.expanded"
