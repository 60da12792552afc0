# Shared parts of the end-to-end scripts that install and remove the sample
# package under Wine (sourced by install.sh, uninstall.sh and demo.sh; bash).
# Sources scripts/lib/wine.sh (every Wine start) and report.sh (begin, fail,
# expect, finish, summary).
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

E2E_TAB=$'\t'
APP_PID=""
RUN_DIR=""

# Titles and captions the tests look for.
E2E_INSTALLER_MAIN="KESTREL Customer Display Installation Progress"
E2E_MODELS="Select ZEP Model"
E2E_PORTS="Select Port Type"
E2E_UNINSTALLER_MAIN="Kestrel Customer Display Uninstaller"
E2E_RESTART_Q_INSTALL='Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I will restart my computer later.'
E2E_RESTART_Q_UNINSTALL='Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.'

# e2e_init BUILD_DIR NAME: checks (and builds) the x86_64 tree, lays out the
# dist folder the programs run from, makes the pristine prefix and starts
# the X server. NAME separates this script's runs from the others'.
e2e_init() {
    BUILD=$(e2e_abs "${1:-build/mingw-x64}")
    E2E_NAME=$2
    WINE_DIR=$(e2e_abs "${ZEP_E2E_WINE_DIR:-build/e2e-wine}")
    PRISTINE=$(e2e_abs "${ZEP_PRISTINE64:-$WINE_DIR/pristine64}")
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        echo "$E2E_NAME: $BUILD is not a configured build tree (scripts/build.sh mingw-x64)" >&2
        exit 2
    fi
    mkdir -p "$WINE_DIR/runs/$E2E_NAME"
    if [ -z "${ZEP_E2E_NO_BUILD:-}" ]; then
        cmake --build "$BUILD" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package \
            zep_statetool uidriver >"$WINE_DIR/runs/$E2E_NAME/build.log" 2>&1 || {
            echo "$E2E_NAME: build failed (see $WINE_DIR/runs/$E2E_NAME/build.log)" >&2
            exit 2
        }
    fi
    UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
    STATETOOL=$BUILD/tests/e2e/statetool/zep_statetool.exe
    for f in "$UIDRIVER" "$STATETOOL" "$BUILD/installer/win32/ZEP_Installer.exe" \
             "$BUILD/uninstaller/win32/ZEP_Uninstaller.exe"; do
        [ -f "$f" ] || { echo "$E2E_NAME: $f is missing" >&2; exit 2; }
    done
    if ! x86_64-w64-mingw32-objdump -f "$BUILD/installer/win32/ZEP_Installer.exe" | grep -q x86-64; then
        echo "$E2E_NAME: $BUILD is not an x86_64 build (64-bit Wine runs x86_64 programs)" >&2
        exit 2
    fi
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

# e2e_start_prefix NAME [SOURCE]: a fresh clone of SOURCE (default the
# pristine prefix) with the corrected winspool.drv (Wine's own with
# E2E_STOCK_WINSPOOL set), its wineserver kept up,
# Wine's own desktop window (window frames without a window manager) and a
# copy of the dist folder in RUN_DIR/dist.
e2e_start_prefix() {
    e2e_stop_prefix
    RUN_DIR="$WINE_DIR/runs/$E2E_NAME/$1"
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    zep_wine_clone "${2:-$PRISTINE}" "$RUN_DIR/prefix"
    [ -n "${E2E_STOCK_WINSPOOL:-}" ] || zep_wine_install_winspool "$RUN_DIR/prefix" x86_64 || exit 2
    zep_wine_use64 "$RUN_DIR/prefix"
    [ -n "${E2E_STOCK_WINSPOOL:-}" ] || zep_wine_native_winspool
    cp -R "$DIST" "$RUN_DIR/dist"
    # Wine's own desktop window, written before the session starts: the
    # session's first process (even a console one) may make the desktop,
    # which reads these values only then.
    if [ -z "${2:-}" ] && [ -n "${DISPLAY:-}" ]; then
        printf '\n%s\n%s\n\n%s\n%s\n' '[Software\\Wine\\Explorer] 0' '"Desktop"="Default"' \
            '[Software\\Wine\\Explorer\\Desktops] 0' '"Default"="1024x768"' >>"$RUN_DIR/prefix/user.reg"
    fi
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
start_program() {
    local program=$1 cwd=${2:-$RUN_DIR/dist}
    local out
    shift $(($# < 2 ? $# : 2))
    out="$RUN_DIR/$(basename "$(echo "$program" | tr '\\' /)" .exe).out"
    (cd "$cwd" && zep_wine64 "$program" "$@" </dev/null >>"$out" 2>&1) &
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

# The uninstall entry a new installation writes (VIEW 64 or 32), as the
# state tool shows it.
uninstall_entry() {
    local v=$1 exe='C:\windows\ZEP\ZEP_Uninstaller.exe'
    cat <<EOT
uninstall view=$v present=1
uninstall-value view=$v name="DisplayIcon" type=REG_SZ data="$exe"
uninstall-value view=$v name="DisplayName" type=REG_SZ data="KESTREL Customer Display Windows Driver V1.1.0E"
uninstall-value view=$v name="DisplayVersion" type=REG_SZ data="1.1.0.0"
uninstall-value view=$v name="NoModify" type=REG_DWORD data=1
uninstall-value view=$v name="NoRepair" type=REG_DWORD data=1
uninstall-value view=$v name="Publisher" type=REG_SZ data="KESTREL"
uninstall-value view=$v name="QuietUninstallString" type=REG_SZ data="\"$exe\" /quiet"
uninstall-value view=$v name="UninstallString" type=REG_SZ data="$exe"
EOT
}

# The QuietUninstallString of the entry (64-bit view) as a command line.
quiet_uninstall_string() {
    st uninstall | sed -n 's/^uninstall-value view=64 name="QuietUninstallString" type=REG_SZ data="\(.*\)"$/\1/p' |
        sed 's/\\"/"/g'
}

# ---------------------------------------------------------------- the installer

# install_models PORT-ID INDEX...: drives the model dialog (checks the
# given items of the sorted list) and the port dialog (PORT-ID: 1006 COM1,
# 1008 COM2, 1009 COM3 ...). Fails the case when a dialog does not come.
install_models() {
    local port=$1 i
    shift
    if ! ud wait-window "$E2E_MODELS" 60; then
        fail "no model dialog"
        return 1
    fi
    for i in "$@"; do ud check-item "$E2E_MODELS" 1006 "$i"; done
    ud click "$E2E_MODELS" 1
    if ! ud wait-window "$E2E_PORTS" 30; then
        fail "no port dialog"
        return 1
    fi
    ud click "$E2E_PORTS" "$port"
    ud click "$E2E_PORTS" 1
    return 0
}

# Answers the next message box; prints "CAPTION<TAB>TEXT<TAB>OWNER".
answer() { ud answer-box "$1" "${2:-60}"; }

# The installer's trace log and the uninstaller's, in the system drive's Temp.
installer_log() { tr -d '\r' 2>/dev/null <"$(cdrive)/Temp/ZEP_Installer.txt"; }
uninstaller_log() { tr -d '\r' 2>/dev/null <"$(cdrive)/Temp/ZEP_UnInstaller.txt"; }

# The BEGIN and END lines of a log, in order, without time stamps.
routine_lines() { grep -oE '[A-Za-z0-9_]+ (BEGIN|END)$'; }

# Runs a complete new installation of the given models (indexes in the model
# list) on a port, answering No to the restart question. Used to arrange the
# state of later cases; fails the case when a step does not come.
install_new() {  # install_new PORT-ID INDEX...
    start_installer
    install_models "$@" || return 1
    local box
    box=$(answer 7 120)
    [ "$(echo "$box" | cut -f2)" = "$E2E_RESTART_Q_INSTALL" ] ||
        fail "installation: expected the restart question, got \"$box\""
    app_wait 30
    [ "$APP_RC" = 0 ] || fail "installation: the installer ended with $APP_RC, expected 0"
}

# ---------------------------------------------------------------- state

# state_has LINE...: each LINE is a whole line of the state tool's output
# (captured in STATE); otherwise the case fails.
state_has() {
    local line
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$STATE" || fail "state lacks: $line"
    done
}
state_lacks() {  # state_lacks REGEX...: no line matches
    local re
    for re in "$@"; do
        if grep -qE -- "$re" <<<"$STATE"; then
            fail "state still has: $(grep -E -- "$re" <<<"$STATE" | head -n 1)"
        fi
    done
}

# files_absent PATH...: the state tool finds none of these files.
files_absent() {
    local out line
    out=$(st files "$@")
    while IFS= read -r line; do
        case "$line" in *" exists=1 "*) fail "still there: $(echo "$line" | cut -d'"' -f2)" ;; esac
    done <<<"$out"
}
files_present() {
    local out line
    out=$(st files "$@")
    while IFS= read -r line; do
        case "$line" in *" exists=0 "*) fail "missing: $(echo "$line" | cut -d'"' -f2)" ;; esac
    done <<<"$out"
}

# statuses FILE EXPECTED...: the texts recorded by watch_status (empty ones
# left out) are, in order, the expected texts; a text marked with a leading
# "?" shows too briefly for polling and may be missing. Prints what is wrong.
statuses() {
    local file=$1
    shift
    grep -v '^$' "$file" | awk -v want="$(printf '%s\n' "$@")" '
        function text(s) { return substr(s, 1, 1) == "?" ? substr(s, 2) : s }
        BEGIN { n = split(want, w, "\n"); if (w[n] == "") n--; j = 1 }
        {
            k = j
            while (k <= n && text(w[k]) != $0) k++
            if (k > n) { print "unexpected or out of order: \"" $0 "\""; bad = 1; next }
            for (m = j; m < k; m++) if (substr(w[m], 1, 1) != "?") { print "missing: \"" w[m] "\""; bad = 1 }
            j = k + 1
        }
        END {
            for (m = j; m <= n; m++) if (substr(w[m], 1, 1) != "?") print "missing: \"" w[m] "\""
        }'
}

# rename_inf_to_oem: gives the INF copy that Wine made (ZEP.inf, ZEP.pnf) the
# name Windows would have given it (the first free oemN.inf); prints it.
rename_inf_to_oem() {
    local inf n=0
    inf="$(cdrive)/windows/inf"
    while [ -e "$inf/oem$n.inf" ]; do n=$((n + 1)); done
    [ -f "$inf/ZEP.inf" ] || return 1
    mv "$inf/ZEP.inf" "$inf/oem$n.inf"
    [ -f "$inf/ZEP.pnf" ] && mv "$inf/ZEP.pnf" "$inf/oem$n.pnf"
    echo "oem$n"
}

# ---------------------------------------------------------------- unattended runs

# Where a 64-bit installation puts the product, and the lines the state tool
# shows for it.
UNINSTALLER='C:\windows\ZEP\ZEP_Uninstaller.exe'
DRV='C:\windows\system32\spool\drivers\x64'
PRT='C:\windows\system32\spool\prtprocs\x64'
DRIVER_LINE="driver env=\"Windows x64\" name=\"ZEP Character Type\" version=3 path=\"$DRV\\3\\UNIDRV.DLL\" data=\"$DRV\\3\\ZEP1TE.gpd\" config=\"$DRV\\3\\UNIDRVUI.DLL\" help=\"$DRV\\3\\UNIDRV.HLP\" monitor=\"ZEP Language Monitor\" datatype=\"RAW\""
MONITOR_LINE='monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"'
PRODUCT_FILES="C:\\windows\\ZEPMON.dll $PRT\\ZEPPRO.dll $PRT\\ZEP.ini $DRV\\3\\ZEP1TE.gpd $DRV\\3\\ZEPUI1T.DLL"

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

# ================================================================ 32-bit programs
#
# The product itself, the i686 programs, under 32-bit Wine. On this machine
# 32-bit Wine runs only through qemu user emulation: several seconds for
# every process start with Wine's preloader, about a minute without it
# (scripts/setup.sh installs it). Two kinds of prefix:
#   wow64  a 64-bit prefix: the programs are 32-bit processes on 64-bit
#          Windows; the x86_64 UI driver and state tool look on at native
#          speed. The corrected winspool.drv goes into system32 (x86_64) and
#          syswow64 (i686).
#   win32  a 32-bit prefix (WINEARCH=win32): everything is 32-bit, Wine's own
#          services too, so the first process start of a session waits
#          for them (about 2 minutes). One i686 UI driver and one i686 state
#          tool, each started once ("serve"), answer every command.
#
# Environment, besides the above:
#   ZEP_PRISTINE32 the pristine 32-bit prefix to clone (default
#                  $ZEP_E2E_WINE_DIR/pristine32; made when missing: about 3
#                  minutes)
#   ZEP_X64_BUILD  the x86_64 tree of the tools for wow64 prefixes and of the
#                  programs for 64-bit runs (default build/mingw-x64)

# e2e_init32 BUILD32 NAME: as e2e_init, for the i686 tree (the product) and
# the x86_64 tree beside it. DIST holds the x86_64 programs, DIST32 the i686
# ones, each beside Driver32/ and Driver64/.
e2e_init32() {
    BUILD32=$(e2e_abs "${1:-build/mingw-x86}")
    BUILD=$(e2e_abs "${ZEP_X64_BUILD:-build/mingw-x64}")
    E2E_NAME=$2
    WINE_DIR=$(e2e_abs "${ZEP_E2E_WINE_DIR:-build/e2e-wine}")
    PRISTINE=$(e2e_abs "${ZEP_PRISTINE64:-$WINE_DIR/pristine64}")
    PRISTINE32=$(e2e_abs "${ZEP_PRISTINE32:-$WINE_DIR/pristine32}")
    local tree
    for tree in "$BUILD32" "$BUILD"; do
        if [ ! -f "$tree/CMakeCache.txt" ]; then
            echo "$E2E_NAME: $tree is not a configured build tree (scripts/build.sh mingw-x86 / mingw-x64)" >&2
            exit 2
        fi
    done
    mkdir -p "$WINE_DIR/runs/$E2E_NAME"
    if [ ! -e "$(dirname "$ZEP_WINE32")/wine-preloader" ]; then
        echo "$E2E_NAME: Wine's preloader is missing (package wine32-preloader, scripts/setup.sh):" \
            "every 32-bit process start takes about a minute" >&2
    fi
    if [ -z "${ZEP_E2E_NO_BUILD:-}" ]; then
        for tree in "$BUILD32" "$BUILD"; do
            cmake --build "$tree" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package \
                zep_statetool uidriver >>"$WINE_DIR/runs/$E2E_NAME/build.log" 2>&1 || {
                echo "$E2E_NAME: build failed in $tree (see $WINE_DIR/runs/$E2E_NAME/build.log)" >&2
                exit 2
            }
        done
    fi
    UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
    STATETOOL=$BUILD/tests/e2e/statetool/zep_statetool.exe
    UIDRIVER32=$BUILD32/tests/e2e/uidriver/uidriver.exe
    STATETOOL32=$BUILD32/tests/e2e/statetool/zep_statetool.exe
    local f
    for f in "$UIDRIVER" "$STATETOOL" "$UIDRIVER32" "$STATETOOL32" \
             "$BUILD32/installer/win32/ZEP_Installer.exe" "$BUILD32/uninstaller/win32/ZEP_Uninstaller.exe" \
             "$BUILD/installer/win32/ZEP_Installer.exe" "$BUILD/uninstaller/win32/ZEP_Uninstaller.exe"; do
        [ -f "$f" ] || { echo "$E2E_NAME: $f is missing" >&2; exit 2; }
    done
    if ! i686-w64-mingw32-objdump -f "$BUILD32/installer/win32/ZEP_Installer.exe" | grep -q 'pei-i386'; then
        echo "$E2E_NAME: $BUILD32 is not an i686 build" >&2
        exit 2
    fi
    if ! x86_64-w64-mingw32-objdump -f "$BUILD/installer/win32/ZEP_Installer.exe" | grep -q x86-64; then
        echo "$E2E_NAME: $BUILD is not an x86_64 build" >&2
        exit 2
    fi
    "$E2E_ROOT/scripts/build-winspool.sh" >/dev/null || exit 2

    DIST="$WINE_DIR/runs/$E2E_NAME/dist64"
    DIST32="$WINE_DIR/runs/$E2E_NAME/dist32"
    "$E2E_ROOT/scripts/make-dist.sh" "$BUILD" "$DIST" >/dev/null || exit 2
    "$E2E_ROOT/scripts/make-dist.sh" "$BUILD32" "$DIST32" >/dev/null || exit 2
    zep_wine_pristine64 "$PRISTINE"
    zep_xvfb_start
    trap 'e2e_stop_prefix32; zep_xvfb_stop' EXIT
}

# e2e_start_prefix32 KIND NAME [VERSION]: a fresh clone of the pristine
# prefix of that kind (wow64: 64-bit, win32: 32-bit), its wineserver kept
# up, with the corrected winspool.drv, the Windows version VERSION (none:
# Wine's default), a copy of DIST32 in RUN_DIR/dist, and ud/st set for the
# kind. For win32 the serving UI driver and state tool start here, so their
# start-up overlaps the session's and the program's.
e2e_start_prefix32() {
    local kind=$1
    e2e_stop_prefix32
    E2E_KIND=$kind
    RUN_DIR="$WINE_DIR/runs/$E2E_NAME/$2"
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    case $kind in
        wow64)
            zep_wine_clone "$PRISTINE" "$RUN_DIR/prefix"
            zep_wine_install_winspool "$RUN_DIR/prefix" x86_64 || exit 2
            zep_wine_install_winspool "$RUN_DIR/prefix" i686 || exit 2
            zep_wine_use64 "$RUN_DIR/prefix"
            # The 32-bit programs in it run under 32-bit Wine (qemu).
            export QEMU_RESERVED_VA=0xf7000000
            ;;
        win32)
            zep_wine_pristine32 "$PRISTINE32" || { echo "$E2E_NAME: no 32-bit prefix $PRISTINE32" >&2; exit 2; }
            zep_wine_clone "$PRISTINE32" "$RUN_DIR/prefix"
            zep_wine_install_winspool "$RUN_DIR/prefix" i686 || exit 2
            zep_wine_use32 "$RUN_DIR/prefix"
            ;;
        *) echo "e2e_start_prefix32: unknown kind $kind" >&2; exit 2 ;;
    esac
    zep_wine_native_winspool
    # Written before the wineserver starts: anything else would cost a
    # process start in a 32-bit prefix.
    [ -n "${3:-}" ] && e2e_set_wine_version "$RUN_DIR/prefix" "$3"
    cp -R "$DIST32" "$RUN_DIR/dist"
    zep_wineserver -p </dev/null >/dev/null 2>>"$RUN_DIR/wineserver.err"
    if [ "$kind" = wow64 ]; then
        ud() { zep_wine64 "$UIDRIVER" "$@" </dev/null 2>>"$RUN_DIR/uidriver.err"; }
        st() { st_run zep_wine64 "$@"; }
        wine64q reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
            wine64q reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
        zep_wine64 "$UIDRIVER" wait-gone "-" 0 </dev/null >/dev/null 2>&1
    else
        ud() { serve_call ud "$@"; }
        st() { serve_call st "$@"; }
        serve_start ud "$UIDRIVER32"
        serve_start st "$STATETOOL32"
    fi
}

