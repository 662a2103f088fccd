#!/usr/bin/env bash
# brevik.exe under Wine against the Linux brevik-sim on COM7 (run inside
# tools/wine.sh): the system's own COM numbers, detection, an update with
# its progress, and the exit codes a user sees.
# Usage: windows.sh BREVIK_EXE MKPACKAGE
set -euo pipefail
brevik="$1"
mkpackage="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unset BREVIK_PORTS
run() { "$WINE" "$brevik" "$@" | tr -d '\r'; }

listed="$(run ports)"
grep -q '^COM7  \\\\.\\COM7$' <<<"$listed" || { echo "brevik ports does not list COM7:"; echo "$listed"; exit 1; }

detected="$(run detect)"
echo "$detected"
grep -q "^Quillex USB v2.11.Q, firmware 02.11.Q, on COM7$" <<<"$detected"
named="$(run detect --port com7)"
grep -q "on COM7$" <<<"$named" || { echo "--port COM7 must keep the number 7"; exit 1; }

set +e
run detect --port COM2 >/dev/null 2>&1
[ $? -eq 3 ] || { echo "a port with nothing behind it must be exit 3"; exit 1; }
run detect --bogus >/dev/null 2>&1
[ $? -eq 2 ] || { echo "an unknown option must be a usage error (2)"; exit 1; }
set -e

"$mkpackage" "$work/new.bfw" 2.12.Q 4000 >/dev/null
package="$(echo "Z:$work/new.bfw" | tr / '\\')"
updated="$(run update "$package" --progress=json 2>&1)"
grep -q "Update Successful. New version is 02.12.Q" <<<"$updated" ||
    { echo "no successful update:"; echo "$updated"; exit 1; }
steps="$(grep -c '^{"progress"' <<<"$updated" || true)"
[ "$steps" -ge 10 ] || { echo "the progress moved only $steps times"; exit 1; }
again="$(run detect)"
grep -q "firmware 02.12.Q, on COM7$" <<<"$again" || { echo "the device does not run the new firmware"; exit 1; }
echo "brevik.exe: ports, detect and update on COM7 under Wine"
