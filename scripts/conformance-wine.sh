#!/bin/sh
# Runs the conformance suite against the real Win32 calls under Wine.
#
#   scripts/conformance-wine.sh [--x86] [gtest options...]
#
# Default: the x86_64 build under 64-bit Wine (fast). --x86: the i686 build
# (the product's bitness) under 32-bit Wine in a 64-bit prefix, through qemu;
# slower (seconds per process start).
#
# Environment: ZEP_CONF_BUILD   build folder (default build/mingw-x64 or
#                                build/mingw-x86); built when the program is missing
#              ZEP_CONF_WINE    folder for the prefixes (default build/wine)
# The exit status is the suite's.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

arch=x64
if [ "${1:-}" = "--x86" ]; then
    arch=x86
    shift
fi

build="${ZEP_CONF_BUILD:-$root/build/mingw-$arch}"
winedir="${ZEP_CONF_WINE:-$root/build/wine}"
exe="$build/tests/conformance/zep_conformance_win32.exe"

if [ ! -f "$exe" ]; then
    echo "== building zep_conformance_win32 ($arch) in $build"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    fi
    cmake --build "$build" --target zep_conformance_win32 -j2
fi

# Only the always-present system DLLs may be imported; the rest, and what
# older Windows lacks, are looked up at run time.
case $arch in x86) objdump=i686-w64-mingw32-objdump ;; *) objdump=x86_64-w64-mingw32-objdump ;; esac
imports=$("$objdump" -p "$exe" | sed -n '/Import Tables/,/PE File Base Relocations/p')
bad=$(printf '%s\n' "$imports" | grep -iE 'DLL Name: (winspool|setupapi|shlwapi)|\b(IsWow64Process|RegDeleteKeyExA|GetSystemWow64DirectoryA|SetupUninstallOEMInfA)\b' || true)
if [ -n "$bad" ]; then
    echo "conformance: forbidden imports in $exe:" >&2
    printf '%s\n' "$bad" >&2
    exit 1
fi

. "$root/scripts/lib/wine.sh"

# One pristine 64-bit prefix (about 80 s to make), a fresh copy per run.
echo "== prefix"
zep_wine_pristine64 "$winedir/pristine64"
prefix="$winedir/conformance-$arch"
zep_wine_clone "$winedir/pristine64" "$prefix"

if [ "$arch" = x86 ]; then
    zep_wine_use32 "$prefix"
else
    zep_wine_use64 "$prefix"
fi
# The session's server is started by us (scripts/lib/wine.sh,
# _zep_wine_make_prefix, says why); zep_wine_stop ends it.
zep_wineserver -p </dev/null >/dev/null 2>&1
# The program runs from a copy inside the prefix, away from the build folder.
cp "$exe" "$prefix/drive_c/zep_conformance_win32.exe"

echo "== running ($arch)"
status=0
out="$winedir/conformance-$arch.out"
zep_wine 'C:\zep_conformance_win32.exe' "$@" >"$out" 2>&1 || status=$?
cat "$out"
zep_wine_stop
rm -rf "$prefix"
# A program whose session was ended from outside exits with 0 too: only a
# run that got to GoogleTest's summary counts.
if [ $status -eq 0 ] && ! grep -q '^\[  PASSED  \]' "$out"; then
    echo "conformance ($arch): the program ended before its summary" >&2
    status=1
fi
echo "== conformance ($arch): exit status $status"
exit $status
