#!/usr/bin/env bash
# Cross-builds the Windows programs and tests with mingw-w64 into
# build-windows/ (installs the compilers and Wine when missing).
# Usage: tools/build-windows.sh [cmake args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" windows
# The PowerShell completion is made from the command table by the build
# machine's own brevik-docgen (the Windows one would need Wine to run): it
# is built in the native build folder, and is there already after the tests.
BREVIK_TARGETS=brevik-docgen "$root/tools/build.sh" "$root/build"
"$root/tools/build.sh" "$root/build-windows" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DBREVIK_HOST_DOCGEN="$root/build/app/brevik-docgen" \
    -DBREVIK_BUILD_GUI=OFF -DBREVIK_BUILD_BENCH=ON "$@"
