#!/usr/bin/env bash
# Throw-away Wine prefixes for the tests. Creating a prefix costs seconds, so one template is made
# per test run and every test works in its own copy of it.
#
#   prefix.sh template DIR                 make the template (Z: removed, shell folders of its own,
#                                          winemenubuilder and crash dialogs off)
#   prefix.sh clone TEMPLATE DIR           copy the template to DIR
#   prefix.sh run TEMPLATE EXE [ARGS...]   run EXE in a fresh copy, then remove the copy;
#                                          exits with EXE's exit code (CTest's emulator)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

# Wine links the user's shell folders (Desktop, Documents, Music...) to the host user's own folders;
# every link under drive_c becomes a plain, empty folder, so that what a test puts on its desktop
# stays in its prefix.
unlink_host_folders() {
    local link
    find "$1/drive_c" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link" && mkdir -p "$link"
    done
}

make_template() {
    local dir=$1
    rm -rf "$dir" "$dir.tmp"
    mkdir -p "$(dirname "$dir")"
    # Mono and Gecko installers would ask questions; the tests need neither. winemenubuilder would
    # turn the prefix's shortcuts into menu entries and desktop files of the host user; it is off
    # from the first start on, and for good through the prefix's own DLL overrides.
    WINEPREFIX="$dir.tmp" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$WINE" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$dir.tmp" WINEDLLOVERRIDES="winemenubuilder.exe=d" "$WINE" reg add 'HKCU\Software\Wine\DllOverrides' \
        /v winemenubuilder.exe /t REG_SZ /d '' /f >/dev/null 2>&1
    WINEPREFIX="$dir.tmp" WINEDLLOVERRIDES="winemenubuilder.exe=d" "$WINE" reg add 'HKCU\Software\Wine\WineDbg' \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX="$dir.tmp" "$WINESERVER" -w
    # The Z: drive maps the whole Linux file system; a test must not reach beyond its prefix.
    rm -f "$dir.tmp/dosdevices/z:"
    unlink_host_folders "$dir.tmp"
    [ -f "$dir.tmp/system.reg" ] || { echo "prefix.sh: wineboot did not create a prefix in $dir" >&2; exit 1; }
    mv "$dir.tmp" "$dir"
}

clone() {
    local template=$1 dir=$2
    [ -f "$template/system.reg" ] || { echo "prefix.sh: no template prefix at $template" >&2; exit 1; }
    rm -rf "$dir"
    mkdir -p "$dir"
    # The large, read-only system folders are hard-linked; everything a test may change is copied.
    # Whoever writes into system32 must replace files (unlink first), never rewrite them in place.
    (cd "$template" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$dir/" \;)
    mkdir -p "$dir/drive_c"
    (cd "$template/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$dir/drive_c/" \;)
    mkdir -p "$dir/drive_c/windows"
    local item
    for item in "$template/drive_c/windows"/* "$template/drive_c/windows"/.[!.]*; do
        [ -e "$item" ] || continue
        case "$(basename "$item")" in
            system32|winsxs) cp -al "$item" "$dir/drive_c/windows/" ;;
            *) cp -a "$item" "$dir/drive_c/windows/" ;;
        esac
    done
}

run() {
    local template=$1 exe=$2
    shift 2
    local base
    base=$(mktemp -d "$(dirname "$template")/run.XXXXXX")
    local dir="$base/prefix"
    clone "$template" "$dir"
    local folder="$dir/drive_c/tidewell"
    mkdir -p "$folder"
    # Tests find the programs beside themselves, as on Windows.
    cp "$exe" "$folder/"
    find "$(dirname "$exe")" "$TIDEWELL_BIN_DIR" -maxdepth 1 -name '*.EXE' -exec cp -n {} "$folder/" \; 2>/dev/null || true
    ensure_display
    local rc=0 child
    # In the background, so that a signal is taken at once: bash holds its traps while a
    # foreground command runs.
    (cd "$folder" && WINEPREFIX="$dir" exec timeout --kill-after=10 "${TIDEWELL_RUN_TIMEOUT:-600}" \
        "$WINE" "C:\\tidewell\\$(basename "$exe")" "$@") <&0 &
    child=$!
    # Killed from outside (a time-out of CTest, Ctrl+C): the prefix goes all the same.
    trap 'kill "$child" 2>/dev/null; WINEPREFIX="$dir" "$WINESERVER" -k 2>/dev/null; stop_display; rm -rf "$base"; exit 143' \
        INT TERM HUP
    wait "$child" || rc=$?
    trap - INT TERM HUP
    WINEPREFIX="$dir" "$WINESERVER" -k 2>/dev/null || true
    stop_display
    if [ "$rc" -eq 0 ] || [ -z "${TIDEWELL_KEEP_FAILED:-}" ]; then rm -rf "$base"; else echo "prefix kept: $dir" >&2; fi
    return "$rc"
}

# Wine wants absolute prefix paths; callers may give relative ones.
abs() { realpath -m "$1"; }

case "${1:-}" in
    template) make_template "$(abs "$2")" ;;
    clone) clone "$(abs "$2")" "$(abs "$3")" ;;
    run) run "$(abs "$2")" "$(abs "$3")" "${@:4}" ;;
    *) echo "usage: prefix.sh template DIR | clone TEMPLATE DIR | run TEMPLATE EXE [ARGS...]" >&2; exit 2 ;;
esac
