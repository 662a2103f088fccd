#!/usr/bin/env bash
# tools/wine.sh fails closed: started as if already in its sandbox but in
# this very mount namespace, or unable to tell, it refuses before it mounts
# anything. Usage: wine-sandbox.sh SOURCE_ROOT
set -euo pipefail
wine="$1/tools/wine.sh"
here="$(readlink /proc/self/ns/mnt)"
status=0
for outer in "$here" ""; do
    set +e
    out="$(env BREVIK_WINE_SANDBOX=inside BREVIK_WINE_OUTER_NS="$outer" bash "$wine" true 2>&1)"
    code=$?
    set -e
    if [ "$code" -eq 0 ] || ! grep -q "refusing to run Wine" <<<"$out"; then
        echo "FAIL: outer namespace '$outer': exit $code: $out"; status=1
    fi
done
exit $status
