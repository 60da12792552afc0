#!/bin/bash
# Removal end to end under Wine: the x86_64 uninstaller (and the installer's
# removal of a different version) on prefixes where the installer has put
# both models of the sample package. The uninstaller is started as the
# system's list of installed programs would start it, from the entry's
# UninstallString. One PASS/FAIL line per case; exits 1 when a case failed,
# 2 when the tools are missing.
#
#   tests/e2e/uninstall.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh (ZEP_E2E_WINE_DIR, ZEP_PRISTINE64, ...).
set -u
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-build/mingw-x64}" uninstall

MAIN=$E2E_UNINSTALLER_MAIN
INSTALLER_MAIN=$E2E_INSTALLER_MAIN
MAKER='C:\KESTREL Printer Driver'
COMPLETED="The uninstallation has been completed."
VK_ESCAPE=27

start_uninstaller() { start_program "$UNINSTALLER" "$RUN_DIR"; }

# Lists the check list as "[x] NAME|..." once the dialog shows it.
list_items() { ud list-items "$MAIN" 1006 | tr '\n' '|'; }

# Everything the product put on the machine is gone; where Wine cannot
# remove a part, what can be seen of the removal is checked instead.
# $1: the INF copy's name without extension; $2: the removing program's log;
# $3: "installer" for the installer's removal of another version.
check_nothing_left() {
    local oem=$1 log=$2 by=${3:-uninstaller}
    STATE=$(st report)
    state_lacks '^printer .*driver="ZEP Character Type"' 'name="ZEP Character Type"' \
        '^monitor name="ZEP Language Monitor"' '^uninstall-value' '^form name="[^"]*ZEP'
    state_has "uninstall view=64 present=0" "uninstall view=32 present=0"
    files_absent 'C:\windows\ZEPMON.dll' "$PRT\\ZEPPRO.dll" "$PRT\\ZEP.ini" \
        "$DRV\\3\\ZEP1TE.gpd" "$DRV\\3\\ZEPUI1T.DLL" "$DRV\\3\\ZEPUI1T.INI" \
        "C:\\windows\\inf\\$oem.inf" "C:\\windows\\inf\\$oem.pnf"
    if [ "$by" = uninstaller ]; then
        files_absent "$DRV\\3\\ZEP1TE.DLL"
    else
        wine_note "the installer leaves the driver's ZEP1TE.DLL to the spooler, which Wine's DeletePrinterDriverExA does not delete (see below)"
    fi

    wine_note "DeletePrintProcessorA is a stub that deletes nothing: the registration stays, so the call's success and the file deletions are checked"
    local processor
    processor=$(sed -n '/DeleteProcessor BEGIN$/,/DeleteProcessor END$/p' <<<"$log")
    [ -n "$processor" ] || fail "no DeleteProcessor in the log"
    grep -q 'DeleteMonitor Error' <<<"$processor" && fail "the print processor's removal reported an error"
    wine_note "DeletePrinterDriverExA refuses DPD_DELETE_UNUSED_FILES (87): the registry fallback removes the driver, and the Unidrv core files that Windows would delete as unused stay"
    grep -q 'MyRegDeleteKeyEx failed : System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers' <<<"$log" &&
        fail "the driver's registry fallback failed"
    wine_note "AddFormA/DeleteFormA and EnumJobsA are stubs: no product forms or queued jobs exist to remove"
}

# ---------------------------------------------------------------- cases

# The product's ".old" files anywhere on drive C: (the copy handler's).
old_files() { (cd "$(cdrive)" && find . -iname '*.old' | grep -i zep); }
# The files queued for the next restart (the REG_MULTI_SZ as reg prints it).
pending_files() {
    zep_wine64 reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
        /v PendingFileRenameOperations </dev/null 2>/dev/null | tr -d '\r'
}

# Both models on COM1, the state every case below starts from. The second
# model's copy finds the language monitor in use (Wine loads it into the
# installer itself), so it is moved aside to ".old" and queued for deletion.
make_base() {
    begin "arrange: a new installation of both models on COM1"
    e2e_start_prefix base
    install_new 1006 0 1
    BASE="$RUN_DIR/prefix"
    BASE_OLD=$(old_files)
    if [ -n "$BASE_OLD" ]; then
        grep -qF 'MOVEFILE_DELAY_UNTIL_REBOOT : C:\windows\ZEPMON.dll.old' <<<"$(installer_log)" ||
            fail "the monitor moved aside was not queued for deletion at the restart"
        grep -qi 'ZEPMON\.dll\.old' <<<"$(pending_files)" || fail "nothing queued for the restart"
    fi
    finish
}

