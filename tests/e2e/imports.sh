#!/bin/bash
# What the two 32-bit programs need from the system before they start, read
# from their PE headers:
#   - statically imported DLLs only from KERNEL32, USER32, GDI32, ADVAPI32,
#     SHELL32 and msvcrt (known DLLs on every Windows since 2000; a DLL of
#     another name beside the program, in a downloads folder, must never be
#     loaded), so no C++ run-time DLL either, and no delay-loaded imports;
#   - none of the functions that older systems lack (IsWow64Process,
#     RegDeleteKeyExA, GetSystemWow64DirectoryA, SetupUninstallOEMInfA):
#     they are looked up at run time;
#   - i386 code, subsystem and OS version 5.0 or lower (Windows 2000);
#   - at most 150 KB each (an Authenticode signature, appended by signing,
#     is not counted: its size is the certificate chain's, not the program's);
#   - an application manifest that requires administrator rights
#     (requestedExecutionLevel requireAdministrator, uiAccess false) and
#     nothing more: no supportedOS (the version checks must see the system
#     as it is) and no dependency such as common controls 6 (the dialogs
#     keep their look).
# First it shows that the check fails on a program that breaks each rule.
# One PASS/FAIL line per check; exits 1 when one failed, 2 when tools or the
# build are missing.
#
#   tests/e2e/imports.sh [BUILD_DIR]      (default: build/mingw-x86)
#   tests/e2e/imports.sh PROGRAM.exe...   these files (the signed ones of a release)
#
# BUILD_DIR is an i686 mingw build tree; it is configured when empty and the
# two programs are built in it.
set -u
E2E_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$E2E_ROOT/tests/e2e/report.sh"
PROGRAMS=()
case "${1:-}" in *.exe) PROGRAMS=("$@") ;; esac
BUILD=$(e2e_abs "${1:-build/mingw-x86}")

ALLOWED_DLLS="KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL MSVCRT.DLL"
OPTIONAL_FUNCTIONS="IsWow64Process RegDeleteKeyExA GetSystemWow64DirectoryA SetupUninstallOEMInfA"
MAX_BYTES=$((150 * 1024))
OBJDUMP=i686-w64-mingw32-objdump

command -v "$OBJDUMP" >/dev/null || { echo "imports: $OBJDUMP is missing (scripts/setup.sh)" >&2; exit 2; }

