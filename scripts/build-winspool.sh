#!/bin/sh
# Builds the corrected winspool.drv that the end-to-end tests load into their
# Wine prefixes (as a native DLL), for x86_64 and i686.
#
# Wine 8.0's AddPrinter knows only print processors that its enumeration
# lists, and that enumeration stops at "winprint", so a processor whose name
# sorts after it is refused with 1798 (87 through AddPrinterA, whose cleanup
# overwrites the error). Windows accepts any processor registered for the
# environment. scripts/patches/winspool-printproc.patch makes Wine do the
# same and keeps AddPrinterW's error in AddPrinterA.
#
# A 32-bit program on 64-bit Windows is served by the 64-bit spooler: its
# AddPrinter takes the driver of "Windows x64" and its AddMonitor for
# "Windows x64" does not load the 64-bit monitor DLL in the 32-bit program.
# Wine runs both in the caller; scripts/patches/winspool-wow64.patch gives
# such a caller Windows' behaviour. The patches (scripts/patches/winspool-*)
# are applied in name order.
#
# From a clean Debian machine: fetches Debian's own wine 8.0~repack-4 source
# through a private, temporary deb-src list (nothing under /etc is touched),
# installs libwine-dev (amd64 and i386) and wine64-tools when missing, and
# compiles only the PE part of dlls/winspool.drv with winegcc, without the
# builtin marker. Nothing under /usr is replaced.
#
# Output: build/wine/winspool/x86_64/winspool.drv
#         build/wine/winspool/i686/winspool.drv
# Skips the build when both are newer than the patches and this script;
# --force rebuilds.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work="${ZEP_WINSPOOL_WORK:-$root/build/wine/winspool}"
patches=$(ls "$root"/scripts/patches/winspool-*.patch | LC_ALL=C sort)
wine_version="8.0~repack-4"
mirror="${ZEP_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
suite="bookworm"          # the release that carries wine 8.0~repack-4
src="$work/src/wine-8.0~repack"

log() { echo "build-winspool: $*"; }

force=""
[ "${1:-}" = "--force" ] && force=1

up_to_date() {
    for arch in x86_64 i686; do
        out="$work/$arch/winspool.drv"
        [ -f "$out" ] || return 1
        for p in $patches; do [ "$out" -nt "$p" ] || return 1; done
        [ "$out" -nt "$0" ] || return 1
    done
    return 0
}

if [ -z "$force" ] && up_to_date; then
    log "up to date ($work/{x86_64,i686}/winspool.drv)"
    exit 0
fi

start=$(date +%s)

# --- tools ---------------------------------------------------------------
missing=""
for p in dpkg-dev libwine-dev:amd64 libwine-dev:i386 wine64-tools gcc-mingw-w64-x86-64 gcc-mingw-w64-i686; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" != 0 ]; then
        log "missing packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    # libwine-dev:i386 needs the i386 architecture (scripts/setup.sh adds it).
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    log "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # shellcheck disable=SC2086
    if ! apt-get install -y -q --no-install-recommends $missing >/dev/null; then
        apt-get update -q >/dev/null
        apt-get install -y -q --no-install-recommends $missing >/dev/null
    fi
fi