case_restart_after_install() {
    begin "both models installed, then Windows restarts: the monitor moved aside is gone, the new one stays"
    e2e_start_prefix restart-after-install "$BASE"
    [ -n "$BASE_OLD" ] || wine_note "the second model's copy found nothing in use: no \".old\" was made"
    wine_restart || fail "wineboot -r did not end"
    local left
    left=$(old_files)
    [ -z "$left" ] || fail "left behind after the restart: $(echo $left)"
    grep -qi 'ZEPMON' <<<"$(pending_files)" && fail "still queued after the restart"
    files_present 'C:\windows\ZEPMON.dll'
    finish
}

case_partial_then_all() {
    begin "both printers listed checked and sorted; Uninstall follows the checks"
    e2e_start_prefix partial-then-all "$BASE"
    local oem
    oem=$(rename_inf_to_oem) || fail "no INF copy ZEP.inf to rename"
    # The maker's folder, with a tree in its product folder, as a later
    # version of the driver might leave it.
    mkdir -p "$(cdrive)/KESTREL Printer Driver/ZEP/Data"
    echo settings >"$(cdrive)/KESTREL Printer Driver/ZEP/Data/display.ini"
    echo readme >"$(cdrive)/KESTREL Printer Driver/ZEP/readme.txt"
    # Something (a tool, an administrator, an older version) put a subkey
    # under the entry: it must not keep the entry in the list for ever.
    wine64q reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KESTREL Cutomer Display Driver\Extra' \
        /v Note /d 'added by someone' /f
    STATE=$(st uninstall)
    grep -qxF "uninstall-value view=64 name=\"UninstallString\" type=REG_SZ data=\"$UNINSTALLER\"" <<<"$STATE" ||
        fail "the entry does not start $UNINSTALLER"
    state_has 'uninstall-subkey view=64 name="Extra"'
    start_uninstaller
    if ud wait-window "$MAIN" 30; then
        sleep 0.5
        expect "list" "$(list_items)" "[x] KESTREL ZEP-4000|[x] KESTREL ZEP-4100|"
        expect "Uninstall at start" "$(ud is-enabled "$MAIN" 1001)" 1
        expect "Cancel at start" "$(ud is-enabled "$MAIN" 2)" 1
        ud check-item "$MAIN" 1006 0
        expect "Uninstall with one checked" "$(ud is-enabled "$MAIN" 1001)" 1
        ud check-item "$MAIN" 1006 1
        expect "list with none checked" "$(list_items)" "[ ] KESTREL ZEP-4000|[ ] KESTREL ZEP-4100|"
        expect "Uninstall with none checked" "$(ud is-enabled "$MAIN" 1001)" 0
        ud check-item "$MAIN" 1006 0
        expect "Uninstall with the first checked again" "$(ud is-enabled "$MAIN" 1001)" 1
    else
        fail "no uninstaller window \"$MAIN\""
    fi
    finish

    begin "one printer left unchecked: only the other goes; driver, that printer and the entry stay"
    watch_status "$MAIN" 1000 "$RUN_DIR/status-partial.txt"
    ud click "$MAIN" 1001
    ud wait-text "$MAIN" 1000 "$COMPLETED" 30 >/dev/null || fail "no \"$COMPLETED\""
    expect "progress at the end" "$(ud pos "$MAIN" 1002)" 100
    app_wait_no_box 15
    expect "exit code" "$APP_RC" 0
    wait "$WATCH_PID" 2>/dev/null
    local wrong
    wrong=$(statuses "$RUN_DIR/status-partial.txt" "Deleting printer-driver objects..." "$COMPLETED")
    [ -z "$wrong" ] || fail "status line: $wrong"
    STATE=$(st report)
    state_lacks '^printer name="KESTREL ZEP-4000"'
    state_has 'uninstall view=64 present=1' 'monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"'
    grep -q '^printer name="KESTREL ZEP-4100" driver="ZEP Character Type" port="COM1:"' <<<"$STATE" ||
        fail "the unchecked printer is gone"
    grep -q '^driver env="Windows x64" name="ZEP Character Type"' <<<"$STATE" || fail "the driver is gone"
    expect "routines" "$(uninstaller_log | routine_lines | tr '\n' ' ')" \
        "CheckOS BEGIN CheckOS END AddPrinterObjectsToList BEGIN AddPrinterObjectsToList END RemovePrinterObjects BEGIN RemovePrinterObjects END "
    finish

    begin "again with everything checked: all of the product removed, then the restart question"
    wine_note "SetupCopyOEMInf named the INF copy ZEP.inf: it was renamed to the oemN.inf Windows would have made"
    start_uninstaller
    if ud wait-window "$MAIN" 30; then
        sleep 0.5
        expect "list" "$(list_items)" "[x] KESTREL ZEP-4100|"
        watch_status "$MAIN" 1000 "$RUN_DIR/status-all.txt"
        ud click "$MAIN" 1001
        expect_box ZEP_Uninstaller 7 "$E2E_RESTART_Q_UNINSTALL"
        app_wait 10
        expect "exit code after No" "$APP_RC" 0
        wait "$WATCH_PID" 2>/dev/null
        wrong=$(statuses "$RUN_DIR/status-all.txt" "Deleting printer-driver objects..." \
            "Removing printer-drivers..." "Deleting forms..." "?Deleting L/M..." "?Deleting the processor..." \
            "Deleting driver-components..." "?Deleting the INF file..." "$COMPLETED")
        [ -z "$wrong" ] || fail "status line: $wrong"
    else
        fail "no uninstaller window \"$MAIN\""
    fi
    local log
    log=$(uninstaller_log)
    check_nothing_left "$oem" "$log"
    files_absent "$MAKER"
    expect "routines" "$(routine_lines <<<"$log" | tr '\n' ' ')" \
        "CheckOS BEGIN CheckOS END AddPrinterObjectsToList BEGIN AddPrinterObjectsToList END RemovePrinterObjects BEGIN RemovePrinterObjects END DeleteForms BEGIN DeleteForms END DeletePrinterDrv BEGIN DeletePrinterDrv END DeleteLanguageMonitor BEGIN DeleteLanguageMonitor END DeleteProcessor BEGIN DeleteProcessor END DeleteDriverComponent BEGIN DeleteDriverComponent END DeleteINFFile BEGIN DeleteINFFile END DeleteUninstallationInfo BEGIN DeleteUninstallationInfo END DeleteUninstallInfoFromReg BEGIN DeleteUninstallInfoFromReg END DeleteDirectory BEGIN DeleteDirectory END DeleteProductFolder BEGIN DeleteProductFolder END "
    grep -qF "DIRECTORY : C:\\KESTREL Printer Driver\\ZEP" <<<"$log" || fail "the maker's folder is not logged"
    grep -q 'MyRegDeleteKeyEx failed : SOFTWARE' <<<"$log" && fail "the entry (with its subkey) was not deleted"
    # The program cannot delete itself while it runs: its copy and folder go at the restart.
    files_present "$UNINSTALLER"
    grep -qF "MOVEFILE_DELAY_UNTIL_REBOOT : $UNINSTALLER" <<<"$log" || fail "its own copy is not queued"
    finish

    begin "then Windows restarts: no \".old\" file of the product is left, nor the uninstaller"
    if [ -z "$BASE_OLD" ]; then
        wine_note "the second model's copy found nothing in use: no \".old\" was made to remove"
    fi
    local left
    left=$(old_files)
    # Not in use any more, the removal deleted it at once; in use, it queued it.
    [ -n "$left" ] && ! grep -qF "MOVEFILE_DELAY_UNTIL_REBOOT : C:\\windows\\ZEPMON.dll.old" <<<"$log" &&
        fail "left by the removal and not queued: $left"
    wine_restart || fail "wineboot -r did not end"
    left=$(old_files)
    [ -z "$left" ] || fail "left behind after the restart: $(echo $left)"
    files_absent "$UNINSTALLER"
    finish
}

