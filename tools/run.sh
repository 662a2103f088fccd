#!/usr/bin/env bash
# Builds the utility and runs it. With no serial device attached it starts
# the virtual device (a Quillex on USB with firmware 2.11.Q), points the port
# table at it and writes a sample package 2.12.Q to update it with.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Said before the build, which takes minutes.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "brevik-updater needs a display: run it in a desktop session, or as 'xvfb-run tools/run.sh' (Debian package xvfb)." >&2
    exit 1
fi

"$root/tools/install-deps.sh"
BREVIK_TARGETS="brevik-updater brevik-sim brevik-mkpackage" "$root/tools/build.sh" "$root/build"
bin="$root/build"

# A USB, CDC-ACM or Bluetooth serial device attached, or a port table given:
# work on the real ports.
if [ -n "${BREVIK_PORTS+set}" ] || compgen -G '/dev/tty[UA][SC][BM]*' >/dev/null ||
    compgen -G '/dev/rfcomm*' >/dev/null || [ "${1:-}" = "--real" ]; then
    exec "$bin/app/brevik-updater"
fi

demo="$bin/demo"
mkdir -p "$demo"
"$bin/app/brevik-mkpackage" "$demo/Quillex-2.12.Q.bfw" 2.12.Q 16384
fifo="$(mktemp -u)"
mkfifo "$fifo"
"$bin/sim/brevik-sim" --firmware 2.11.Q --pace >"$fifo" 2>/dev/null &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r port <"$fifo"
echo "No serial device attached: a virtual Quillex (firmware 2.11.Q) answers on $port."
echo "Browse to $demo/Quillex-2.12.Q.bfw and press Update! to flash 2.12.Q."
cd "$demo"
BREVIK_PORTS="$port" "$bin/app/brevik-updater"
