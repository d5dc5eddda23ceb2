#!/usr/bin/env bash
# The main job: builds Tidewell, then plays a whole Rinsa run in a sandboxed Wine prefix (a copy of
# a fresh prefix without the Z: drive, so nothing outside it is reachable): the planner changes the
# system and restarts, QS defragments drive C: with a stand-in defragmenter and switches off.
# Prints the command list and the run log. With a display of your own (DISPLAY set) the
# configurator opens on it for you to choose the run and press Start; without one (or with
# TIDEWELL_HEADLESS=1) KORVANE.EXE /A plays the run by itself on a private Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
export TIDEWELL_BIN_DIR=$build/bin TIDEWELL_TEST_BIN_DIR=$build/test-bin
export TIDEWELL_WINE_TEMPLATE=$build/wine/sandbox-template TIDEWELL_ARTIFACTS_DIR=$build/artifacts
[ -f "$TIDEWELL_WINE_TEMPLATE/system.reg" ] || "$root/tests/wine/prefix.sh" template "$TIDEWELL_WINE_TEMPLATE"
exec /usr/bin/python3 "$root/scripts/rinsa_demo.py"
