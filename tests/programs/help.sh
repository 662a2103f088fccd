#!/usr/bin/env bash
# Every program answers --help and --version at once, with no display and no
# serial port (the port table points nowhere), and exits 0.
set -euo pipefail
unset DISPLAY WAYLAND_DISPLAY
export BREVIK_PORTS=/nonexistent
for program in "$@"; do
    name="$(basename "$program")"
    version="$(timeout 10 "$program" --version)"
    [ "$version" = "$name 1.7" ] || { echo "$name --version said '$version'"; exit 1; }
    timeout 10 "$program" --help | grep -q "usage\|Usage" || { echo "$name --help shows no usage"; exit 1; }
done
echo "help and version: fine"
