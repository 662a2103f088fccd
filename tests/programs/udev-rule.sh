#!/usr/bin/env bash
# The udev rule is made only from ids udev can match: four lowercase
# hexadecimal digits each. Usage: udev-rule.sh SOURCE_ROOT
set -euo pipefail
script="$1/packaging/UdevRule.cmake"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '# comment\n1d50:6130  Brevik Quillex USB\n' >"$work/good.txt"
cmake -DIDS="$work/good.txt" -DRULES="$work/good.rules" -P "$script"
grep -q 'ATTRS{idVendor}=="1d50", ATTRS{idProduct}=="6130"' "$work/good.rules"
status=0
for bad in "1D50:6130  upper case" "1d5:6130  short" "1d50:61300  long" "1d50-6130  dash" \
           "xyzw:6130  not hexadecimal"; do
    printf '%s\n' "$bad" >"$work/bad.txt"
    if cmake -DIDS="$work/bad.txt" -DRULES="$work/bad.rules" -P "$script" 2>/dev/null; then
        echo "FAIL: '$bad' was taken"; status=1
    fi
done
exit $status
