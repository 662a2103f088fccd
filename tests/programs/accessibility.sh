#!/usr/bin/env bash
# The updater dialog as a screen reader finds it: the dialog runs on a
# display of its own (Xvfb) with the accessibility bus of a session of its
# own, and atspi-tree.py reads its tree over AT-SPI (with the system's
# Python, where pyatspi is).
# Usage: accessibility.sh BREVIK-UPDATER
set -euo pipefail
updater="$1"
here="$(cd "$(dirname "$0")" && pwd)"
export BREVIK_PORTS= BREVIK_PORT= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
    set -euo pipefail
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    bus=$!
    sleep 0.5
    XDG_CONFIG_HOME="$(mktemp -d)" "$1" &
    dialog=$!
    trap "kill $dialog $bus 2>/dev/null || true" EXIT
    /usr/bin/python3 "$2/atspi-tree.py"' bash "$updater" "$here"
