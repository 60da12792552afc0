#!/bin/bash
# Unattended deployment end to end under 64-bit Wine (the x86_64 build), as
# a deployment tool runs the programs. The quiet cases run with no X
# display at all (DISPLAY unset, no Xvfb): a program that tried to make a
# window would fail there, and Wine says so ("nodrv_CreateWindow"), which
# the cases look for. Exit codes are read whole through the state tool.
#
#   no display  quiet installation of both models on COM3 (3010), the same
#               again (0, nothing added), each unusable command line (87,
#               nothing changed), quiet removal from the entry's
#               QuietUninstallString (3010, everything gone), once more
#               (1605); two installers at once (one gets 1618); a different
#               version installed (removed, 3010, nothing new)
#   Xvfb        passive installation and removal: only the main window
#               shows, no wizard and no box, and each ends by itself
#
#   tests/e2e/quiet.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh. One PASS/FAIL line per case; exits 1
# when a case failed, 2 when the tools are missing.
set -u
. "$(dirname "$0")/lib.sh"
# shellcheck disable=SC2034  # read by e2e_init (lib.sh)
E2E_HEADLESS=1
e2e_init "${1:-build/mingw-x64}" quiet

MAIN=$E2E_INSTALLER_MAIN
UMAIN=$E2E_UNINSTALLER_MAIN
UNINSTALLER='C:\windows\ZEP\ZEP_Uninstaller.exe'
BOTH='/model "KESTREL ZEP-4000" /model "kestrel zep-4100" /port com3:'
INSTALL_BOTH="ZEP_Installer.exe /quiet $BOTH"
INSTALL_ONE='ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM1'
DRV='C:\windows\system32\spool\drivers\x64'
PRT='C:\windows\system32\spool\prtprocs\x64'
DRIVER_LINE="driver env=\"Windows x64\" name=\"ZEP Character Type\" version=3 path=\"$DRV\\3\\UNIDRV.DLL\" data=\"$DRV\\3\\ZEP1TE.gpd\" config=\"$DRV\\3\\UNIDRVUI.DLL\" help=\"$DRV\\3\\UNIDRV.HLP\" monitor=\"ZEP Language Monitor\" datatype=\"RAW\""
MONITOR_LINE='monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"'
PRODUCT_FILES="C:\\windows\\ZEPMON.dll $PRT\\ZEPPRO.dll $PRT\\ZEP.ini $DRV\\3\\ZEP1TE.gpd $DRV\\3\\ZEPUI1T.DLL"
RESTART_NO=' -> No (/norestart)'
# A box text as the tests write it ("\n" for a line break) as the log has it.
one_line() { sed -E 's/(\\[rn])+/ /g' <<<"$1"; }

# printer_line MODEL PORT: the start of the printer's line as created.
printer_line() {
    echo "printer name=\"$1\" driver=\"ZEP Character Type\" port=\"$2\" processor=\"ZEP PRINT PROCESSOR\" datatype=\"RAW\" attributes=0x00001800 priority=1 "
}
product_printers() { grep -c '^printer .*driver="ZEP Character Type"' <<<"$STATE"; }

# Fails the case when a program tried to make a window since the last call.
no_window() {
    local made
    made=$(made_window)
    [ -n "$made" ] && fail "a program tried to make a window: $made"
    if [ -f "$RUN_DIR/programs.err" ]; then
        cat "$RUN_DIR/programs.err" >>"$RUN_DIR/programs.err.seen"
        rm -f "$RUN_DIR/programs.err"
    fi
    return 0
}

# log_has LOG LINE...: each LINE is a whole line of the log (time stamps cut).
log_has() {
    local log=$1 line
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$(cut -c11- <<<"$log")" || fail "the log lacks: $line"
    done
}

# spooler_waited LOG: every wait for the spooler service ended on its state,
# none at its bound or without the service to ask.
spooler_waited() {
    local lines
    lines=$(grep -E 'net (stop|start) spooler : |QueryServiceStatusEx failed|WaitForProcessExit failed' <<<"$1")
    [ -z "$lines" ] || fail "a wait for the spooler did not end on its state: $(head -n 1 <<<"$lines")"
}

