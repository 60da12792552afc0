#!/bin/bash
# The product itself under Wine: the i686 ZEP_Installer.exe and
# ZEP_Uninstaller.exe under 32-bit Wine (qemu user emulation), in each kind
# of prefix, checked with the state tool and the trace logs:
#
#   wow64  a 64-bit prefix, a 32-bit program on 64-bit Windows ("Windows x64",
#          the 64-bit registry view, the monitor copy in the Windows folder):
#          install "KESTREL ZEP-4000" on COM1 (No to the restart question),
#          then uninstall everything (No again); then, in a fresh prefix,
#          as a deployment tool runs them: a quiet installation of
#          "KESTREL ZEP-4000" on COM2 and the quiet removal with the
#          entry's QuietUninstallString, each ending with 3010.
#   win32  a 32-bit prefix (WINEARCH=win32: "Windows NT x86", SHDeleteKeyA,
#          the monitor copy in the system folder), one machine for these
#          steps in turn, each under the Windows version Wine reports:
#            winxp  a new installation of "KESTREL ZEP-4000" on COM1; before
#                   Vista the driver's files also go to the Windows folder
#            win2k  the installer again: "KESTREL ZEP-4000(#1)"
#            win7   the installer again: "KESTREL ZEP-4000(#2)"
#            winxp  the uninstaller removes everything; on 32-bit systems
#                   before Vista it deletes the INF copy itself instead of
#                   asking SetupUninstallOEMInf
#          The second and third runs find the driver present (same version),
#          so each is one process start, not a whole installation: under
#          emulation every process start costs seconds, and every spooler
#          restart of the programs three of them.
#
# The two rounds run side by side. The time lines under each case show
# where the time goes.
#
#   tests/e2e/wine32.sh [BUILD32_DIR]      (default: build/mingw-x86)
#
# Environment: see tests/e2e/lib.sh and lib32.sh (ZEP_E2E_WINE_DIR,
# ZEP_PRISTINE64, ZEP_PRISTINE32, ZEP_X64_BUILD, ...). ZEP_WINE32_ROUNDS:
# the rounds to run (default "wow64 win32"); ZEP_WINE32_BUDGET: the time
# budget in seconds (default 1200). Exits 1 when a case failed, 2 when tools are missing.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/lib32.sh"
e2e_init32 "${1:-build/mingw-x86}" wine32

COM1=1006
UMAIN=$E2E_UNINSTALLER_MAIN
# Generous limits for waits that include emulated process starts; they only
# bound a failing run.
START_LIMIT=600
WORK_LIMIT=600

INSTALL_ROUTINES="AddToWin2K SetSystemInfo CheckOS CheckOS SetSystemInfo PrinterDrvExist PrinterDrvExist CopyFilesNeededToAddPrnDrv CopyFilesNeededToAddPrnDrv AddLanguageMonitor AddLanguageMonitor AddPrinterProcessor AddPrinterProcessor AddPrinterDriverToSystem CheckOS CheckOS AddPrinterDriverToSystem AddPrinterToSystem AddPrinterToSystem CopyINFFile CopyINFFile DeleteFilesUsed DeleteFilesUsed RegisterUninstallInfo RegisterUninstallInfo CopyFilesOfUtilities CreateDirectoryWithSA CreateDirectoryWithSA CopyFilesOfUtilities AddToWin2K "
UNINSTALL_ROUTINES="CheckOS CheckOS AddPrinterObjectsToList AddPrinterObjectsToList RemovePrinterObjects RemovePrinterObjects DeleteForms DeleteForms DeletePrinterDrv DeletePrinterDrv DeleteLanguageMonitor DeleteLanguageMonitor DeleteProcessor DeleteProcessor DeleteDriverComponent DeleteDriverComponent DeleteINFFile DeleteINFFile DeleteUninstallationInfo DeleteUninstallationInfo DeleteUninstallInfoFromReg DeleteUninstallInfoFromReg DeleteDirectory DeleteDirectory DeleteProductFolder DeleteProductFolder "

