# Shell functions for running the Windows builds under Wine (sourced).
#
#   zep_wine_pristine64 DIR     make (once) a pristine 64-bit prefix in DIR
#   zep_wine_pristine32 DIR     make (once) a pristine 32-bit prefix (qemu)
#   zep_wine_clone SRC DST      a fresh copy of a prefix for one test case
#   zep_wine_use64 PREFIX       export the environment for 64-bit Wine
#   zep_wine_use32 PREFIX       export the environment for 32-bit Wine (qemu)
#   zep_wine CMD...             run a Windows program in the chosen prefix
#   zep_wine64 / zep_wine32 CMD...  the same with 64-bit / 32-bit Wine
#   zep_wineserver ARGS...      wineserver for the chosen prefix
#   zep_wine_stop               end the session of the chosen prefix
#   zep_wine_end_session PREFIX end every process of a prefix, by PID
#   zep_bounded LIMIT CMD...    run CMD in the chosen prefix with a time limit
#   zep_xvfb_start / _stop      a private X display for the dialogs
#
# Every Wine start (wine, wine64, wineboot, wineserver) goes through
# zep_bounded: a start that outlives its limit ends its prefix's whole
# session and fails with a line naming the command, the prefix and the time.
# tests/e2e/bounded-check.sh makes sure no script starts Wine another way.

ZEP_WINE64=/usr/lib/wine/wine64
ZEP_WINE32=/usr/lib/wine/wine

# Time limits in seconds for one Wine start, from the times measured on a
# 2-core machine (docs/performance.md) with a wide margin. They only bound a
# run that has gone wrong; a start that runs out of its limit fails.
: "${ZEP_LIMIT_BOOT64:=600}"    # wineboot -i, 64-bit prefix: about 80 s
: "${ZEP_LIMIT_BOOT32:=900}"    # wineboot -i, 32-bit prefix under qemu: about 3 minutes
: "${ZEP_LIMIT_RUN64:=420}"     # a program or test tool, 64-bit Wine: seconds; the UI
                                # driver's longest wait is 300 s
: "${ZEP_LIMIT_RUN32:=600}"     # the same under qemu: the first start in a new 32-bit session
                                # and an installation about 4 minutes at the most
: "${ZEP_LIMIT_SERVE32:=1500}"  # a 32-bit test tool that serves a whole round: about 7 minutes
: "${ZEP_LIMIT_SERVER:=120}"    # wineserver -p / -k / -w

_zep_wine_common() {
    export WINEPREFIX="$1"
    export WINEDEBUG="${ZEP_WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${ZEP_WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

zep_wine_use64() {
    _zep_wine_common "$1"
    unset WINEARCH
    export WINELOADER=$ZEP_WINE64
    ZEP_WINE_BIN=$ZEP_WINE64
}

zep_wine_use32() {
    _zep_wine_common "$1"
    # qemu needs room for Wine's fixed mappings (WINE.md).
    export QEMU_RESERVED_VA=0xf7000000
    export WINELOADER=$ZEP_WINE32
    ZEP_WINE_BIN=$ZEP_WINE32
}

# A line for the person reading the run: on stderr, and appended to
# $ZEP_WINE_EVENTS when set (run-all.sh shows them under the step).
_zep_wine_event() {
    echo "$*" >&2
    [ -n "${ZEP_WINE_EVENTS:-}" ] && echo "$*" >>"$ZEP_WINE_EVENTS"
    return 0
}

# The PIDs of a prefix's Wine processes (its wineserver, the Windows
# processes and, under emulation, their qemu), found by the WINEPREFIX of
# their environment; the shells and tools of the tests are not among them.
_zep_session_pids() {
    _zsp_want=$(cd "$1" 2>/dev/null && pwd -P) || _zsp_want=$1
    for _zsp_d in /proc/[0-9]*; do
        _zsp_exe=$(readlink "$_zsp_d/exe" 2>/dev/null) || continue
        case "${_zsp_exe##*/}" in
            wine*|qemu-*) ;;
            *) continue ;;
        esac
        # (The process may be gone by now.)
        _zsp_p=$({ tr '\0' '\n' <"$_zsp_d/environ"; } 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
        [ -n "$_zsp_p" ] || continue
        _zsp_p=$(cd "$_zsp_p" 2>/dev/null && pwd -P) || continue
        [ "$_zsp_p" = "$_zsp_want" ] && echo "${_zsp_d#/proc/}"
    done
    return 0
}

