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
end_display() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}
trap 'end_display; rm -rf "$work"' EXIT

source "$here/../../tools/start-xvfb.sh"
export XDG_CONFIG_HOME="$work"
export BREVIK_PORTS= BREVIK_PORT= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# One look at the tree: the dialog's own words go to FOLDER/dialog.log.
look() {
    dbus-run-session -- bash -c '
        set -euo pipefail
        /usr/libexec/at-spi-bus-launcher --launch-immediately &
        bus=$!
        sleep 0.5
        "$1" 2>"$3/dialog.log" &
        dialog=$!
        trap "kill $dialog $bus 2>/dev/null || true" EXIT
        /usr/bin/python3 "$2/atspi-tree.py"' bash "$updater" "$here" "$work"
}

# The tree is what is checked here, not the X server: a dialog that could not
# reach a display that had just answered is tried once more on a new one,
# with what was seen printed.
for attempt in 1 2; do
    start_xvfb "$work" || { echo "FAIL: Xvfb did not start a display"; exit 1; }
    status=0
    look || status=$?
    [ "$status" -eq 0 ] && exit 0
    echo "--- the dialog said (display $DISPLAY):"
    cat "$work/dialog.log" || true
    if ! grep -q "no display to show the dialog on" "$work/dialog.log" 2>/dev/null; then
        exit "$status"
    fi
    echo "--- the display then:"
    kill -0 "$xvfb_pid" 2>/dev/null && echo "Xvfb is running" || echo "Xvfb has ended"
    env -u XAUTHORITY xdpyinfo 2>&1 | head -n 3 || true
    ls -la /tmp/.X11-unix 2>&1 || true
    cat "$work/xvfb.log" || true
    end_display
done
exit 1
