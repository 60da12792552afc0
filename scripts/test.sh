#!/bin/sh
# Runs every test: host tests and the seam conformance suite against the
# simulated machine, then the Windows builds under Wine (conformance suite,
# dialogs, installation and removal end to end, the Windows versions, and
# the 32-bit programs themselves under emulation).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

./scripts/build.sh

echo "== host tests"
ctest --preset host

echo "== sanitizers"
./scripts/test-sanitizers.sh

tests/e2e/run-all.sh
echo "== all tests passed"
