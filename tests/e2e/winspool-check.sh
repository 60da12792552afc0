#!/bin/sh
# Conformance case for the corrected winspool.drv: stock Wine refuses
# AddPrinter for a registered print processor whose name sorts after
# "winprint" (1798 through AddPrinterW, 87 through AddPrinterA); with the
# corrected DLL it is accepted as on Windows, while an unknown or empty one
# is still refused with 1798. Then the installer's registration sequence
# runs against the corrected DLL and the state tool shows its result.
#
#   tests/e2e/winspool-check.sh [BUILD_DIR]
#
# BUILD_DIR: a configured x86_64 mingw build tree (default build/mingw-x64);
# the script builds its targets zep_winspool_probe, zep_statetool and
# zep_package there. ZEP_CHECK_WORK: folder for the prefixes (default
# build/wine/check); ZEP_PRISTINE64: an existing pristine 64-bit prefix to
# reuse (default: one made under ZEP_CHECK_WORK, about 80 s the first time).
# ZEP_CHECK_X86_BUILD: a configured i686 build tree; when set, the refusals
# and the acceptances are also checked for a 32-bit program in the 64-bit
# prefix with the i686 DLL, the WOW64 corrections included (32-bit Wine
# under qemu: about half a minute more). ZEP_CHECK_X86_ONLY=1: only that part.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
E2E_ROOT=$root
. "$root/tests/e2e/report.sh"
build=$(e2e_abs "${1:-build/mingw-x64}")
work=$(e2e_abs "${ZEP_CHECK_WORK:-build/wine/check}")
pristine=$(e2e_abs "${ZEP_PRISTINE64:-$work/pristine64}")

. "$root/scripts/lib/wine.sh"

# expect_line FILE LINE: a check of its own, that the output FILE holds LINE
# as a whole line.
expect_line() {
    if grep -qxF -- "$2" "$1"; then passed "$(basename "$1" .out): $2"; else failed "$(basename "$1" .out): missing: $2"; fi
}

winpath() { echo "Z:$1" | tr / '\\'; }

"$root/scripts/build-winspool.sh"
cmake --build "$build" --target zep_winspool_probe zep_statetool zep_package -j2 >/dev/null
probe=$(find "$build" -name zep_winspool_probe.exe | head -n 1)
statetool=$(find "$build" -name zep_statetool.exe | head -n 1)
pkg="$build/package/Driver64"
[ -n "$probe" ] && [ -n "$statetool" ] && [ -f "$pkg/ZEPPRO.dll" ] || {
    echo "winspool-check: probe, state tool or package missing in $build" >&2
    exit 1
}

mkdir -p "$work"
zep_wine_pristine64 "$pristine"

# run PREFIX NATIVE OUT ARGS...: one program in a fresh clone of the
# pristine prefix, with or without the corrected DLL.
run() {
    prefix="$1"; native="$2"; out="$3"; shift 3
    (
        zep_wine_use64 "$prefix"
        [ "$native" = yes ] && zep_wine_native_winspool
        if [ -n "${run32:-}" ]; then
            # A 32-bit program in the 64-bit prefix: 32-bit Wine under qemu.
            export QEMU_RESERVED_VA=0xf7000000
            ZEP_WINE_BIN=$ZEP_WINE32
        fi
        set +e
        zep_wine "$@" > "$out" 2> "$out.err"
        echo "exit=$?" >> "$out"
    )
}