# ---------------------------------------------------------------- no display

case_quiet_install() {
    begin "no display: quiet installation of both models on COM3: 3010, no window, the state of an interactive run"
    e2e_start_prefix quiet
    INSTALLED=""
    # The check itself: the interactive installer makes its window at once,
    # and with no display Wine refuses it and says so.
    run_for_code "$RUN_DIR/dist" "ZEP_Installer.exe" 60
    [ -n "$(made_window)" ] || fail "the window check missed the interactive installer's window"
    rm -f "$RUN_DIR/programs.err"
    run_for_code "$RUN_DIR/dist" "$INSTALL_BOTH"
    expect "exit code" "$RC" 3010
    no_window
    STATE=$(st report)
    state_has "$DRIVER_LINE" "$MONITOR_LINE" \
        'processor-reg env="Windows x64" name="ZEP PRINT PROCESSOR" driver="ZEPPRO.dll"'
    local model
    for model in "KESTREL ZEP-4000" "KESTREL ZEP-4100"; do
        grep -qF "$(printer_line "$model" COM3:)" <<<"$STATE" || fail "no printer \"$model\" on COM3:"
    done
    expect "printers of the driver" "$(product_printers)" 2
    expect "uninstall entry" "$(grep '^uninstall' <<<"$STATE")" \
        "$(uninstall_entry 64)"$'\n'"uninstall view=32 present=0"
    # shellcheck disable=SC2086
    files_present $PRODUCT_FILES "$UNINSTALLER" 'C:\windows\inf\ZEP.inf'

    local log
    log=$(installer_log)
    log_has "$log" "DIALOG : Select ZEP Model -> KESTREL ZEP-4000, KESTREL ZEP-4100" \
        "DIALOG : Select Port Type -> COM3" \
        "QUESTION : $(one_line "$E2E_RESTART_Q_INSTALL")$RESTART_NO" "AddToWin2K END"
    expect "printer creations" "$(grep -c 'AddPrinterToSystem END$' <<<"$log")" 2
    spooler_waited "$log"
    finish
    [ -z "$E2E_ERRORS" ] && INSTALLED=1
}

# needs_install: the cases below work on the installation above.
needs_install() {
    [ -n "${INSTALLED:-}" ] && return 0
    fail "needs the quiet installation above"
    finish
    return 1
}

case_quiet_again() {
    begin "no display: the same command line again: 0, nothing added"
    needs_install || return
    wine_note "the language monitor is never asked for the version values, so the state tool sets them"
    local p before
    for p in "KESTREL ZEP-4000" "KESTREL ZEP-4100"; do
        st set-version "$p" 1 1 0 0 >/dev/null || fail "set-version $p failed"
    done
    before=$(st report)
    run_for_code "$RUN_DIR/dist" "$INSTALL_BOTH"
    expect "exit code" "$RC" 0
    no_window
    STATE=$(st report)
    [ "$STATE" = "$before" ] || fail "the state changed: $(diff <(echo "$before") <(echo "$STATE") | head -n 3 | tr '\n' ' ')"
    log_has "$(installer_log)" "PRINTER ALREADY INSTALLED : KESTREL ZEP-4000 on COM3:" \
        "PRINTER ALREADY INSTALLED : KESTREL ZEP-4100 on COM3:"
    finish
}

# refused DIR COMMAND-LINE PROBLEM: the command line ends with 87 and the
# program's log names the problem.
refused() {
    local log
    run_for_code "$1" "$2"
    expect "exit code of $2" "$RC" 87
    case $2 in
        *ZEP_Uninstaller*) log=$(uninstaller_log) ;;
        *) log=$(installer_log) ;;
    esac
    grep -qF "COMMAND LINE ERROR : $3" <<<"$log" || fail "$2: the log lacks \"COMMAND LINE ERROR : $3\""
}

