#!/usr/bin/env bash
# The port figures on both systems, same machine: brevik-port-bench natively
# on Linux against a paced brevik-sim on a pseudo-terminal, then the Windows
# build under Wine against a paced brevik-sim on COM7 (tools/wine.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-windows.sh"
BREVIK_TARGETS="brevik-sim brevik-port-bench" "$root/tools/build.sh" "$root/build"
cd "$root"
status=0
echo "== Linux, pseudo-terminal as COM7"
link="$(mktemp -u /tmp/brevik-bench-port.XXXXXX)"
build/sim/brevik-sim --pace --link "$link" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
# COM7 on both systems: the scan pauses longer from COM5 on.
BREVIK_PORTS="$(printf '/nonexistent/brevik-no-port%d:' 1 2 3 4 5 6)$link" \
    build/bench/brevik-port-bench COM7 || status=1
kill "$sim"
rm -f "$link"
echo "== Windows build under Wine, COM7"
tools/wine.sh --sim --pace bash -c '"$WINE" build-windows/bench/brevik-port-bench.exe COM7' || status=1
exit $status
