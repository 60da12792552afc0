#!/bin/bash
# The demo: installs the sample driver package with the installer under Wine,
# shows what is on the machine, removes it with the uninstaller and shows the
# machine again. The dialogs are driven as a user would (model "KESTREL
# ZEP-4000", port COM1, No to each restart question). Without DISPLAY the
# windows live on a private X server; with DISPLAY set they are shown.
#
#   tests/e2e/demo.sh
#
# Environment: ZEP_X64_BUILD (default build/mingw-x64: the programs run under
# 64-bit Wine), ZEP_X86_BUILD (default build/mingw-x86: the product, laid out
# in dist/), and those of tests/e2e/lib.sh.
set -u
. "$(dirname "$0")/lib.sh"
cd "$E2E_ROOT" || exit 2

say() { printf '\n== %s\n' "$*"; }

say "corrected winspool.drv"
scripts/build-winspool.sh | sed 's/^/   /'

say "dist/: the product (32-bit programs) beside Driver32/ and Driver64/"
x86=$(e2e_abs "${ZEP_X86_BUILD:-build/mingw-x86}")
if [ -f "$x86/CMakeCache.txt" ]; then
    cmake --build "$x86" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package >/dev/null &&
        scripts/make-dist.sh "$x86" dist | sed 's/^/   /'
    ls dist | sed 's/^/   /'
else
    echo "   $x86 is not built (scripts/build.sh mingw-x86): dist/ left as it is"
fi

say "Wine prefix and the 64-bit programs (64-bit Wine runs them natively)"
e2e_init "${ZEP_X64_BUILD:-build/mingw-x64}" demo
e2e_start_prefix demo
echo "   prefix: $RUN_DIR/prefix"
echo "   programs: $RUN_DIR/dist ($( [ -n "${ZEP_XVFB_PID:-}" ] && echo "private X display $DISPLAY" || echo "display $DISPLAY"))"

# The product's lines of the state tool's report; $1: the INF copy's name.
show_state() {
    st report | grep -E 'ZEP|KESTREL|^uninstall' | grep -v '^driver-file' | sed 's/^/   /'
    st files 'C:\windows\ZEP\ZEP_Uninstaller.exe' "C:\\windows\\inf\\$1" 'C:\windows\ZEPMON.dll' |
        sed 's/^/   /'
}

box_text() { cut -f2 <<<"$1"; }

say "installer: KESTREL ZEP-4000 on COM1"
start_installer
if ! install_models 1006 0; then
    echo "   the installer's dialogs did not come (see $RUN_DIR)"
    exit 1
fi
echo "   models: KESTREL ZEP-4000; port: COM1"
box=$(answer 7 120) || { echo "   no restart question"; exit 1; }
echo "   asked: $(box_text "$box" | sed 's/\\n.*//') -> No"
ud wait-text "$E2E_INSTALLER_MAIN" 1003 "Completed." 5 >/dev/null && echo "   status: Completed."
app_wait 30
echo "   installer ended ($APP_RC)"

say "the machine after the installation"
show_state ZEP.inf

say "uninstaller, started from the uninstall entry"
# Windows would have named the INF copy oemN.inf; the uninstaller looks for that name.
oem=$(rename_inf_to_oem)
echo "   (Wine kept the INF copy as ZEP.inf: renamed to $oem.inf, the name Windows gives it)"
start_program 'C:\windows\ZEP\ZEP_Uninstaller.exe' "$RUN_DIR"
if ! ud wait-window "$E2E_UNINSTALLER_MAIN" 30; then
    echo "   no uninstaller window (see $RUN_DIR)"
    exit 1
fi
sleep 0.5
ud list-items "$E2E_UNINSTALLER_MAIN" 1006 | sed 's/^/   listed: /'
ud click "$E2E_UNINSTALLER_MAIN" 1001
echo "   Uninstall pressed"
box=$(answer 7 120) || { echo "   no restart question"; exit 1; }
echo "   asked: $(box_text "$box" | sed 's/\\n.*//') -> No"
app_wait 30
echo "   uninstaller ended ($APP_RC)"

say "the machine after the removal"
show_state "$oem.inf"
echo "   (Wine's DeletePrintProcessorA deletes nothing, so its registration stays;"
echo "    the uninstaller keeps its own copy in C:\\windows\\ZEP, as designed)"

say "trace logs: $(cdrive)/Temp/ZEP_Installer.txt, ZEP_UnInstaller.txt"