# --- 32-bit callers on 64-bit Wine (ZEP_CHECK_X86_BUILD) ----------------
# On 64-bit Windows the 64-bit spooler serves a 32-bit program: AddPrinter
# takes the driver registered for "Windows x64", and AddMonitor for
# "Windows x64" has the spooler load the 64-bit monitor DLL. Stock Wine does
# both in the caller: it looks for the driver in "Windows NT x86" (1797) and
# cannot load a 64-bit DLL into a 32-bit process (126). The corrected DLL
# (scripts/patches/winspool-wow64.patch) does what Windows does; a monitor
# whose DLL is nowhere is still refused with 126. Both probes run under
# 32-bit Wine (qemu), the two prefixes side by side.
check_32bit_callers() {
    b32="$ZEP_CHECK_X86_BUILD"
    case "$b32" in /*) ;; *) b32="$root/$b32" ;; esac
    cmake --build "$b32" --target zep_winspool_probe zep_package -j2 >/dev/null
    probe32=$(find "$b32" -name zep_winspool_probe.exe | head -n 1)
    pkg64="$(winpath "$b32/package/Driver64")"
    for variant in stock32 fixed32; do
        (
            zep_wine_clone "$pristine" "$work/$variant"
            # A session of 32-bit processes: its server started by us
            # (scripts/lib/wine.sh, _zep_wine_make_prefix, says why).
            (zep_wine_use64 "$work/$variant"; zep_wineserver -p)
            native=no
            if [ $variant = fixed32 ]; then
                zep_wine_install_winspool "$work/$variant" i686
                # The x86_64 state tool below loads it too.
                zep_wine_install_winspool "$work/$variant" x86_64
                native=yes
            fi
            run32=1
            run "$work/$variant" $native "$work/$variant.out" "$probe32" check "$pkg64"
            run "$work/$variant" $native "$work/$variant-install.out" "$probe32" install "$pkg64"
            run32=
            if [ $variant = fixed32 ]; then
                run "$work/$variant" yes "$work/$variant-state.out" "$statetool" report 'C:\windows\ZEPMON.dll'
            fi
            (zep_wine_use64 "$work/$variant"; zep_wine_stop)
        ) &
    done
    wait
    # Stock Wine looks for the driver among "Windows NT x86" (1797); its
    # AddPrinterA loses that code (87), as for 64-bit callers above.
    expect_line "$work/stock32.out" 'call=AddPrinterW case=registered processor="ZEP PRINT PROCESSOR" result=fail error=1797'
    expect_line "$work/stock32.out" 'call=AddPrinterA case=registered processor="ZEP PRINT PROCESSOR" result=fail error=87'
    for call in AddPrinterW AddPrinterA; do
        expect_line "$work/fixed32.out" "call=$call case=registered processor=\"ZEP PRINT PROCESSOR\" result=ok"
        expect_line "$work/fixed32.out" "call=$call case=winprint processor=\"WinPrint\" result=ok"
        expect_line "$work/fixed32.out" "call=$call case=unknown processor=\"ZEP NOT REGISTERED\" result=fail error=1798"
        expect_line "$work/fixed32.out" "call=$call case=empty processor=\"ZEP EMPTY PROCESSOR\" result=fail error=1798"
    done
    expect_line "$work/stock32-install.out" 'call=AddMonitorA result=fail error=126'
    expect_line "$work/stock32-install.out" 'call=AddPrinterA result=fail error=87'
    for variant in stock32 fixed32; do
        expect_line "$work/$variant-install.out" 'call=AddMonitorA case=missing result=fail error=126'
    done
    for call in AddMonitorA AddPrintProcessorA AddPrinterDriverA AddPrinterA; do
        expect_line "$work/fixed32-install.out" "call=$call result=ok"
    done
    expect_line "$work/fixed32-install.out" 'exit=0'
    expect_line "$work/fixed32-state.out" 'monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"'
    if grep -q '^printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM1:" processor="ZEP PRINT PROCESSOR" ' "$work/fixed32-state.out"; then
        passed "fixed32-state: the printer uses the driver of \"Windows x64\""
    else
        failed "fixed32-state: no printer line for KESTREL ZEP-4000"
    fi
    if grep -q '^monitor name="ZEP Missing Monitor"' "$work/fixed32-state.out"; then
        failed "fixed32-state: the monitor without its DLL was registered"
    else
        passed "fixed32-state: the monitor without its DLL was not registered"
    fi
}

if [ -n "${ZEP_CHECK_X86_ONLY:-}" ]; then
    [ -n "${ZEP_CHECK_X86_BUILD:-}" ] || { echo "winspool-check: ZEP_CHECK_X86_ONLY needs ZEP_CHECK_X86_BUILD" >&2; exit 2; }
    check_32bit_callers
    summary winspool-check "$work"
fi

# --- stock Wine refuses --------------------------------------------------
zep_wine_clone "$pristine" "$work/stock"
run "$work/stock" no "$work/stock.out" "$probe" check "$(winpath "$pkg")"
(zep_wine_use64 "$work/stock"; zep_wine_stop)
expect_line "$work/stock.out" 'call=AddPrintProcessorA result=ok'
expect_line "$work/stock.out" 'call=AddPrinterDriverA result=ok'
expect_line "$work/stock.out" 'call=AddPrinterW case=registered processor="ZEP PRINT PROCESSOR" result=fail error=1798'
expect_line "$work/stock.out" 'call=AddPrinterA case=registered processor="ZEP PRINT PROCESSOR" result=fail error=87'
expect_line "$work/stock.out" 'call=AddPrinterA case=winprint processor="WinPrint" result=ok'

# --- the corrected DLL accepts what Windows accepts ----------------------
zep_wine_clone "$pristine" "$work/fixed"
zep_wine_install_winspool "$work/fixed" x86_64
run "$work/fixed" yes "$work/fixed.out" "$probe" check "$(winpath "$pkg")"
(zep_wine_use64 "$work/fixed"; zep_wine_stop)
for call in AddPrinterW AddPrinterA; do
    expect_line "$work/fixed.out" "call=$call case=registered processor=\"ZEP PRINT PROCESSOR\" result=ok"
    expect_line "$work/fixed.out" "call=$call case=winprint processor=\"WinPrint\" result=ok"
    expect_line "$work/fixed.out" "call=$call case=unknown processor=\"ZEP NOT REGISTERED\" result=fail error=1798"
    expect_line "$work/fixed.out" "call=$call case=empty processor=\"ZEP EMPTY PROCESSOR\" result=fail error=1798"
done

# --- the same for a 32-bit program (optional, slow) ----------------------
[ -n "${ZEP_CHECK_X86_BUILD:-}" ] && check_32bit_callers

# --- without the DLL the program does not start (no silent fallback) -----
zep_wine_clone "$pristine" "$work/missing"
run "$work/missing" yes "$work/missing.out" "$probe" check "$(winpath "$pkg")"
(zep_wine_use64 "$work/missing"; zep_wine_stop)
if grep -q '^call=' "$work/missing.out" || grep -qx 'exit=0' "$work/missing.out"; then
    failed "missing: the probe ran without the corrected DLL"
else
    passed "missing: the probe did not start without the corrected DLL"
fi

# --- the installer's sequence, then the state tool -----------------------
inst="$work/install"
zep_wine_clone "$pristine" "$inst"
zep_wine_install_winspool "$inst" x86_64
run "$inst" yes "$work/install.out" "$probe" install "$(winpath "$pkg")"
expect_line "$work/install.out" 'call=AddMonitorA result=ok'
expect_line "$work/install.out" 'call=AddPrintProcessorA result=ok'
expect_line "$work/install.out" 'call=AddPrinterDriverA result=ok'
expect_line "$work/install.out" 'call=AddPrinterA result=ok'
expect_line "$work/install.out" 'exit=0'
run "$inst" yes "$work/state.out" "$statetool" report 'C:\windows\ZEPMON.dll' \
    'C:\windows\system32\spool\prtprocs\x64\ZEPPRO.dll' 'C:\windows\system32\spool\prtprocs\x64\ZEP.ini'
(zep_wine_use64 "$inst"; zep_wine_stop)
st="$work/state.out"
# Wine keeps no printer status: 0 where the installer asked for 0x80.
if grep -q '^printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM1:" processor="ZEP PRINT PROCESSOR" datatype="RAW" attributes=0x00001800 priority=1 ' "$st"; then
    passed "state: the printer uses the package's driver and print processor on COM1:"
else
    failed "state: no printer line for KESTREL ZEP-4000 with the package's components"
fi
expect_line "$st" 'driver env="Windows x64" name="ZEP Character Type" version=3 path="C:\windows\system32\spool\drivers\x64\3\UNIDRV.DLL" data="C:\windows\system32\spool\drivers\x64\3\ZEP1TE.gpd" config="C:\windows\system32\spool\drivers\x64\3\UNIDRVUI.DLL" help="C:\windows\system32\spool\drivers\x64\3\UNIDRV.HLP" monitor="ZEP Language Monitor" datatype="RAW"'
expect_line "$st" 'driver-file env="Windows x64" driver="ZEP Character Type" file="C:\windows\system32\spool\drivers\x64\3\ZEPUI1T.INI"'
if grep -q '^monitor name="ZEP Language Monitor" env="[^"]*" dll="ZEPMON.dll"$' "$st"; then
    passed "state: the language monitor is registered"
else
    failed "state: the language monitor is not registered"
fi
expect_line "$st" 'processor-reg env="Windows x64" name="ZEP PRINT PROCESSOR" driver="ZEPPRO.dll"'
expect_line "$st" 'uninstall view=64 present=0'
for f in 'C:\windows\ZEPMON.dll' 'C:\windows\system32\spool\prtprocs\x64\ZEPPRO.dll' 'C:\windows\system32\spool\prtprocs\x64\ZEP.ini'; do
    if grep -qF "file path=\"$f\" exists=1 " "$st"; then passed "state: $f"; else failed "state: $f missing"; fi
done

# --- the state tool's arranging commands, which the tests rely on -------
tool() { out="$work/$1.out"; shift; run "$inst" yes "$out" "$statetool" "$@"; }
tool set-version set-version "KESTREL ZEP-4000" 1 2 0 7
tool del-extra delete-data "KESTREL ZEP-4000" ExtraVersion
tool add-other add-printer "ZEP Other" "ZEP Character Type" COM2:
tool add-bad add-printer "ZEP Bad" "No Such Driver"
tool rename rename 'C:\windows\ZEPMON.dll' 'C:\windows\ZEPMON.dll.old'
tool arranged report 'C:\windows\ZEPMON.dll' 'C:\windows\ZEPMON.dll.old'
tool del-other delete-printer "ZEP Other"
tool after printers
(zep_wine_use64 "$inst"; zep_wine_stop)
expect_line "$work/set-version.out" 'exit=0'
expect_line "$work/arranged.out" 'printer-data printer="KESTREL ZEP-4000" name="MajorVersion" type=4 value=1'
expect_line "$work/arranged.out" 'printer-data printer="KESTREL ZEP-4000" name="MinorVersion" type=4 value=2'
expect_line "$work/arranged.out" 'printer-data printer="KESTREL ZEP-4000" name="BuildVersion" type=4 value=0'
if grep -q 'name="ExtraVersion"' "$work/arranged.out"; then
    failed "arranged: ExtraVersion still present after delete-data"
else
    passed "arranged: ExtraVersion removed"
fi
expect_line "$work/arranged.out" 'printer name="ZEP Other" driver="ZEP Character Type" port="COM2:" processor="WinPrint" datatype="RAW" attributes=0x00000000 priority=1 status=0x00000000'
expect_line "$work/add-bad.out" 'error op="AddPrinterA" code=1797'
expect_line "$work/add-bad.out" 'exit=1'
expect_line "$work/arranged.out" 'file path="C:\windows\ZEPMON.dll" exists=0 error=2'
if grep -q '^file path="C:\\windows\\ZEPMON.dll.old" exists=1 ' "$work/arranged.out"; then
    passed "arranged: the monitor DLL was renamed"
else
    failed "arranged: the renamed monitor DLL is missing"
fi
if grep -q '^printer name="ZEP Other"' "$work/after.out"; then
    failed "after: ZEP Other still listed after delete-printer"
else
    passed "after: ZEP Other deleted"
fi

summary winspool-check "$work"
