#!/bin/bash
# DLL planting under Wine: the programs are run from a downloads-like folder
# that also holds DLLs named winspool.drv, setupapi.dll, shlwapi.dll and
# comctl32.dll (tests/e2e/planting_dll.c: each leaves "<its path>.loaded"
# when a process loads it). The programs load those system DLLs by their
# full path in the system folder, so none of the planted ones may load.
#
#   1. control: a program that imports winspool.drv statically
#      (planting_probe.c) does load the planted one, so the setting can
#      show a planting at all;
#   2. the installer, run from that folder, installs KESTREL ZEP-4000 on
#      COM1: no planted DLL loads, Wine's loader reports winspool.drv loaded
#      from C:\windows\system32 as the native (corrected) DLL, and the
#      printer uses the print processor that only the corrected DLL accepts;
#   3. the uninstaller, from the same folder, removes it again: no planted
#      DLL loads.
# x86_64 build, 64-bit prefix with the corrected winspool.drv loaded native.
# One PASS/FAIL line per case; exits 1 when a case failed, 2 when the tools
# are missing.
#
#   tests/e2e/planting.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh.
set -u
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-build/mingw-x64}" planting

PLANTED="winspool.drv setupapi.dll shlwapi.dll comctl32.dll"
PLANT_DIR="$WINE_DIR/runs/planting/planted"
SYSTEM32='C:\windows\system32'

# ---------------------------------------------------------------- the planted DLLs

mkdir -p "$PLANT_DIR"
src="$E2E_ROOT/tests/e2e"
if ! x86_64-w64-mingw32-gcc -O2 -Wall -shared -o "$PLANT_DIR/planted.dll" "$src/planting_dll.c" \
        2>"$PLANT_DIR/cc.err" ||
   ! x86_64-w64-mingw32-gcc -O2 -Wall -o "$PLANT_DIR/planting_probe.exe" "$src/planting_probe.c" \
        -lwinspool 2>>"$PLANT_DIR/cc.err"; then
    echo "planting: cannot build the planted DLL or the probe (see $PLANT_DIR/cc.err)" >&2
    exit 2
fi

# plant DIR: the planted DLLs under the system DLLs' names, in DIR.
plant() {
    local name
    for name in $PLANTED; do cp "$PLANT_DIR/planted.dll" "$1/$name"; done
}

# The planted DLLs that a process loaded, by their markers ("" when none).
loaded_planted() { (cd "$RUN_DIR/dist" && ls -- *.loaded 2>/dev/null | tr '\n' ' '); }

# Where Wine's loader took one DLL from, by its +loaddll trace: "PATH: native"
# or "PATH: builtin", one entry per place (case as the loader reports it).
loaded_from() {  # loaded_from TRACE NAME
    awk -v name="$2" '
        /trace:loaddll:.*Loaded L"/ {
            path = $0
            sub(/.*Loaded L"/, "", path)
            kind = path
            sub(/".*/, "", path)
            sub(/.*: /, "", kind)
            gsub(/\\\\/, "\\", path)
            n = split(path, part, "\\")
            if (tolower(part[n]) == tolower(name)) print path ": " kind
        }' "$1" | sort -u | tr '\n' ' ' | sed 's/ $//'
}

# ---------------------------------------------------------------- cases

case_control() {
    begin "control: a program importing winspool.drv statically loads the planted one"
    e2e_start_prefix control
    plant "$RUN_DIR/dist"
    cp "$PLANT_DIR/planting_probe.exe" "$RUN_DIR/dist/"
    local out
    out=$(cd "$RUN_DIR/dist" && zep_wine64 planting_probe.exe </dev/null 2>/dev/null | tr -d '\r')
    expect "probe output" "$out" "OpenPrinterA=0 error=1801"
    [ -n "$(loaded_planted)" ] || fail "no marker: the planted DLL was not loaded, so the cases below would prove nothing"
    finish
}

case_installer() {
    begin "installer beside planted DLLs: none loads; winspool.drv is the system folder's corrected one"
    e2e_start_prefix installer
    plant "$RUN_DIR/dist"
    WINEDEBUG=+loaddll start_installer
    if install_models 1006 0; then
        local box
        box=$(answer 7 120) || fail "no restart question"
        [ "$(cut -f2 <<<"$box")" = "$E2E_RESTART_Q_INSTALL" ] || fail "expected the restart question, got \"$box\""
        app_wait 30
        expect "exit code" "$APP_RC" 0
    fi
    expect "planted DLLs loaded" "$(loaded_planted)" ""
    local trace="$RUN_DIR/ZEP_Installer.out"
    expect "winspool.drv" "$(loaded_from "$trace" winspool.drv)" "$SYSTEM32\\winspool.drv: native"
    expect "setupapi.dll" "$(loaded_from "$trace" setupapi.dll)" "$SYSTEM32\\setupapi.dll: builtin"
    expect "comctl32.dll" "$(loaded_from "$trace" comctl32.dll)" "$SYSTEM32\\comctl32.dll: builtin"
    # Stock Wine refuses a printer with this print processor: the corrected
    # DLL made it.
    STATE=$(st printers)
    grep -q '^printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM1:" processor="ZEP PRINT PROCESSOR" ' \
        <<<"$STATE" || fail "no printer \"KESTREL ZEP-4000\" with the ZEP PRINT PROCESSOR"
    finish
}

case_uninstaller() {
    begin "uninstaller beside planted DLLs: none loads while it removes the driver"
    plant "$RUN_DIR/dist"
    rm -f "$RUN_DIR/dist"/*.loaded
    rename_inf_to_oem >/dev/null || fail "no INF copy ZEP.inf to rename"
    WINEDEBUG=+loaddll start_program "$RUN_DIR/dist/ZEP_Uninstaller.exe"
    if ud wait-window "$E2E_UNINSTALLER_MAIN" 30; then
        sleep 0.5
        ud click "$E2E_UNINSTALLER_MAIN" 1001
        local box
        box=$(answer 7 120) || fail "no restart question"
        [ "$(cut -f2 <<<"$box")" = "$E2E_RESTART_Q_UNINSTALL" ] || fail "expected the restart question, got \"$box\""
        app_wait 30
        expect "exit code" "$APP_RC" 0
    else
        fail "no uninstaller window"
    fi
    expect "planted DLLs loaded" "$(loaded_planted)" ""
    expect "winspool.drv" "$(loaded_from "$RUN_DIR/ZEP_Uninstaller.out" winspool.drv)" \
        "$SYSTEM32\\winspool.drv: native"
    STATE=$(st printers)
    state_lacks '^printer .*driver="ZEP Character Type"'
    finish
}

case_control
case_installer
case_uninstaller
summary "$E2E_NAME"
