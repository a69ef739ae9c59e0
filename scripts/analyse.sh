#!/usr/bin/env bash
# Static analysis, run by the test command (ctest Analysis.SourcesAreCleanAndFormatted):
#   - formatting of every C++ file against the committed .clang-format;
#   - clang-tidy (.clang-tidy) on src/ and host/, with the compile commands of a
#     configured build folder;
#   - cppcheck on src/ and host/.
# Fails on any finding; a false alarm is suppressed in place, with its reason.
# Usage: analyse.sh BUILD_DIR TARGET_TRIPLE (e.g. build/mingw-i686 i686-w64-mingw32)
set -euo pipefail
build=${1:?usage: analyse.sh BUILD_DIR TARGET_TRIPLE}
triple=${2:?usage: analyse.sh BUILD_DIR TARGET_TRIPLE}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0

echo "== clang-format"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || status=1

echo "== clang-tidy"
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json" >&2; exit 1; }
# clang parses for the cross target; the C++ library headers are the cross
# compiler's own, which clang does not find by itself in Debian's layout.
compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$build/compile_commands.json" | head -n 1)
# The compile commands without the code-generation flags of GCC that clang does
# not know (they change no meaning of the code).
commands=$(mktemp -d)
trap 'rm -rf "$commands"' EXIT
sed 's/ -mpreferred-stack-boundary=[0-9]*//g' "$build/compile_commands.json" >"$commands/compile_commands.json"
tidy_args=(--quiet -p "$commands" --extra-arg=--target="$triple")
while read -r folder; do
    tidy_args+=(--extra-arg=-isystem"$folder")
done < <(echo | "$compiler" -xc++ -E -v - 2>&1 | sed -n 's|^ \(/.*/include/c++.*\)$|\1|p')
ls src/*/*.cpp host/*.cpp | xargs -P "$(nproc)" -n 4 clang-tidy "${tidy_args[@]}" 2>/dev/null || status=1

echo "== cppcheck"
cppcheck --quiet --std=c++17 --enable=warning,performance,portability,style --inline-suppr \
    --error-exitcode=1 --suppress=missingIncludeSystem -I src src host || status=1

[ $status = 0 ] && echo "formatting, clang-tidy and cppcheck: clean"
exit $status
