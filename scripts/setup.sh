#!/usr/bin/env bash
# Installs what the build, the tests and the analysis need on Debian 12 (run as
# root): only the packages that are missing, each named before it is installed.
# A second run finds everything in place, says nothing and returns at once.
set -euo pipefail

PACKAGES=(
    cmake make git                             # build
    g++-mingw-w64-i686 g++-mingw-w64-x86-64    # cross compilers, both builds
    googletest                                 # GoogleTest's sources, built per build
    wine wine32:i386 wine64                    # 32- and 64-bit prefixes
    xvfb xdotool x11-utils imagemagick         # virtual display, input, screenshots
    clang-format clang-tidy cppcheck           # scripts/analyse.sh
)

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for package in "${PACKAGES[@]}"; do
    have "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