case_bad_command_lines() {
    begin "no display: every unusable command line: 87, one log line, nothing changed"
    needs_install || return
    local before dist="$RUN_DIR/dist" u="$UNINSTALLER"
    before=$(st report)
    refused "$dist" 'ZEP_Installer.exe /quiet /frobnicate' 'unknown switch "/frobnicate"'
    refused "$dist" 'ZEP_Installer.exe /quiet /port COM3 /model' '/model needs a value'
    refused "$dist" 'ZEP_Installer.exe /quiet /model "" /port COM3' '/model has an empty value'
    refused "$dist" 'ZEP_Installer.exe /quiet /model "KESTREL ZEP-5000" /port COM3' 'unknown model "KESTREL ZEP-5000"'
    refused "$dist" 'ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM9' 'port "COM9" is not one of COM1 to COM8'
    refused "$dist" "ZEP_Installer.exe /quiet /passive $BOTH" '/quiet and /passive together'
    refused "$dist" "ZEP_Installer.exe /quiet /norestart /forcerestart $BOTH" '/norestart and /forcerestart together'
    refused "$dist" 'ZEP_Installer.exe /quiet /port COM3' '/model is required with /quiet or /passive'
    refused "$RUN_DIR" "$u /quiet /model \"KESTREL ZEP-4000\"" '/model is a switch of the installer'
    refused "$RUN_DIR" "$u /quiet /port COM3" '/port is a switch of the installer'
    refused "$RUN_DIR" "$u /quiet /printer \"KESTREL ZEP-4000\" /printer Nobody" '"Nobody" is not a printer of the driver'
    no_window
    STATE=$(st report)
    [ "$STATE" = "$before" ] || fail "the state changed: $(diff <(echo "$before") <(echo "$STATE") | head -n 3 | tr '\n' ' ')"
    finish
}

case_quiet_uninstall() {
    begin "no display: quiet removal with the entry's QuietUninstallString: 3010, everything gone; again: 1605"
    needs_install || return
    local oem command
    oem=$(rename_inf_to_oem) || fail "no INF copy ZEP.inf to rename"
    wine_note "SetupCopyOEMInf named the INF copy ZEP.inf: it was renamed to the oemN.inf Windows would have made"
    command=$(quiet_uninstall_string)
    expect "QuietUninstallString" "$command" "\"$UNINSTALLER\" /quiet"
    run_for_code "$RUN_DIR" "$command"
    expect "exit code" "$RC" 3010
    no_window
    # shellcheck disable=SC2086
    STATE=$(st report $PRODUCT_FILES "C:\\windows\\inf\\$oem.inf" 'C:\KESTREL Printer Driver')
    state_lacks '^printer .*driver="ZEP Character Type"' 'name="ZEP Character Type"' \
        '^monitor name="ZEP Language Monitor"' '^uninstall-value' ' exists=1 '
    state_has "uninstall view=64 present=0" "uninstall view=32 present=0"
    wine_note "DeletePrintProcessorA is a stub: the print processor stays registered"
    local log
    log=$(uninstaller_log)
    log_has "$log" "DIALOG : Uninstall -> KESTREL ZEP-4000, KESTREL ZEP-4100" \
        "QUESTION : $(one_line "$E2E_RESTART_Q_UNINSTALL")$RESTART_NO" "DeleteDirectory END"
    spooler_waited "$log"

    run_for_code "$RUN_DIR" "$command"
    expect "exit code, once more" "$RC" 1605
    no_window
    log_has "$(uninstaller_log)" "MESSAGE : The ZEP driver does not exist on this system."
    finish
}

case_two_at_once() {
    begin "no display: two installers at once: one installs (3010), the other changes nothing (1618)"
    e2e_start_prefix race
    RACED=""
    local i
    for i in 1 2; do
        (run_for_code "$RUN_DIR/dist" "$INSTALL_ONE"; echo "$RC" >"$RUN_DIR/rc$i") &
    done
    wait
    expect "exit codes" "$(sort -n "$RUN_DIR/rc1" "$RUN_DIR/rc2" | tr '\n' ' ')" "1618 3010 "
    no_window
    STATE=$(st report)
    expect "printers of the driver" "$(product_printers)" 1
    grep -qF "$(printer_line "KESTREL ZEP-4000" COM1:)" <<<"$STATE" || fail "no printer \"KESTREL ZEP-4000\" on COM1:"
    finish
    [ -z "$E2E_ERRORS" ] && RACED=1
}

