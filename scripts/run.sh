#!/usr/bin/env bash
# The main job: builds Tidewell and starts its programs under Wine in a sandboxed prefix
# (build/sandbox: no Z: drive, so nothing outside the prefix is reachable). Shows the windows on
# your display when there is one, on a private Xvfb otherwise.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}
sandbox=$build/sandbox

"$root/scripts/build.sh"
source "$root/tests/wine/wine-env.sh"
[ -f "$sandbox/system.reg" ] || "$root/tests/wine/prefix.sh" template "$sandbox"
export WINEPREFIX=$sandbox
folder="$sandbox/drive_c/Program Files/Tidewell"
mkdir -p "$folder"
cp "$build"/bin/*.EXE "$folder/"
ensure_display
trap '"$WINESERVER" -k 2>/dev/null || true; sleep 1; stop_display' EXIT

cd "$folder"
for program in KORVANE.EXE QS.EXE KORVTASK.EXE; do
    rc=0
    timeout 60 "$WINE" "C:\\Program Files\\Tidewell\\$program" || rc=$?
    echo "$program ended with exit code $rc"
done
