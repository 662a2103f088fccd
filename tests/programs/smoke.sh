#!/usr/bin/env bash
# The two programs together: brevik-sim serves a virtual device and the
# updater finds it through the port table.
set -euo pipefail
source "$(dirname "$0")/start-sim.sh"
start_sim "$1" --firmware 3.4.Q
detect="$2"
result="$(BREVIK_PORTS="$sim_port" "$detect")"
echo "$result"
grep -q "Device found on COM1: Quillex USB v3.4.Q, firmware 03.04.Q" <<<"$result"
