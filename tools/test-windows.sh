#!/usr/bin/env bash
# Builds the Windows programs and tests (mingw-w64) and runs them under Wine
# in the sandbox of tools/wine.sh: the test suites through ctest (the device
# suites on loopback lines, the system-port tests on COM7, the Win32 windows
# on an Xvfb display), then brevik.exe against brevik-sim on COM7, then
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
    (cd build-windows && xvfb-run -a ctest --output-on-failure --parallel "$(nproc)")
    bash tests/programs/windows.sh build-windows/app/brevik.exe build/app/brevik-mkpackage'
mkdir -p build-windows/screenshots
updater_program_test() {
    "$root/tools/wine.sh" --sim --pace bash -c '
        unset BREVIK_PORTS
        export BREVIK_SCREENSHOTS="Z:$(pwd)/build-windows/screenshots"
        xvfb-run -a -s "-screen 0 1024x768x24" "$WINE" build-windows/tests/updater_dialog_tests.exe'
}
# Wine now and then never shows the first window of this run (also with
# older builds of both programs); a second failure is a failure.
if ! updater_program_test; then
    echo "test-windows: the updater program test failed; running it once more"
    updater_program_test
fi
