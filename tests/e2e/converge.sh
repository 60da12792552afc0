#!/bin/bash
# Unattended runs converge, end to end under 64-bit Wine with no X display
# at all (as tests/e2e/quiet.sh): from the states a fleet's terminals are
# really found in, one quiet run of the same command line reaches the
# installation (or the clean machine) asked for, or refuses before changing
# anything, and its exit code says which. Each case is a fresh clone of the
# pristine prefix with the corrected winspool.drv, unless it says otherwise.
#
#   entry      the uninstall entry deleted after an installation: the same
#              command restores it with every value (0), then changes
#              nothing (0)
#   addprinter AddPrinter failing (Wine's own winspool.drv): 1603 naming the
#              printers; one rerun with the corrected one completes it
#   upgrade    1.0.0.0 installed: removed and this version installed in one
#              run (3010), still there after the restart; 2.0.0.0
#              installed: 1638, nothing changed
#   full path  started by its full path from C:\windows\system32 (3010); a
#              copy without Driver64 beside it: PACKAGE FILE MISSING, 1603,
#              nothing changed
#   removal    the QuietUninstallString, a restart: nothing of the product
#              is left but what Wine keeps of its own (KEPT below); the
#              uninstaller again: 1605
#
#   tests/e2e/converge.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh. One PASS/FAIL line per case; exits 1
# when a case failed, 2 when the tools are missing.
set -u
. "$(dirname "$0")/lib.sh"
# shellcheck disable=SC2034  # read by e2e_init (lib.sh)
E2E_HEADLESS=1
e2e_init "${1:-build/mingw-x64}" converge

MODELS=("KESTREL ZEP-4000" "KESTREL ZEP-4100")
ARGS='/quiet /model "KESTREL ZEP-4000" /model "KESTREL ZEP-4100" /port COM3'
INSTALL="ZEP_Installer.exe $ARGS"
ENTRY_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KESTREL Cutomer Display Driver'

# What the prefix holds after a complete removal and a restart that a fresh
# clone did not: extended regular expressions over the lines of the
# comparison (snapshot below), each with the reason it is none of the
# product's parts.
KEPT=(
    '^> d [0-9]+ \./drive_c/Temp$|^> f [0-9]+ \./drive_c/Temp/ZEP_(Installer|UnInstaller)\.txt$'
    "the programs' trace logs, kept for the deployment tool to collect"
    '^> f [0-9]+ \./drive_c/windows/system32/spool/drivers/x64/3/(UNIDRV\.DLL|UNIDRVUI\.DLL|UNIDRV\.HLP|UNIRES\.DLL|STDNAMES\.GPD)$'
    "the Unidrv core, shared with every Unidrv driver and never deleted: Windows ships it in that folder, Wine's prefix has none of it"
    '^> HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\(Devices|PrinterPorts)$'
    "Wine's winspool.drv makes these per-user printer lists for the first printer and deletes only its values with it; Windows has both keys anyway"
    '^[<>] HKLM\\System\\CurrentControlSet\\Control\\Class\\\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\0000 : "DriverDateData"='
    "Wine writes the display adapter's driver date anew whenever a session starts"
)

# ---------------------------------------------------------------- helpers

# install [DIR [COMMAND-LINE]]: the quiet installation of both models on
# COM3, from DIR (default the dist folder); sets RC.
install() {
    run_for_code "${1:-$RUN_DIR/dist}" "${2:-$INSTALL}"
    no_window
}

# set_versions MAJOR MINOR BUILD EXTRA: the printers' version values, as the
# package's language monitor answers them on Windows (Wine never asks it).
set_versions() {
    local p
    for p in "${MODELS[@]}"; do
        st set-version "$p" "$@" >/dev/null || fail "set-version $p failed"
    done
}

set_display_version() {
    wine64q reg add "$ENTRY_KEY" /v DisplayVersion /d "$1" /f /reg:64 || fail "DisplayVersion not set"
}

