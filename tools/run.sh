#!/usr/bin/env bash
# Builds the utility and runs it. With no device attached (no serial port
# answers), it starts the virtual device and points the port table at it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
BREVIK_TARGETS="brevik-updater brevik-sim" "$root/tools/build.sh" "$root/build"

bin="$root/build"
# A USB, CDC-ACM or Bluetooth serial device attached, or a port table given:
# work on the real ports.
if [ -n "${BREVIK_PORTS+set}" ] || compgen -G '/dev/tty[UA][SC][BM]*' >/dev/null ||
    compgen -G '/dev/rfcomm*' >/dev/null || [ "${1:-}" = "--real" ]; then
    exec "$bin/app/brevik-updater"
fi

# The embedded default: a virtual Quillex with firmware 2.11.Q.
fifo="$(mktemp -u)"
mkfifo "$fifo"
"$bin/sim/brevik-sim" --firmware 2.11.Q >"$fifo" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; rm -f "$fifo"' EXIT
read -r port <"$fifo"
echo "No serial device attached: using a virtual Quillex on $port"
BREVIK_PORTS="$port" "$bin/app/brevik-updater" --trace