e2e_stop_prefix32() {
    serve_stop ud
    serve_stop st
    e2e_stop_prefix
}

# e2e_set_wine_version PREFIX VERSION: the Windows version Wine reports
# (HKCU\Software\Wine, Version), written into user.reg of a prefix whose
# wineserver is not running.
e2e_set_wine_version() {
    local reg="$1/user.reg"
    awk -v v="\"Version\"=\"$2\"" '
        pending && !/^#/ { print v; pending = 0 }
        /^\[/ { inside = 0 }
        /^\[Software\\\\Wine\] / { inside = 1; pending = 1; done = 1; print; next }
        inside && /^"Version"=/ { next }
        { print }
        END {
            if (pending) print v
            if (!done) { print ""; print "[Software\\\\Wine] 0"; print v }
        }
    ' "$reg" >"$reg.new" && mv "$reg.new" "$reg"
}

# start_program32 PATH [CWD]: as start_program, under 32-bit Wine.
start_program32() {
    local cwd=${2:-$RUN_DIR/dist} out
    out="$RUN_DIR/$(basename "$(echo "$1" | tr '\\' /)" .exe).out"
    (cd "$cwd" && zep_wine32 "$1" </dev/null >>"$out" 2>&1) &
    APP_PID=$!
}

# A serving tool of a win32 prefix (NAME ud or st): commands are appended to
# RUN_DIR/NAME.cmd, which the tool watches; each command's output comes back
# in RUN_DIR/NAME.res, ended by "serve-done RC" (tests/e2e/serve.h). Plain
# files: no descriptor of this shell is left open for the programs to
# inherit. serve_call NAME CMD ARGS... behaves as one call of the tool
# (output, exit code).
serve_start() {
    local name=$1 exe=$2
    : >"$RUN_DIR/$name.cmd"
    : >"$RUN_DIR/$name.res"
    (zep_bounded "$ZEP_LIMIT_SERVE32" "$ZEP_WINE32" "$exe" serve <"$RUN_DIR/$name.cmd" >"$RUN_DIR/$name.res" 2>>"$RUN_DIR/$name.err") &
    eval "SERVE_PID_$name=\$!"
}

serve_call() {
    local name=$1 done_lines total line limit pid
    shift
    eval "pid=\${SERVE_PID_$name:-}"
    done_lines=$(wc -l <"$RUN_DIR/$name.res")
    (IFS=$'\t'; printf '%s\n' "$*") >>"$RUN_DIR/$name.cmd"
    # The first answer waits for the tool's own start under emulation; the
    # commands' own time limits come on top.
    limit=$(( $(date +%s) + ${ZEP_SERVE_TIMEOUT:-1200} ))
    while :; do
        total=$(wc -l <"$RUN_DIR/$name.res")
        if [ "$total" -gt "$done_lines" ]; then
            while IFS= read -r line; do
                case $line in
                    "serve-done "*) return "${line#serve-done }" ;;
                esac
                printf '%s\n' "$line"
            done < <(sed -n "$((done_lines + 1)),${total}p" "$RUN_DIR/$name.res")
            done_lines=$total
        fi
        if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "$name: the serving tool ended before answering: $*" >>"$RUN_DIR/$name.err"
            return 1
        fi
        if [ "$(date +%s)" -ge "$limit" ]; then
            echo "$name: no answer to: $*" >>"$RUN_DIR/$name.err"
            return 1
        fi
        sleep 0.2
    done
}

