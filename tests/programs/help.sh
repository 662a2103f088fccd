#!/usr/bin/env bash
# Every program answers --help and --version at once, with no display and no
# serial port (the port table points nowhere), and exits 0. The dialog with no
# display to show on, or one it cannot reach, says so in one line and exits 1.
set -euo pipefail
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export BREVIK_PORTS=/nonexistent
for program in "$@"; do
    name="$(basename "$program")"
    version="$(timeout 10 "$program" --version)"
    [ "$version" = "$name 1.7" ] || { echo "$name --version said '$version'"; exit 1; }
    # Taken whole first: grep -q leaves at its first match, and a program
    # still writing would then fail on the closed pipe.
    help="$(timeout 10 "$program" --help)" || { echo "$name --help failed"; exit 1; }
    grep -q "usage\|Usage" <<<"$help" || { echo "$name --help shows no usage"; exit 1; }
    [ "$name" = brevik-updater ] || continue
    for display in "" ":97"; do
        rc=0
        said="$(DISPLAY="$display" timeout 20 "$program" 2>&1 >/dev/null)" || rc=$?
        [ "$rc" = 1 ] && [ "$(printf '%s\n' "$said" | wc -l)" = 1 ] &&
            grep -q "^brevik-updater: no display.*'brevik'" <<<"$said" ||
            { echo "$name with DISPLAY='$display': exit $rc, said: $said"; exit 1; }
    done
done
echo "help and version: fine"
