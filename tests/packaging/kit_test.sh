#!/usr/bin/env bash
# The test kit as a Windows user runs it: unpacked into a fresh folder of a Wine
# prefix made for this test alone, named with Polish, Cyrillic and Chinese letters
# (the test programs' manifest makes UTF-8 their code page, so that they find
# their files by such a path too), run-tests.cmd run by Wine's cmd prints PASS
# for every test program in the zip, then "N passed, 0 failed", and exits with 0.
# Run from a folder holding nothing but run-tests.cmd, it reports every program
# as FAIL and exits with 1: a failure is never counted as success.
set -eEuo pipefail
# A command that fails unchecked names itself before the test ends.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND exited with $?" >&2' ERR
zip=${1:?usage: kit_test.sh KIT_ZIP}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/packaging/fresh_prefix.sh"
# Wine names files by their UTF-8 bytes only in a UTF-8 locale.
export LC_ALL=C.UTF-8

[ -f "$zip" ] || fail "$zip was not made"
programs=$(cmake -E tar tf "$zip" | grep -E '_test\.exe$' | LC_ALL=C sort)
count=$(wc -l <<<"$programs")
[ "$count" -gt 0 ] && [ -n "$programs" ] || fail "the kit holds no test programs"

fresh_work "$(dirname "$zip")" kit-test
folder="$WINEPREFIX/drive_c/Testy Łódź Жук 中文"
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")

# Prints run-tests.cmd's output for folder $1 into $work/$2.txt; returns its status.
run_kit() {
    local status=0
    (cd "$1" && wine cmd /c run-tests.cmd >"$work/$2.raw" 2>&1 </dev/null) || status=$?
    tr -d '\r' <"$work/$2.raw" >"$work/$2.txt"
    return $status
}

start=$(date +%s)
status=0
run_kit "$folder" kit || status=$?
seconds=$(($(date +%s) - start))
cat "$work/kit.txt"
[ $status = 0 ] || fail "run-tests.cmd exited with $status"
passes=$(grep -E '^PASS ' "$work/kit.txt" | cut -d' ' -f2 | LC_ALL=C sort)
[ "$passes" = "$programs" ] || fail "PASS lines for [$(echo $passes)], programs [$(echo $programs)]"
[ "$(tail -n 1 "$work/kit.txt")" = "$count passed, 0 failed" ] || fail "the last line is not the count"

empty=$WINEPREFIX/drive_c/empty-kit
mkdir -p "$empty"
cp "$folder/run-tests.cmd" "$empty/"
status=0
run_kit "$empty" empty || status=$?
[ $status = 1 ] || fail "with every program missing run-tests.cmd exited with $status"
[ "$(grep -c '^FAIL .*(missing)$' "$work/empty.txt")" = "$count" ] \
    || fail "missing programs are not each reported: $(cat "$work/empty.txt")"
[ "$(tail -n 1 "$work/empty.txt")" = "0 passed, $count failed" ] || fail "the last line is not the count"
echo "$(basename "$zip"): $count programs passed in ${seconds} s; missing programs fail"
