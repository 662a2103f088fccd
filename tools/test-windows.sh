#!/usr/bin/env bash
# Builds the Windows programs and tests (mingw-w64) and runs them under Wine
# in the sandbox of tools/wine.sh: the test suites through ctest (the device
# suites on loopback lines, the system-port tests on COM7, the Win32 windows
# on the sandbox's own display), then brevik.exe against brevik-sim on COM7, then
# brevik-updater.exe driven from outside against a paced brevik-sim, with a
# screenshot of each state in build-windows/screenshots.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-windows.sh"
BREVIK_TARGETS="brevik-sim brevik-mkpackage" "$root/tools/build.sh" "$root/build"
cd "$root"
# Each step's failure fails the run (a bash -c goes on after a failed line).
"$root/tools/wine.sh" bash -c '
    set -e
    (cd build-windows && ctest --output-on-failure --parallel "$(nproc)")
    bash tests/programs/windows.sh build-windows/app/brevik.exe build/app/brevik-mkpackage'
mkdir -p build-windows/screenshots
"$root/tools/wine.sh" --sim --pace bash -c '
    unset BREVIK_PORTS
    export BREVIK_SCREENSHOTS="Z:$(pwd)/build-windows/screenshots"
    "$WINE" build-windows/tests/updater_dialog_tests.exe'
