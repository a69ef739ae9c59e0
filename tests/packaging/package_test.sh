#!/usr/bin/env bash
# The release zip as a Windows user gets it: made by CPack, it holds exactly the
# DLL, the launcher and README.txt; both binaries carry the project's version;
# unpacked into a fresh folder of a Wine prefix made for this test alone, the
# launcher starts from there, shows the window and exits with 0 once it closes.
# A fresh prefix, not the tests' own, so that nothing earlier tests left in it
# (files, registry, running services) can help the package start.
set -euo pipefail
build=${1:?usage: package_test.sh BUILD_DIR PACKAGE_NAME VERSION}
package=${2:?}
version=${3:?}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "$build/package-test.XXXXXX")
prefix=$work/prefix
cleanup() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$work/out/$package.zip
[ -f "$zip" ] || fail "$package.zip was not made"
listing=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listing" = "README.txt kelvor-host.exe kelvor.dll " ] || fail "the zip holds [$listing]"

export KELVOR_OUT=$work WINEPREFIX=$prefix
source "$root/scripts/common.sh"
kelvor_settings
kelvor_prefix
folder=$WINEPREFIX/drive_c/$package
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")
grep -q "KELVOR $version" "$folder/README.txt" || fail "README.txt does not name version $version"

probe() { wine "$build/bin/kelvor-probe.exe" "$@" >"$work/probe.txt" 2>/dev/null </dev/null && tr -d '\r' <"$work/probe.txt"; }
for file in kelvor.dll kelvor-host.exe; do
    info=$(probe version "C:\\$package\\$file") || fail "$file has no version resource"
    for line in "FILEVERSION=$version.0" "FileVersion=$version" "ProductVersion=$version" \
        "ProductName=KELVOR"; do
        grep -qxF "$line" <<<"$info" || fail "$file: no $line in [$info]"
    done
    grep -q '^FileDescription=.' <<<"$info" || fail "$file has no file description"
done

cd "$folder"
wine kelvor-host.exe >"$work/host.log" 2>&1 </dev/null &
host=$!
window=""
for _ in $(seq 600); do
    window=$(probe window) && break
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || { cat "$work/host.log"; fail "the window did not show"; }
probe close >/dev/null || fail "the window could not be closed"
for _ in $(seq 300); do
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$host" 2>/dev/null && fail "kelvor-host did not exit after its window closed"
status=0
wait "$host" || status=$?
[ $status = 0 ] || { cat "$work/host.log"; fail "kelvor-host exited with $status"; }
echo "$package: contents, versions and start in a fresh prefix are right (window at $window)"
