#!/usr/bin/env bash
# Builds everything and runs the LIST benchmark on the real window under Wine.
# Its figures are written to build/list_bench.txt and printed.
set -euo pipefail
source "$(dirname "$0")/common.sh"
kelvor_prepare
cd "$KELVOR_BUILD/bin"
wine list_bench.exe >"$KELVOR_BUILD/list_bench.txt" 2>&1 </dev/null
cat "$KELVOR_BUILD/list_bench.txt"