# The machine as each kind of prefix must show it.
set_kind() {
    KIND=$1
    if [ "$KIND" = wow64 ]; then
        ENV_NAME="Windows x64"; ARCH=x64; PKG='.\Driver64\'; PE=pei-x86-64
        WOW64_LINE="The process is running under WOW64."
        MONITOR_COPY='C:\windows\ZEPMON.dll'
        NO_MONITOR_COPY='C:\windows\system32\ZEPMON.dll C:\windows\syswow64\ZEPMON.dll'
        REG_FAILED="MyRegDeleteKeyEx failed"
    else
        ENV_NAME="Windows NT x86"; ARCH=w32x86; PKG='.\Driver32\'; PE=pei-i386
        WOW64_LINE="The process is not running under WOW64."
        MONITOR_COPY='C:\windows\system32\ZEPMON.dll'
        NO_MONITOR_COPY='C:\windows\ZEPMON.dll'
        REG_FAILED="SHDeleteKey failed"
    fi
    DRV="C:\\windows\\system32\\spool\\drivers\\$ARCH"
    PRT="C:\\windows\\system32\\spool\\prtprocs\\$ARCH"
    DRIVER_LINE="driver env=\"$ENV_NAME\" name=\"ZEP Character Type\" version=3 path=\"$DRV\\3\\UNIDRV.DLL\" data=\"$DRV\\3\\ZEP1TE.gpd\" config=\"$DRV\\3\\UNIDRVUI.DLL\" help=\"$DRV\\3\\UNIDRV.HLP\" monitor=\"ZEP Language Monitor\" datatype=\"RAW\""
    PRODUCT_FILES="$MONITOR_COPY $PRT\\ZEPPRO.dll $PRT\\ZEP.ini $DRV\\3\\ZEP1TE.gpd $DRV\\3\\ZEPUI1T.DLL $DRV\\3\\ZEPUI1T.INI $DRV\\3\\ZEP1TE.DLL"
}

