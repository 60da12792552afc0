#!/bin/sh
# Runs every test: host tests and the seam conformance suite against the
# simulated machine, then the Windows builds under Wine (conformance suite,
# dialogs, installation and removal end to end, the Windows versions, and
# the 32-bit programs themselves under emulation).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

# A 32-bit prefix takes well over ten minutes to make under emulation: made
# in the background while the builds and tests below run; the 32-bit steps
# at the end of run-all wait for it.
wine_dir=${ZEP_E2E_WINE_DIR:-build/e2e-wine}
mkdir -p "$wine_dir"
bash -c '. scripts/lib/wine.sh && zep_wine_pristine32 "$1"' prefix32 "$(realpath "$wine_dir")/pristine32" \
    >"$wine_dir/pristine32.log" 2>&1 &

./scripts/build.sh

echo "== host tests"
ctest --preset host

echo "== sanitizers"
./scripts/test-sanitizers.sh

tests/e2e/run-all.sh
echo "== all tests passed"
