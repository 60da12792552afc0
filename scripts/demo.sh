#!/bin/sh
# The main job: build everything, then install the sample driver package with
# the installer under Wine and remove it again with the uninstaller, printing
# what is on the machine after each.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
exec tests/e2e/demo.sh
