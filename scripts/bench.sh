#!/usr/bin/env bash
# Builds everything and runs the benchmarks under Wine: LIST on the real window
# and PAUSE / RESUME of busy processes. Their figures are written to
# build/list_bench.txt and build/pause_bench.txt and printed.
set -euo pipefail
source "$(dirname "$0")/common.sh"
kelvor_prepare
cd "$KELVOR_BUILD/bin"
wine list_bench.exe >"$KELVOR_BUILD/list_bench.txt" 2>&1 </dev/null
cat "$KELVOR_BUILD/list_bench.txt"
echo
wine pause_bench.exe >"$KELVOR_BUILD/pause_bench.txt" 2>&1 </dev/null
cat "$KELVOR_BUILD/pause_bench.txt"
