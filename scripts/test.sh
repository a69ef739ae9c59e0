#!/usr/bin/env bash
# Builds everything and runs the tests under Wine on a virtual X display.
#
# Without arguments it runs three passes and fails if any of them fails:
#   1. every test of the 32-bit build in a 64-bit prefix (WoW64, as on current Windows);
#   2. the process-layer and front-end tests of the 32-bit build in a 32-bit-only prefix;
#   3. the process-layer and front-end tests of the 64-bit build in a 64-bit prefix.
# With arguments it runs one pass, chosen by KELVOR_BITS and KELVOR_WINEARCH
# (default: the 32-bit build in a 64-bit prefix), and hands the arguments to
# ctest (for example -R Report, or -L process).
set -euo pipefail
here=$(dirname "$0")

if [ $# -eq 0 ] && [ -z "${KELVOR_ONE_PASS:-}" ]; then
    failed=()
    run_pass() {
        local name=$1
        shift
        echo "==== $name"
        if ! env KELVOR_ONE_PASS=1 "$@"; then failed+=("$name"); fi
    }
    layers=(-L 'process|frontend|dll')
    run_pass "32-bit build, 64-bit prefix: all tests" \
        KELVOR_BITS=32 KELVOR_WINEARCH=win64 "$here/test.sh"
    run_pass "32-bit build, 32-bit prefix: process and front-end tests" \
        KELVOR_BITS=32 KELVOR_WINEARCH=win32 "$here/test.sh" "${layers[@]}"
    run_pass "64-bit build, 64-bit prefix: process and front-end tests" \
        KELVOR_BITS=64 KELVOR_WINEARCH=win64 "$here/test.sh" "${layers[@]}"
    if [ ${#failed[@]} -gt 0 ]; then
        printf 'FAILED: %s\n' "${failed[@]}" >&2
        exit 1
    fi
    echo "all three passes passed"
    exit 0
fi

source "$here/common.sh"
kelvor_prepare
cd "$KELVOR_BUILD"
ctest --output-on-failure --timeout 300 "$@"
