#!/usr/bin/env bash
# The updater dialog as a screen reader finds it: the dialog runs on a
# display of its own (tools/start-xvfb.sh) with the accessibility bus of a
# session of its own, and atspi-tree.py reads its tree over AT-SPI (with the
# system's Python, where pyatspi is).
# Usage: accessibility.sh BREVIK-UPDATER
set -euo pipefail
updater="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT

source "$here/../../tools/start-xvfb.sh"
start_xvfb "$work" || { echo "FAIL: Xvfb did not start a display"; exit 1; }

export XDG_CONFIG_HOME="$work"
export BREVIK_PORTS= BREVIK_PORT= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
dbus-run-session -- bash -c '
    set -euo pipefail
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    bus=$!
    sleep 0.5
    "$1" &
    dialog=$!
    trap "kill $dialog $bus 2>/dev/null || true" EXIT
    /usr/bin/python3 "$2/atspi-tree.py"' bash "$updater" "$here"
