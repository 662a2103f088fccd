#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (ASan+UBSan) into build-fuzz/,
# makes their seeds from the virtual device and fuzzes each target for
# SECONDS (default 60), starting from the seeds and the kept regression
# inputs. A find is left in build-fuzz/finds/TARGET/; copy it into
# fuzz/regressions/TARGET/ once fixed, and the test suite replays it.
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]   (targets: replies package commandline capture signature
#   intelhex srecords)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" fuzz

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(replies package commandline capture signature intelhex srecords)

dir="$root/build-fuzz"
fuzzers=()
for t in "${targets[@]}"; do fuzzers+=("brevik-fuzz-$t"); done
CC=clang CXX=clang++ BREVIK_TARGETS="${fuzzers[*]} brevik-fuzz-seeds" \
    "$root/tools/build.sh" "$dir" -DBREVIK_FUZZ=ON -DBREVIK_BUILD_GUI=OFF \
    -DBREVIK_BUILD_TESTS=OFF -DBREVIK_BUILD_BENCH=OFF

export BREVIK_PORTS=  # the seed maker serves its own virtual devices
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
rm -rf "$dir/seeds"
"$dir/fuzz/brevik-fuzz-seeds" "$dir/seeds"

status=0
for t in "${targets[@]}"; do
    kept="$t"
    [ "$t" = commandline ] && kept=cli
    corpus="$dir/corpus/$t"
    finds="$dir/finds/$t"
    mkdir -p "$corpus" "$finds"
    echo "== fuzzing $t for ${seconds}s"
    if ! "$dir/fuzz/brevik-fuzz-$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -max_len=20000 -print_final_stats=1 -artifact_prefix="$finds/" \
        "$corpus" "$dir/seeds/$kept" "$root/fuzz/regressions/$kept" 2>"$dir/$t.log"; then
        status=1
        tail -40 "$dir/$t.log"
        echo "== $t: a find is in $finds"
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$dir/$t.log" || true
    fi
done
exit $status
