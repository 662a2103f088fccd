#!/usr/bin/env bash
# The layers point one way: a folder includes only from the folders below it.
# Usage: layers.sh SOURCE_ROOT
set -euo pipefail
cd "$1"
status=0
# folder, then the include prefixes it must never use
check() {
    local folder="$1"
    shift
    for prefix in "$@"; do
        if grep -rn --include='*.h' --include='*.cpp' "#include \"$prefix" "$folder"; then
            echo "$folder/ includes from $prefix (a layer above it)"
            status=1
        fi
    done
}
check platform package/ devicelink/ diagnostics/ serial/ util/ app/ gui/ sim/
check package devicelink/ diagnostics/ serial/ app/ gui/ sim/
check util devicelink/ app/ gui/ sim/
check devicelink app/ gui/ sim/
# Packages reach the device library loaded; it never opens a file itself.
check devicelink platform/FileAccess
check serial app/ gui/ sim/
check diagnostics app/ sim/
check gui app/ diagnostics/qt/ diagnostics/win32/
# One set of decisions under both toolkits.
check app/logic app/qt/ app/win32/ gui/
exit $status