# complete WHEN: the machine holds this version whole (STATE is the report).
complete() {
    local before=$E2E_ERRORS model
    STATE=$(st report)
    state_has "$DRIVER_LINE" "$MONITOR_LINE" "$PROCESSOR_LINE"
    for model in "${MODELS[@]}"; do
        grep -qF "$(printer_line "$model" COM3:)" <<<"$STATE" || fail "no printer \"$model\" on COM3:"
    done
    expect "printers of the driver" "$(product_printers)" 2
    expect "uninstall entry" "$(grep '^uninstall' <<<"$STATE")" \
        "$(uninstall_entry 64)"$'\n'"uninstall view=32 present=0"
    # shellcheck disable=SC2086
    files_present 'C:\windows\inf\ZEP.inf' $PRODUCT_FILES "$UNINSTALLER"
    [ "$E2E_ERRORS" = "$before" ] || fail "(that was $1)"
}

# unchanged WHAT BEFORE: the report is still BEFORE.
unchanged() {
    local after
    after=$(st report)
    [ "$after" = "$2" ] ||
        fail "$1 changed the state: $(diff <(echo "$2") <(echo "$after") | grep '^[<>]' | head -n 3 | tr '\n' ' ')"
}

# The lines of a log (stdin) that hold TEXT, time stamps cut.
log_lines() { cut -c11- | grep -F -- "$1" || true; }

# Ends the session of the current prefix (its wineserver writes the
# registry to the prefix's files) and starts a new one.
new_session() {
    e2e_stop_prefix
    zep_wineserver -p </dev/null >/dev/null 2>&1
    # The first process of a session with no display starts Wine's explorer,
    # which fails to make a desktop and says so: here, not in a program's run.
    wine64q "$STATETOOL" version
}

# ---------------------------------------------------------------- cases

case_entry() {
    begin "the uninstall entry deleted: the same command restores it whole (0), then changes nothing (0)"
    e2e_start_prefix entry
    wine_note "the language monitor is never asked for the printers' version values: the state tool sets them (1.1.0.0)"
    wine_note "SetupCopyOEMInfA keeps the name ZEP.inf where Windows makes oemN.inf; unattended runs take either"
    install
    expect "exit code of the installation" "$RC" 3010
    set_versions 1 1 0 0
    # As an administrator or a clean-up tool removes it.
    wine64q reg delete "$ENTRY_KEY" /f /reg:64 || fail "reg delete failed"
    expect "entry after reg delete" "$(st uninstall | head -n 1)" "uninstall view=64 present=0"
    install
    # Only the entry was missing: nothing that needs a restart.
    expect "exit code of the repair" "$RC" 0
    complete "after the repair"
    local before
    before=$(st report)
    install
    expect "exit code of the third run" "$RC" 0
    unchanged "the third run" "$before"
    finish
}

case_addprinter() {
    begin "AddPrinter failing: 1603 naming the printers; one rerun with it mended completes the installation"
    E2E_STOCK_WINSPOOL=1 e2e_start_prefix addprinter
    wine_note "Wine's own AddPrinter refuses every print processor but WinPrint (87); it stands in for an AddPrinter that fails on Windows"
    install
    expect "exit code with Wine's winspool.drv" "$RC" 1603
    expect "NOT INSTALLED lines" "$(installer_log | log_lines 'NOT INSTALLED : ')" \
        "NOT INSTALLED : printer KESTREL ZEP-4000 on COM3:"$'\n'"NOT INSTALLED : printer KESTREL ZEP-4100 on COM3:"

    e2e_stop_prefix
    zep_wine_install_winspool "$RUN_DIR/prefix" x86_64 || exit 2
    zep_wine_native_winspool
    new_session
    install
    # 0: the failed run left every part but the printers, and its entry
    # (DisplayVersion 1.1.0.0) tells this version, so the rerun is a repair
    # that only adds printers, which need no restart.
    expect "exit code of the rerun" "$RC" 0
    complete "after the rerun"
    log_has "$(installer_log)" "INSTALLED VERSION : 1.1.0.0"
    set_versions 1 1 0 0
    local before
    before=$(st report)
    install
    expect "exit code of a further rerun" "$RC" 0
    unchanged "a further rerun" "$before"
    finish
}