# unix_path 'C:\windows\x': the file in the prefix, for checks the Linux
# side can make without a process start.
unix_path() { echo "$(cdrive)/$(echo "${1#C:\\}" | tr '\\' /)"; }

# ---------------------------------------------------------------- install

# set_version VERSION: the version Wine reports to the programs started next
# ("default": Wine's own, Windows 7 workstation).
set_version() {
    st wine-version "$1" >/dev/null || fail "setting the Windows version $1 failed"
    # A process reads the version once, when it starts: the serving state
    # tool starts again, beside the program, to read the new one.
    if [ "$KIND" = win32 ]; then
        serve_stop st
        serve_start st "$STATETOOL32"
    fi
    lap "version $1"
}

# old_system: a 32-bit system before Vista, where the driver's files also go
# to the Windows folder and the INF copy is deleted directly.
old_system() { [ "$KIND" = win32 ] && [ "$(os_expected "$1" | cut -d' ' -f5)" -lt 2007 ]; }

# installer_dialogs: starts the 32-bit installer and chooses
# "KESTREL ZEP-4000" on COM1 in its dialogs; fails the case when one does not come.
installer_dialogs() {
    start_program32 "$RUN_DIR/dist/ZEP_Installer.exe"
    if ! ud wait-window "$E2E_MODELS" $START_LIMIT >/dev/null; then
        fail "no model dialog within $START_LIMIT s"
        return 1
    fi
    lap "start to the model dialog"
    install_models $COM1 0
}

case_install() {
    set_kind "$1"
    local ver=$2
    INSTALLED=""
    begin "$KIND, $ver: the 32-bit installer puts KESTREL ZEP-4000 on COM1 ($ENV_NAME), No to the restart question"
    # The first version is written before the session starts: the state
    # tool would only answer after the session's start-up.
    local first=""
    [ "$ver" = default ] || first=$ver
    e2e_start_prefix32 "$KIND" "$KIND" "$first"
    lap "prefix"
    installer_dialogs || { finish; return; }
    expect_box ZEP_Installer 7 "$E2E_RESTART_Q_INSTALL" $WORK_LIMIT
    app_wait 300
    expect "exit code" "$APP_RC" 0
    lap "installation"

    # shellcheck disable=SC2086
    STATE=$(st report --version $PRODUCT_FILES $NO_MONITOR_COPY 'C:\windows\inf\ZEP.inf' "$UNINSTALLER" $WINDOWS_COPIES)
    lap "state tool"
    state_has "$DRIVER_LINE" 'monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"' \
        "processor-reg env=\"$ENV_NAME\" name=\"ZEP PRINT PROCESSOR\" driver=\"ZEPPRO.dll\""
    grep -q "^printer name=\"KESTREL ZEP-4000\" driver=\"ZEP Character Type\" port=\"COM1:\" processor=\"ZEP PRINT PROCESSOR\" datatype=\"RAW\" attributes=0x00001800 priority=1 " <<<"$STATE" ||
        fail "no printer \"KESTREL ZEP-4000\" on COM1: with the product's driver and print processor"
    if [ "$KIND" = wow64 ]; then
        expect "uninstall entry" "$(grep '^uninstall' <<<"$STATE")" \
            "$(uninstall_entry 64)"$'\n'"uninstall view=32 present=0"
    else
        # One registry view: both flags open the same key.
        expect "uninstall entry" "$(grep '^uninstall' <<<"$STATE")" \
            "$(uninstall_entry 64)"$'\n'"$(uninstall_entry 32)"
    fi
    # shellcheck disable=SC2086
    files_in_state present $PRODUCT_FILES 'C:\windows\inf\ZEP.inf' "$UNINSTALLER"
    # shellcheck disable=SC2086
    files_in_state absent $NO_MONITOR_COPY
    # shellcheck disable=SC2086
    if old_system "$ver"; then files_in_state present $WINDOWS_COPIES; else files_in_state absent $WINDOWS_COPIES; fi
    pe_format "$MONITOR_COPY" "$PE"
    pe_format "$UNINSTALLER" pei-i386

    local log
    log=$(installer_log)
    [ -n "$log" ] || fail "no trace log C:\\Temp\\ZEP_Installer.txt"
    expect "routines" "$(routine_lines <<<"$log" | cut -d' ' -f1 | tr '\n' ' ')" "$INSTALL_ROUTINES"
    grep -qxF -- "$WOW64_LINE" <<<"$(cut -c11- <<<"$log")" || fail "the log lacks \"$WOW64_LINE\""
    grep -qF "ENV : $ENV_NAME, DRV DIR : $PKG " <<<"$log" || fail "the log lacks \"ENV : $ENV_NAME, DRV DIR : $PKG\""
    check_os_block "$ver" "$log" "$(os_expected "$ver")"
    finish
    [ -z "$E2E_ERRORS" ] && INSTALLED=1
}

# case_again VERSION PRINTER: the installer once more on the same machine,
# now under VERSION: it finds the driver of the same version and only adds
# PRINTER.
case_again() {
    local ver=$1 name=$2 p
    begin "$KIND, $ver: the installer again finds the driver and adds \"$name\" on COM1"
    if [ -z "$INSTALLED" ]; then
        fail "needs the installation above"
        finish
        return
    fi
    set_version "$ver"
    wine_note "the language monitor is never asked for the version values, so the state tool sets them"
    while IFS= read -r p; do
        st set-version "$p" 1 1 0 0 >/dev/null || fail "set-version $p failed"
    done < <(sed -n 's/^printer name="\([^"]*\)" driver="ZEP Character Type".*/\1/p' <<<"$STATE")
    installer_dialogs || { finish; return; }
    app_wait_no_box 300
    expect "exit code" "$APP_RC" 0
    lap "installation"
    STATE=$(st report --version)
    grep -qF "printer name=\"$name\" driver=\"ZEP Character Type\" port=\"COM1:\"" <<<"$STATE" ||
        fail "no printer \"$name\" on COM1:"
    local log
    log=$(installer_log)
    grep -q 'ZEP Character Type PRINTER DRIVER EXISTS\.$' <<<"$log" || fail "the driver was not found present"
    grep -q 'AddToWin2K END$' <<<"$log" || fail "the installation did not reach its end"
    check_os_block "$ver" "$log" "$(os_expected "$ver")"
    finish
}

# files_in_state present|absent PATH...: the files as the report in STATE
# shows them.
files_in_state() {
    local want=$1 path line
    shift
    for path in "$@"; do
        line=$(grep -F "file path=\"$path\" " <<<"$STATE")
        case "$want:$line" in
            present:*" exists=1 "*) ;;
            absent:*" exists=0 "*) ;;
            present:*) fail "missing: $path" ;;
            absent:*) fail "still there: $path" ;;
        esac
    done
}

