#!/usr/bin/env bash
# Builds Tidewell and runs every test: unit tests and end-to-end tests, all under Wine, on an X
# display of our own when none is set.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
source "$root/tests/wine/wine-env.sh"
ensure_display
trap stop_display EXIT
# Screenshots of this run only: earlier failures would read as today's.
rm -rf "$build/artifacts"
ctest --test-dir "$build" -j2 --output-on-failure "$@"
