#!/usr/bin/env bash
# Runs the benchmarks under Wine in a throw-away prefix and prints their reports.
#   bench/run.sh [entries]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
template=$build/wine/bench-template
[ -f "$template/system.reg" ] || "$root/tests/wine/prefix.sh" template "$template"
export TIDEWELL_BIN_DIR=$build/bench-bin
TIDEWELL_RUN_TIMEOUT=3600 "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/qs_walk_bench.exe" "${1:-10000}"
