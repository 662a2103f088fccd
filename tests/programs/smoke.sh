#!/usr/bin/env bash
# The two programs together: brevik-sim serves a virtual device and the
# updater finds it through the port table.
set -euo pipefail
sim="$1"
detect="$2"
out="$(mktemp)"
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$out"' EXIT
"$sim" --firmware 3.4.Q >"$out" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$out" ] && break
    sleep 0.1
done
port="$(head -n 1 "$out")"
[ -e "$port" ] || { echo "brevik-sim did not print its port"; exit 1; }
result="$(BREVIK_PORTS="$port" "$detect")"
echo "$result"
grep -q "Device found on COM1: Quillex USB v3.4.Q, firmware 03.04.Q" <<<"$result"
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
