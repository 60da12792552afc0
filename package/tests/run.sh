#!/bin/sh
# Runs zep_package_test under 64-bit Wine on the package folders of a build.
#
#   package/tests/run.sh [BUILD_DIR]
#
# BUILD_DIR: a configured mingw build tree (default build/mingw-x64); its
# zep_package and zep_package_test targets are built. An x64 tree checks
# Driver64; an x86 tree checks Driver32 (32-bit Wine under qemu).
# ZEP_CHECK_WORK and ZEP_PRISTINE64 as in tests/e2e/winspool-check.sh.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
E2E_ROOT=$root
. "$root/tests/e2e/report.sh"   # e2e_abs
build=$(e2e_abs "${1:-build/mingw-x64}")
work=$(e2e_abs "${ZEP_CHECK_WORK:-build/wine/check}")
pristine=$(e2e_abs "${ZEP_PRISTINE64:-$work/pristine64}")

. "$root/scripts/lib/wine.sh"

cmake --build "$build" --target zep_package zep_package_test -j2 >/dev/null
test_exe="$build/package/zep_package_test.exe"
if x86_64-w64-mingw32-objdump -f "$test_exe" | grep -q 'x86-64'; then
    folder=Driver64
else
    folder=Driver32
fi

mkdir -p "$work"
zep_wine_pristine64 "$pristine"
prefix="$work/package-test"
zep_wine_clone "$pristine" "$prefix"
(
    zep_wine_use64 "$prefix"
    if [ "$folder" = Driver32 ]; then
        export QEMU_RESERVED_VA=0xf7000000
        ZEP_WINE_BIN=$ZEP_WINE32
    fi
    # The session's server is started by us (scripts/lib/wine.sh,
    # _zep_wine_make_prefix, says why); zep_wine_stop ends it.
    zep_wineserver -p </dev/null >/dev/null 2>&1
    set +e
    zep_wine "$test_exe" "Z:$(echo "$build/package/$folder" | tr / '\\')"
    rc=$?
    zep_wine_stop
    exit $rc
)