case_no_printer() {
    begin "no printer but the driver: the removal starts by itself; busy, it cannot be closed"
    e2e_start_prefix no-printer "$BASE"
    local oem
    oem=$(rename_inf_to_oem) || fail "no INF copy ZEP.inf to rename"
    st delete-printer "KESTREL ZEP-4000" >/dev/null && st delete-printer "KESTREL ZEP-4100" >/dev/null ||
        fail "could not delete the printers"
    start_uninstaller
    if ud wait-window "$MAIN" 30; then
        watch_status "$MAIN" 1000 "$RUN_DIR/status.txt"
        ud wait-text "$MAIN" 1000 "Removing printer-drivers..." 10 >/dev/null ||
            fail "the removal did not start by itself"
        expect "list" "$(list_items)" ""
        expect "Cancel" "$(ud is-enabled "$MAIN" 2)" 0
        expect "Uninstall" "$(ud is-enabled "$MAIN" 1001)" 0
        ud key "$MAIN" $VK_ESCAPE
        ud close "$MAIN"
        ud wm-close "$MAIN"
        ud wait-window "$MAIN" 0 || fail "Escape or Close ended the busy dialog"
        expect "Close in the system menu" "$(ud sysmenu-has-close "$MAIN")" 0
        expect_box ZEP_Uninstaller 7 "$E2E_RESTART_Q_UNINSTALL"
        app_wait 10
        expect "exit code after No" "$APP_RC" 0
        wait "$WATCH_PID" 2>/dev/null
        local wrong
        wrong=$(statuses "$RUN_DIR/status.txt" "Removing printer-drivers..." "Deleting forms..." \
            "?Deleting L/M..." "?Deleting the processor..." "Deleting driver-components..." \
            "?Deleting the INF file..." "$COMPLETED")
        [ -z "$wrong" ] || fail "status line: $wrong"
    else
        fail "no uninstaller window \"$MAIN\""
    fi
    local log
    log=$(uninstaller_log)
    check_nothing_left "$oem" "$log"
    grep -q 'ZEP Character Type PRINTER DRIVER EXISTS\.$' <<<"$log" || fail "the driver was not found"
    grep -q 'RemovePrinterObjects' <<<"$log" && fail "printers were removed with none listed"
    finish
}