# problems EXE: prints one line per broken rule, nothing when the program
# keeps them all.
problems() {
    local exe=$1 headers dll fn
    headers=$("$OBJDUMP" -p "$exe" 2>&1) || { echo "not a PE file"; return; }
    grep -q '^architecture: i386' <<<"$("$OBJDUMP" -f "$exe")" || echo "not i386 code"

    # DLL lines, then "<vma> <hint> <name>" lines for each DLL's functions.
    local imports
    imports=$(sed -n '/^The Import Tables/,/^The Function Table\|^PE File Base Relocations\|^There is a/p' <<<"$headers")
    for dll in $(awk '/DLL Name:/ { print toupper($3) }' <<<"$imports"); do
        case " $ALLOWED_DLLS " in
            *" $dll "*) ;;
            *) echo "imports $dll" ;;
        esac
    done
    for fn in $OPTIONAL_FUNCTIONS; do
        awk -v fn="$fn" '/^\t[0-9a-f]+\t/ && $NF == fn { found = 1 } END { exit !found }' <<<"$imports" &&
            echo "imports $fn"
    done
    # Entry 13 of the data directory: delay-loaded DLLs would be found on the
    # search path too.
    awk '/Delay Import Directory/ && ($3 != "00000000" || $4 != "00000000") { bad = 1 } END { exit !bad }' \
        <<<"$headers" && echo "has delay-loaded imports"

    local major minor
    major=$(awk '/^MajorSubsystemVersion/ { print $2 }' <<<"$headers")
    minor=$(awk '/^MinorSubsystemVersion/ { print $2 }' <<<"$headers")
    if [ -z "$major" ] || [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 0 ]; }; then
        echo "subsystem version $major.$minor"
    fi
    major=$(awk '/^MajorOSystemVersion/ { print $2 }' <<<"$headers")
    minor=$(awk '/^MinorOSystemVersion/ { print $2 }' <<<"$headers")
    if [ -z "$major" ] || [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 0 ]; }; then
        echo "OS version $major.$minor"
    fi
    local size signature
    size=$(stat -c %s "$exe")
    signature=$(awk '/^Entry 4 .*Security Directory/ { print $4 }' <<<"$headers")
    size=$((size - 16#${signature:-0}))
    [ "$size" -le "$MAX_BYTES" ] || echo "size $size bytes (more than $MAX_BYTES)"

    local manifest
    if ! manifest=$(python3 "$E2E_ROOT/tests/e2e/pe_manifest.py" "$exe" 2>/dev/null); then
        echo "no application manifest"
        return
    fi
    grep -qE '<requestedExecutionLevel[[:space:]]+level="requireAdministrator"[[:space:]]+uiAccess="false"' \
        <<<"$manifest" || echo "the manifest does not require administrator rights (uiAccess false)"
    grep -q 'supportedOS' <<<"$manifest" && echo "the manifest names supported systems"
    grep -q '<dependency' <<<"$manifest" && echo "the manifest has a dependency"
    return 0
}

# ---------------------------------------------------------------- the check itself

# A program that breaks every rule: the check must name each of them.
selftest() {
    local dir out
    dir=$(mktemp -d)
    cat >"$dir/bad.c" <<'EOF'
#include <windows.h>
#include <winspool.h>
#include <setupapi.h>
BOOL WINAPI IsWow64Process(HANDLE, PBOOL);
static char filler[200 * 1024] = {1};
int main(void) {
    BOOL wow = FALSE;
    HANDLE printer = NULL;
    IsWow64Process(GetCurrentProcess(), &wow);
    OpenPrinterA(NULL, &printer, NULL);
    SetupUninstallOEMInfA("oem1.inf", 0, NULL);
    return filler[wow];
}
EOF
    # A manifest that asks for nothing and brings what the programs must not.
    cat >"$dir/bad.manifest" <<'EOF'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Bad.Program" version="1.0.0.0"/>
  <dependency><dependentAssembly><assemblyIdentity type="win32"
    name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*"
    publicKeyToken="6595b64144ccf1df" language="*"/></dependentAssembly></dependency>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v2"><security><requestedPrivileges>
    <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>
    <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
  </application></compatibility>
</assembly>
EOF
    echo '1 24 "bad.manifest"' >"$dir/bad.rc"
    # bad.exe breaks every rule; plain.exe has no manifest at all.
    if ! (cd "$dir" && i686-w64-mingw32-windres bad.rc -O coff -o bad_rc.o) 2>"$dir/cc.err" ||
        ! i686-w64-mingw32-gcc -O1 -o "$dir/bad.exe" "$dir/bad.c" "$dir/bad_rc.o" -lwinspool -lsetupapi \
            -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0 2>>"$dir/cc.err" ||
        ! i686-w64-mingw32-gcc -O1 -o "$dir/plain.exe" "$dir/bad.c" -lwinspool -lsetupapi \
            2>>"$dir/cc.err"; then
        failed "self-test: could not build the program that breaks the rules ($(head -n 1 "$dir/cc.err"))"
        rm -rf "$dir"
        return
    fi
    out=$(problems "$dir/bad.exe"; problems "$dir/plain.exe")
    local want missing=""
    for want in "imports WINSPOOL.DRV" "imports SETUPAPI.DLL" "imports IsWow64Process" \
                "imports SetupUninstallOEMInfA" "subsystem version 6.0" "size " \
                "does not require administrator" "names supported systems" "has a dependency" \
                "no application manifest"; do
        grep -qF -- "$want" <<<"$out" || missing="$missing [$want]"
    done
    if [ -z "$missing" ]; then
        passed "self-test: a program that breaks the rules is refused ($(wc -l <<<"$out") findings)"
    else
        failed "self-test: not found:$missing (found: $(tr '\n' ';' <<<"$out"))"
    fi
    rm -rf "$dir"
}

# ---------------------------------------------------------------- the programs

selftest

if [ ${#PROGRAMS[@]} -eq 0 ]; then
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$E2E_ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$E2E_ROOT/cmake/mingw-x86.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || { echo "imports: cannot configure $BUILD" >&2; exit 2; }
fi
if [ -z "${ZEP_E2E_NO_BUILD:-}" ]; then
    cmake --build "$BUILD" -j2 --target ZEP_Installer ZEP_Uninstaller >/dev/null 2>&1 ||
        { echo "imports: building the programs in $BUILD failed" >&2; exit 2; }
fi

PROGRAMS=("$BUILD/installer/win32/ZEP_Installer.exe" "$BUILD/uninstaller/win32/ZEP_Uninstaller.exe")
fi

for exe in "${PROGRAMS[@]}"; do
    name=$(basename "$exe")
    if [ ! -f "$exe" ]; then
        failed "$name: not there (not built in $BUILD?)"
        continue
    fi
    out=$(problems "$exe")
    dlls=$("$OBJDUMP" -p "$exe" | awk '/DLL Name:/ { printf "%s%s", sep, $3; sep = " " }')
    if [ -z "$out" ]; then
        sig=$("$OBJDUMP" -p "$exe" | awk '/^Entry 4 .*Security Directory/ && $4 != "00000000" { print $4 }')
        [ -n "$sig" ] && sig=", signed ($((16#$sig)) bytes of signature)"
        passed "$name: $(stat -c %s "$exe") bytes$sig, imports $dlls, Windows 2000 and later, requires administrator"
    else
        failed "$name: $(tr '\n' ';' <<<"$out" | sed 's/;$//')"
    fi
done
summary imports