# Whether one of those PIDs is a wineserver.
_zep_session_has_server() {
    for _zsh_pid in $1; do
        case "$(readlink "/proc/$_zsh_pid/exe" 2>/dev/null)" in
            */wineserver*) return 0 ;;
        esac
        # Under emulation the server would be qemu running wineserver32.
        { tr '\0' ' ' <"/proc/$_zsh_pid/cmdline"; } 2>/dev/null | grep -q 'wineserver' && return 0
    done
    return 1
}

# zep_wine_end_session PREFIX: ends every process of the prefix's session.
# First the server's own kill: it ends its processes, writes the registry to
# the prefix's files and exits. Whatever is left then (a session whose
# server is gone cannot be reached that way) is killed by PID. Never a kill
# by name.
zep_wine_end_session() {
    [ -n "${1:-}" ] || return 0
    WINEPREFIX="$1" timeout -s KILL 30 /usr/bin/wineserver -k </dev/null >/dev/null 2>&1
    WINEPREFIX="$1" timeout -s KILL 30 /usr/bin/wineserver -w </dev/null >/dev/null 2>&1
    _zes_i=0
    while [ $_zes_i -lt 20 ]; do
        _zes_pids=$(_zep_session_pids "$1")
        [ -n "$_zes_pids" ] || return 0
        # shellcheck disable=SC2086
        [ $_zes_i -ge 2 ] && kill -9 $_zes_pids 2>/dev/null
        sleep 0.5
        _zes_i=$((_zes_i + 1))
    done
    _zep_wine_event "wine-limit: processes of prefix $1 still there after they were killed: $(_zep_session_pids "$1" | tr '\n' ' ')"
    return 1
}

# zep_bounded LIMIT CMD...: runs CMD (a Wine start) in the prefix $WINEPREFIX
# with a time limit of LIMIT seconds, and returns its status. When the limit
# runs out, the prefix's session is ended, the line below is written and the
# status is 124:
#   wine-limit: "CMD" in prefix P did not end within LIMIT s (its session was ended)
# A failure of the Wine infrastructure rather than of the program is marked
# "infrastructure" on that line, or on a line of its own when the program
# died of a crash signal: run-all.sh retries such a step once.
zep_bounded() {
    _zb_limit=$1
    shift
    _zb_t0=$(date +%s)
    # KILL at once: the whole session is ended next anyway, and a process
    # that waits for a server that is gone would never act on a TERM.
    timeout -s KILL "$_zb_limit" "$@"
    _zb_rc=$?
    _zb_took=$(( $(date +%s) - _zb_t0 ))
    _zb_prefix=${WINEPREFIX:-$HOME/.wine}
    _zb_cmd=$(echo "$*" | cut -c1-160)
    case $_zb_rc in
        137)
            # Only the limit's own end: a session ended by the tests (wineserver
            # -k) also ends its programs with SIGKILL.
            [ "$_zb_took" -ge "$_zb_limit" ] || return $_zb_rc
            _zb_pids=$(_zep_session_pids "$_zb_prefix")
            _zb_kind=""
            case "$*" in
                *wineboot*) _zb_kind="; infrastructure: the prefix was never made" ;;
                *)
                    if [ -n "$_zb_pids" ] && ! _zep_session_has_server "$_zb_pids"; then
                        _zb_kind="; infrastructure: the prefix's wineserver is gone while its processes wait"
                    fi ;;
            esac
            zep_wine_end_session "$_zb_prefix"
            _zep_wine_event "wine-limit: \"$_zb_cmd\" in prefix $_zb_prefix did not end within $_zb_limit s (its session was ended)$_zb_kind"
            return 124 ;;
        132|134|135|136|139)
            # Wine turns a Windows program's faults into exceptions: a Unix
            # crash signal means Wine itself (or qemu under it) crashed.
            _zep_wine_event "wine-limit: \"$_zb_cmd\" in prefix $_zb_prefix was ended by signal $((_zb_rc - 128)) after $_zb_took s; infrastructure: Wine crashed"
            return $_zb_rc ;;
    esac
    return $_zb_rc
}

