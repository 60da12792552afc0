# shellcheck shell=bash disable=SC2034  # (names set here for the scripts that source it)
# What the end-to-end scripts need to run the programs under 64-bit Wine
# (sourced; bash): the build, the prefixes, the programs and the two test
# tools. Sources scripts/lib/wine.sh (every Wine start), report.sh (begin,
# fail, expect, finish, summary) and product.sh (what the product shows and
# leaves on the machine); the 32-bit programs under qemu: lib32.sh.
#
# Before sourcing: nothing. After sourcing, call e2e_init BUILD_DIR NAME.
#
# Environment:
#   ZEP_E2E_WINE_DIR  folder for the prefixes and runs (default build/e2e-wine)
#   ZEP_PRISTINE64    the pristine 64-bit prefix to clone (default
#                     $ZEP_E2E_WINE_DIR/pristine64; made when missing, ~80 s+)
#   ZEP_E2E_NO_BUILD  set: use the build tree as it is, build nothing
#   ZEP_XVFB_DISPLAY  display number of the private X server
#   E2E_HEADLESS      set before e2e_init: no X display at all (DISPLAY
#                     unset, no Xvfb) until e2e_display_on

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/lib/wine.sh
. "$E2E_ROOT/scripts/lib/wine.sh"
# shellcheck source=tests/e2e/report.sh
. "$E2E_ROOT/tests/e2e/report.sh"
# shellcheck source=tests/e2e/product.sh
. "$E2E_ROOT/tests/e2e/product.sh"

E2E_TAB=$'\t'
APP_PID=""
RUN_DIR=""

# ---------------------------------------------------------------- the build

# _e2e_runs NAME: the folder of this script's runs and the pristine prefix.
# NAME separates this script's runs from the others'.
_e2e_runs() {
    E2E_NAME=$1
    WINE_DIR=$(e2e_abs "${ZEP_E2E_WINE_DIR:-build/e2e-wine}")
    PRISTINE=$(e2e_abs "${ZEP_PRISTINE64:-$WINE_DIR/pristine64}")
    mkdir -p "$WINE_DIR/runs/$E2E_NAME"
    : >"$WINE_DIR/runs/$E2E_NAME/build.log"
}

# _e2e_tree TREE ARCH: TREE is a configured mingw build tree for ARCH
# (x86_64 or i686) that holds the programs and the test tools, built here
# unless ZEP_E2E_NO_BUILD is set; otherwise the script ends with 2.
_e2e_tree() {
    local tree=$1 arch=$2 preset=mingw-x86 format=pei-i386 f
    [ "$arch" = x86_64 ] && preset=mingw-x64 format=x86-64
    if [ ! -f "$tree/CMakeCache.txt" ]; then
        echo "$E2E_NAME: $tree is not a configured build tree (scripts/build.sh $preset)" >&2
        exit 2
    fi
    if [ -z "${ZEP_E2E_NO_BUILD:-}" ]; then
        cmake --build "$tree" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package \
            zep_statetool uidriver >>"$WINE_DIR/runs/$E2E_NAME/build.log" 2>&1 || {
            echo "$E2E_NAME: build failed in $tree (see $WINE_DIR/runs/$E2E_NAME/build.log)" >&2
            exit 2
        }
    fi
    for f in "$tree/tests/e2e/uidriver/uidriver.exe" "$tree/tests/e2e/statetool/zep_statetool.exe" \
             "$tree/installer/win32/ZEP_Installer.exe" "$tree/uninstaller/win32/ZEP_Uninstaller.exe"; do
        [ -f "$f" ] || { echo "$E2E_NAME: $f is missing" >&2; exit 2; }
    done
    if ! "$arch-w64-mingw32-objdump" -f "$tree/installer/win32/ZEP_Installer.exe" | grep -q "$format"; then
        echo "$E2E_NAME: $tree is not an $arch build" >&2
        exit 2
    fi
}

# e2e_init BUILD_DIR NAME: checks (and builds) the x86_64 tree, lays out the
# dist folder the programs run from, makes the pristine prefix and starts
# the X server.
e2e_init() {
    _e2e_runs "$2"
    BUILD=$(e2e_abs "${1:-build/mingw-x64}")
    _e2e_tree "$BUILD" x86_64
    UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
    STATETOOL=$BUILD/tests/e2e/statetool/zep_statetool.exe
    "$E2E_ROOT/scripts/build-winspool.sh" >/dev/null || exit 2

    DIST="$WINE_DIR/runs/$E2E_NAME/dist"
    "$E2E_ROOT/scripts/make-dist.sh" "$BUILD" "$DIST" >/dev/null || exit 2
    zep_wine_pristine64 "$PRISTINE"
    if [ -n "${E2E_HEADLESS:-}" ]; then
        E2E_LATER_DISPLAY=${DISPLAY:-}
        unset DISPLAY
    else
        zep_xvfb_start
    fi
    trap 'e2e_stop_prefix; zep_xvfb_stop' EXIT
}

