#!/bin/bash
# The Windows versions: Wine reports the version that HKCU\Software\Wine,
# Version names, and the installer runs on each.
#
# 64-bit Wine, the x86_64 build (fast):
#   nt40     refused: only the box "THE DRIVER CAN NOT BE INSTALLED ON THIS
#            OS.", and the state tool's report is the same before and after;
#   winxp64 vista win2008 win7 win2008r2 win8 win10
#            "KESTREL ZEP-4000" on COM1 is installed (No to the restart
#            question). The log's CheckOS block shows the numbers Wine reports
#            (read again by the state tool in the same prefix, product type
#            included) and they give the expected OS code.
# The trace log does not hold the OS code or the product type: the code is
# derived from the logged numbers and the product type the state tool reads,
# with the programs' table, and compared with os_expected (tests/e2e/product.sh),
# which also says what Wine 8.0 gets wrong about "win7" and "win2008r2".
# The 32-bit programs under win2k, winxp and win7: tests/e2e/wine32.sh.
#
#   tests/e2e/versions.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh (ZEP_E2E_WINE_DIR, ZEP_PRISTINE64, ...).
# ZEP_VERSIONS64: the versions to run (default: all of the above).
# Exits 1 when a case failed, 2 when tools are missing.
set -u
. "$(dirname "$0")/lib.sh"

VERSIONS64=${ZEP_VERSIONS64-nt40 winxp64 vista win2008 win7 win2008r2 win8 win10}

e2e_init "${1:-build/mingw-x64}" versions

COM1=1006
REFUSED="THE DRIVER CAN NOT BE INSTALLED ON THIS OS."

# ---------------------------------------------------------------- 64-bit Wine

case_refused64() {
    begin "nt40 (x86_64 build): only the box \"$REFUSED\", nothing changed"
    e2e_start_prefix v64-nt40
    wine64q reg add 'HKCU\Software\Wine' /v Version /d nt40 /f
    local before after
    before=$(st report --version 'C:\windows\ZEP' 'C:\windows\ZEPMON.dll' 'C:\windows\inf\ZEP.inf')
    start_installer
    expect_box ZEP_Installer 1 "$REFUSED" 60
    app_wait_no_box 30
    expect "exit code" "$APP_RC" 0
    after=$(st report --version 'C:\windows\ZEP' 'C:\windows\ZEPMON.dll' 'C:\windows\inf\ZEP.inf')
    [ "$before" = "$after" ] || fail "the state changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -n 3 | tr '\n' ' ')"
    STATE=$after
    local version
    version=$(grep '^version ' <<<"$STATE")
    expect "version" "$(sed -E 's/^version platform=([0-9]+) major=([0-9]+) minor=([0-9]+) build=[0-9]+ product=([0-9]+)/\1 \2 \3 \4/' <<<"$version")" \
        "$(os_expected nt40 | cut -d' ' -f1-4)"
    # The refusal comes before the worker writes its first line.
    expect "log" "$(installer_log)" ""
    # shellcheck disable=SC2046
    note "os: nt40 reports $(sed -E 's/^version platform=([0-9]+) major=([0-9]+) minor=([0-9]+) build=([0-9]+) product=([0-9]+)/\1 \2.\3 build \4, product type \5/' <<<"$version") -> OS code $(os_code $(sed -E 's/^version platform=([0-9]+) major=([0-9]+) minor=([0-9]+) build=[0-9]+ product=([0-9]+)/\1 \2 \3 \4/' <<<"$version"))"
    finish
}

case_install64() {
    local ver=$1
    begin "$ver (x86_64 build): KESTREL ZEP-4000 on COM1 installed, the CheckOS block shows Wine's version"
    e2e_start_prefix "v64-$ver"
    wine64q reg add 'HKCU\Software\Wine' /v Version /d "$ver" /f
    install_new $COM1 0
    STATE=$(st report --version)
    grep -q '^printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM1:"' <<<"$STATE" ||
        fail "no printer \"KESTREL ZEP-4000\" on COM1:"
    state_has "uninstall view=64 present=1"
    grep -q '^driver env="Windows x64" name="ZEP Character Type"' <<<"$STATE" || fail "no driver for \"Windows x64\""
    local log
    log=$(installer_log)
    grep -q 'AddToWin2K END$' <<<"$log" || fail "the installation did not reach its end"
    check_os_block "$ver" "$log" "$(os_expected "$ver")"
    finish
}

for ver in $VERSIONS64; do
    if [ "$ver" = nt40 ]; then case_refused64; else case_install64 "$ver"; fi
done
e2e_stop_prefix
summary "$E2E_NAME"
