#!/bin/sh
# The host tests under the sanitizers: all of them (with the seam
# conformance cases) under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the threaded ones, where the worker and the user-interface thread run
# at once, under ThreadSanitizer. Any report fails the run.
set -eu
cd "$(dirname "$0")/.."

for preset in asan tsan; do
    echo "== host tests under $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
