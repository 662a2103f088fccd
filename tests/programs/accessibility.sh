#!/usr/bin/env bash
# The updater dialog as a screen reader finds it: the dialog runs on a
# display of its own (Xvfb, which picks a free display number itself, so
# tests that run beside this one cannot take the same) with the
# accessibility bus of a session of its own, and atspi-tree.py reads its
# tree over AT-SPI (with the system's Python, where pyatspi is).
# Usage: accessibility.sh BREVIK-UPDATER
set -euo pipefail
updater="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
number="$(head -n 1 "$work/display" | tr -d '[:space:]')"
[[ "$number" =~ ^[0-9]+$ ]] || { echo "FAIL: Xvfb did not start a display"; exit 1; }

export DISPLAY=":$number" XDG_CONFIG_HOME="$work"
export BREVIK_PORTS= BREVIK_PORT= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY XAUTHORITY
dbus-run-session -- bash -c '
    set -euo pipefail
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    bus=$!
    sleep 0.5
    "$1" &
    dialog=$!
    trap "kill $dialog $bus 2>/dev/null || true" EXIT
    /usr/bin/python3 "$2/atspi-tree.py"' bash "$updater" "$here"
