#!/bin/sh
# Lays out the folder a user receives: ZEP_Installer.exe and
# ZEP_Uninstaller.exe beside the driver package folders Driver32/ and
# Driver64/.
#
#   scripts/make-dist.sh <build-dir> <out-dir>
#
# <build-dir> is a Windows build tree (build/mingw-x86 for the product);
# its package target must have run (it makes both package folders). A
# program that is not built yet is reported and left out. Only the four
# entries above are replaced in <out-dir>; nothing else there is touched.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 <build-dir> <out-dir>" >&2
    exit 2
fi
build="$1"
out="$2"
pkg="$build/package"

for d in Driver32 Driver64; do
    if [ ! -f "$pkg/$d/ZEP.inf" ]; then
        echo "make-dist: $pkg/$d is missing or incomplete (build the zep_package target)" >&2
        exit 1
    fi
done

mkdir -p "$out"
for d in Driver32 Driver64; do
    rm -rf "${out:?}/$d"
    cp -R "$pkg/$d" "$out/$d"
done

missing=0
for exe in ZEP_Installer.exe ZEP_Uninstaller.exe; do
    # The shallowest match, should a test tree hold a copy too.
    found=$(find "$build" -type f -name "$exe" ! -path '*/CMakeFiles/*' 2>/dev/null |
            awk -F/ '{ print NF " " $0 }' | sort -n | head -n 1 | cut -d' ' -f2-)
    if [ -n "$found" ]; then
        rm -f "$out/$exe"
        cp "$found" "$out/$exe"
    else
        echo "make-dist: $exe not found under $build (not built yet): left out" >&2
        missing=$((missing + 1))
    fi
done

echo "make-dist: $out ready$( [ $missing -gt 0 ] && echo " ($missing program(s) missing)")"
