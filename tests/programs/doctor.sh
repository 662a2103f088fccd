#!/usr/bin/env bash
# brevik doctor with problems planted on the machine: a program holding the
# device's port without a lock, one holding it with a lock, one that made
# the terminal exclusive, and a process that calls itself brltty. Each is
# named with its fix; with them gone the port is fine. The device is served
# under a name of a user's fixture: what holds the terminal's other end is
# the device, whatever it is called.
set -euo pipefail
source "$(dirname "$0")/start-sim.sh"
fixture="$(mktemp -d)"
cp "$1" "$fixture/bench-device"
start_sim "$fixture/bench-device"
brevik="$2"
work="$(mktemp -d)"
# Every planted process runs from $work, and goes with it.
trap '{ kill "$sim_pid"; pkill -f "$work/"; rm -rf "$work" "$fixture"; } 2>/dev/null || true' EXIT
export BREVIK_PORTS="$sim_port"

expect() {  # expect WANTED_EXIT TEXT...: doctor's exit and what it says
    local want="$1" out code
    shift
    set +e
    out="$("$brevik" doctor 2>&1)"
    code=$?
    set -e
    [ "$code" -eq "$want" ] || { echo "doctor: exit $code, not $want: $out"; exit 1; }
    for text in "$@"; do
        grep -qF -- "$text" <<<"$out" || { echo "doctor does not say '$text': $out"; exit 1; }
    done
}

# A terminal program's way: the port open, no lock.
cp "$(command -v sleep)" "$work/minicom"
"$work/minicom" 60 <"$sim_port" >/dev/null 2>&1 &
# A careful program's way: an flock on the port (held by flock itself).
flock -o "$sim_port" "$work/minicom" 61 >/dev/null 2>&1 &
cp "$(command -v sleep)" "$work/brltty"
"$work/brltty" 60 >/dev/null 2>&1 &
sleep 0.3
expect 1 "minicom (pid" "has the port open, without a lock: its bytes can mix with an upload's" \
    "flock (pid" "has the port open, with a lock" "fix: close minicom" \
    "brltty (a braille display service) is running" "fix: if no braille display is used here"
pkill -f "$work/"
pkill -x flock -P $$ 2>/dev/null || true
sleep 0.3
# A program that made the terminal exclusive (TIOCEXCL) holds it with a
# lock, also to root (who may open it anyway); the doctor leaves its flag.
cp "$(command -v perl)" "$work/picocom"
"$work/picocom" -e 'open(my $f, "+<", $ARGV[0]) or die; ioctl($f, 0x540C, 0) or die;
    $SIG{TERM} = sub { ioctl($f, 0x540D, 0); exit 0 }; sleep 60' "$sim_port" &
sleep 0.3
expect 1 "picocom (pid" "has the port open, with a lock"
expect 1 "picocom (pid" "has the port open, with a lock"
pkill -f "$work/"
sleep 0.3
out="$("$brevik" doctor 2>&1 || true)"
grep -qF "COM1 $sim_port: nothing in the way" <<<"$out" && ! grep -qE "brltty|bench-device" <<<"$out" ||
    { echo "a free port is fine: $out"; exit 1; }
echo "doctor: fine"
