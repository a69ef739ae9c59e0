#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a virtual X display.
# Extra arguments go to ctest (for example -R Report to run a subset).
set -euo pipefail
source "$(dirname "$0")/common.sh"
kelvor_prepare
cd "$KELVOR_BUILD"
ctest --output-on-failure --timeout 300 "$@"
