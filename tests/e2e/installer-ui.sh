#!/bin/bash
# The installer's windows under Wine (x86_64 build, 64-bit prefix, Xvfb),
# driven from another process by uidriver as a user would drive them.
# Prints one PASS/FAIL line per case; exits 1 when a case failed.
#
#   tests/e2e/installer-ui.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: ZEP_E2E_WINE_DIR (prefixes; default build/wine/installer-ui),
# ZEP_PRISTINE64 (the pristine prefix to clone; default $ZEP_E2E_WINE_DIR/pristine64),
# ZEP_XVFB_DISPLAY (display number for the private X server).
set -u

E2E_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$E2E_ROOT/build/mingw-x64}" && pwd)
WINE_DIR=${ZEP_E2E_WINE_DIR:-$E2E_ROOT/build/wine/installer-ui}
PRISTINE=${ZEP_PRISTINE64:-$WINE_DIR/pristine64}
. "$E2E_ROOT/scripts/lib/wine.sh"
. "$E2E_ROOT/tests/e2e/report.sh"

INSTALLER=$BUILD/installer/win32/ZEP_Installer.exe
UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
FWTESTS=$BUILD/framework/tests/zep_framework_tests.exe
for f in "$INSTALLER" "$UIDRIVER" "$FWTESTS"; do
    [ -f "$f" ] || { echo "installer-ui: $f is missing (build the x86_64 Windows build)" >&2; exit 2; }
done

MAIN="KESTREL Customer Display Installation Progress"
MODELS="Select ZEP Model"
PORTS="Select Port Type"
APP=ZEP_Installer               # the caption of the program's own boxes
PORT_CAPTION="KESTREL Customer Display installer"
CANCELED="The driver installation canceled."
VK_RETURN=13
VK_ESCAPE=27
TAB=$'\t'

# ---------------------------------------------------------------- Wine

ud() { zep_wine64 "$UIDRIVER" "$@" </dev/null 2>>"$RUN_DIR/uidriver.err"; }

# A fresh copy of the pristine prefix with its wineserver kept up, Wine's own
# desktop window (frames, no window manager needed) and `reg` settings.
start_prefix() {  # start_prefix NAME [WINE_VERSION]
    RUN_DIR="$WINE_DIR/runs/$1"
    stop_prefix_at "$RUN_DIR/prefix"
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    zep_wine_clone "$PRISTINE" "$RUN_DIR/prefix"
    zep_wine_use64 "$RUN_DIR/prefix"
    zep_wineserver -p </dev/null >/dev/null 2>&1
    zep_wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    zep_wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
        </dev/null >/dev/null 2>&1
    if [ -n "${2:-}" ]; then
        zep_wine64 reg add 'HKCU\Software\Wine' /v Version /d "$2" /f </dev/null >/dev/null 2>&1
    fi
    # The desktop process starts with the first window: let it start here,
    # where nothing waits on its output.
    zep_wine64 "$UIDRIVER" wait-gone "-" 0 </dev/null >/dev/null 2>&1
}

stop_prefix_at() {
    [ -d "$1" ] || return 0
    WINEPREFIX="$1" zep_wine_stop
}

start_installer() {
    (cd "$RUN_DIR" && zep_wine64 "$INSTALLER" </dev/null >"$RUN_DIR/installer.out" 2>&1) &
    APP_PID=$!
}

# Waits for the installer's process to end; sets APP_RC to its exit code, or
# to "running" when it did not end in time. Not for $(...): a subshell cannot
# collect the exit code of a process that ends while it waits (bash gives -1).
app_exit() {  # app_exit SECONDS
    local i=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        if [ $i -ge $(($1 * 10)) ]; then APP_RC=running; return; fi
        sleep 0.1
        i=$((i + 1))
    done
    wait "$APP_PID"
    APP_RC=$?
}

end_run() {
    stop_prefix_at "$RUN_DIR/prefix"
    wait "$APP_PID" 2>/dev/null
}

# ---------------------------------------------------------------- cases

run_framework_tests() {
    begin "framework and resources in real windows (zep_framework_tests)"
    start_prefix framework
    if ! (cd "$(dirname "$FWTESTS")" && zep_wine64 "$FWTESTS" </dev/null >"$RUN_DIR/tests.out" 2>&1); then
        fail "$(grep -E '^\[  FAILED  \]' "$RUN_DIR/tests.out" | sort -u | tr '\n' ' ')(log: $RUN_DIR/tests.out)"
    fi
    stop_prefix_at "$RUN_DIR/prefix"
    finish
}

