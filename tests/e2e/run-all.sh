#!/bin/bash
# The end-to-end layer of the test command: the Windows build under Wine.
# Builds the corrected winspool.drv, then runs the seam's conformance suite,
# the winspool check and the package check (each for the x86_64 and the i686
# build), the installer's dialogs, and the
# installation and removal cases and the unattended ones (quiet with no
# display at all, and their convergence from the states a fleet is found
# in), all from one pristine 64-bit prefix and one private X server; then
# the Windows versions and the 32-bit programs (the product) under
# emulation, which need the i686 tree too, and the release kit (the
# programs signed, the batch files). Prints a summary; exits 1 when a step
# failed.
#
#   tests/e2e/run-all.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: ZEP_E2E_WINE_DIR (prefixes and runs; default build/e2e-wine,
# the pristine prefix is its pristine64, made once: about 80 s or more, and
# the pristine 32-bit one its pristine32: about 3 minutes); ZEP_X86_BUILD
# (default build/mingw-x86); ZEP_WINE32_ROUNDS (default "wow64 win32").
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT" || exit 2
BUILD=${1:-build/mingw-x64}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
X86=${ZEP_X86_BUILD:-build/mingw-x86}
case "$X86" in /*) ;; *) X86="$ROOT/$X86" ;; esac
WINE_DIR=${ZEP_E2E_WINE_DIR:-build/e2e-wine}
case "$WINE_DIR" in /*) ;; *) WINE_DIR="$ROOT/$WINE_DIR" ;; esac
. scripts/lib/wine.sh

# Every script below takes its prefixes from here.
export ZEP_E2E_WINE_DIR="$WINE_DIR"
export ZEP_PRISTINE64="$WINE_DIR/pristine64"
export ZEP_CONF_BUILD="$BUILD" ZEP_CONF_WINE="$WINE_DIR"   # conformance: $ZEP_CONF_WINE/pristine64
export ZEP_CHECK_WORK="$WINE_DIR/check"

. tests/e2e/steps.sh
export STEP_EVENTS_DIR="$WINE_DIR/events"

t_all=$(date +%s)
# Every Wine start below has a time limit (scripts/lib/wine.sh); this step
# shows it, and the next that the limit does its job.
step "every Wine start has a time limit" tests/e2e/bounded-check.sh
step "the scripts' reporting under sh and bash" tests/e2e/report-check.sh
step "corrected winspool.drv" scripts/build-winspool.sh || { printf '\n%s' "$STEP_SUMMARY"; exit 1; }
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    echo "run-all: $BUILD is not a configured x86_64 build tree (scripts/build.sh mingw-x64)" >&2
    exit 2
fi
mkdir -p "$WINE_DIR"
build_tools() {  # quiet unless it fails
    cmake --build "$BUILD" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package zep_statetool \
        uidriver zep_framework_tests zep_conformance_win32 zep_winspool_probe zep_package_test \
        >"$WINE_DIR/build.log" 2>&1 || { tail -n 30 "$WINE_DIR/build.log"; return 1; }
}
step "build the programs and test tools" build_tools || { printf '\n%s' "$STEP_SUMMARY"; exit 1; }
export ZEP_E2E_NO_BUILD=1

step "pristine 64-bit prefix" zep_wine_pristine64 "$ZEP_PRISTINE64" || { printf '\n%s' "$STEP_SUMMARY"; exit 1; }
step "time limits of Wine starts (watchdog)" tests/e2e/watchdog.sh "$BUILD"
# One X server for every script (each starts its own only without DISPLAY).
unset DISPLAY
zep_xvfb_start
trap 'zep_xvfb_stop' EXIT

step "seam conformance (Win32 under Wine)" scripts/conformance-wine.sh
step "seam conformance, i686 (32-bit Wine)" env ZEP_CONF_BUILD="$X86" scripts/conformance-wine.sh --x86
step "corrected winspool.drv check" env ZEP_CHECK_X86_BUILD="$X86" tests/e2e/winspool-check.sh "$BUILD"
step "sample package check" package/tests/run.sh "$BUILD"
step "sample package check, i686" package/tests/run.sh "$X86"
step "installer dialogs" tests/e2e/installer-ui.sh "$BUILD"
step "installation end to end" tests/e2e/install.sh "$BUILD"
step "removal end to end" tests/e2e/uninstall.sh "$BUILD"
step "unattended deployment (quiet, passive)" tests/e2e/quiet.sh "$BUILD"
step "unattended runs converge (no display)" tests/e2e/converge.sh "$BUILD"
# The 32-bit programs' PE headers (built here if needed: the x86 tree is not
# run-all's), then the programs beside planted DLLs.
step "import tables of the 32-bit programs" env -u ZEP_E2E_NO_BUILD tests/e2e/imports.sh "$X86"
step "DLL planting" tests/e2e/planting.sh "$BUILD"
# The release kit the deployment recipes use: the programs signed (the i686
# ones checked again), the batch files under Wine's cmd.
step "signed programs and batch files" env -u ZEP_E2E_NO_BUILD ZEP_X86_BUILD="$X86" tests/e2e/deploy-kit.sh "$BUILD"

# The Windows versions Wine can report, the x86_64 build: a few minutes.
step "Windows versions (64-bit Wine)" tests/e2e/versions.sh "$BUILD"
# The product itself, the i686 programs, under 32-bit Wine (qemu): a few
# seconds for every process start with Wine's preloader (scripts/setup.sh),
# both rounds about 5 minutes side by side.
export ZEP_X64_BUILD="$BUILD" ZEP_PRISTINE32="$WINE_DIR/pristine32"
export ZEP_WINE32_ROUNDS="${ZEP_WINE32_ROUNDS:-wow64 win32}"
case "$ZEP_WINE32_ROUNDS" in
    *win32*) step "pristine 32-bit prefix" zep_wine_pristine32 "$ZEP_PRISTINE32" ;;
esac
step "32-bit programs end to end ($ZEP_WINE32_ROUNDS)" tests/e2e/wine32.sh "$X86"

echo
echo "== end-to-end summary ($(( $(date +%s) - t_all )) s)"
printf '%s' "$STEP_SUMMARY"
exit $STEP_FAILED