# Runs a Windows program in the chosen prefix (zep_wine_use64/32).
zep_wine() {
    if [ "$ZEP_WINE_BIN" = "$ZEP_WINE32" ]; then
        zep_bounded "$ZEP_LIMIT_RUN32" "$ZEP_WINE32" "$@"
    else
        zep_bounded "$ZEP_LIMIT_RUN64" "$ZEP_WINE64" "$@"
    fi
}
zep_wine64() { zep_bounded "$ZEP_LIMIT_RUN64" "$ZEP_WINE64" "$@"; }
zep_wine32() { zep_bounded "$ZEP_LIMIT_RUN32" "$ZEP_WINE32" "$@"; }
# Debian's wineserver wrapper runs the native 64-bit server for either kind
# of prefix.
zep_wineserver() { zep_bounded "$ZEP_LIMIT_SERVER" /usr/bin/wineserver "$@"; }

# Ends the session of the chosen prefix (zep_wine_end_session).
zep_wine_stop() {
    zep_wine_end_session "${WINEPREFIX:-}" || true
}

# A new prefix: its wineserver is started first, by us, native and
# persistent. Otherwise the first Wine process starts one through Debian's
# wrapper, which runs it with persistence 0: such a server closes its socket
# and exits 4 s after it counts no user process, and under qemu, where a
# process start takes seconds and session processes crash now and then
# (SIGSEGV inside qemu), the session that makes a 32-bit prefix was seen
# waiting for ever on a server that had gone. Then wineboot -i, and the
# session is ended: the server writes the registry as it exits.
_zep_wine_make_prefix() {  # DIR LIMIT WINE
    mkdir -p "$1"
    zep_wineserver -p </dev/null >/dev/null 2>&1 || return 1
    zep_bounded "$2" "$3" wineboot -i </dev/null >/dev/null 2>&1
    _zmp_rc=$?
    if [ $_zmp_rc -ne 0 ]; then
        # (A limit that ran out has said so already.)
        [ $_zmp_rc = 124 ] ||
            _zep_wine_event "wine-limit: wineboot -i in prefix $1 ended with status $_zmp_rc; infrastructure: the prefix was never made"
        zep_wine_end_session "$1"
        return 1
    fi
    zep_wine_stop
    # Only a prefix that can start a program gets the stamp.
    _zep_prefix_usable "$1" || return 1
    touch "$1/.zep-pristine"
}

# Creates the prefix only when it lacks its stamp, so reruns are fast.
zep_wine_pristine64() {
    dir="$1"
    [ -f "$dir/.zep-pristine" ] && return 0
    rm -rf "$dir"
    (
        zep_wine_use64 "$dir"
        # 32-bit Wine must work while the prefix is made, or syswow64 stays empty.
        export QEMU_RESERVED_VA=0xf7000000
        _zep_wine_make_prefix "$dir" "$ZEP_LIMIT_BOOT64" "$ZEP_WINE64"
    )
}

# A prefix that can start a program: its registry and system DLLs are there.
_zep_prefix_usable() {
    if [ -s "$1/system.reg" ] && [ -f "$1/drive_c/windows/system32/kernel32.dll" ]; then
        return 0
    fi
    _zep_wine_event "wine-limit: the prefix $1 was made without its registry or system DLLs; infrastructure: the prefix is not usable"
    return 1
}

# Under emulation this takes about 3 minutes (far longer without Wine's
# preloader).
zep_wine_pristine32() {
    dir="$1"
    [ -f "$dir/.zep-pristine" ] && return 0
    rm -rf "$dir"
    (
        zep_wine_use32 "$dir"
        export WINEARCH=win32
        _zep_wine_make_prefix "$dir" "$ZEP_LIMIT_BOOT32" "$ZEP_WINE32"
    )
}

