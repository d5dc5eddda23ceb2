#!/usr/bin/env bash
# Builds Tidewell (the build strips the programs and seals KORVANE.EXE, so the tested programs are
# the shipped ones) and packs dist/Tidewell-<version>.zip. Run twice on one commit, it gives the
# same bytes.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIDEWELL_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
version=$(sed -n 's/^project(Tidewell VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
python3 "$root/scripts/release_zip.py" "$build/bin" "$root/resources/release" \
    "$root/dist/Tidewell-$version.zip"
