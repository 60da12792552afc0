#!/bin/sh
# Runs every test: host tests and the seam conformance suite against the
# simulated machine, then the Windows builds under Wine (conformance suite,
# dialogs, installation and removal end to end).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh

echo "== host tests"
ctest --preset host

echo "== sanitizers"
./scripts/test-sanitizers.sh

for t in tests/e2e/run-all.sh; do
    [ -x "$t" ] && "$t"
done
echo "== all tests passed"
