#!/usr/bin/env bash
# Builds everything and soaks the task manager under Wine: kelvor_soak hosts
# kelvor.dll and drives its real window for CYCLES rounds (default 1000) of LIST,
# select, PAUSE, RESUME and KILL answered No on a child process, then prints the
# host's handles, windows, GDI and USER objects, working set and the committed
# size of the DLL's two heaps, after a warm-up and at the end. It fails when a
# round fails or a count of objects grew. Figures go to build/.../soak.txt.
set -euo pipefail
cycles=${1:-1000}
source "$(dirname "$0")/common.sh"
kelvor_settings
kelvor_prepare
cd "$KELVOR_BUILD/bin"
status=0
wine kelvor_soak.exe "$cycles" >"$KELVOR_BUILD/soak.txt" 2>&1 </dev/null || status=$?
tr -d '\r' <"$KELVOR_BUILD/soak.txt"
exit $status
