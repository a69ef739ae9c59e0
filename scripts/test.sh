#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a virtual X display.
# Extra arguments go to ctest (for example -R Report to run a subset).
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$KELVOR_ROOT/scripts/setup.sh"
mkdir -p "$KELVOR_BUILD"
kelvor_build
trap kelvor_cleanup EXIT
kelvor_display
kelvor_prefix
kelvor_wineserver
cd "$KELVOR_BUILD"
ctest --output-on-failure --timeout 300 "$@"
