#!/bin/bash
# Screenshots of every dialog and message box of both programs, for the
# README: the x86_64 programs run under 64-bit Wine in Wine's own desktop
# window (which draws the title bars) on a private X server, driven by the
# UI driver; each window is cut out of the screen with its frame.
#
#   tests/e2e/screenshots.sh [BUILD_DIR]     (default: build/mingw-x64)
#
# Writes docs/screenshots/*.png (the list is at the end of this file) and
# prints one line per picture. The port configuration error box is not among
# them: it shows only when ConfigurePortA fails with 87 for a port the
# spooler lists, which Wine never does. Environment as for tests/e2e/lib.sh;
# ZEP_SCREENSHOTS names the series to take (e.g. "passive"; default all).
set -u
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-build/mingw-x64}" screenshots
OUT=$E2E_ROOT/docs/screenshots
MARGIN=6
mkdir -p "$OUT"

INSTALLER_MAIN=$E2E_INSTALLER_MAIN
UNINSTALLER_MAIN=$E2E_UNINSTALLER_MAIN
PORT_CAPTION="KESTREL Customer Display installer"
FAILED=0
problem() { echo "screenshots: $*" >&2; FAILED=1; }

# A prefix for one series of pictures: as the end-to-end cases make it, and
# with Wine's own fonts (the caption buttons are drawn with one), which a
# prefix made before they were installed lacks.
shot_prefix() {  # shot_prefix NAME [SOURCE]
    e2e_start_prefix "$@"
    local f
    if [ -d /usr/share/wine/fonts ]; then
        for f in /usr/share/wine/fonts/*; do
            [ -e "$RUN_DIR/prefix/drive_c/windows/Fonts/$(basename "$f")" ] ||
                cp "$f" "$RUN_DIR/prefix/drive_c/windows/Fonts/"
        done
    fi
}

# shot TITLE FILE: cuts the window out of a capture of the whole screen (the
# desktop window sits at the screen's top left, so its coordinates are the
# screen's).
shot() {
    local left top right bottom
    if ! ud wait-window "$1" 60; then
        problem "no window \"$1\" for $2"
        return 1
    fi
    ud activate "$1" >/dev/null 2>&1
    read -r left top right bottom < <(ud rect "$1")
    if [ -z "${bottom:-}" ]; then
        problem "no position of \"$1\" for $2"
        return 1
    fi
    left=$((left > MARGIN ? left - MARGIN : 0))
    top=$((top > MARGIN ? top - MARGIN : 0))
    right=$((right + MARGIN))
    bottom=$((bottom + MARGIN))
    sleep 0.7  # let the last paint reach the screen
    import -display "$DISPLAY" -window root "$RUN_DIR/screen.png"
    convert "$RUN_DIR/screen.png" -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage \
        "$OUT/$2"
    echo "wrote docs/screenshots/$2"
}

# box_shot CAPTION FILE BUTTON: the message box with that caption, then
# answers it.
box_shot() {
    shot "$1" "$2"
    ud answer-box "$3" 30 >/dev/null || problem "could not answer the box of $2"
}

# ---------------------------------------------------------------- installer

# A new installation: the main window, the model and port dialogs, the port
# dialog's refusal of a port the spooler does not have, the restart question.
series_install() {
    shot_prefix install
    start_installer
    ud wait-window "$INSTALLER_MAIN" 60 || { problem "no installer window"; return 1; }
    ud wait-text "$INSTALLER_MAIN" 1002 "Driver Version: V1.1.0E" 30 >/dev/null
    ud wait-window "$E2E_MODELS" 60 || { problem "no model dialog"; return 1; }
    # The model dialog opens over the main window: aside for the first picture.
    ud move "$E2E_MODELS" 620 420
    shot "$INSTALLER_MAIN" installer-main.png
    ud move "$E2E_MODELS" 60 60
    ud check-item "$E2E_MODELS" 1006 0
    shot "$E2E_MODELS" installer-models.png
    ud check-item "$E2E_MODELS" 1006 1  # both, so that the uninstaller lists two
    ud click "$E2E_MODELS" 1
    shot "$E2E_PORTS" installer-port.png
    ud click "$E2E_PORTS" 1012          # COM7: not among the spooler's ports
    ud click "$E2E_PORTS" 1001          # Configure Port
    box_shot "$PORT_CAPTION" installer-port-not-supported.png 1
    ud click "$E2E_PORTS" 1006          # COM1
    ud click "$E2E_PORTS" 1
    box_shot ZEP_Installer installer-restart.png 7
    app_wait 30
    INSTALLED="$RUN_DIR/prefix"
    e2e_stop_prefix
}

series_cancel() {
    shot_prefix cancel
    start_installer
    ud wait-window "$E2E_MODELS" 60 || { problem "no model dialog"; return 1; }
    ud close "$E2E_MODELS"
    box_shot ZEP_Installer installer-canceled.png 1
    app_wait 15
}

series_refused() {
    shot_prefix refused
    wine64q reg add 'HKCU\Software\Wine' /v Version /d nt40 /f
    start_installer
    box_shot ZEP_Installer installer-refused.png 1
    app_wait 15
}

# A different version installed: the notice, the removal under way, the
# restart message.
series_other_version() {
    shot_prefix other-version "$INSTALLED"
    rename_inf_to_oem >/dev/null
    st set-version "KESTREL ZEP-4000" 1 0 0 0 >/dev/null
    start_installer
    box_shot ZEP_Installer installer-other-version.png 1
    ud wait-text "$INSTALLER_MAIN" 1003 "Removing printer-driver..." 30 >/dev/null
    shot "$INSTALLER_MAIN" installer-removing.png
    box_shot ZEP_Installer installer-removed-restart.png 1
    app_wait 15
}

# A system error box: without the corrected winspool.drv, Wine's AddPrinter
# refuses the driver's print processor.
series_system_error() {
    shot_prefix system-error
    rm -f "$RUN_DIR/prefix/drive_c/windows/system32/winspool.drv"
    cp "$PRISTINE/drive_c/windows/system32/winspool.drv" "$RUN_DIR/prefix/drive_c/windows/system32/"
    export WINEDLLOVERRIDES="${ZEP_WINEDLLOVERRIDES:-mscoree,mshtml=}"
    start_installer
    install_models 1006 0 || { problem "no model or port dialog"; return 1; }
    box_shot ZEP_Installer installer-error-addprinter.png 1
    app_wait 15
}

# ---------------------------------------------------------------- uninstaller

series_uninstall() {
    shot_prefix uninstall "$INSTALLED"
    rename_inf_to_oem >/dev/null
    start_program 'C:\windows\ZEP\ZEP_Uninstaller.exe' "$RUN_DIR"
    ud wait-window "$UNINSTALLER_MAIN" 60 || { problem "no uninstaller window"; return 1; }
    local i=0
    while [ "$(ud is-enabled "$UNINSTALLER_MAIN" 1001)" != 1 ] && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    shot "$UNINSTALLER_MAIN" uninstaller-main.png
    ud click "$UNINSTALLER_MAIN" 1001
    box_shot ZEP_Uninstaller uninstaller-restart.png 7
    app_wait 30
}

# Passive mode: the progress window alone, answered by the command line.
series_passive() {
    shot_prefix passive
    start_program "$RUN_DIR/dist/ZEP_Installer.exe" "$RUN_DIR/dist" /passive /model "KESTREL ZEP-4000" /port COM1
    ud wait-window "$INSTALLER_MAIN" 60 || { problem "no installer window"; return 1; }
    # Under way: a few steps reported.
    local i=0
    while [ "$(ud pos "$INSTALLER_MAIN" 1000)" -lt 24 ] 2>/dev/null && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    shot "$INSTALLER_MAIN" installer-passive.png
    app_wait 60
}

series_not_installed() {
    shot_prefix not-installed
    start_program "$RUN_DIR/dist/ZEP_Uninstaller.exe"
    box_shot ZEP_Uninstaller uninstaller-not-installed.png 1
    app_wait 15
}

if [ -n "${ZEP_SCREENSHOTS:-}" ]; then
    for s in $ZEP_SCREENSHOTS; do "series_$s"; done
    exit $FAILED
fi
INSTALLED=""
series_install
series_cancel
series_refused
if [ -n "$INSTALLED" ]; then
    series_other_version
    series_uninstall
else
    problem "no installation to start the removal pictures from"
fi
series_system_error
series_not_installed
series_passive
exit $FAILED

# Pictures: installer-main, installer-models, installer-port,
# installer-port-not-supported, installer-restart, installer-canceled,
# installer-refused, installer-other-version, installer-removing,
# installer-removed-restart, installer-error-addprinter, uninstaller-main,
# uninstaller-restart, uninstaller-not-installed, installer-passive.