case_nothing_installed() {
    begin "nothing installed: \"The ZEP driver does not exist on this system.\", the left-over entry goes, the program ends"
    e2e_start_prefix nothing
    # An entry left behind by an earlier removal that failed half-way.
    wine64q reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KESTREL Cutomer Display Driver' \
        /v DisplayName /d 'KESTREL Customer Display Windows Driver V1.1.0E' /f
    grep -qxF "uninstall view=64 present=1" <<<"$(st uninstall)" || fail "could not plant the entry"
    start_program "$RUN_DIR/dist/ZEP_Uninstaller.exe"
    expect_box ZEP_Uninstaller 1 "The ZEP driver does not exist on this system."
    app_wait_no_box 10
    expect "exit code" "$APP_RC" 0
    STATE=$(st uninstall)
    state_has "uninstall view=64 present=0" "uninstall view=32 present=0"
    expect "routines" "$(uninstaller_log | routine_lines | tr '\n' ' ')" \
        "CheckOS BEGIN CheckOS END AddPrinterObjectsToList BEGIN AddPrinterObjectsToList END PrinterDrvExist BEGIN PrinterDrvExist END DeleteUninstallInfoFromReg BEGIN DeleteUninstallInfoFromReg END "
    finish
}

case_installer_older_version() {
    begin "installer finding version 1.0.0.0: notice, removal, restart message, restart request, end"
    e2e_start_prefix older-version "$BASE"
    local oem
    oem=$(rename_inf_to_oem) || fail "no INF copy ZEP.inf to rename"
    st set-version "KESTREL ZEP-4000" 1 0 0 0 >/dev/null || fail "set-version failed"
    start_installer
    if ud wait-window "$INSTALLER_MAIN" 30; then
        watch_status "$INSTALLER_MAIN" 1003 "$RUN_DIR/status.txt"
        # A top-level window of our own receives what a restart request sends to every program.
        (zep_wine64 "$UIDRIVER" wait-endsession 120 </dev/null >"$RUN_DIR/endsession.txt" 2>&1) &
        local listener=$!
        local i=0
        while [ $i -lt 100 ] && ! grep -q listening "$RUN_DIR/endsession.txt"; do sleep 0.1; i=$((i + 1)); done
        expect_box ZEP_Installer 1 'There is a different version driver in this system.\r\n\r\nThe installed driver will be removed.'
        expect_box ZEP_Installer 1 'The installer has successfully removed the different version.\nNow it is going to restart your computer to take effect.\nAfter restarting, you may reinstall the driver again.'
        wine_note "ExitWindowsEx ends the calling process at once and asks every program to end its session; the machine does not restart"
        app_wait 15
        [ "$APP_RC" = running ] && fail "the installer did not end"
        wait "$listener" 2>/dev/null
        grep -q '^query-end-session' "$RUN_DIR/endsession.txt" || fail "no restart request reached the other programs"
        wait "$WATCH_PID" 2>/dev/null
        local wrong
        # "Deleting printer-objects..." is followed at once by the next text: too brief to see by polling.
        wrong=$(statuses "$RUN_DIR/status.txt" "?Deleting printer-objects..." "Removing printer-driver..." "$COMPLETED")
        [ -z "$wrong" ] || fail "status line: $wrong"
    else
        fail "no installer window"
    fi
    local log
    log=$(installer_log)
    check_nothing_left "$oem" "$log" installer
    grep -q 'AddToWin2K' <<<"$log" && fail "the installation ran after the removal"
    finish
}

make_base
if [ -n "${BASE:-}" ] && [ -z "$E2E_ERRORS" ]; then
    case_partial_then_all
    case_restart_after_install
    case_no_printer
    case_installer_older_version
fi
case_nothing_installed
summary "$E2E_NAME"
