#!/usr/bin/env bash
# Configures and builds into a build folder. Usage: build.sh DIR [cmake args...]
# BREVIK_TARGETS, when set, names the targets to build (default: all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"
shift
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIK_WERROR="$werror" "$@" >/dev/null
targets=()
for t in ${BREVIK_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
