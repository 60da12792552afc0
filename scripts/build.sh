#!/bin/sh
# Builds the host tests and both Windows builds (x86: the product; x64: for
# fast tests under 64-bit Wine). Pass preset names to build only those.
set -eu
cd "$(dirname "$0")/.."
presets="${*:-host mingw-x86 mingw-x64}"
for p in $presets; do
    echo "== build $p"
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p"
done
