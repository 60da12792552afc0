# shellcheck shell=bash disable=SC2034,SC2317  # (names set here for the scripts that source it)
# The 32-bit programs (the product itself, the i686 build) under 32-bit
# Wine (sourced after lib.sh; bash). On this machine 32-bit Wine runs only
# through qemu user emulation: several seconds for every process start with
# Wine's preloader, about a minute without it (scripts/setup.sh installs
# it). Two kinds of prefix:
#   wow64  a 64-bit prefix: the programs are 32-bit processes on 64-bit
#          Windows; the x86_64 UI driver and state tool look on at native
#          speed. The corrected winspool.drv goes into system32 (x86_64) and
#          syswow64 (i686).
#   win32  a 32-bit prefix (WINEARCH=win32): everything is 32-bit, Wine's own
#          services too, so the first process start of a session waits
#          for them (about 2 minutes). One i686 UI driver and one i686 state
#          tool, each started once ("serve"), answer every command.
#
# Environment, besides lib.sh's:
#   ZEP_PRISTINE32 the pristine 32-bit prefix to clone (default
#                  $ZEP_E2E_WINE_DIR/pristine32; made when missing: about 3
#                  minutes)
#   ZEP_X64_BUILD  the x86_64 tree of the tools for wow64 prefixes and of the
#                  programs for 64-bit runs (default build/mingw-x64)

# e2e_init32 BUILD32 NAME: as e2e_init for the x86_64 tree, and the i686
# tree (the product) beside it. DIST holds the x86_64 programs, DIST32 the
# i686 ones, each beside Driver32/ and Driver64/.
e2e_init32() {
    e2e_init "${ZEP_X64_BUILD:-build/mingw-x64}" "$2"
    BUILD32=$(e2e_abs "${1:-build/mingw-x86}")
    PRISTINE32=$(e2e_abs "${ZEP_PRISTINE32:-$WINE_DIR/pristine32}")
    if [ ! -e "$(dirname "$ZEP_WINE32")/wine-preloader" ]; then
        echo "$E2E_NAME: Wine's preloader is missing (package wine32-preloader, scripts/setup.sh):" \
            "every 32-bit process start takes about a minute" >&2
    fi
    _e2e_tree "$BUILD32" i686
    UIDRIVER32=$BUILD32/tests/e2e/uidriver/uidriver.exe
    STATETOOL32=$BUILD32/tests/e2e/statetool/zep_statetool.exe
    DIST32="$WINE_DIR/runs/$E2E_NAME/dist32"
    "$E2E_ROOT/scripts/make-dist.sh" "$BUILD32" "$DIST32" >/dev/null || exit 2
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
    _e2e_new_run "$2"
    case $kind in
        wow64)
            zep_wine_clone "$PRISTINE" "$RUN_DIR/prefix"
            zep_wine_install_winspool "$RUN_DIR/prefix" x86_64 || exit 2
            zep_wine_install_winspool "$RUN_DIR/prefix" i686 || exit 2
            zep_wine_use64 "$RUN_DIR/prefix"
            # The 32-bit programs in it run under 32-bit Wine (qemu).
            export QEMU_RESERVED_VA=0xf7000000
            _e2e_desktop
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

# start_program32 PATH [CWD [ARG...]]: as start_program, under 32-bit Wine.
start_program32() { _e2e_start zep_wine32 "$@"; }

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