run_main_and_models() {
    start_prefix main-models
    start_installer

    begin "main dialog shows the product line and the driver version"
    if ud wait-window "$MAIN" 30; then
        ud wait-text "$MAIN" 1002 "Driver Version: V1.1.0E" 15 || true
        expect "version line" "$(ud text "$MAIN" 1002)" "Driver Version: V1.1.0E"
        ud texts "$MAIN" | grep -q "^-1${TAB}Static${TAB}KESTREL Customer Display\$" ||
            fail "no static \"KESTREL Customer Display\""
        expect "status line" "$(ud text "$MAIN" 1003)" ""
    else
        fail "no main dialog"
    fi
    finish

    begin "model dialog opens unchecked with Next disabled; Next follows the checks"
    if ud wait-window "$MODELS" 30; then
        expect "items" "$(ud list-items "$MODELS" 1006 | tr '\n' '|')" \
            "[ ] KESTREL ZEP-4000|[ ] KESTREL ZEP-4100|"
        expect "Next at start" "$(ud is-enabled "$MODELS" 1)" 0
        ud check-item "$MODELS" 1006 0
        expect "first checked" "$(ud list-items "$MODELS" 1006 | tr '\n' '|')" \
            "[x] KESTREL ZEP-4000|[ ] KESTREL ZEP-4100|"
        expect "Next after checking" "$(ud is-enabled "$MODELS" 1)" 1
        ud check-item "$MODELS" 1006 0
        expect "Next after unchecking" "$(ud is-enabled "$MODELS" 1)" 0
        ud check-item "$MODELS" 1006 1
        expect "Next with the second" "$(ud is-enabled "$MODELS" 1)" 1
        ud check-item "$MODELS" 1006 1
        expect "Next with none again" "$(ud is-enabled "$MODELS" 1)" 0
        # Enter on the disabled Next must not end the dialog.
        ud key "$MODELS" $VK_RETURN
        ud wait-window "$MODELS" 0 || fail "Enter ended the model dialog with nothing checked"
    else
        fail "no model dialog"
    fi
    finish

    begin "while busy: Escape, Enter and Close leave the main dialog open, no Close in its menu"
    ud key "$MAIN" $VK_ESCAPE
    ud key "$MAIN" $VK_RETURN
    ud close "$MAIN"
    ud wm-close "$MAIN"
    sleep 2
    ud wait-window "$MAIN" 0 || fail "the main dialog was closed"
    app_exit 0
    expect "process" "$APP_RC" running
    expect "Close in the system menu" "$(ud sysmenu-has-close "$MAIN")" 0
    finish

    begin "cancelling the model dialog ends with \"$CANCELED\""
    ud key "$MODELS" $VK_ESCAPE
    expect "box" "$(ud answer-box 1 15)" "$APP$TAB$CANCELED$TAB$MAIN"
    app_exit 15
    expect "exit code" "$APP_RC" 0
    end_run
    finish
}

run_ports() {
    start_prefix ports
    start_installer
    ud wait-window "$MODELS" 30
    ud check-item "$MODELS" 1006 1
    ud click "$MODELS" 1

    begin "port dialog: COM1 first; Configure Port on COM7 says it is not supported and stays open"
    if ud wait-window "$PORTS" 30; then
        expect "COM1 checked" "$(ud is-checked "$PORTS" 1006)" 1
        ud click "$PORTS" 1012
        expect "COM7 checked" "$(ud is-checked "$PORTS" 1012)" 1
        expect "COM1 after" "$(ud is-checked "$PORTS" 1006)" 0
        ud click "$PORTS" 1001
        expect "box" "$(ud answer-box 1 15)" \
            "$PORT_CAPTION${TAB}The specific port is not supported.$TAB$PORTS"
        sleep 0.5
        ud wait-window "$PORTS" 0 || fail "the port dialog closed"
        expect "no further box" "$(ud no-box 1)" ""
    else
        fail "no port dialog"
    fi
    finish

    begin "cancelling the port dialog ends with \"$CANCELED\""
    ud close "$PORTS"
    expect "box" "$(ud answer-box 1 15)" "$APP$TAB$CANCELED$TAB$MAIN"
    app_exit 15
    expect "exit code" "$APP_RC" 0
    end_run
    finish
}

run_nt40() {
    start_prefix nt40 nt40
    start_installer

    begin "Windows NT 4.0: the only box is the refusal"
    ud wait-window "$MAIN" 30 || fail "no main dialog"
    local box
    box=$(ud answer-box 1 30)
    expect "box" "$box" "$APP${TAB}THE DRIVER CAN NOT BE INSTALLED ON THIS OS.$TAB$MAIN"
    app_exit 15
    expect "exit code" "$APP_RC" 0
    end_run
    finish

    # The same refusal with Close still in the menu shows that the menu check
    # above looks at the real menu: the busy flag is never set here.
    start_prefix nt40-menu nt40
    start_installer
    begin "Windows NT 4.0: not busy, so Close stays in the system menu"
    ud wait-window "$MAIN" 30 || fail "no main dialog"
    expect "Close in the system menu" "$(ud sysmenu-has-close "$MAIN")" 1
    ud answer-box 1 30 >/dev/null
    end_run
    finish
}

# ---------------------------------------------------------------- main

mkdir -p "$WINE_DIR"
zep_wine_pristine64 "$PRISTINE"
zep_xvfb_start
trap 'stop_prefix_at "${RUN_DIR:-/nonexistent}/prefix"; zep_xvfb_stop' EXIT

run_framework_tests
run_main_and_models
run_ports
run_nt40

summary installer-ui