serve_stop() {
    local name=$1 pid i=0
    eval "pid=\${SERVE_PID_$name:-}"
    [ -n "$pid" ] || return 0
    echo quit >>"$RUN_DIR/$name.cmd"
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    eval "SERVE_PID_$name="
    return 0
}

# The CheckOS block of a trace log (the first one): "PLATFORM MAJOR MINOR BUILD".
checkos_numbers() {
    sed -n '/CheckOS BEGIN$/,/CheckOS END$/p' | awk -F' : ' '
        /osvi.dwPlatformID/ { p = $2 } /osvi.dwMajorVersion/ { a = $2 }
        /osvi.dwMinorVersion/ { b = $2 } /osvi.dwBuildNumber/ { c = $2 }
        /CheckOS END$/ { print p, a, b, c; exit }'
}

# os_expected VERSION: "PLATFORM MAJOR MINOR PRODUCT-TYPE OS-CODE" as Wine 8.0
# reports the Windows version VERSION (HKCU\Software\Wine, Version;
# "default": none set) and the code the programs give it. Wine 8.0 gives
# "win7" the server product type and "win2008r2" the workstation one, the
# wrong way round, so they come out as 2009 and 2010; its default is the
# real Windows 7 (workstation).
os_expected() {
    case $1 in
        nt40) echo "2 4 0 1 2003" ;;
        win2k) echo "2 5 0 1 2004" ;;
        winxp) echo "2 5 1 1 2005" ;;
        winxp64) echo "2 5 2 1 2006" ;;
        vista) echo "2 6 0 1 2007" ;;
        win2008) echo "2 6 0 3 2008" ;;
        win7) echo "2 6 1 3 2009" ;;
        win2008r2) echo "2 6 1 1 2010" ;;
        win8 | win10) echo "2 6 2 1 2010" ;;
        default) echo "2 6 1 1 2010" ;;
        *) echo "os_expected: unknown version $1" >&2; echo "? ? ? ? ?" ;;
    esac
}

