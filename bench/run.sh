#!/usr/bin/env bash
# Runs the benchmarks under Wine in throw-away prefixes and prints their reports.
#   bench/run.sh [entries]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
template=$build/wine/bench-template
[ -f "$template/system.reg" ] || "$root/tests/wine/prefix.sh" template "$template"
export TIDEWELL_BIN_DIR=$build/bench-bin
TIDEWELL_RUN_TIMEOUT=3600 "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/qs_walk_bench.exe" "${1:-10000}"

# The configurator's start: KORVANE.EXE lies beside the benchmark, which starts it and watches the
# screen.
TIDEWELL_BIN_DIR=$build/bin "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/startup_bench.exe" 10
# The Options sheet, opened ten times in one KORVANE.EXE.
TIDEWELL_BIN_DIR=$build/bin "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/options_bench.exe" 10
# The update check, 20 times against a server on 127.0.0.1 that answers at once.
"$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/update_bench.exe" 20

# The resident scheduler at rest: its CPU time and working set over five idle minutes.
TIDEWELL_BIN_DIR=$build/bin TIDEWELL_TEST_BIN_DIR=$build/test-bin TIDEWELL_WINE_TEMPLATE=$template \
    python3 "$root/bench/korvtask_bench.py" "${TIDEWELL_KORVTASK_BENCH_SECONDS:-300}"

# The run log viewer with a log of 5 MB (60 000 lines), opened ten times in one KORVANE.EXE.
TIDEWELL_BIN_DIR=$build/bin "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/history_bench.exe" 10

# The wizard: an answer button to the next page drawn, twenty times each way, without and with a
# theme picture.
TIDEWELL_BIN_DIR=$build/bench-bin "$root/tests/wine/prefix.sh" run "$template" "$build/bench-bin/wizard_bench.exe" 20

# The file sweep walks a generated tree of 100 000 files in 10 100 folders: 100 folders of 100
# folders of 10 files, a few of them of the kinds the sweep looks for and decoys whose 8.3 names
# would match. The tree is made once and kept in the build folder.
tree=$build/bench-tree
if [ ! -f "$tree/.complete" ]; then
    rm -rf "$tree"
    python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for a in range(100):
    for b in range(100):
        folder = os.path.join(root, f"group{a:02d}", f"folder{b:02d}")
        os.makedirs(folder)
        names = [f"document {i}.txt" for i in range(7)]
        names += ["Thumbs.db", "old.bak", "report.bakup"] if b % 10 == 0 else ["a.dat", "b.dat", "c.dat"]
        for name in names:
            open(os.path.join(folder, name), "w").close()
open(os.path.join(root, ".complete"), "w").close()
PY
fi

# T: is that tree, mapped into a prefix of its own.
source "$root/tests/wine/wine-env.sh"
work=$(mktemp -d "$build/wine/sweep.XXXXXX")
prefix=$work/prefix
cleanup() {
    WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT
"$root/tests/wine/prefix.sh" clone "$template" "$prefix"
ln -s "$tree" "$prefix/dosdevices/t:"
mkdir -p "$prefix/drive_c/tidewell"
cp "$build/bench-bin/sweep_bench.exe" "$prefix/drive_c/tidewell/"
ensure_display
WINEPREFIX="$prefix" timeout --kill-after=10 3600 "$WINE" 'C:\tidewell\sweep_bench.exe' 'T:\' 3

# A sweep that finds more files than the command list has entries: 40 000 backup files in 400
# folders on the prefix's C:, planned into a whole list.
full=$prefix/drive_c/full-tree
python3 - "$full" <<'PY'
import os, sys
for a in range(400):
    folder = os.path.join(sys.argv[1], f"folder{a:03d}")
    os.makedirs(folder)
    for i in range(100):
        open(os.path.join(folder, f"copy {i}.bak"), "w").close()
PY
WINEPREFIX="$prefix" timeout --kill-after=10 3600 "$WINE" 'C:\tidewell\sweep_bench.exe' --fill
