#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figures beside its floor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
"$root/tools/build.sh" "$root/build" -DBREVIK_BUILD_BENCH=ON
"$root/build/bench/brevik_bench" --benchmark_min_time=0.2
"$root/build/bench/brevik_detect_bench"
"$root/build/bench/brevik_upload_bench"
"$root/build/bench/brevik_transfer_bench"
"$root/build/bench/brevik_cli_bench"
"$root/build/bench/brevik_bridge_bench"
"$root/build/bench/brevik_station_bench"
"$root/build/bench/brevik_reload_bench"
umockdev-wrapper "$root/build/bench/brevik_ports_bench"
