#!/usr/bin/env bash
# Builds the Windows programs and tests (mingw-w64) and runs them under Wine
# in the sandbox of tools/wine.sh: the test suites through ctest (the device
# suites on loopback lines, the system-port tests on COM7, the Win32 windows
# on an Xvfb display), then brevik.exe against brevik-sim on COM7.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-windows.sh"
BREVIK_TARGETS="brevik-sim brevik-mkpackage" "$root/tools/build.sh" "$root/build"
cd "$root"
"$root/tools/wine.sh" bash -c '
    (cd build-windows && xvfb-run -a ctest --output-on-failure --parallel "$(nproc)")
    bash tests/programs/windows.sh build-windows/app/brevik.exe build/app/brevik-mkpackage'