case_other_version() {
    begin "no display: a different version installed: removed, 3010, nothing of this one installed"
    if [ -z "${RACED:-}" ]; then
        fail "needs the installation of the case above"
        finish
        return
    fi
    st set-version "KESTREL ZEP-4000" 1 0 0 0 >/dev/null || fail "set-version failed"
    rename_inf_to_oem >/dev/null || fail "no INF copy ZEP.inf to rename"
    run_for_code "$RUN_DIR/dist" "$INSTALL_BOTH"
    expect "exit code" "$RC" 3010
    no_window
    STATE=$(st report)
    state_lacks '^printer .*driver="ZEP Character Type"' 'name="ZEP Character Type"' \
        '^monitor name="ZEP Language Monitor"' '^uninstall-value'
    local log
    log=$(installer_log)
    log_has "$log" \
        "MESSAGE : There is a different version driver in this system. The installed driver will be removed." \
        "Nothing of this version was installed: run the installer again after the restart." \
        "Windows must restart to complete the change; not restarted (/norestart)."
    grep -q 'AddToWin2K BEGIN$' <<<"$log" && fail "the installation sequence ran"
    finish
}

# ---------------------------------------------------------------- passive, on a display

# watch_passive TITLE SECONDS: while the program (APP_PID) runs, the window
# TITLE shows and no wizard dialog and no box do; sets SEEN_MAIN.
watch_passive() {
    local i=0 box
    SEEN_MAIN=""
    while kill -0 "$APP_PID" 2>/dev/null; do
        if [ "$i" -ge $(($2 * 2)) ]; then
            fail "still running after $2 s"
            return
        fi
        [ -z "$SEEN_MAIN" ] && ud wait-window "$1" 0 >/dev/null && SEEN_MAIN=1
        ud wait-window "$E2E_MODELS" 0 >/dev/null && fail "the model dialog showed"
        ud wait-window "$E2E_PORTS" 0 >/dev/null && fail "the port dialog showed"
        if ! box=$(ud no-box 0.5); then
            fail "a box showed: $box"
            ud answer-box 7 1 >/dev/null || ud answer-box 1 1 >/dev/null
        fi
        i=$((i + 1))
    done
    [ -n "$SEEN_MAIN" ] || fail "no window \"$1\" showed"
}

case_passive() {
    begin "passive installation and removal: only the main window, no wizard, no box, each ends by itself (3010)"
    e2e_start_prefix passive
    (run_for_code "$RUN_DIR/dist" "ZEP_Installer.exe /passive /model \"KESTREL ZEP-4000\" /port COM1"
     echo "$RC" >"$RUN_DIR/rc") &
    APP_PID=$!
    watch_passive "$MAIN" 120
    wait "$APP_PID"
    expect "installer's exit code" "$(cat "$RUN_DIR/rc")" 3010
    STATE=$(st report)
    grep -qF "$(printer_line "KESTREL ZEP-4000" COM1:)" <<<"$STATE" || fail "no printer \"KESTREL ZEP-4000\" on COM1:"
    state_has "uninstall view=64 present=1"

    rename_inf_to_oem >/dev/null || fail "no INF copy ZEP.inf to rename"
    (run_for_code "$RUN_DIR" "$UNINSTALLER /passive"; echo "$RC" >"$RUN_DIR/rc") &
    APP_PID=$!
    watch_passive "$UMAIN" 120
    wait "$APP_PID"
    expect "uninstaller's exit code" "$(cat "$RUN_DIR/rc")" 3010
    STATE=$(st report)
    state_lacks '^printer .*driver="ZEP Character Type"' '^uninstall-value'
    APP_PID=""
    finish
}

case_quiet_install
case_quiet_again
case_bad_command_lines
case_quiet_uninstall
case_two_at_once
case_other_version
e2e_display_on
case_passive
exit $E2E_FAILED