# The system DLL folders are hard-linked (never written in place by the
# cases); everything else is copied.
zep_wine_clone() {
    src="$(realpath "$1")"; mkdir -p "$2"; dst="$(realpath "$2")"
    rm -rf "$dst"
    mkdir -p "$dst"
    (cd "$src" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$dst/" \;)
    mkdir -p "$dst/drive_c"
    (cd "$src/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$dst/drive_c/" \;)
    mkdir -p "$dst/drive_c/windows"
    for e in "$src"/drive_c/windows/* "$src"/drive_c/windows/.[!.]*; do
        [ -e "$e" ] || continue
        case "$(basename "$e")" in
            system32|syswow64|winsxs) cp -al "$e" "$dst/drive_c/windows/" ;;
            *) cp -a "$e" "$dst/drive_c/windows/" ;;
        esac
    done
    # dosdevices links point into the source; make them point at the copy.
    if [ -d "$dst/dosdevices" ]; then
        rm -f "$dst/dosdevices/c:"
        ln -s ../drive_c "$dst/dosdevices/c:"
    fi
}

zep_xvfb_start() {
    if [ -n "${DISPLAY:-}" ] && [ -z "${ZEP_FORCE_XVFB:-}" ]; then return 0; fi
    n=${ZEP_XVFB_DISPLAY:-$((90 + $$ % 100))}
    # A display another run holds (its lock file) is never shared: the next
    # free number is taken, and one that Xvfb cannot get either.
    tries=0
    while [ $tries -lt 40 ]; do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            ZEP_XVFB_PID=$!
            i=0
            while [ $i -lt 50 ] && kill -0 "$ZEP_XVFB_PID" 2>/dev/null &&
                ! DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; do
                sleep 0.1
                i=$((i + 1))
            done
            if kill -0 "$ZEP_XVFB_PID" 2>/dev/null; then
                export DISPLAY=":$n"
                return 0
            fi
        fi
        n=$((n + 1))
        tries=$((tries + 1))
    done
    echo "zep_xvfb_start: no free X display" >&2
    ZEP_XVFB_PID=
    return 1
}

zep_xvfb_stop() {
    if [ -n "${ZEP_XVFB_PID:-}" ]; then
        kill "$ZEP_XVFB_PID" 2>/dev/null || true
        wait "$ZEP_XVFB_PID" 2>/dev/null || true
        ZEP_XVFB_PID=
    fi
}

# zep_wine_install_winspool PREFIX ARCH   (ARCH: x86_64 or i686)
# Puts the corrected winspool.drv (scripts/build-winspool.sh) into a prefix:
# system32 for x86_64 and for a 32-bit prefix, syswow64 for i686 in a 64-bit
# prefix. Run the programs with zep_wine_native_winspool, which makes Wine
# load it as a native DLL: without the file they then fail to start instead
# of silently using the builtin one.
zep_wine_install_winspool() {
    prefix="$1"; arch="$2"
    # The DLLs live in the build folder of the checkout (ZEP_WINSPOOL_DIR
    # overrides); sh has no BASH_SOURCE, so git finds the checkout there.
    root="${ZEP_ROOT:-$(git rev-parse --show-toplevel 2>/dev/null || pwd)}"
    src="${ZEP_WINSPOOL_DIR:-$root/build/wine/winspool}/$arch/winspool.drv"
    if [ ! -f "$src" ]; then
        echo "zep_wine_install_winspool: $src is missing (run scripts/build-winspool.sh)" >&2
        return 1
    fi
    case "$arch" in
        x86_64) dir="$prefix/drive_c/windows/system32" ;;
        i686)   if [ -d "$prefix/drive_c/windows/syswow64" ]; then
                    dir="$prefix/drive_c/windows/syswow64"
                else
                    dir="$prefix/drive_c/windows/system32"
                fi ;;
        *) echo "zep_wine_install_winspool: unknown architecture $arch" >&2; return 1 ;;
    esac
    # Cloned prefixes hard-link their system folders: replace the link, never
    # write through it into the pristine prefix.
    rm -f "$dir/winspool.drv"
    cp "$src" "$dir/winspool.drv"
}

# Adds "winspool.drv=n" to WINEDLLOVERRIDES (after zep_wine_use64/32).
zep_wine_native_winspool() {
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winspool.drv=n"
}
