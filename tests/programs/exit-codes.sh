#!/usr/bin/env bash
# The exit codes are written once, in the program: --help prints them (and
# the man page takes them from there), and the README's table between its
# "exit codes" markers must say the same, code for code and word for word.
set -euo pipefail
brevik="$1"
readme="$2"
expected="$(BREVIK_PORTS= "$brevik" --help | sed -n '/^Exit codes:$/,/^$/p' | sed '1d;/^$/d' |
    sed 's/^ *\([0-9]*\) *\(.*\)$/| \1 | \2 |/')"
actual="$(sed -n '/^<!-- exit codes -->$/,/^<!-- end of exit codes -->$/p' "$readme" | grep '^| [0-9]')"
[ -n "$expected" ] || { echo "brevik --help lists no exit codes"; exit 1; }
if [ "$expected" != "$actual" ]; then
    echo "the README's exit codes differ from brevik --help; the table should read:"
    printf '%s\n' "$expected"
    exit 1
fi
echo "exit codes: the README says what --help says"