case_upgrade() {
    begin "1.0.0.0 installed: replaced in one run (3010), whole after the restart; 2.0.0.0: 1638, nothing changed"
    e2e_start_prefix upgrade
    install
    expect "exit code of the installation" "$RC" 3010
    set_versions 1 0 0 0
    set_display_version 1.0.0.0
    install
    expect "exit code of the upgrade" "$RC" 3010
    local log model
    log=$(installer_log)
    log_has "$log" "INSTALLED VERSION : 1.0.0.0" \
        "REMOVING : language monitor ZEP Language Monitor" "REMOVING : print processor ZEP PRINT PROCESSOR" \
        "REMOVING : printer driver ZEP Character Type" "REMOVING : INF copy ZEP.inf" \
        "REMOVING : uninstall entry SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver" \
        "REMOVING : uninstaller $UNINSTALLER"
    for model in "${MODELS[@]}"; do log_has "$log" "REMOVING : printer $model"; done
    grep -q 'NOT INSTALLED' <<<"$log" && fail "the upgrade's log: $(log_lines 'NOT INSTALLED' <<<"$log" | head -n 1)"
    complete "after the upgrade"
    # 3010 asks for the restart: nothing queued by the removal may take the
    # new version with it.
    wine_note "the restart is wineboot -r: it makes the deletions queued for the restart, as Windows does while it starts"
    wine_restart || fail "wineboot -r failed"
    complete "after the restart"

    set_versions 2 0 0 0
    set_display_version 2.0.0.0
    local before
    before=$(st report)
    install
    expect "exit code with 2.0.0.0 installed" "$RC" 1638
    log_has "$(installer_log)" "A NEWER VERSION IS INSTALLED : 2.0.0.0"
    unchanged "the run over 2.0.0.0" "$before"
    finish
}

case_full_path() {
    begin "started by its full path from C:\\windows\\system32: 3010, whole; Driver64 missing beside it: 1603, nothing changed"
    e2e_start_prefix fullpath
    # As a deployment tool leaves the package, in a folder with a blank.
    local pkg bad
    pkg="$(cdrive)/Packages/ZEP Driver"
    bad="$(cdrive)/Packages/Incomplete"
    mkdir -p "$pkg" "$bad"
    cp -R "$RUN_DIR/dist/." "$pkg/"
    cp -R "$RUN_DIR/dist/." "$bad/"
    rm -rf "$bad/Driver64"
    install "$(cdrive)/windows/system32" "\"C:\\Packages\\ZEP Driver\\ZEP_Installer.exe\" $ARGS"
    expect "exit code" "$RC" 3010
    local log
    log=$(installer_log)
    log_has "$log" 'ENV : Windows x64, DRV DIR : C:\Packages\ZEP Driver\Driver64\ '
    expect "PACKAGE FILE MISSING lines" "$(log_lines 'PACKAGE FILE MISSING' <<<"$log")" ""
    complete "after the installation by full path"

    set_versions 1 1 0 0
    local before want f
    before=$(st report)
    # The current folder holds a whole package: only the one beside the
    # program counts. Every file the installation copies is named (the
    # spooler makes ZEP1TE.bud; the uninstaller is there).
    install "$pkg" "\"C:\\Packages\\Incomplete\\ZEP_Installer.exe\" $ARGS"
    expect "exit code without Driver64" "$RC" 1603
    want=$(for f in "$pkg"/Driver64/*; do
        [ "${f##*/}" = ZEP1TE.bud ] || echo "PACKAGE FILE MISSING : C:\\Packages\\Incomplete\\Driver64\\${f##*/}"
    done | LC_ALL=C sort)
    expect "PACKAGE FILE MISSING lines" "$(installer_log | log_lines 'PACKAGE FILE MISSING' | LC_ALL=C sort)" "$want"
    unchanged "the refused run" "$before"
    finish
}

