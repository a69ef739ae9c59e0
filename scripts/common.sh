# Shared by run.sh, test.sh and bench.sh: build, Wine prefix, virtual display.
# Source it; it defines functions and sets KELVOR_BUILD, WINEPREFIX and friends.

KELVOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KELVOR_BUILD=${KELVOR_BUILD:-$KELVOR_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$KELVOR_BUILD/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
KELVOR_XVFB_PID=
KELVOR_STARTED_SERVER=

kelvor_build() {
    mkdir -p "$KELVOR_BUILD"
    cmake -S "$KELVOR_ROOT" -B "$KELVOR_BUILD" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$KELVOR_ROOT/cmake/mingw-i686.cmake" >"$KELVOR_BUILD/configure.log" 2>&1 \
        || { cat "$KELVOR_BUILD/configure.log"; return 1; }
    cmake --build "$KELVOR_BUILD" -j "$(nproc)"
}

# A private prefix with a virtual desktop (so that windows get captions and focus
# works without a window manager) and no crash dialog. Made once per build folder.
kelvor_prefix() {
    if [ ! -f "$WINEPREFIX/.kelvor-ready" ]; then
        mkdir -p "$WINEPREFIX"
        WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$KELVOR_BUILD/wineboot.log" 2>&1
        wine regedit /S "$KELVOR_ROOT/scripts/prefix.reg" >>"$KELVOR_BUILD/wineboot.log" 2>&1
        wineserver -w
        touch "$WINEPREFIX/.kelvor-ready"
    fi
}

# Starts Xvfb on the first free display number from 90 on, unless told to use
# the caller's display (KELVOR_USE_DISPLAY=1).
kelvor_display() {
    if [ "${KELVOR_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local n=${KELVOR_DISPLAY_FROM:-90}
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$KELVOR_BUILD/xvfb.log" 2>&1 &
    KELVOR_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

# One persistent wineserver for the whole run: each Wine process then starts fast.
kelvor_wineserver() {
    wineserver -p
    KELVOR_STARTED_SERVER=1
    # The first Wine process starts the prefix's services, which inherit its
    # output handles: start them here, writing to a file, so that no later
    # program's output pipe is held open by them.
    wine cmd /c exit >"$KELVOR_BUILD/wine-warmup.log" 2>&1 </dev/null
    kelvor_settle
}

# Waits until the prefix's background processes stop changing (a fresh prefix
# restarts services for a few seconds after its first program runs).
kelvor_settle() {
    local previous="" current="" stable=0
    for _ in $(seq 60); do
        current=$(ps -eo comm= | grep -iE '\.exe$' | sort | tr '\n' ' ')
        if [ "$current" = "$previous" ]; then
            stable=$((stable + 1))
            [ $stable -ge 3 ] && return 0
        else
            stable=0
        fi
        previous=$current
        sleep 0.5
    done
}

kelvor_cleanup() {
    if [ -n "$KELVOR_STARTED_SERVER" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -n "$KELVOR_XVFB_PID" ]; then kill "$KELVOR_XVFB_PID" 2>/dev/null || true; fi
}

# Set-up, build, virtual display (unless the caller's display is to be used),
# prefix and wineserver, torn down when the calling script exits.
kelvor_prepare() {
    bash "$KELVOR_ROOT/scripts/setup.sh"
    kelvor_build
    trap kelvor_cleanup EXIT
    kelvor_display
    kelvor_prefix
    kelvor_wineserver
}
