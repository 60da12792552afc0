#!/bin/bash
# Screenshots of the installer's three dialogs for the README: the program
# runs inside Wine's own desktop window (which draws the title bars) on a
# private X server; each dialog is cut out of the desktop with its frame.
#
#   tests/e2e/screenshots.sh [BUILD_DIR]     (default: build/mingw-x64)
#
# Writes docs/screenshots/installer-main.png, installer-models.png and
# installer-port.png. Environment as for installer-ui.sh.
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build/mingw-x64}" && pwd)
WINE_DIR=${ZEP_E2E_WINE_DIR:-$ROOT/build/wine/installer-ui}
OUT=$ROOT/docs/screenshots
. "$ROOT/scripts/lib/wine.sh"

INSTALLER=$BUILD/installer/win32/ZEP_Installer.exe
UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
MAIN="KESTREL Customer Display Installation Progress"
MODELS="Select ZEP Model"
PORTS="Select Port Type"
DESKTOP=800x600
MARGIN=6

RUN_DIR=$WINE_DIR/runs/screenshots
ud() { "$ZEP_WINE64" "$UIDRIVER" "$@" </dev/null; }

cleanup() {
    [ -d "$RUN_DIR/prefix" ] && { WINEPREFIX="$RUN_DIR/prefix" wineserver -k 2>/dev/null || true; }
    zep_xvfb_stop
}

# Cuts the window out of a capture of the whole X screen: the desktop window
# sits at the screen's top left, so desktop coordinates are screen coordinates.
shot() {  # shot TITLE FILE
    local left top right bottom
    read -r left top right bottom < <(ud rect "$1")
    left=$((left > MARGIN ? left - MARGIN : 0))
    top=$((top > MARGIN ? top - MARGIN : 0))
    right=$((right + MARGIN))
    bottom=$((bottom + MARGIN))
    sleep 0.5  # let the last paint reach the screen
    import -display "$DISPLAY" -window root "$RUN_DIR/screen.png"
    convert "$RUN_DIR/screen.png" -crop "${DESKTOP}+0+0" +repage \
        -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage "$2"
    echo "wrote $2"
}

mkdir -p "$WINE_DIR" "$OUT"
zep_wine_pristine64 "$WINE_DIR/pristine64"
zep_xvfb_start
trap cleanup EXIT

[ -d "$RUN_DIR/prefix" ] && { WINEPREFIX="$RUN_DIR/prefix" wineserver -k 2>/dev/null || true; }
rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR"
zep_wine_clone "$WINE_DIR/pristine64" "$RUN_DIR/prefix"
zep_wine_use64 "$RUN_DIR/prefix"
# A prefix made before Wine's own fonts were installed lacks them (the
# caption buttons are drawn with one): copy any that are missing.
if [ -d /usr/share/wine/fonts ]; then
    for f in /usr/share/wine/fonts/*; do
        [ -e "$RUN_DIR/prefix/drive_c/windows/Fonts/$(basename "$f")" ] ||
            cp "$f" "$RUN_DIR/prefix/drive_c/windows/Fonts/"
    done
fi
wineserver -p </dev/null >/dev/null 2>&1
# The driver's own processes must see the same desktop as the program.
"$ZEP_WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shot /f </dev/null >/dev/null 2>&1
"$ZEP_WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shot /d $DESKTOP /f \
    </dev/null >/dev/null 2>&1

(cd "$RUN_DIR" && exec "$ZEP_WINE64" explorer /desktop=shot,$DESKTOP "$INSTALLER" \
    </dev/null >"$RUN_DIR/installer.out" 2>&1) &

ud wait-window "$MAIN" 60
ud wait-text "$MAIN" 1002 "Driver Version: V1.1.0E" 30
ud wait-window "$MODELS" 60
# The model dialog opens over the main dialog: move it aside for the first picture.
ud move "$MODELS" 390 330
shot "$MAIN" "$OUT/installer-main.png"

ud move "$MODELS" 40 60
ud activate "$MODELS"
ud check-item "$MODELS" 1006 0
shot "$MODELS" "$OUT/installer-models.png"

ud click "$MODELS" 1
ud wait-window "$PORTS" 30
ud activate "$PORTS"
shot "$PORTS" "$OUT/installer-port.png"

ud close "$PORTS"
ud answer-box 1 30 >/dev/null
