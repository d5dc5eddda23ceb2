# Sourced by the test scripts: where Wine is, a quiet Wine, and an X display for the windows.
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEDEBUG=${WINEDEBUG:--all}
export TIDEWELL_BIN_DIR=${TIDEWELL_BIN_DIR:-}
_own_xvfb_pid=

# Starts a private Xvfb when no display is set (CI has none); stop_display ends it again.
ensure_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n
    for n in $(seq 90 190); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        _own_xvfb_pid=$!
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            kill -0 "$_own_xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$_own_xvfb_pid" 2>/dev/null || true
        _own_xvfb_pid=
    done
    echo "wine-env.sh: could not start Xvfb" >&2
    return 1
}

stop_display() {
    if [ -n "$_own_xvfb_pid" ]; then
        kill "$_own_xvfb_pid" 2>/dev/null || true
        wait "$_own_xvfb_pid" 2>/dev/null || true
        unset DISPLAY
        _own_xvfb_pid=
    fi
}
