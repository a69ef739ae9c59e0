#!/usr/bin/env bash
# Builds everything and runs the task manager through the launcher under Wine.
# With a display (DISPLAY set) the window opens there and the script returns
# when it is closed. Without one, the program runs on a virtual display: LIST is
# pressed, a screenshot of the window is saved (its path is printed) and the
# window is closed.
set -euo pipefail
source "$(dirname "$0")/common.sh"
kelvor_settings
interactive=0
if [ -n "${DISPLAY:-}" ]; then
    export KELVOR_USE_DISPLAY=1
    interactive=1
fi
kelvor_prepare
cd "$KELVOR_BUILD/bin"

if [ $interactive = 1 ]; then
    status=0
    wine kelvor-host.exe </dev/null || status=$?
    echo "kelvor-host exited with $status"
    exit $status
fi

probe() { wine kelvor-probe.exe "$@" >"$KELVOR_BUILD/probe.txt" 2>/dev/null </dev/null && tr -d "\r" <"$KELVOR_BUILD/probe.txt"; }
centre() { read -r x y w h <<<"$1"; echo "$((x + w / 2)) $((y + h / 2))"; }

wine kelvor-host.exe >"$KELVOR_BUILD/host.log" 2>&1 </dev/null &
host=$!
window=""
for _ in $(seq 100); do
    window=$(probe window) && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the task manager window did not open" >&2; exit 1; }
echo "window open at (x y width height): $window"

# Press LIST with a real click and let the list fill.
read -r bx by <<<"$(centre "$(probe button 4)")"
xdotool mousemove "$bx" "$by" click 1
rows=0
for _ in $(seq 100); do
    rows=$(probe rows || echo 0)
    [ "$rows" -gt 0 ] && break
    sleep 0.1
done
echo "LIST filled the list with $rows processes"
sleep 0.5 # let the window finish painting

shot="$KELVOR_BUILD/kelvor-window.png"
read -r x y w h <<<"$window"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"
echo "screenshot of the window after LIST: $shot"

probe close >/dev/null
status=0
wait $host || status=$?
echo "kelvor-host exited with $status"
exit $status
