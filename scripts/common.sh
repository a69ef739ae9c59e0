# Shared by the scripts: build, Wine prefix, virtual display. Sourcing it only
# defines functions; a script then calls kelvor_settings, and kelvor_prepare (or
# the steps it needs).
#
# Two switches choose what runs where:
#   KELVOR_BITS=32|64          the build of kelvor: 32-bit (default) or native 64-bit
#   KELVOR_WINEARCH=win64|win32 the Wine prefix: 64-bit Windows (default), where
#                              32-bit programs run through WoW64, or 32-bit-only
# Each build and each prefix has a folder of its own under build/.

KELVOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Sets KELVOR_BUILD, WINEARCH, WINEPREFIX and friends from the two switches
# (defaults: the 32-bit build in a 64-bit prefix), and a UTF-8 locale where the one
# in effect is not; returns 2, saying why, on a value or a pair it does not know.
kelvor_settings() {
    KELVOR_OUT=${KELVOR_OUT:-$KELVOR_ROOT/build}
    KELVOR_BITS_GIVEN=${KELVOR_BITS_GIVEN:-${KELVOR_BITS:+1}}
    KELVOR_BITS=${KELVOR_BITS:-32}
    KELVOR_WINEARCH=${KELVOR_WINEARCH:-win64}
    case "$KELVOR_BITS" in
    32) KELVOR_TOOLCHAIN=mingw-i686 ;;
    64) KELVOR_TOOLCHAIN=mingw-x86_64 ;;
    *) echo "KELVOR_BITS must be 32 or 64" >&2; return 2 ;;
    esac
    case "$KELVOR_WINEARCH" in
    win64 | win32) ;;
    *) echo "KELVOR_WINEARCH must be win64 or win32" >&2; return 2 ;;
    esac
    if [ "$KELVOR_BITS" = 64 ] && [ "$KELVOR_WINEARCH" = win32 ]; then
        echo "a 64-bit build needs a 64-bit prefix (KELVOR_WINEARCH=win64)" >&2
        return 2
    fi
    KELVOR_BUILD=$KELVOR_OUT/$KELVOR_TOOLCHAIN
    export WINEARCH=$KELVOR_WINEARCH
    export WINEPREFIX=${WINEPREFIX:-$KELVOR_OUT/wine-$KELVOR_WINEARCH}
    export WINEDEBUG=${WINEDEBUG:--all}
    # Wine turns Windows file names into Unix ones through the locale's character
    # set: outside UTF-8 a name with letters beyond ASCII cannot be made. The set in
    # effect is asked for, not read from the variables: under C or POSIX, or with a
    # LANG that names a locale not installed, it is ASCII. Debian always has C.UTF-8.
    if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then export LC_ALL=C.UTF-8; fi
    KELVOR_XVFB_PID=
    KELVOR_STARTED_SERVER=
}

# Wine's server holds a few descriptors for every Windows process, so the runs
# with several hundred processes (tests, benchmarks) need more than the 1024
# open files many systems allow by default: raises the limit as far as allowed.
kelvor_raise_file_limit() {
    local files
    files=$(ulimit -Sn)
    [ "$files" = unlimited ] || [ "$files" -ge 65536 ] && return 0
    ulimit -n 65536 2>/dev/null || ulimit -Sn "$(ulimit -Hn)" 2>/dev/null || true
    if [ "$(ulimit -Sn)" != unlimited ] && [ "$(ulimit -Sn)" -lt 4096 ]; then
        echo "warning: only $(ulimit -Sn) open files allowed; runs with hundreds of processes may fail" >&2
    fi
}

kelvor_configure() {
    mkdir -p "$KELVOR_BUILD"
    cmake -S "$KELVOR_ROOT" -B "$KELVOR_BUILD" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$KELVOR_ROOT/cmake/$KELVOR_TOOLCHAIN.cmake" >"$KELVOR_BUILD/configure.log" 2>&1 \
        || { cat "$KELVOR_BUILD/configure.log"; return 1; }
}

kelvor_build() {
    kelvor_configure && cmake --build "$KELVOR_BUILD" -j "$(nproc)"
}

