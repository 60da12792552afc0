#!/bin/sh
# Lays out the folder a user receives: ZEP_Installer.exe and
# ZEP_Uninstaller.exe beside the driver package folders Driver32/ and
# Driver64/, and the batch files install.cmd and uninstall.cmd that
# deployment tools run (scripts/dist/, with Windows line ends).
#
#   scripts/make-dist.sh <build-dir> <out-dir>
#
# <build-dir> is a Windows build tree (build/mingw-x86 for the product);
# its package target must have run (it makes both package folders). A
# program that is not built yet is reported and left out. Only the entries
# above are replaced in <out-dir>; nothing else there is touched.
#
# Signing (Authenticode, with osslsigncode): given a certificate, both
# programs are signed as the last step, after the build has stripped them
# (anything that changes a program afterwards breaks its signature), and the
# signatures are verified right after. Without ZEP_SIGN_PKCS12 the programs
# stay unsigned, and this says so.
#   ZEP_SIGN_PKCS12         the certificate with its private key (a PKCS#12 file)
#   ZEP_SIGN_PASSWORD       its password (read from the environment, handed to
#                           osslsigncode in a file only this user can read)
#   ZEP_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional, but without
#                           one the signature is void once the certificate expires)
#   ZEP_SIGN_CAFILE         the CA certificates (PEM) the signature and the time
#                           stamp are verified against (default: the system's)
# A signing or a verification that fails ends this with 1 and removes the
# programs from <out-dir>: an unsigned copy is never left where a signed
# one was asked for.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 <build-dir> <out-dir>" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build="$1"
out="$2"
pkg="$build/package"
programs="ZEP_Installer.exe ZEP_Uninstaller.exe"

for d in Driver32 Driver64; do
    if [ ! -f "$pkg/$d/ZEP.inf" ]; then
        echo "make-dist: $pkg/$d is missing or incomplete (build the zep_package target)" >&2
        exit 1
    fi
done

mkdir -p "$out"
for d in Driver32 Driver64; do
    rm -rf "${out:?}/$d"
    cp -R "$pkg/$d" "$out/$d"
done

# The batch files, with the CR LF line ends cmd expects.
for f in install.cmd uninstall.cmd; do
    sed 's/\r*$/\r/' "$here/dist/$f" >"$out/$f"
done

missing=0
for exe in $programs; do
    # The shallowest match, should a test tree hold a copy too.
    found=$(find "$build" -type f -name "$exe" ! -path '*/CMakeFiles/*' 2>/dev/null |
            awk -F/ '{ print NF " " $0 }' | sort -n | head -n 1 | cut -d' ' -f2-)
    if [ -n "$found" ]; then
        rm -f "$out/$exe"
        cp "$found" "$out/$exe"
    else
        echo "make-dist: $exe not found under $build (not built yet): left out" >&2
        missing=$((missing + 1))
    fi
done

signed=""
if [ -n "${ZEP_SIGN_PKCS12:-}" ]; then
    # sign_failed WHAT: the programs go, so that no unsigned copy ships.
    sign_failed() {
        echo "make-dist: $1; the programs were removed from $out" >&2
        for exe in $programs; do rm -f "$out/$exe" "$out/$exe.signed"; done
        exit 1
    }
    command -v osslsigncode >/dev/null || sign_failed "osslsigncode is missing (scripts/setup.sh)"
    [ -r "$ZEP_SIGN_PKCS12" ] || sign_failed "cannot read the certificate $ZEP_SIGN_PKCS12"
    passfile=$(mktemp)
    trap 'rm -f "$passfile"' EXIT
    chmod 600 "$passfile"
    printf '%s' "${ZEP_SIGN_PASSWORD:-}" >"$passfile"
    for exe in $programs; do
        [ -f "$out/$exe" ] || continue
        case $exe in
            ZEP_Installer.exe) what="KESTREL Customer Display driver installer" ;;
            *) what="KESTREL Customer Display driver uninstaller" ;;
        esac
        set -- sign -pkcs12 "$ZEP_SIGN_PKCS12" -readpass "$passfile" -h sha256 -n "$what"
        [ -n "${ZEP_SIGN_TIMESTAMP_URL:-}" ] && set -- "$@" -ts "$ZEP_SIGN_TIMESTAMP_URL"
        log=$(osslsigncode "$@" -in "$out/$exe" -out "$out/$exe.signed" 2>&1) ||
            sign_failed "signing $exe failed: $(printf '%s' "$log" | tail -n 2 | tr '\n' ' ')"
        mv "$out/$exe.signed" "$out/$exe"
        chmod +x "$out/$exe"
        set -- verify -ignore-cdp
        if [ -n "${ZEP_SIGN_CAFILE:-}" ]; then
            set -- "$@" -CAfile "$ZEP_SIGN_CAFILE" -TSA-CAfile "$ZEP_SIGN_CAFILE"
        fi
        log=$(osslsigncode "$@" -in "$out/$exe" 2>&1) ||
            sign_failed "the signature of $exe does not verify: $(printf '%s' "$log" | grep -iE 'error|fail' | head -n 2 | tr '\n' ' ')"
        if [ -n "${ZEP_SIGN_TIMESTAMP_URL:-}" ] && ! printf '%s' "$log" | grep -q 'Timestamp Server Signature verification: ok'; then
            sign_failed "the time stamp of $exe does not verify"
        fi
        signed="$signed $exe"
    done
    rm -f "$passfile"
fi

if [ -n "$signed" ]; then
    sign_note="signed:$signed$( [ -n "${ZEP_SIGN_TIMESTAMP_URL:-}" ] && echo ", time-stamped")"
else
    sign_note="not signed (no ZEP_SIGN_PKCS12)"
fi
echo "make-dist: $out ready, $sign_note$( [ $missing -gt 0 ] && echo " ($missing program(s) missing)")"
