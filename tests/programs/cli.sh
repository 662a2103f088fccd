#!/usr/bin/env bash
# The brevik command-line tool against brevik-sim: exit codes and what a
# user reads, from detection to a completed update.
set -euo pipefail
source "$(dirname "$0")/start-sim.sh"
start_sim "$1" --firmware 2.11.Q
brevik="$2"
mkpackage="$3"
work="$(mktemp -d)"
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export BREVIK_PORTS="$sim_port"

set +e
"$brevik" >/dev/null 2>&1
[ $? -eq 2 ] || { echo "no command must be a usage error (2)"; exit 1; }
"$brevik" detect --bogus >/dev/null 2>&1
[ $? -eq 2 ] || { echo "an unknown option must be a usage error (2)"; exit 1; }
# brevik-mkpackage names the argument that is wrong.
while IFS='|' read -r words said; do
    # shellcheck disable=SC2086
    out="$("$mkpackage" $words 2>&1)"
    [ $? -eq 2 ] && grep -qF "$said" <<<"$out" ||
        { echo "brevik-mkpackage $words: want exit 2 and '$said', got: $out"; exit 1; }
done <<CASES
$work/x.bfw|an output file and a version are needed
$work/x.bfw 2.1x.Q|the version '2.1x.Q' is not MAJOR.MINOR.LETTER
$work/x.bfw 256.1.Q|the version '256.1.Q' is not
$work/x.bfw 2.12.Q abc|the body size 'abc' is not a byte count from 1 to 65536
$work/x.bfw 2.12.Q 65537|the body size '65537' is not
$work/x.bfw 2.12.Q 10 extra|one argument too many
CASES
set -e

detected="$("$brevik" detect)"
echo "$detected"
grep -q "^Quillex USB v2.11.Q, firmware 02.11.Q, on COM1$" <<<"$detected"

"$mkpackage" "$work/new.bfw" 2.12.Q 4000 >/dev/null
updated="$("$brevik" update "$work/new.bfw")"
echo "$updated"
grep -q "Update Successful. New version is 02.12.Q" <<<"$updated"

traced="$("$brevik" detect --trace 2>&1 >/dev/null)"
grep -q "Comm Read Timeout Set To" <<<"$traced" || { echo "--trace shows no trace line"; exit 1; }
if grep -q "Write Port" <<<"$traced"; then echo "--trace alone shows hex dumps"; exit 1; fi
dumped="$("$brevik" detect --trace=2 2>&1 >/dev/null)"
grep -q "Write Port" <<<"$dumped" || { echo "--trace=2 shows no hex dump"; exit 1; }
"$mkpackage" "$work/again.bfw" 2.13.Q 5000 >/dev/null
# Piped with stderr (2>&1 | cat), the lines keep the order they were said in:
# "Updating ..." before the progress lines of the upload.
"$mkpackage" "$work/piped.bfw" 2.14.Q 9000 >/dev/null
piped="$("$brevik" update "$work/piped.bfw" 2>&1 | cat)"
[ "$(grep -n -m1 '^Updating' <<<"$piped" | cut -d: -f1)" -lt \
  "$(grep -n -m1 '^progress:' <<<"$piped" | cut -d: -f1)" ] ||
    { echo "piped output out of order: $piped"; exit 1; }
"$brevik" update --allow-older "$work/new.bfw" >/dev/null
uploaded="$("$brevik" update "$work/again.bfw" --trace 2>&1)"
grep -q "  | packets 1-16 of 20 acknowledged" <<<"$uploaded" || { echo "no upload summary in the trace"; exit 1; }
grep -q "^Update Successful" <<<"$uploaded" || { echo "the tool's words must start a line"; exit 1; }
if grep -q "COM2\b" <<<"$traced"; then
    echo "--trace tells of COM numbers past the end of a one-port table"; exit 1
fi

# Another program with the port open and no lock (a terminal program, say)
# could take the device's replies: nothing is written to the device until it
# is gone, or --force says to go on. The simulator's own hold does not count.
"$mkpackage" "$work/third.bfw" 2.14.Q 3000 >/dev/null
sleep 60 <"$sim_port" &
holder=$!
set +e
shared="$("$brevik" update "$work/third.bfw" 2>&1)"
code=$?
set -e
[ "$code" -eq 5 ] || { echo "an update beside another holder: exit $code, want 5"; kill "$holder"; exit 1; }
grep -q "is also open in sleep (pid $holder)" <<<"$shared" || { echo "$shared"; kill "$holder"; exit 1; }
"$brevik" detect | grep -q "firmware 02.13.Q" || { echo "the device changed"; kill "$holder"; exit 1; }
"$brevik" update --force "$work/third.bfw" | grep -q "New version is 02.14.Q"
kill "$holder"
