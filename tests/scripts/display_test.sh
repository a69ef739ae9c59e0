#!/usr/bin/env bash
# Runs started at the same moment each get an X display of their own: several
# copies of the scripts' display step are released together, and each must end
# up with a display that answers and that no other run got.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=4
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvor-display-test.XXXXXX")
trap 'touch "$work/done"; wait; rm -rf "$work"' EXIT

# Waits (up to 30 s) until the file exists.
await() { for _ in $(seq 3000); do [ -e "$1" ] && return 0; sleep 0.01; done; return 1; }

for run in $(seq $runs); do
    (
        export KELVOR_OUT=$work/$run KELVOR_USE_DISPLAY=0
        mkdir -p "$KELVOR_OUT"
        source "$root/scripts/common.sh"
        kelvor_settings
        trap kelvor_cleanup EXIT
        touch "$work/ready.$run"
        await "$work/go" || exit 1
        if kelvor_display && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
            echo "$DISPLAY" >"$work/tmp.$run" && mv "$work/tmp.$run" "$work/display.$run"
        else
            echo "none" >"$work/tmp.$run" && mv "$work/tmp.$run" "$work/display.$run"
        fi
        # The display is held until every run has reported, so none is handed out twice.
        await "$work/done" || true
    ) &
done

for run in $(seq $runs); do await "$work/ready.$run" || { echo "FAIL: run $run never got ready" >&2; exit 1; }; done
touch "$work/go"
displays=()
for run in $(seq $runs); do
    await "$work/display.$run" || { echo "FAIL: run $run never reported" >&2; exit 1; }
    displays+=("$(cat "$work/display.$run")")
done
echo "displays taken: ${displays[*]}"
distinct=$(printf '%s\n' "${displays[@]}" | grep -v '^none$' | sort -u | wc -l)
if [ "$distinct" != "$runs" ]; then
    echo "FAIL: $runs runs started together got [${displays[*]}]" >&2
    exit 1
fi
