#!/bin/sh
# Runs every test: host tests and the seam conformance suite against the
# simulated machine, then the Windows builds under Wine (conformance suite,
# dialogs, installation and removal end to end, the Windows versions, and
# the 32-bit programs themselves under emulation).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

# With ZEP_WINE32_ROUNDS="wow64 win32" the end-to-end layer also runs the
# 32-bit programs in a 32-bit prefix. Making that prefix takes well over ten
# minutes under emulation: it is made in the background while the builds
# and tests below run, and the 32-bit steps at the end wait for it.
case "${ZEP_WINE32_ROUNDS:-}" in
    *win32*)
        wine_dir=${ZEP_E2E_WINE_DIR:-build/e2e-wine}
        mkdir -p "$wine_dir"
        bash -c '. scripts/lib/wine.sh && zep_wine_pristine32 "$1"' prefix32 "$(realpath "$wine_dir")/pristine32" \
            >"$wine_dir/pristine32.log" 2>&1 &
        ;;
esac

./scripts/build.sh

echo "== host tests"
ctest --preset host

echo "== sanitizers"
./scripts/test-sanitizers.sh

tests/e2e/run-all.sh
echo "== all tests passed"