# A private prefix with a virtual desktop (so that windows get captions and focus
# works without a window manager) and no crash dialog. Made once per architecture,
# and marked ready only once every step of it worked (a prefix without its
# settings would fail every test that clicks a caption, for good).
kelvor_prefix() {
    [ -f "$WINEPREFIX/.kelvor-ready" ] && return 0
    local log=$KELVOR_OUT/wineboot-$WINEARCH.log
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    if WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$log" 2>&1 &&
        wine regedit /S "$KELVOR_ROOT/scripts/prefix.reg" >>"$log" 2>&1 &&
        wineserver -w; then
        touch "$WINEPREFIX/.kelvor-ready"
    else
        echo "the Wine prefix $WINEPREFIX could not be made (see $log)" >&2
        return 1
    fi
}

# Starts Xvfb on a display number that it picks itself (-displayfd hands the
# number back once the server listens), so that runs started at the same moment
# never collide. Uses the caller's display instead when KELVOR_USE_DISPLAY=1.
kelvor_display() {
    if [ "${KELVOR_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local numberFile
    numberFile=$(mktemp "$KELVOR_OUT/xvfb-display.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" \
        >"$KELVOR_OUT/xvfb.log" 2>&1 &
    KELVOR_XVFB_PID=$!
    local n=""
    for _ in $(seq 100); do
        n=$(tr -dc 0-9 <"$numberFile")
        [ -n "$n" ] && break
        kill -0 "$KELVOR_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$numberFile"
    if [ -z "$n" ]; then
        echo "Xvfb did not start (see $KELVOR_OUT/xvfb.log)" >&2
        return 1
    fi
    export DISPLAY=":$n"
}

# One persistent wineserver for the whole run: each Wine process then starts fast.
kelvor_wineserver() {
    wineserver -p
    KELVOR_STARTED_SERVER=1
    # The first Wine process starts the prefix's services, which inherit its
    # output handles: start them here, writing to a file, so that no later
    # program's output pipe is held open by them.
    wine cmd /c exit >"$KELVOR_OUT/wine-warmup.log" 2>&1 </dev/null || {
        echo "Wine starts no program (see $KELVOR_OUT/wine-warmup.log)" >&2
        return 1
    }
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

# True when this machine runs 32-bit Linux programs, Wine's 32-bit loader among them:
# some kernels are built, or started, with their 32-bit emulation off, and the
# loader then fails with "Exec format error". (Run after the set-up.)
kelvor_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Where the machine runs no 32-bit programs, every Wine command goes to the 64-bit
# loader (Debian's wine script would take the 32-bit one, which cannot start), and a
# 32-bit build or prefix cannot run at all: without KELVOR_BITS given, the 64-bit
# build is taken instead; a 32-bit one asked for is refused, saying why (returns 2).
kelvor_wine_loader() {
    kelvor_runs_32bit && return 0
    if [ "$KELVOR_BITS" = 32 ] || [ "$KELVOR_WINEARCH" = win32 ]; then
        if [ -n "$KELVOR_BITS_GIVEN" ] || [ "$KELVOR_WINEARCH" = win32 ]; then
            echo "this machine runs no 32-bit programs (its kernel's 32-bit emulation is off):" \
                "only KELVOR_BITS=64 in a 64-bit prefix can run here" >&2
            return 2
        fi
        echo "note: this machine runs no 32-bit programs; running the 64-bit build" >&2
        KELVOR_BITS=64
        kelvor_settings
    fi
    local wrappers=$KELVOR_OUT/wine64-only
    mkdir -p "$wrappers"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$wrappers/$name"
        chmod +x "$wrappers/$name"
    done
    export PATH="$wrappers:$PATH" WINELOADER=/usr/lib/wine/wine64
}

# Set-up, build, virtual display (unless the caller's display is to be used),
# prefix and wineserver, torn down when the calling script exits.
# Each step's failure is returned, also where the caller runs it in a test of its
# own (an if or ||), where the shell's -e does not act.
kelvor_prepare() {
    bash "$KELVOR_ROOT/scripts/setup.sh" || return
    kelvor_wine_loader || return
    kelvor_raise_file_limit
    mkdir -p "$KELVOR_OUT"
    kelvor_build || return
    trap kelvor_cleanup EXIT
    kelvor_display || return
    kelvor_prefix || return
    kelvor_wineserver
}
