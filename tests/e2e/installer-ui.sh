#!/bin/bash
# The installer's windows under Wine (x86_64 build, 64-bit prefix, Xvfb),
# driven from another process by uidriver as a user would drive them.
# Prints one PASS/FAIL line per case; exits 1 when a case failed.
#
#   tests/e2e/installer-ui.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: see tests/e2e/lib.sh (ZEP_E2E_WINE_DIR, ZEP_PRISTINE64, ...).
set -u
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-build/mingw-x64}" installer-ui

FWTESTS=$BUILD/framework/tests/zep_framework_tests.exe
[ -f "$FWTESTS" ] || { echo "installer-ui: $FWTESTS is missing (build the x86_64 Windows build)" >&2; exit 2; }

MAIN=$E2E_INSTALLER_MAIN
MODELS=$E2E_MODELS
PORTS=$E2E_PORTS
PORT_CAPTION="KESTREL Customer Display installer"
CANCELED="The driver installation canceled."
VK_RETURN=13
VK_ESCAPE=27

# ---------------------------------------------------------------- cases

run_framework_tests() {
    begin "framework and resources in real windows (zep_framework_tests)"
    e2e_start_prefix framework
    if ! (cd "$(dirname "$FWTESTS")" && zep_wine64 "$FWTESTS" </dev/null >"$RUN_DIR/tests.out" 2>&1); then
        fail "$(grep -E '^\[  FAILED  \]' "$RUN_DIR/tests.out" | sort -u | tr '\n' ' ')(log: $RUN_DIR/tests.out)"
    fi
    e2e_stop_prefix
    finish
}

run_main_and_models() {
    e2e_start_prefix main-models
    start_installer

    begin "main dialog shows the product line and the driver version"
    if ud wait-window "$MAIN" 30; then
        ud wait-text "$MAIN" 1002 "Driver Version: V1.1.0E" 15 || true
        expect "version line" "$(ud text "$MAIN" 1002)" "Driver Version: V1.1.0E"
        ud texts "$MAIN" | grep -q "^-1${E2E_TAB}Static${E2E_TAB}KESTREL Customer Display\$" ||
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
    app_wait 0
    expect "process" "$APP_RC" running
    expect "Close in the system menu" "$(ud sysmenu-has-close "$MAIN")" 0
    finish

    begin "cancelling the model dialog ends with \"$CANCELED\""
    ud key "$MODELS" $VK_ESCAPE
    expect_box ZEP_Installer 1 "$CANCELED" 15
    app_wait 15
    expect "exit code" "$APP_RC" 0
    e2e_stop_prefix
    finish
}

run_ports() {
    e2e_start_prefix ports
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
            "$PORT_CAPTION${E2E_TAB}The specific port is not supported.$E2E_TAB$PORTS"
        sleep 0.5
        ud wait-window "$PORTS" 0 || fail "the port dialog closed"
        expect "no further box" "$(ud no-box 1)" ""
    else
        fail "no port dialog"
    fi
    finish

    begin "cancelling the port dialog ends with \"$CANCELED\""
    ud close "$PORTS"
    expect_box ZEP_Installer 1 "$CANCELED" 15
    app_wait 15
    expect "exit code" "$APP_RC" 0
    e2e_stop_prefix
    finish
}

run_nt40() {
    e2e_start_prefix nt40
    wine64q reg add 'HKCU\Software\Wine' /v Version /d nt40 /f
    start_installer

    begin "Windows NT 4.0: the only box is the refusal"
    ud wait-window "$MAIN" 30 || fail "no main dialog"
    expect_box ZEP_Installer 1 "THE DRIVER CAN NOT BE INSTALLED ON THIS OS." 30
    app_wait 15
    expect "exit code" "$APP_RC" 0
    e2e_stop_prefix
    finish

    # The same refusal with Close still in the menu shows that the menu check
    # above looks at the real menu: the busy flag is never set here.
    e2e_start_prefix nt40-menu
    wine64q reg add 'HKCU\Software\Wine' /v Version /d nt40 /f
    start_installer
    begin "Windows NT 4.0: not busy, so Close stays in the system menu"
    ud wait-window "$MAIN" 30 || fail "no main dialog"
    expect "Close in the system menu" "$(ud sysmenu-has-close "$MAIN")" 1
    ud answer-box 1 30 >/dev/null
    e2e_stop_prefix
    finish
}

# ---------------------------------------------------------------- main

run_framework_tests
run_main_and_models
run_ports
run_nt40

summary "$E2E_NAME"
