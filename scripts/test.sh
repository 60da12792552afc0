#!/bin/sh
# Runs every test: host tests and the seam conformance suite against the
# simulated machine, then the Windows builds under Wine (conformance suite,
# dialogs, installation and removal end to end, the Windows versions, and
# the 32-bit programs themselves under emulation). Ends with the time each
# phase took (docs/performance.md has the figures of a fresh machine).
set -eu
cd "$(dirname "$0")/.."

t_start=$(date +%s)
phases=""
phase_start=$t_start
# phase NAME: the phase that just ended, with its time.
phase() {
    now=$(date +%s)
    phases="$phases$(printf '  %-24s %5d s' "$1" $((now - phase_start)))
"
    phase_start=$now
}
report() {
    status=$?
    echo
    echo "== test command: $(( $(date +%s) - t_start )) s in all$([ $status -eq 0 ] || echo ", failed (exit $status)")"
    printf '%s' "$phases"
}
trap report EXIT

./scripts/setup.sh
phase "setup"

./scripts/build.sh
phase "build"

echo "== host tests"
ctest --preset host
phase "host tests"

echo "== sanitizers"
./scripts/test-sanitizers.sh
phase "sanitizers"

tests/e2e/run-all.sh
phase "end to end under Wine"
echo "== all tests passed"
