#!/usr/bin/env bash
# Builds everything and runs the benchmarks under Wine:
#   - LIST on the real window against the bare process queries its rows need;
#   - PAUSE / RESUME of busy processes;
#   - start-up, LoadLibrary of kelvor.dll to its window, against a bare window;
#   - the size of kelvor.dll in both builds (the other build's DLL is built too).
# The figures are written to build/.../bench.txt and printed.
set -euo pipefail
here=$(dirname "$0")
source "$here/common.sh"
kelvor_settings
kelvor_prepare
out=$KELVOR_BUILD/bench.txt
: >"$out"
cd "$KELVOR_BUILD/bin"
for bench in list_bench pause_bench startup_bench; do
    echo "== $bench ($KELVOR_BITS-bit build)" >>"$out"
    wine "$bench.exe" >"$KELVOR_BUILD/$bench.txt" 2>&1 </dev/null
    tr -d '\r' <"$KELVOR_BUILD/$bench.txt" >>"$out"
done

echo "== size of kelvor.dll (limit for the 32-bit build: 40 KiB)" >>"$out"
for bits in 32 64; do
    dll=$(
        KELVOR_BITS=$bits KELVOR_WINEARCH=win64
        kelvor_settings
        if [ ! -f "$KELVOR_BUILD/CMakeCache.txt" ]; then kelvor_configure; fi
        cmake --build "$KELVOR_BUILD" --target kelvor >"$KELVOR_BUILD/bench-size-build.log" 2>&1 \
            || { cat "$KELVOR_BUILD/bench-size-build.log" >&2; exit 1; }
        echo "$KELVOR_BUILD/bin/kelvor.dll"
    )
    bytes=$(stat -c %s "$dll")
    awk -v bits="$bits" -v bytes="$bytes" 'BEGIN {
        printf "%s-bit kelvor.dll: %6d bytes (%.1f KiB; ratio to 40 KiB %.2f)\n",
            bits, bytes, bytes / 1024, bytes / 40960 }' >>"$out"
done
cat "$out"