# snapshot FILE: the prefix as lines to compare: the state tool's report,
# every file (type, size, path) and every registry key and value (HKLM and
# HKCU, with Wine's time stamps cut). Ends the session to have the registry
# in its files, and starts a new one.
snapshot() {
    local p=$RUN_DIR/prefix
    {
        st report --all-forms | sed 's/^/report /'
        e2e_stop_prefix
        (cd "$p" && find . -path ./dosdevices -prune -o ! -name '*.reg' -printf '%y %s %p\n')
        flat_reg HKLM "$p/system.reg"
        flat_reg HKCU "$p/user.reg"
    } | LC_ALL=C sort >"$1"
    new_session
}

# flat_reg ROOT FILE: one line a key and one a value ("ROOT\KEY : VALUE").
flat_reg() {
    awk -v root="$1" '
        /^\[/ { key = $0; sub(/^\[/, "", key); sub(/\]( [0-9]+)?$/, "", key)
                gsub(/\\\\/, "\\", key); print root "\\" key; next }
        /^(#|;;|WINE REGISTRY)/ || /^$/ { next }
        { line = $0
          while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more }
          print root "\\" key " : " line }' "$2"
}

case_removal() {
    begin "complete quiet removal and a restart: nothing of the product left but what Wine keeps; again: 1605"
    e2e_start_prefix removal
    snapshot "$RUN_DIR/fresh.txt"
    install
    expect "exit code of the installation" "$RC" 3010
    set_versions 1 1 0 0
    local command log
    command=$(quiet_uninstall_string)
    expect "QuietUninstallString" "$command" "\"$UNINSTALLER\" /quiet"
    run_for_code "$RUN_DIR" "$command"
    no_window
    expect "exit code of the removal" "$RC" 3010
    log=$(uninstaller_log)
    log_has "$log" "REMOVED AT THE NEXT RESTART : $UNINSTALLER" 'REMOVED AT THE NEXT RESTART : C:\windows\ZEP'
    expect "NOT REMOVED lines" "$(log_lines 'NOT REMOVED' <<<"$log")" ""
    wine_note "DeletePrintProcessorA is a stub: the print processor goes by the registry fallback"
    # What is queued for the restart counts as gone already.
    run_for_code "$RUN_DIR" "$command"
    no_window
    expect "exit code before the restart" "$RC" 1605
    wine_note "the restart is wineboot -r: it makes the deletions queued for the restart, as Windows does while it starts"
    wine_restart || fail "wineboot -r failed"
    # The uninstaller's copy went at the restart: the one beside the package.
    run_for_code "$RUN_DIR/dist" "ZEP_Uninstaller.exe /quiet"
    no_window
    expect "exit code after the restart" "$RC" 1605

    snapshot "$RUN_DIR/removed.txt"
    local diffs line i kept=() left=""
    diffs=$(diff "$RUN_DIR/fresh.txt" "$RUN_DIR/removed.txt" | grep '^[<>]')
    while IFS= read -r line; do
        [ -n "$line" ] || continue
        for ((i = 0; i < ${#KEPT[@]}; i += 2)); do
            if grep -qE -- "${KEPT[i]}" <<<"$line"; then
                kept[i]=1
                continue 2
            fi
        done
        left="$left$line"$'\n'
    done <<<"$diffs"
    [ -z "$left" ] || fail "left after the removal and the restart: $(head -n 5 <<<"$left" | tr '\n' ' ')"
    for ((i = 0; i < ${#KEPT[@]}; i += 2)); do
        [ -n "${kept[i]:-}" ] && note "kept: ${KEPT[i + 1]}"
    done
    finish
}

case_entry
case_addprinter
case_upgrade
case_full_path
case_removal
e2e_stop_prefix
summary "$E2E_NAME"