# pe_format PATH FORMAT: the file in the prefix is a PE of that kind
# (pei-i386, pei-x86-64).
pe_format() {
    local got
    got=$(x86_64-w64-mingw32-objdump -f "$(unix_path "$1")" 2>/dev/null | sed -n 's/.*file format //p')
    expect "format of $1" "$got" "$2"
}

# ---------------------------------------------------------------- uninstall

# case_uninstall VERSION LIST: the uninstaller, started from the entry's
# folder under VERSION, lists LIST ("[x] NAME|" each) and removes everything.
case_uninstall() {
    local ver=$1 list=$2
    begin "$KIND, $ver: the 32-bit uninstaller, started from the entry, removes everything, No to the restart question"
    if [ -z "$INSTALLED" ]; then
        fail "needs the installation above"
        finish
        return
    fi
    [ "$ver" = default ] || set_version "$ver"
    local oem
    oem=$(rename_inf_to_oem) || fail "no INF copy ZEP.inf to rename"
    wine_note "SetupCopyOEMInf named the INF copy ZEP.inf: it was renamed to the oemN.inf Windows would have made"
    # A setupapi trace shows which INF removal ran.
    WINEDEBUG=-all,trace+setupapi start_program32 "$UNINSTALLER" "$RUN_DIR"
    if ! ud wait-window "$UMAIN" $START_LIMIT >/dev/null; then
        fail "no uninstaller window within $START_LIMIT s"
        finish
        return
    fi
    lap "start to the window"
    sleep 1
    expect "list" "$(ud list-items "$UMAIN" 1006 | tr '\n' '|')" "$list"
    ud click "$UMAIN" 1001
    expect_box ZEP_Uninstaller 7 "$E2E_RESTART_Q_UNINSTALL" $WORK_LIMIT
    app_wait 300
    expect "exit code" "$APP_RC" 0
    lap "removal"

    # shellcheck disable=SC2086
    STATE=$(st report $PRODUCT_FILES $WINDOWS_COPIES "C:\\windows\\inf\\$oem.inf" "C:\\windows\\inf\\$oem.pnf" 'C:\KESTREL Printer Driver')
    lap "state tool"
    state_lacks '^printer .*driver="ZEP Character Type"' 'name="ZEP Character Type"' \
        '^monitor name="ZEP Language Monitor"' '^uninstall-value' '^form name="[^"]*ZEP'
    state_has "uninstall view=64 present=0" "uninstall view=32 present=0"
    # shellcheck disable=SC2086
    files_in_state absent $PRODUCT_FILES $WINDOWS_COPIES "C:\\windows\\inf\\$oem.inf" "C:\\windows\\inf\\$oem.pnf" 'C:\KESTREL Printer Driver'
    [ -f "$(unix_path "$UNINSTALLER")" ] || fail "the uninstaller deleted itself"
    wine_note "DeletePrintProcessorA is a stub: the print processor stays registered"
    wine_note "DeletePrinterDriverExA refuses DPD_DELETE_UNUSED_FILES (87): the registry fallback removes the driver"

    local log trace="$RUN_DIR/ZEP_Uninstaller.out"
    log=$(uninstaller_log)
    [ -n "$log" ] || fail "no trace log C:\\Temp\\ZEP_UnInstaller.txt"
    expect "routines" "$(routine_lines <<<"$log" | cut -d' ' -f1 | tr '\n' ' ')" "$UNINSTALL_ROUTINES"
    grep -qxF -- "$WOW64_LINE" <<<"$(cut -c11- <<<"$log")" || fail "the log lacks \"$WOW64_LINE\""
    if grep -qF "$REG_FAILED" <<<"$log"; then
        fail "a registry deletion failed: $(grep -F "$REG_FAILED" <<<"$log" | head -n 1 | cut -c11-)"
    fi
    if [ "$KIND" = win32 ]; then
        grep -q "MyRegDeleteKeyEx" <<<"$log" && fail "the 64-bit registry deletion was used on 32-bit Windows"
    fi
    # (Wine traces the opening of each INF, not the listing.)
    grep -q "SetupOpenInfFileW .*\\\\$oem.inf\"" "$trace" || fail "the setupapi trace shows no opening of $oem.inf"
    if old_system "$ver"; then
        grep -q 'SetupUninstallOEMInf' "$trace" && fail "SetupUninstallOEMInf was called on $ver"
        note "the INF copy was deleted directly (no SetupUninstallOEMInf in the setupapi trace)"
    else
        grep -q 'SetupUninstallOEMInf' "$trace" || fail "SetupUninstallOEMInf was not called"
    fi
    finish
}