# e2e_display_on: after a headless part, the display for the prefixes made
# from now on (the one the script was given, else a private X server).
e2e_display_on() {
    if [ -n "${E2E_LATER_DISPLAY:-}" ]; then
        export DISPLAY=$E2E_LATER_DISPLAY
    else
        zep_xvfb_start
    fi
}

# ---------------------------------------------------------------- prefixes

# _e2e_new_run NAME: RUN_DIR, the case's own empty folder.
_e2e_new_run() {
    RUN_DIR="$WINE_DIR/runs/$E2E_NAME/$1"
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
}

# Wine's own desktop window (window frames without a window manager) for the
# prefix of RUN_DIR, written before its session starts: the session's first
# process (even a console one) may make the desktop, which reads these
# values only then.
_e2e_desktop() {
    printf '\n%s\n%s\n\n%s\n%s\n' '[Software\\Wine\\Explorer] 0' '"Desktop"="Default"' \
        '[Software\\Wine\\Explorer\\Desktops] 0' '"Default"="1024x768"' >>"$RUN_DIR/prefix/user.reg"
}

# e2e_start_prefix NAME [SOURCE]: a fresh clone of SOURCE (default the
# pristine prefix) with the corrected winspool.drv (Wine's own with
# E2E_STOCK_WINSPOOL set), its wineserver kept up, Wine's own desktop window
# and a copy of the dist folder in RUN_DIR/dist.
e2e_start_prefix() {
    e2e_stop_prefix
    _e2e_new_run "$1"
    zep_wine_clone "${2:-$PRISTINE}" "$RUN_DIR/prefix"
    [ -n "${E2E_STOCK_WINSPOOL:-}" ] || zep_wine_install_winspool "$RUN_DIR/prefix" x86_64 || exit 2
    zep_wine_use64 "$RUN_DIR/prefix"
    [ -n "${E2E_STOCK_WINSPOOL:-}" ] || zep_wine_native_winspool
    cp -R "$DIST" "$RUN_DIR/dist"
    # (A clone of a prefix made here has its desktop already.)
    if [ -z "${2:-}" ] && [ -n "${DISPLAY:-}" ]; then _e2e_desktop; fi
    zep_wineserver -p </dev/null >/dev/null 2>&1
    # Without a display there is no desktop to make (headless cases); the
    # session's first process starts Wine's explorer, which fails to make it
    # and says so: let that happen here, away from the programs' output.
    if [ -z "${DISPLAY:-}" ]; then
        zep_wine64 "$STATETOOL" version </dev/null >/dev/null 2>&1
        return 0
    fi
    # The desktop process starts with the first window: let it start here,
    # where nothing waits on its output.
    zep_wine64 "$UIDRIVER" wait-gone "-" 0 </dev/null >/dev/null 2>&1
}

# Ends every process of the current prefix and its wineserver, which then
# writes the registry to the prefix's files (a clone of it sees the state).
e2e_stop_prefix() {
    [ -n "$RUN_DIR" ] && [ -d "$RUN_DIR/prefix" ] || return 0
    WINEPREFIX="$RUN_DIR/prefix" zep_wine_stop
    [ -n "$APP_PID" ] && wait "$APP_PID" 2>/dev/null
    APP_PID=""
    return 0
}

wine64q() { zep_wine64 "$@" </dev/null >/dev/null 2>&1; }
# Windows restarts in the current prefix: Wine's wineboot makes the renames
# and deletions queued for the restart (PendingFileRenameOperations).
wine_restart() { zep_wine64 wineboot -r </dev/null >/dev/null 2>&1; }
ud() { zep_wine64 "$UIDRIVER" "$@" </dev/null 2>>"$RUN_DIR/uidriver.err"; }
st() { st_run zep_wine64 "$@"; }

# st_run WINE ARGS: the state tool under WINE (zep_wine64 or zep_wine32).
# A run that printed nothing and failed, or a report that printed nothing
# (a report always has lines), never got to read the state: that goes into
# the step's Wine events with the tool's own error output, and the tool runs
# once more; a second such run is named an infrastructure failure. (One
# report came back empty in a CI run, once, and never here.) A time limit
# that ran out has ended the session and said so: no second run then.
st_run() {
    local wine=$1 out rc err="$RUN_DIR/statetool.last.err" try
    shift
    for try in 1 2; do
        out=$("$wine" "$STATETOOL" "$@" </dev/null 2>"$err")
        rc=$?
        cat "$err" >>"$RUN_DIR/statetool.err"
        [ -n "$out" ] && break
        [ $rc -eq 0 ] && [ "${1:-report}" != report ] && break
        [ $rc -eq 124 ] && break
        _zep_wine_event "state tool: \"$*\" in prefix ${WINEPREFIX:-?} printed nothing (exit $rc)$(
            [ $try = 2 ] && echo "; infrastructure: Wine did not run the state tool twice")$(
            [ -s "$err" ] && printf '; its errors: %s' "$(tail -n 3 "$err" | tr '\n' ' ' | cut -c1-300)")"
    done
    rm -f "$err"
    [ -n "$out" ] && printf '%s\n' "$out"
    return $rc
}

