#!/usr/bin/env bash
# Configures and builds into a build folder. Usage: build.sh DIR [cmake args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"
shift
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIK_WERROR="$werror" "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
