#!/usr/bin/env bash
# A firmware update, once started, runs to its end: an output that went away
# (| head -1), a closed terminal (SIGHUP), SIGTERM and Ctrl+C are held until
# the device has its new firmware, then the tool exits with the signal's code.
# The device sits behind a bridge whose latency timer the tool lowers for the
# upload: it is back at 16 ms after each of them.
# Usage: signals.sh BREVIK_SIM BREVIK BREVIK_MKPACKAGE
set -euo pipefail
source "$(dirname "$0")/start-sim.sh"
work="$(mktemp -d)"
start_sim "$1" --firmware 2.11.Q --pace --bridge latency:16 --sysfs "$work/sys"
brevik="$2"
mkpackage="$3"
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export BREVIK_SYSFS="$work/sys"
timer="$(find "$work/sys" -name latency_timer)"
export BREVIK_PORTS="$sim_port"
status=0

# At the line's pace, 20000 bytes take about two seconds.
minor=12
expect_flashed() {
    local what="$1" code="$2" want="$3"
    local now
    now="$("$brevik" detect 2>&1 || true)"
    if [ "$code" != "$want" ]; then
        echo "FAIL: $what: exit $code, want $want"; status=1
    fi
    if ! grep -q "firmware 02.$minor.Q" <<<"$now"; then
        echo "FAIL: $what: the device has not got 02.$minor.Q: $now"; status=1
    fi
    if [ "$(cat "$timer")" != 16 ]; then
        echo "FAIL: $what: the bridge's timer was left at $(cat "$timer")"; status=1
    fi
}

"$mkpackage" "$work/p$minor.bfw" "2.$minor.Q" 20000 >/dev/null
set +e
"$brevik" update "$work/p$minor.bfw" 2>&1 | head -1 >/dev/null
code="${PIPESTATUS[0]}"
set -e
expect_flashed "update | head -1" "$code" 0

for signal in TERM HUP INT; do
    minor=$((minor + 1))
    "$mkpackage" "$work/p$minor.bfw" "2.$minor.Q" 20000 >/dev/null
    "$brevik" update "$work/p$minor.bfw" >"$work/out" 2>"$work/err" &
    pid=$!
    sleep 0.7
    kill -s "$signal" "$pid" || true
    set +e
    wait "$pid"
    code=$?
    set -e
    case "$signal" in TERM) want=143 ;; HUP) want=129 ;; INT) want=130 ;; esac
    expect_flashed "SIG$signal during the upload" "$code" "$want"
    if ! grep -q "goes on to its end" "$work/err"; then
        echo "FAIL: SIG$signal: no word that the update goes on"; cat "$work/err"; status=1
    fi
    if ! grep -q "Update Successful" "$work/out"; then
        echo "FAIL: SIG$signal: the result was not printed"; status=1
    fi
done
# Each worker of update --all holds on the same way.
minor=$((minor + 1))
"$mkpackage" "$work/p$minor.bfw" "2.$minor.Q" 20000 >/dev/null
"$brevik" update --all "$work/p$minor.bfw" >"$work/out" 2>"$work/err" &
pid=$!
sleep 0.7
kill -s TERM "$pid" || true
set +e
wait "$pid"
code=$?
set -e
expect_flashed "SIGTERM during update --all" "$code" 143

# A read stopped half way leaves the file that was there as it was.
printf 'old' >"$work/kept.bin"
"$brevik" read 0 0x10000 "$work/kept.bin" 2>/dev/null &
pid=$!
sleep 0.7
kill -s TERM "$pid" || true
wait "$pid" || true
if [ "$(cat "$work/kept.bin")" != "old" ]; then
    echo "FAIL: a read ended by SIGTERM changed the file"; status=1
fi
exit $status