# ---------------------------------------------------------------- quiet

# case_quiet: the 32-bit programs in quiet mode in a fresh prefix of the
# kind, as a deployment tool runs them. Their whole exit codes come through
# the x86_64 state tool, which starts them.
case_quiet() {
    set_kind "$1"
    begin "$KIND: the 32-bit programs quiet: installation (3010), then the QuietUninstallString (3010)"
    e2e_start_prefix32 "$KIND" "$KIND-quiet"
    lap "prefix"
    run_for_code "$RUN_DIR/dist" 'ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM2' $WORK_LIMIT
    expect "installer's exit code" "$RC" 3010
    lap "quiet installation"
    STATE=$(st report)
    state_has "$DRIVER_LINE"
    grep -q '^printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM2:" ' <<<"$STATE" ||
        fail "no printer \"KESTREL ZEP-4000\" on COM2:"
    expect "uninstall entry" "$(grep '^uninstall' <<<"$STATE")" \
        "$(uninstall_entry 64)"$'\n'"uninstall view=32 present=0"
    local log command
    log=$(installer_log)
    grep -qxF -- "$WOW64_LINE" <<<"$(cut -c11- <<<"$log")" || fail "the log lacks \"$WOW64_LINE\""

    rename_inf_to_oem >/dev/null || fail "no INF copy ZEP.inf to rename"
    command=$(quiet_uninstall_string)
    run_for_code "$RUN_DIR" "$command" $WORK_LIMIT
    expect "uninstaller's exit code" "$RC" 3010
    lap "quiet removal"
    STATE=$(st report)
    state_lacks '^printer .*driver="ZEP Character Type"' 'name="ZEP Character Type"' \
        '^monitor name="ZEP Language Monitor"' '^uninstall-value'
    finish
}

# ---------------------------------------------------------------- rounds

round() {
    case $1 in
        wow64)
            case_install wow64 default
            case_uninstall default "[x] KESTREL ZEP-4000|"
            case_quiet wow64
            ;;
        win32)
            case_install win32 winxp
            case_again win2k "KESTREL ZEP-4000(#1)"
            case_again win7 "KESTREL ZEP-4000(#2)"
            case_uninstall winxp "[x] KESTREL ZEP-4000|[x] KESTREL ZEP-4000(#1)|[x] KESTREL ZEP-4000(#2)|"
            ;;
    esac
    e2e_stop_prefix32
    summary "$E2E_NAME $1"
}

WINDOWS_COPIES='C:\windows\ZEP1TE.dll C:\windows\ZEPUI1T.dll C:\windows\ZEPUI1T.ini C:\windows\ZEP1TE.gpd'
rounds=${ZEP_WINE32_ROUNDS:-wow64 win32}
pids=""
for r in $rounds; do
    (round "$r") >"$WINE_DIR/runs/$E2E_NAME/$r.txt" 2>&1 &
    pids="$pids $!"
done
# The time budget keeps the whole test command well under an hour: past it,
# the prefixes' Wine sessions are ended, so every wait of the rounds fails
# at once and the cases report what they did not get.
budget=${ZEP_WINE32_BUDGET:-1200}
flags="$WINE_DIR/runs/$E2E_NAME"
rm -f "$flags/over-budget" "$flags/rounds-done"
(
    exec >/dev/null 2>&1
    sleep "$budget" &
    wait $!
    # Woken early by the end of the rounds: nothing to do.
    [ -f "$flags/rounds-done" ] && exit 0
    echo "over the time budget of $budget s: the rounds' Wine sessions were ended" >"$flags/over-budget"
    for r in $rounds; do zep_wine_end_session "$flags/$r/prefix"; done
) &
watchdog=$!
status=0
for p in $pids; do wait "$p" || status=1; done
touch "$flags/rounds-done"
pkill -P "$watchdog" sleep 2>/dev/null
wait "$watchdog" 2>/dev/null
for r in $rounds; do cat "$WINE_DIR/runs/$E2E_NAME/$r.txt"; done
if [ -f "$flags/over-budget" ]; then
    echo "FAIL wine32: $(cat "$flags/over-budget")"
    status=1
fi
exit $status
