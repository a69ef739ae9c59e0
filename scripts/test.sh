#!/usr/bin/env bash
# Builds everything and runs the tests under Wine on a virtual X display.
#
# Without arguments it runs the passes below and fails if any of them fails.
# With arguments it runs one pass, chosen by KELVOR_BITS and KELVOR_WINEARCH
# (default: the 32-bit build in a 64-bit prefix), and hands the arguments to
# ctest (for example -R Report, or -L process).
set -euo pipefail
source "$(dirname "$0")/common.sh"

# Each pass: build bits, prefix, ctest labels ('.' for every test), what it shows.
PASSES=(
    "32 win64 .                   every test of the 32-bit build in a 64-bit prefix (WoW64, as on current Windows)"
    "32 win32 process|frontend|dll the process-layer and front-end tests of the 32-bit build in a 32-bit-only prefix"
    "64 win64 process|frontend|dll the same tests of the 64-bit build in a 64-bit prefix"
)

# One pass in a subshell: its build, display and wineserver go when it ends.
run_pass() {
    local bits=$1 arch=$2
    shift 2
    (
        export KELVOR_BITS=$bits KELVOR_WINEARCH=$arch
        # Chained: the pass runs in an || below, where the shell's -e does not act.
        kelvor_settings && kelvor_prepare && cd "$KELVOR_BUILD" &&
            ctest --output-on-failure --timeout 300 "$@"
    )
}

if [ $# -gt 0 ]; then
    run_pass "${KELVOR_BITS:-32}" "${KELVOR_WINEARCH:-win64}" "$@"
    exit
fi

# A machine whose kernel runs no 32-bit programs cannot run Wine's 32-bit loader,
# so neither pass of the 32-bit build can run there: they are skipped, saying so,
# and the 64-bit pass runs every test in their place.
bash "$KELVOR_ROOT/scripts/setup.sh"
skipped=()
if ! kelvor_runs_32bit; then
    for pass in "${PASSES[@]}"; do
        read -r bits arch labels what <<<"$pass"
        [ "$bits" = 32 ] && skipped+=("$what")
    done
    PASSES=("64 win64 . every test of the 64-bit build in a 64-bit prefix")
fi

failed=()
for pass in "${PASSES[@]}"; do
    read -r bits arch labels what <<<"$pass"
    echo "==== $what"
    args=()
    [ "$labels" = . ] || args=(-L "$labels")
    run_pass "$bits" "$arch" "${args[@]}" || failed+=("$what")
done
# What of the 32-bit build needs no Wine still runs there: it builds, and its DLL's
# tables and size are checked.
if [ ${#skipped[@]} -gt 0 ]; then
    echo "==== the 32-bit build and its DLL's tables and size (no Wine needed)"
    (
        export KELVOR_BITS=32 KELVOR_WINEARCH=win64
        kelvor_settings && kelvor_build >"$KELVOR_OUT/build-mingw-i686.log" 2>&1 &&
            bash "$KELVOR_ROOT/tests/lifecycle/dll_tables.sh" i686-w64-mingw32-objdump \
                "$KELVOR_BUILD/bin/kelvor.dll"
    ) || failed+=("the 32-bit build and its DLL's tables and size")
fi
for what in "${skipped[@]}"; do
    echo "SKIPPED, this machine runs no 32-bit programs (its kernel's 32-bit emulation is off): $what" >&2
done
if [ ${#failed[@]} -gt 0 ]; then
    printf 'FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "all ${#PASSES[@]} passes passed${skipped:+ (${#skipped[@]} skipped: this machine runs no 32-bit programs)}"