# check_os_block LABEL LOG WANT: the log's first CheckOS block against the
# version the state tool read in the same prefix (STATE, report --version),
# and the OS code the programs give it against WANT ("PLATFORM MAJOR MINOR
# PRODUCT-TYPE CODE", as Wine reports them). The log leaves out the product
# type, so that comes from the state tool.
check_os_block() {
    local label=$1 log=$2 want=$3 numbers version product code
    version=$(grep '^version ' <<<"$STATE")
    [ -n "$version" ] || { fail "the state tool did not read the version"; return; }
    product=$(sed -n 's/.* product=\([0-9]*\).*/\1/p' <<<"$version")
    numbers=$(checkos_numbers <<<"$log")
    [ -n "$numbers" ] || { fail "no CheckOS block in the log"; return; }
    expect "CheckOS block (platform major minor build)" "$numbers" \
        "$(sed -E 's/^version platform=([0-9]+) major=([0-9]+) minor=([0-9]+) build=([0-9]+).*/\1 \2 \3 \4/' <<<"$version")"
    # shellcheck disable=SC2086
    set -- $numbers
    code=$(os_code "$1" "$2" "$3" "$product")
    expect "platform major minor product type" "$1 $2 $3 $product" "$(cut -d' ' -f1-4 <<<"$want")"
    expect "OS code" "$code" "$(cut -d' ' -f5 <<<"$want")"
    note "os: $label reports $1 $2.$3 build $4, product type $product -> OS code $code"
}

# os_code PLATFORM MAJOR MINOR PRODUCT-TYPE: the OS code the programs give
# these version numbers (2000 ... 2010).
os_code() {
    local platform=$1 major=$2 minor=$3 product=$4
    if [ "$platform" = 1 ]; then
        if [ "$major" = 4 ]; then
            case $minor in 0) echo 2000; return ;; 10) echo 2001; return ;; 90) echo 2002; return ;; esac
        fi
        echo 2010
    elif [ "$platform" = 2 ]; then
        case $major in
            6) case $minor in
                   0) [ "$product" = 1 ] && echo 2007 || echo 2008 ;;
                   1) [ "$product" = 1 ] && echo 2010 || echo 2009 ;;
                   *) echo 2010 ;;
               esac ;;
            5) case $minor in 0) echo 2004 ;; 1) echo 2005 ;; 2) echo 2006 ;; *) echo 2010 ;; esac ;;
            *) if [ "$major" -le 4 ]; then echo 2003; else echo 2010; fi ;;
        esac
    else
        echo 2010
    fi
}