# --- source --------------------------------------------------------------
if [ ! -f "$src/dlls/winspool.drv/info.c" ]; then
    # A private source list, state and cache: the system's apt lists are
    # neither extended nor pruned, and the entry is gone afterwards.
    apt_tmp="$work/apt"
    rm -rf "$apt_tmp" "$work/src"
    mkdir -p "$apt_tmp/lists/partial" "$apt_tmp/cache/archives/partial" \
             "$apt_tmp/parts" "$work/src"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    printf 'deb-src [signed-by=%s] %s %s main\n' "$keyring" "$mirror" "$suite" \
        > "$apt_tmp/sources.list"
    set -- -o "Dir::Etc::SourceList=$apt_tmp/sources.list" \
           -o "Dir::Etc::SourceParts=$apt_tmp/parts" \
           -o "Dir::State::Lists=$apt_tmp/lists" \
           -o "Dir::Cache=$apt_tmp/cache" \
           -o "APT::Sandbox::User=root"
    log "fetching wine=$wine_version source from $mirror ($suite)"
    apt-get "$@" -q update >/dev/null
    (cd "$work/src" && apt-get "$@" -q source "wine=$wine_version" >/dev/null)
    rm -rf "$apt_tmp"
    rm -f "$work/src"/wine_*.tar.* "$work/src"/wine_*.dsc
    [ -f "$src/dlls/winspool.drv/info.c" ] || { log "source unpack failed" >&2; exit 1; }
    # The build needs only the headers and the DLL's folder (345 MB -> 20 MB);
    # ZEP_WINSPOOL_KEEP_SOURCE=1 keeps the whole tree.
    if [ -z "${ZEP_WINSPOOL_KEEP_SOURCE:-}" ]; then
        find "$src" -mindepth 1 -maxdepth 1 ! -name include ! -name dlls ! -name VERSION -exec rm -rf {} +
        find "$src/dlls" -mindepth 1 -maxdepth 1 ! -name winspool.drv -exec rm -rf {} +
    fi
fi

# --- patch (on a copy, so the unpacked source stays pristine) -----------
tree="$work/patched"
rm -rf "$tree"
mkdir -p "$tree/dlls"
cp -r "$src/dlls/winspool.drv" "$tree/dlls/"
for p in $patches; do
    patch -s -d "$tree" -p1 --no-backup-if-mismatch < "$p"
done

# --- compile the PE part for both architectures -------------------------
dll="$tree/dlls/winspool.drv"
for arch in x86_64 i686; do
    obj="$work/obj-$arch"
    rm -rf "$obj"
    mkdir -p "$obj" "$work/$arch"
    target="$arch-w64-mingw32"
    # The flags Wine's own build gives PE modules; -idirafter finds the
    # internal headers of the source tree (wine/windef16.h) while the
    # installed headers, which include the generated ones, come first.
    cflags="-O2 -D__WINESRC__ -D__WINE_PE_BUILD -D_WINSPOOL_ -D_UCRT -Wall -fno-strict-aliasing"
    ldflags=""
    wrcarch=""
    case $arch in
        i686)   cflags="$cflags -fno-omit-frame-pointer"
                ldflags="-Wl,--disable-stdcall-fixup" ;;
        x86_64) cflags="$cflags -mcx16"
                wrcarch="-m64" ;;
    esac
    for c in info wspool; do
        # shellcheck disable=SC2086
        winegcc -b "$target" $cflags -I"$dll" -idirafter "$src/include" \
            -c -o "$obj/$c.o" "$dll/$c.c"
    done
    # shellcheck disable=SC2086
    wrc --nostdinc $wrcarch -I"$dll" -I/usr/include/wine/wine/windows -I"$src/include" \
        -D__WINESRC__ -o "$obj/winspool.res" "$dll/winspool.rc"
    # No -Wl,--wine-builtin: the DLL must load as a native one.
    # shellcheck disable=SC2086
    winegcc -b "$target" -shared $ldflags -o "$obj/winspool.drv" "$dll/winspool.drv.spec" \
        "$obj/info.o" "$obj/wspool.o" "$obj/winspool.res" \
        -luser32 -lgdi32 -ladvapi32 -lcompstui
    if grep -q "Wine builtin DLL" "$obj/winspool.drv"; then
        log "$arch: the DLL carries the builtin marker" >&2
        exit 1
    fi
    mv "$obj/winspool.drv" "$work/$arch/winspool.drv"
    rm -rf "$obj"
done
rm -rf "$tree"

log "built $work/x86_64/winspool.drv and $work/i686/winspool.drv in $(( $(date +%s) - start )) s"
