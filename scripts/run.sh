#!/usr/bin/env bash
# Builds everything and runs the task manager through the launcher under Wine.
# With a display (DISPLAY set) the window opens there. Without one, the program
# runs on a virtual display: LIST is pressed, a screenshot of the window is
# saved and its path printed, and the window is closed.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$KELVOR_ROOT/scripts/setup.sh"
mkdir -p "$KELVOR_BUILD"
kelvor_build
trap kelvor_cleanup EXIT
if [ -n "${DISPLAY:-}" ]; then export KELVOR_USE_DISPLAY=1; fi
kelvor_display
kelvor_prefix
kelvor_wineserver
cd "$KELVOR_BUILD/bin"
status=0
wine kelvor-host.exe </dev/null || status=$?
echo "kelvor-host exited with $status"
exit $status
