# Shell functions for running the Windows builds under Wine (sourced).
#
#   zep_wine_pristine64 DIR     make (once) a pristine 64-bit prefix in DIR
#   zep_wine_pristine32 DIR     make (once) a pristine 32-bit prefix (qemu)
#   zep_wine_clone SRC DST      a fresh copy of a prefix for one test case
#   zep_wine_use64 PREFIX       export the environment for 64-bit Wine
#   zep_wine_use32 PREFIX       export the environment for 32-bit Wine (qemu)
#   zep_wine CMD...             run a Windows program in the chosen prefix
#   zep_wine_stop               end the wineserver of the chosen prefix
#   zep_xvfb_start / _stop      a private X display for the dialogs

ZEP_WINE64=/usr/lib/wine/wine64
ZEP_WINE32=/usr/lib/wine/wine

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

zep_wine() {
    "$ZEP_WINE_BIN" "$@"
}

zep_wine_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

# Creates the prefix only when it lacks its stamp, so reruns are fast.
zep_wine_pristine64() {
    dir="$1"
    [ -f "$dir/.zep-pristine" ] && return 0
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    (
        zep_wine_use64 "$dir"
        # 32-bit Wine must work while the prefix is made, or syswow64 stays empty.
        export QEMU_RESERVED_VA=0xf7000000
        "$ZEP_WINE64" wineboot -i >/dev/null 2>&1
        wineserver -w
    )
    touch "$dir/.zep-pristine"
}

# Under emulation this takes about 3 minutes (far longer without Wine's
# preloader).
zep_wine_pristine32() {
    dir="$1"
    [ -f "$dir/.zep-pristine" ] && return 0
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    (
        zep_wine_use32 "$dir"
        export WINEARCH=win32
        "$ZEP_WINE32" wineboot -i </dev/null >/dev/null 2>&1
        # A session process that crashed under emulation can leave its
        # debugger waiting for ever: end the session after a while.
        timeout 300 wineserver -w || { wineserver -k; wineserver -w; }
        # Only a prefix that can start a program gets the stamp.
        [ -f "$dir/drive_c/windows/system32/kernel32.dll" ] || exit 1
        touch "$dir/.zep-pristine"
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
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    ZEP_XVFB_PID=$!
    export DISPLAY=":$n"
    i=0
    while [ $i -lt 50 ] && ! xdpyinfo >/dev/null 2>&1; do sleep 0.1; i=$((i + 1)); done
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
