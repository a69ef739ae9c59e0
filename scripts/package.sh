#!/usr/bin/env bash
# Builds kelvor.dll and kelvor-host.exe of both builds and makes the release
# packages build/packages/kelvor-<version>-win32.zip and kelvor-<version>-win64.zip
# with CPack's ZIP generator (what `cmake --build BUILD --target package` does,
# without building the tests first). It also builds the test programs and makes
# the test kits kelvor-<version>-tests-win32.zip and -tests-win64.zip there: the
# test programs, their child programs, kelvor.dll and run-tests.cmd, which runs
# them all on Windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
out=${KELVOR_OUT:-$root/build}/packages
mkdir -p "$out"
rm -f "$out"/kelvor-*.zip
for bits in 32 64; do
    (
        export KELVOR_BITS=$bits
        source "$root/scripts/common.sh"
        kelvor_settings
        kelvor_configure
        cmake --build "$KELVOR_BUILD" -j "$(nproc)" --target kelvor kelvor-host >"$KELVOR_BUILD/package-build.log" 2>&1 \
            || { cat "$KELVOR_BUILD/package-build.log"; exit 1; }
        cpack -G ZIP --config "$KELVOR_BUILD/CPackConfig.cmake" -B "$out" >"$KELVOR_BUILD/cpack.log" 2>&1 \
            || { cat "$KELVOR_BUILD/cpack.log"; exit 1; }
        cmake --build "$KELVOR_BUILD" -j "$(nproc)" --target test_kit >"$KELVOR_BUILD/kit-build.log" 2>&1 \
            || { cat "$KELVOR_BUILD/kit-build.log"; exit 1; }
        version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$KELVOR_BUILD/CPackConfig.cmake")
        arch=$([ "$bits" = 32 ] && echo win32 || echo win64)
        cp "$KELVOR_BUILD/kelvor-$version-tests-$arch.zip" "$out/"
    )
done
rm -rf "$out/_CPack_Packages"
for zip in "$out"/kelvor-*.zip; do
    echo "$zip:"
    cmake -E tar tvf "$zip"
done
