#!/usr/bin/env bash
# Builds and runs the tests. Usage:
#   tools/test.sh                          every test, plain build (build/)
#   tools/test.sh --sanitize address       every test under ASan+UBSan (build-asan/)
#   tools/test.sh --sanitize thread REGEX  the tests matching REGEX under TSan (build-tsan/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"

sanitize=""
filter=""
if [ "${1:-}" = "--sanitize" ]; then
    sanitize="$2"
    filter="${3:-}"
fi

dir="$root/build${sanitize:+-$sanitize}"
bench=ON
[ -n "$sanitize" ] && bench=OFF
# Debian's Qt is not built for ThreadSanitizer, whose run leaves the dialog's
# tests out: the dialog is not built for it either.
gui=ON
[ "$sanitize" = thread ] && gui=OFF
"$root/tools/build.sh" "$dir" -DBREVIK_SANITIZE="$sanitize" -DBREVIK_BUILD_TESTS=ON \
    -DBREVIK_BUILD_BENCH="$bench" -DBREVIK_BUILD_GUI="$gui"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tools/tsan-suppressions.txt"
cd "$dir"
runner=()
select=()
if [ "$sanitize" = "thread" ]; then
    # Older ThreadSanitizer runtimes cannot map their shadow memory with the
    # kernel's full address-space randomisation; Qt is not instrumented, and
    # a preloaded library's file calls (umockdev's) look like races to it.
    runner=(setarch "$(uname -m)" -R)
    select=(-LE "gui|preload")
fi
"${runner[@]}" ctest --output-on-failure --parallel "$(nproc)" "${select[@]}" ${filter:+-R "$filter"}
