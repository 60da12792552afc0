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
#               version installed (replaced in the same run, 3010)
#               /log to another folder (its file alone, begun with the
#               program and the command line, ended with the exit code),
#               /portsettings set and read back (kernel32's own reading),
#               left alone without it, refused with 87; a /log that cannot be
#               opened (1622, nothing changed); /quiet /? (0, the usage in
#               the log); a Unix link in place of C:\Temp and of the /log
#               folder: no line reaches what it points to
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
BOTH='/model "KESTREL ZEP-4000" /model "kestrel zep-4100" /port com3:'
INSTALL_BOTH="ZEP_Installer.exe /quiet $BOTH"
INSTALL_ONE='ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM1'
RESTART_NO=' -> No (/norestart)'
# A box text as the tests write it ("\n" for a line break) as the log has it.
one_line() { sed -E 's/(\\[rn])+/ /g' <<<"$1"; }

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
    state_has "$DRIVER_LINE" "$MONITOR_LINE" "$PROCESSOR_LINE"
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
    ends_with_code "$(cdrive)/Temp/ZEP_Installer.txt" 3010
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
    wine_note "DeletePrintProcessorA is a stub: the print processor goes by the registry fallback"
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
    begin "no display: a different version installed: replaced by this one in the same run, 3010"
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
    # The old version's printer on COM1 went with it.
    expect "printers of the driver" "$(product_printers)" 2
    local model
    for model in "KESTREL ZEP-4000" "KESTREL ZEP-4100"; do
        grep -qF "$(printer_line "$model" COM3:)" <<<"$STATE" || fail "no printer \"$model\" on COM3:"
    done
    state_has "$DRIVER_LINE" "$MONITOR_LINE" "uninstall view=64 present=1"
    log_has "$(installer_log)" "INSTALLED VERSION : 1.0.0.0" "REMOVING : printer KESTREL ZEP-4000" \
        "MESSAGE : There is a different version driver in this system. The installed driver will be removed." \
        "AddToWin2K END"
    finish
}

# ends_with_code FILE CODE: the log FILE (a Unix path) is this run's alone:
# it begins with the program and the command line and ends with the code.
ends_with_code() {
    local text first last
    text=$(tr -d '\r' <"$1" 2>/dev/null | cut -c11-)
    [ -n "$text" ] || { fail "no log $1"; return; }
    first=$(head -n 1 <<<"$text")
    last=$(tail -n 1 <<<"$text")
    case $first in "PROGRAM : ZEP_"*" 1.1.0.0") ;; *) fail "$1 begins with \"$first\"" ;; esac
    grep -q '^COMMAND LINE : ' <<<"$(sed -n 2p <<<"$text")" || fail "$1: no COMMAND LINE line second"
    case $last in "EXIT CODE : $2 ("*")") ;; *) fail "$1 ends with \"$last\", not EXIT CODE : $2" ;; esac
}

case_log_and_port_settings() {
    begin "no display: /log in another folder, /portsettings set and read back, left alone, refused"
    e2e_start_prefix logs
    local c log
    c=$(cdrive)
    mkdir -p "$c/deploy/logs"
    rm -f "$c/Temp/ZEP_Installer.txt"
    run_for_code "$RUN_DIR/dist" "$INSTALL_ONE /portsettings 19200,e,7,1 /log \"C:\\deploy\\logs\\zep install.txt\""
    expect "exit code" "$RC" 3010
    no_window
    log="$c/deploy/logs/zep install.txt"
    ends_with_code "$log" 3010
    log_has "$(tr -d '\r' <"$log")" "PORT SETTINGS BEFORE : COM1: 9600,n,8,1" "PORT SETTINGS : COM1: 19200,e,7,1" \
        "AddToWin2K END"
    [ -e "$c/Temp/ZEP_Installer.txt" ] && fail "the Temp folder got a log too"
    expect "COM1 as kernel32 reads it" "$(st comm COM1)" 'comm port="COM1" settings="19200,e,7,1"'
    expect "COM2" "$(st comm COM2)" 'comm port="COM2" settings="9600,n,8,1"'

    # Without the switch the port keeps what it has; a speed no port takes: 87.
    st set-version "KESTREL ZEP-4000" 1 1 0 0 >/dev/null || fail "set-version failed"
    run_for_code "$RUN_DIR/dist" "$INSTALL_ONE /log C:\\deploy\\logs\\again.txt"
    expect "exit code, again" "$RC" 0
    ends_with_code "$c/deploy/logs/again.txt" 0
    expect "COM1 left alone" "$(st comm COM1)" 'comm port="COM1" settings="19200,e,7,1"'
    local before
    before=$(st report)
    run_for_code "$RUN_DIR/dist" "$INSTALL_ONE /portsettings 9601,n,8,1 /log C:\\deploy\\logs\\bad.txt"
    expect "exit code, a speed no port takes" "$RC" 87
    ends_with_code "$c/deploy/logs/bad.txt" 87
    [ "$(st report)" = "$before" ] || fail "the refused run changed the state"
    expect "COM1 after the refusal" "$(st comm COM1)" 'comm port="COM1" settings="19200,e,7,1"'
    no_window
    finish
}

case_log_refusals() {
    begin "no display: a /log that cannot be opened (1622), /quiet /? (0, usage in the log), links in place of C:\\Temp and the /log folder"
    e2e_start_prefix links
    local c before
    c=$(cdrive)
    before=$(st report)
    run_for_code "$RUN_DIR/dist" "$INSTALL_ONE /log C:\\nowhere\\zep.txt"
    expect "exit code, no such folder" "$RC" 1622
    [ "$(st report)" = "$before" ] || fail "the 1622 run changed the state"

    mkdir -p "$c/Temp"
    printf 'an older run\r\n' >"$c/Temp/ZEP_Installer.txt"
    run_for_code "$RUN_DIR/dist" 'ZEP_Installer.exe /quiet /?'
    expect "exit code of /quiet /?" "$RC" 0
    no_window
    expect "the older run's line stays first" "$(head -n 1 "$c/Temp/ZEP_Installer.txt" | tr -d '\r')" "an older run"
    log_has "$(installer_log)" "/quiet"$'\t'"no window at all"
    expect "the log's last line" "$(installer_log | tail -n 1 | cut -c11- | cut -c1-15)" "EXIT CODE : 0 ("

    # Links a standard user could plant: the folder's target holds a file of
    # its own, as a real target (a system folder) would.
    wine_note "Wine opens through a Unix link (the handle shows the target's attributes), so only the path's own attributes tell; such a link is not removed (its removal could reach the target): no log"
    mkdir -p "$c/planted" "$c/planted-logs"
    echo keep >"$c/planted/own.txt"
    echo keep >"$c/planted-logs/own.txt"
    rm -rf "$c/Temp"
    ln -s "$c/planted" "$c/Temp"
    ln -s "$c/planted-logs" "$c/logs"
    run_for_code "$RUN_DIR/dist" "$INSTALL_ONE"
    expect "exit code with C:\\Temp a link" "$RC" 3010
    run_for_code "$RUN_DIR/dist" "ZEP_Uninstaller.exe /quiet /log C:\\logs\\zep.txt"
    expect "exit code with the /log folder a link" "$RC" 1622
    expect "what C:\\Temp points to" "$(ls "$c/planted")" own.txt
    expect "what the /log folder points to" "$(ls "$c/planted-logs")" own.txt
    [ -L "$c/Temp" ] && [ -L "$c/logs" ] || fail "a link was replaced"
    no_window
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
case_log_and_port_settings
case_log_refusals
e2e_display_on
case_passive
summary "$E2E_NAME"