# The prefix's C: drive as a Unix path.
cdrive() { echo "$RUN_DIR/prefix/drive_c"; }

# ---------------------------------------------------------------- programs

# start_program WINDOWS-OR-UNIX-PATH [CWD [ARG...]]: starts a program in the
# background (APP_PID), in CWD (default RUN_DIR/dist), output to RUN_DIR.
start_program() { _e2e_start zep_wine64 "$@"; }
_e2e_start() {  # _e2e_start WINE PROGRAM [CWD [ARG...]]
    local wine=$1 program=$2 cwd=${3:-$RUN_DIR/dist} out
    shift $(($# < 3 ? $# : 3))
    out="$RUN_DIR/$(basename "$(echo "$program" | tr '\\' /)" .exe).out"
    (cd "$cwd" && "$wine" "$program" "$@" </dev/null >>"$out" 2>&1) &
    APP_PID=$!
}
start_installer() { start_program "$RUN_DIR/dist/ZEP_Installer.exe"; }

# app_wait SECONDS: waits for the program to end and sets APP_RC to its exit
# code, or to "running" when it did not end in time. (Not for $(...): a
# subshell cannot collect the exit code of its parent's child.)
app_wait() {
    local i=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        if [ "$i" -ge $(($1 * 10)) ]; then APP_RC=running; return; fi
        sleep 0.1
        i=$((i + 1))
    done
    wait "$APP_PID"
    APP_RC=$?
}

# app_wait_no_box SECONDS: as app_wait, and fails the case for every message
# box that shows meanwhile (answered with its first button so the run goes on).
app_wait_no_box() {
    local i=0 box
    while kill -0 "$APP_PID" 2>/dev/null; do
        if [ "$i" -ge $(($1 * 2)) ]; then APP_RC=running; return; fi
        if box=$(ud no-box 0.5); then
            i=$((i + 1))
        else
            fail "unexpected box: $box"
            ud answer-box 1 1 >/dev/null || ud answer-box 7 1 >/dev/null
        fi
    done
    wait "$APP_PID"
    APP_RC=$?
}

# watch_status TITLE ID FILE: records the control's texts in the background
# (WATCH_PID) until the window goes.
watch_status() {
    (zep_wine64 "$UIDRIVER" watch-text "$1" "$2" 300 </dev/null >"$3" 2>/dev/null) &
    WATCH_PID=$!
}

# run_for_code DIR COMMAND-LINE [SECONDS]: runs a Windows command line from
# the Unix folder DIR (its current folder) through the state tool, which
# waits for it and reads its whole exit code (Wine's Unix side keeps only
# the low 8 bits: 3010 would read 194). Sets RC, or a text saying why not.
# Wine's window-driver errors and the modules each process loads go to
# RUN_DIR/programs.err, each line with its process id (see made_window).
run_for_code() {
    local out wait=${3:-300}
    out=$(cd "$1" && WINEDEBUG=-all,err+winediag,+loaddll,+pid \
        zep_bounded $((wait + 60)) "$ZEP_WINE64" "$STATETOOL" run "$2" "$wait" \
        </dev/null 2>>"$RUN_DIR/programs.err")
    RC=$(sed -n 's/^ran exit=//p' <<<"$out")
    [ -n "$RC" ] || RC="no exit code${out:+ ($out)}"
}

# made_window: prints Wine's first complaint, in RUN_DIR/programs.err, that
# one of the two programs tried to make a window with no display to make it
# on; nothing when none did. (Other processes, Wine's own explorer among
# them, are not the programs' concern.)
made_window() {
    local err="$RUN_DIR/programs.err" pids
    [ -f "$err" ] || return 0
    pids=$(sed -n 's/^\([0-9a-f]*\):[0-9a-f]*:trace:loaddll:.*\\ZEP_\(Installer\|Uninstaller\)\.exe".*/\1/p' "$err" |
        sort -u)
    local pid
    for pid in $pids; do
        grep -m1 "^$pid:[0-9a-f]*:err:winediag:nodrv_CreateWindow" "$err" && return 0
    done
    return 0
}

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
