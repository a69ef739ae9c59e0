#!/usr/bin/env bash
# The release zip as a Windows user gets it: made by CPack, it holds exactly the
# DLL, the launcher and README.txt; both binaries carry the project's version;
# unpacked into a fresh folder of a Wine prefix made for this test alone, the
# launcher starts from there, shows the window and exits with 0 once it closes.
# A fresh prefix, not the tests' own, so that nothing earlier tests left in it
# (files, registry, running services) can help the package start.
# The folder is named with Polish, Cyrillic and Chinese letters, which no ANSI code
# page spells all of, and holds a uxtheme.dll, as a Downloads folder might: the
# system loads that name by the usual search order when the first window opens,
# and this one (tests/programs/planted_library.cpp) ends the process with 86. (The
# manifest takes comctl32.dll from the side-by-side store whatever the search
# order, so a planted comctl32.dll shows nothing.) Wine loads its own build of a
# library it implements in place of a file of that name; told not to for the
# launcher, it loads the file it finds, as Windows does. So the launcher must find
# kelvor.dll by its wide-character path and keep every system library to the
# system folder (SetDefaultDllDirectories). A program named with such letters runs
# from there, and LIST shows its name and path as the system spells them (the
# launcher's manifest makes UTF-8 its code page). Started without kelvor.dll beside
# it, the launcher says so in a message box and in its error output and exits
# with 2.
set -eEuo pipefail
# A command that fails unchecked names itself before the test ends.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND exited with $?" >&2' ERR
build=${1:?usage: package_test.sh BUILD_DIR PACKAGE_NAME VERSION}
package=${2:?}
version=${3:?}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/packaging/fresh_prefix.sh"
# Wine names files by their UTF-8 bytes only in a UTF-8 locale.
export LC_ALL=C.UTF-8
fresh_work "$build" package-test

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$work/out/$package.zip
[ -f "$zip" ] || fail "$package.zip was not made"
listing=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listing" = "README.txt kelvor-host.exe kelvor.dll " ] || fail "the zip holds [$listing]"

folder_name="Łódź Жук 中文"
child_name="Жук中.exe"
folder=$WINEPREFIX/drive_c/$folder_name
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")
grep -q "KELVOR $version" "$folder/README.txt" || fail "README.txt does not name version $version"
cp "$build/bin/planted_library.dll" "$folder/uxtheme.dll"
# The idle child without an argument waits for ever.
cp "$build/bin/idle_child.exe" "$folder/$child_name"

probe() { wine "$build/bin/kelvor-probe.exe" "$@" >"$work/probe.txt" 2>/dev/null </dev/null && tr -d '\r' <"$work/probe.txt"; }
# Waits up to 30 s for a process to end; false if it still runs.
ended() {
    for _ in $(seq 300); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}
cd "$folder"
for file in kelvor.dll kelvor-host.exe; do
    info=$(probe version "$file") || fail "$file has no version resource"
    for line in "FILEVERSION=$version.0" "FileVersion=$version" "ProductVersion=$version" \
        "ProductName=KELVOR"; do
        grep -qxF "$line" <<<"$info" || fail "$file: no $line in [$info]"
    done
    grep -q '^FileDescription=.' <<<"$info" || fail "$file has no file description"
done

wine "C:\\$folder_name\\$child_name" >"$work/child.log" 2>&1 </dev/null &
child=$!
WINEDLLOVERRIDES=uxtheme=n,b wine kelvor-host.exe >"$work/host.log" 2>&1 </dev/null &
host=$!
window=""
for _ in $(seq 600); do
    window=$(probe window) && break
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || { cat "$work/host.log"; fail "the window did not show"; }
# LIST (again, while the child may still be starting) until the child's row shows
# its name and its path.
row=$(printf '%s\tC:\\%s\\%s' "$child_name" "$folder_name" "$child_name")
listed=0
for _ in $(seq 50); do
    probe click 4 >/dev/null || fail "LIST could not be pressed"
    for _ in $(seq 100); do
        [ "$(probe rows || echo 0)" -gt 0 ] && break
        sleep 0.1
    done
    probe cells >"$work/cells.txt" && grep -qxF "$row" "$work/cells.txt" && listed=1 && break
    sleep 0.2
done
[ $listed = 1 ] || { cat "$work/cells.txt"; fail "no row reads [$row]"; }
kill "$child"
probe close >/dev/null || fail "the window could not be closed"
ended "$host" || fail "kelvor-host did not exit after its window closed"
status=0
wait "$host" || status=$?
[ $status = 0 ] || { cat "$work/host.log"; fail "kelvor-host exited with $status"; }

lonely=$WINEPREFIX/drive_c/without-dll
mkdir -p "$lonely"
cp "$folder/kelvor-host.exe" "$lonely/"
cd "$lonely"
wine kelvor-host.exe >"$work/lonely.log" 2>&1 </dev/null &
host=$!
text=""
for _ in $(seq 300); do
    text=$(probe box KELVOR) && break
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
done
[ -n "$text" ] || { cat "$work/lonely.log"; fail "no message box without kelvor.dll"; }
grep -q "kelvor.dll is missing" <<<"$text" || fail "the message box says [$text]"
probe press KELVOR 1 >/dev/null || fail "the message box's OK could not be pressed"
ended "$host" || fail "kelvor-host did not exit after its message box was answered"
status=0
wait "$host" || status=$?
[ $status = 2 ] || fail "without kelvor.dll kelvor-host exited with $status, not 2"
grep -q "kelvor.dll is missing" "$work/lonely.log" \
    || fail "the error output says [$(cat "$work/lonely.log")]"
echo "$package: contents, versions, start from C:\\$folder_name beside a planted" \
    "uxtheme.dll in a fresh prefix (window at $window), the row of $child_name and the" \
    "message box without kelvor.dll are right"
