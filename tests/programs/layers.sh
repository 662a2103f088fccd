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
check platform ui/ package/ devicelink/ diagnostics/ serial/ util/ files/ app/ gui/ sim/
# The window interfaces stand alone: the device library reports through them.
check ui platform/ package/ devicelink/ diagnostics/ serial/ util/ files/ app/ gui/ sim/
check package devicelink/ diagnostics/ serial/ files/ app/ gui/ sim/
# Memory image files are text and bytes only: no device, no system.
check image platform/ ui/ package/ devicelink/ diagnostics/ serial/ util/ files/ app/ gui/ sim/
check util devicelink/ diagnostics/ serial/ package/ files/ app/ gui/ sim/
check devicelink files/ app/ gui/ sim/
# Packages reach the device library loaded; it never opens a file itself,
# neither directly nor through the package files' readers.
check devicelink platform/FileAccess package/PackageFile
check serial files/ app/ gui/ sim/
check diagnostics files/ app/ sim/
# The operations that take a file name sit above the device link.
check files app/ gui/ sim/
check gui app/ diagnostics/qt/ diagnostics/win32/
# One set of decisions under both toolkits.
check app/logic app/qt/ app/win32/ app/cli/ gui/
# What both front ends show lives below them, free of any display.
check app/common app/flash/ app/logic/ app/qt/ app/win32/ app/cli/ app/UpdaterState gui/
# One flash flow under every front end: it decides, they show.
check app/flash app/logic/ app/qt/ app/win32/ app/cli/ app/UpdaterState gui/
# The command line shares texts with the dialog, never the dialog itself.
check app/cli app/logic/ app/qt/ app/win32/ app/UpdaterState app/UpdaterArguments gui/
# The simulator is a second reading of the wire formats: nothing of the
# device library, the package format or the front ends.
check sim devicelink/ package/ serial/ app/ gui/ image/
# A system is a folder of its own: shared code never asks which one it runs on.
# The folders are those the build lists (BREVIK_OS_FOLDERS).
os_folders="$(sed -n 's/^ *set(BREVIK_OS_FOLDERS \(.*\))/\1/p' CMakeLists.txt | tr ' ' '\n' | sort -u |
    paste -sd '|' -)"
[ -n "$os_folders" ] || { echo "no BREVIK_OS_FOLDERS in CMakeLists.txt"; exit 1; }
os_conditional="$(grep -rln --include='*.h' --include='*.cpp' '_WIN32\|__linux__\|__APPLE__' \
    platform ui package devicelink diagnostics serial util files image app gui sim fuzz bench tests |
    grep -Ev "/($os_folders)/|^gui/|/qt/|/win32/|^tests/win32" || true)"
if [ -n "$os_conditional" ]; then
    echo "system conditionals outside the per-system folders:"
    echo "$os_conditional"
    status=1
fi
# The core library compiles no front end.
core_glob="$(sed -n '/BREVIK_CORE_SOURCES CONFIGURE_DEPENDS/,/)/p' CMakeLists.txt)"
if grep -n "app/\|gui/" <<<"$core_glob"; then
    echo "the core library's sources reach into app/ or gui/"
    status=1
fi
exit $status
