#!/usr/bin/env bash
# A firmware update, once started, runs to its end: an output that went away
# (| head -1), a closed terminal (SIGHUP), SIGTERM and Ctrl+C are held until
# the device has its new firmware, then the tool exits with the signal's code.
# The device sits behind a bridge whose latency timer the tool lowers for the
# upload: it is back at 16 ms after each of them. A read and a wait for a
# device ended by a signal leave it at 16 ms too. A reload of write --watch
# runs to its end as well.
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

# Sends SIGNAL to PID once it has run a moment; its exit code in $code.
end_with() {
    sleep 0.7
    kill -s "$1" "$2" || true
    set +e
    wait "$2"
    code=$?
    set -e
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
    end_with "$signal" $!
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
end_with TERM $!
expect_flashed "SIGTERM during update --all" "$code" 143

# A read ended by SIGTERM or SIGHUP stops as Ctrl+C stops it: the file that
# was there is left as it was, the bridge's timer is put back, and the exit
# is the signal's.
for signal in TERM HUP; do
    printf 'old' >"$work/kept.bin"
    "$brevik" read 0 0x10000 "$work/kept.bin" 2>/dev/null &
    end_with "$signal" $!
    case "$signal" in TERM) want=143 ;; HUP) want=129 ;; esac
    [ "$code" = "$want" ] || { echo "FAIL: a read ended by SIG$signal: exit $code, want $want"; status=1; }
    if [ "$(cat "$work/kept.bin")" != "old" ]; then
        echo "FAIL: a read ended by SIG$signal changed the file"; status=1
    fi
    if [ "$(cat "$timer")" != 16 ]; then
        echo "FAIL: a read ended by SIG$signal left the bridge's timer at $(cat "$timer")"; status=1
    fi
done

# A reload of write --watch runs to its end: SIGTERM (as Ctrl+C and SIGHUP)
# waits for it, then ends the loop (143); the device holds the whole new
# image.
head -c 4096 /dev/urandom >"$work/rom.bin"
"$brevik" write --watch 0 "$work/rom.bin" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
    grep -q "written and verified" "$work/out" 2>/dev/null && break
    sleep 0.1
done
head -c 4096 /dev/urandom >"$work/new.bin"
mv "$work/new.bin" "$work/rom.bin"
sleep 0.3
kill -s TERM "$pid" || true
# A loop that never ends is ended here, so that it fails as itself.
(sleep 20; kill -s KILL "$pid" 2>/dev/null) &
watchdog=$!
set +e
wait "$pid"
code=$?
set -e
kill "$watchdog" 2>/dev/null || true
[ "$code" = 143 ] || { echo "FAIL: write --watch ended by SIGTERM in a reload: exit $code"; status=1; }
if ! grep -q "goes on to its end" "$work/err" || [ "$(grep -c "written and verified" "$work/out")" != 2 ]; then
    echo "FAIL: the reload under way did not go on to its end"; cat "$work/out" "$work/err"; status=1
fi
"$brevik" verify 0 "$work/rom.bin" >/dev/null || { echo "FAIL: the device lacks the reloaded image"; status=1; }
[ "$(cat "$timer")" = 16 ] || { echo "FAIL: write --watch left the timer at $(cat "$timer")"; status=1; }

# While update --wait waits for a device to answer, the bridge's timer is
# the user's: it goes down only for a device found.
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
start_sim "$1" --fault VV:silent --bridge latency:16 --sysfs "$work/silent"
silent_timer="$(find "$work/silent" -name latency_timer)"
export BREVIK_SYSFS="$work/silent" BREVIK_PORTS="$sim_port"
"$brevik" update --wait=20 "$work/p$minor.bfw" >/dev/null 2>&1 &
pid=$!
sleep 2
during="$(cat "$silent_timer")"
kill -s TERM "$pid" || true
set +e
wait "$pid"
code=$?
set -e
[ "$during" = 16 ] || { echo "FAIL: update --wait lowered the timer to $during with no device found"; status=1; }
[ "$code" = 143 ] || { echo "FAIL: update --wait ended by SIGTERM: exit $code"; status=1; }
[ "$(cat "$silent_timer")" = 16 ] || { echo "FAIL: update --wait left the timer at $(cat "$silent_timer")"; status=1; }
exit $status
