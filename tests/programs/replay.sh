#!/usr/bin/env bash
# Capture and replay as a user would have them: brevik --capture against
# brevik-sim, the capture served back by brevik-sim --replay (also spoiled
# with --mutate), and faults given on the simulator's command line.
set -euo pipefail
sim="$1"
brevik="$2"
mkpackage="$3"
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts brevik-sim with the given options; its port goes into port.
serve() {
    local out="$work/sim.out"
    : >"$out"
    "$sim" "$@" >"$out" 2>"$work/sim.err" &
    pids+=($!)
    sim_pid=$!
    for _ in $(seq 50); do
        [ -s "$out" ] && break
        sleep 0.1
    done
    port="$(head -n 1 "$out")"
    [ -e "$port" ] || { echo "brevik-sim did not print its port"; cat "$work/sim.err"; exit 1; }
}

"$mkpackage" "$work/new.bfw" 2.12.Q 1000 >/dev/null

serve --firmware 2.11.Q
BREVIK_PORTS="$port" "$brevik" --capture "$work/session.cap" update "$work/new.bfw" >/dev/null
kill "$sim_pid"
head -n 2 "$work/session.cap"
grep -q "^program brevik " "$work/session.cap"
# The upload command for 1000 bytes: 'f' 03 E8 and their sum.
grep -q " tx 66 03 E8 51$" "$work/session.cap" || { echo "no upload in the capture"; exit 1; }

# The same update against the replayed session: same outcome, and the
# replay says every byte matched.
serve --replay "$work/session.cap"
replayed="$(BREVIK_PORTS="$port" "$brevik" update "$work/new.bfw")"
grep -q "Update Successful. New version is 02.12.Q" <<<"$replayed"
wait "$sim_pid" || { echo "the replay did not match"; cat "$work/sim.err"; exit 1; }
grep -q "replay matched" "$work/sim.err"

# Another package: the replay reports where the host strayed.
"$mkpackage" "$work/other.bfw" 2.12.Q 1001 >/dev/null
serve --replay "$work/session.cap"
set +e
BREVIK_PORTS="$port" timeout 60 "$brevik" update "$work/other.bfw" >/dev/null 2>&1
code=$?
wait "$sim_pid"
replay_code=$?
set -e
[ "$code" -eq 3 ] || { echo "a strayed update finds the device silent (3), not exit $code"; exit 1; }
[ "$replay_code" -eq 1 ] || { echo "the replay must report the difference"; exit 1; }
grep -q "replay differs: host byte" "$work/sim.err"

# A fault from the command line: the device refuses the second block.
serve --firmware 2.11.Q --fault upload.block=1:unknown
set +e
BREVIK_PORTS="$port" "$brevik" update "$work/new.bfw" >/dev/null 2>&1
code=$?
set -e
[ "$code" -eq 7 ] || { echo "a refused block is the device's refusal (7), not exit $code"; exit 1; }
BREVIK_PORTS="$port" "$brevik" detect | grep -q "firmware 02.11.Q" || { echo "the device changed"; exit 1; }
"$sim" --fault upload.block=x:melt >/dev/null 2>&1 && { echo "a bad fault must be refused"; exit 1; }
"$sim" --help | grep -q -- "--replay" || { echo "--help must list --replay"; exit 1; }
# A detection's capture does not pass for a longer session.
serve --firmware 2.11.Q
BREVIK_PORTS="$port" "$brevik" --capture "$work/detect.cap" detect >/dev/null
kill "$sim_pid"
serve --replay "$work/detect.cap"
set +e
BREVIK_PORTS="$port" "$brevik" eeprom 0 16 >/dev/null 2>&1
wait "$sim_pid"
replay_code=$?
set -e
[ "$replay_code" -eq 1 ] || { echo "more host bytes than the capture holds passed the replay"; exit 1; }
grep -q "more than the capture holds" "$work/sim.err" || { cat "$work/sim.err"; exit 1; }

# A capture is outside input: numbers out of range are refused with their
# line, never a crash; a pipe or /dev/zero is not read.
for port_number in 4294967295 -1 4000000000; do
    printf '# brevik serial capture 1\n0.1 %s open /dev/x\n0.2 %s rx 1 00\n' \
        "$port_number" "$port_number" >"$work/bad.cap"
    set +e
    "$sim" --replay "$work/bad.cap" >/dev/null 2>"$work/bad.err"
    code=$?
    set -e
    [ "$code" -eq 2 ] || { echo "port $port_number: exit $code"; cat "$work/bad.err"; exit 1; }
    grep -q "line 2" "$work/bad.err" || { cat "$work/bad.err"; exit 1; }
done
set +e
timeout 10 "$sim" --replay /dev/zero >/dev/null 2>&1
code=$?
set -e
[ "$code" -eq 2 ] || { echo "--replay /dev/zero: exit $code"; exit 1; }

# --link replaces only a link, and removes only its own.
echo "precious" >"$work/file"
set +e
"$sim" --link "$work/file" >/dev/null 2>&1
code=$?
set -e
[ "$code" -ne 0 ] || { echo "--link over a regular file must be refused"; exit 1; }
[ "$(cat "$work/file")" = "precious" ] || { echo "--link destroyed a file"; exit 1; }
serve --link "$work/link"
first_pid="$sim_pid"
serve --link "$work/link"
kill "$first_pid"
wait "$first_pid" 2>/dev/null || true
[ "$(readlink "$work/link")" = "$port" ] || { echo "the first simulator removed the second's link"; exit 1; }
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
[ ! -e "$work/link" ] && [ ! -L "$work/link" ] || { echo "the link outlived its simulator"; exit 1; }
echo "capture, replay and faults: fine"
