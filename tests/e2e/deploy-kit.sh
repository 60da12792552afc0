#!/bin/bash
# The kit that the deployment recipes (docs/deploying.md) rely on, as a
# release ships it: the programs signed and time-stamped, and the batch
# files, run as a deployment tool runs them.
#
#   signing     a throw-away CA, a code-signing certificate (PKCS#12, its
#               password in the environment) and a time-stamp authority
#               answering RFC 3161 queries on 127.0.0.1 (openssl ts behind
#               tests/e2e/tsa_server.py); make-dist signs both i686
#               programs (the product) and verifies them; they verify
#               against that CA, not against the system's CAs, and not once
#               a byte has changed; the import and manifest checks
#               (imports.sh, pe_manifest.py) pass on the signed programs;
#               without a certificate the programs stay unsigned; with a
#               wrong password make-dist fails and leaves no program behind
#   no display  the signed x86_64 programs under Wine's cmd, as a startup
#               script runs them: install.cmd (3010, the state), again (0),
#               with an argument the installer refuses (87); uninstall.cmd
#               (3010, everything gone), again (1605); each run's log in
#               %SystemRoot%\Temp, ended with its exit code
#
#   tests/e2e/deploy-kit.sh [BUILD_DIR]   (default build/mingw-x64; the
#                                         i686 tree: ZEP_X86_BUILD, default
#                                         build/mingw-x86)
#
# Environment: see tests/e2e/lib.sh. One PASS/FAIL line per case; exits 1
# when a case failed, 2 when the tools are missing.
set -u
. "$(dirname "$0")/lib.sh"
# shellcheck disable=SC2034  # read by e2e_init (lib.sh)
E2E_HEADLESS=1
e2e_init "${1:-build/mingw-x64}" deploy-kit
X86=$(e2e_abs "${ZEP_X86_BUILD:-build/mingw-x86}")
for tool in openssl osslsigncode python3; do
    command -v $tool >/dev/null || { echo "deploy-kit: $tool is missing (scripts/setup.sh)" >&2; exit 2; }
done
if [ -z "${ZEP_E2E_NO_BUILD:-}" ]; then
    cmake --build "$X86" -j2 --target ZEP_Installer ZEP_Uninstaller zep_package >/dev/null 2>&1 ||
        { echo "deploy-kit: building $X86 failed" >&2; exit 2; }
fi

KIT="$WINE_DIR/runs/deploy-kit/certs"
TSA_PID=""
trap 'e2e_stop_prefix; zep_xvfb_stop; [ -n "$TSA_PID" ] && kill "$TSA_PID" 2>/dev/null' EXIT

# make_certs: the CA, the code-signing certificate as PKCS#12, the time-stamp
# authority's certificate and its openssl ts configuration, in KIT.
make_certs() {
    rm -rf "$KIT"
    mkdir -p "$KIT"
    (
        cd "$KIT" || exit 1
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
            -subj "/CN=ZEP throw-away test CA" -addext basicConstraints=critical,CA:TRUE \
            -addext keyUsage=critical,keyCertSign,cRLSign &&
        # leaf NAME CN EXTENDED-KEY-USAGE
        leaf() {
            openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" &&
            printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext" &&
            openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$1.pem" \
                -days 2 -extfile "$1.ext"
        }
        leaf sign "KESTREL test code signing" codeSigning &&
        leaf tsa "ZEP throw-away time stamps" critical,timeStamping &&
        openssl pkcs12 -export -inkey sign.key -in sign.pem -certfile ca.pem -out sign.p12 \
            -passout env:ZEP_SIGN_PASSWORD &&
        echo 01 >tsaserial &&
        cat >tsa.cnf <<EOT
[ tsa ]
default_tsa = zep_tsa
[ zep_tsa ]
dir = $KIT
serial = \$dir/tsaserial
crypto_device = builtin
signer_cert = \$dir/tsa.pem
certs = \$dir/ca.pem
signer_key = \$dir/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOT
    ) >"$KIT.log" 2>&1
}

# start_tsa: the time-stamp server in the background (TSA_PID, bounded);
# sets TSA_URL once it listens.
start_tsa() {
    rm -f "$KIT/port"
    timeout 900 python3 "$E2E_ROOT/tests/e2e/tsa_server.py" "$KIT/tsa.cnf" "$KIT/port" 2>"$KIT/tsa.err" &
    TSA_PID=$!
    local i
    for i in $(seq 50); do
        [ -s "$KIT/port" ] && break
        sleep 0.1
    done
    [ -s "$KIT/port" ] || return 1
    TSA_URL="http://127.0.0.1:$(cat "$KIT/port")/"
}

verify() {  # verify FILE [CAFILE]: osslsigncode's verdict, its output in VERIFY_OUT
    local ca=()
    [ -n "${2:-}" ] && ca=(-CAfile "$2" -TSA-CAfile "$2")
    VERIFY_OUT=$(osslsigncode verify -ignore-cdp "${ca[@]}" -in "$1" 2>&1)
}

SIGNED64=""

case_signing() {
    begin "signing: both programs signed and time-stamped, verified against the throw-away CA only; imports and manifest unchanged; unsigned without a certificate"
    RUN_DIR="$WINE_DIR/runs/deploy-kit/signing"
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    export ZEP_SIGN_PASSWORD="throw-away $$"
    if ! make_certs; then
        fail "the certificates could not be made: $(tail -n 2 "$KIT.log" | tr '\n' ' ')"
        finish
        return
    fi
    start_tsa || fail "the time-stamp server did not start: $(head -n 2 "$KIT/tsa.err" | tr '\n' ' ')"
    local out exe
    out=$(ZEP_SIGN_PKCS12="$KIT/sign.p12" ZEP_SIGN_TIMESTAMP_URL="${TSA_URL:-}" ZEP_SIGN_CAFILE="$KIT/ca.pem" \
        "$E2E_ROOT/scripts/make-dist.sh" "$X86" "$RUN_DIR/dist32" 2>&1) || fail "make-dist with the certificate: $out"
    grep -q 'signed: ZEP_Installer.exe ZEP_Uninstaller.exe, time-stamped' <<<"$out" || fail "make-dist said: $out"
    for exe in ZEP_Installer.exe ZEP_Uninstaller.exe; do
        verify "$RUN_DIR/dist32/$exe" "$KIT/ca.pem" || fail "$exe does not verify: $(tail -n 3 <<<"$VERIFY_OUT" | tr '\n' ' ')"
        grep -q 'Timestamp Server Signature verification: ok' <<<"$VERIFY_OUT" || fail "$exe: no verified time stamp"
        grep -q 'Subject: /CN=KESTREL test code signing' <<<"$VERIFY_OUT" || fail "$exe: not signed with the test certificate"
        verify "$RUN_DIR/dist32/$exe" && fail "$exe verifies against the system's CAs"
        cp "$RUN_DIR/dist32/$exe" "$RUN_DIR/changed.exe"
        printf 'X' | dd of="$RUN_DIR/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
        verify "$RUN_DIR/changed.exe" "$KIT/ca.pem" && fail "$exe with a changed byte still verifies"
    done
    out=$("$E2E_ROOT/tests/e2e/imports.sh" "$RUN_DIR/dist32/ZEP_Installer.exe" "$RUN_DIR/dist32/ZEP_Uninstaller.exe" 2>&1) ||
        fail "import and manifest checks of the signed programs: $(grep FAIL <<<"$out" | tr '\n' ' ')"
    for exe in ZEP_Installer.exe ZEP_Uninstaller.exe; do
        python3 "$E2E_ROOT/tests/e2e/pe_manifest.py" "$RUN_DIR/dist32/$exe" | grep -q 'requireAdministrator' ||
            fail "$exe: the signed program's manifest is not readable"
    done

    # The x86_64 programs for the round under Wine below.
    out=$(ZEP_SIGN_PKCS12="$KIT/sign.p12" ZEP_SIGN_TIMESTAMP_URL="${TSA_URL:-}" ZEP_SIGN_CAFILE="$KIT/ca.pem" \
        "$E2E_ROOT/scripts/make-dist.sh" "$BUILD" "$RUN_DIR/dist64" 2>&1) && SIGNED64="$RUN_DIR/dist64" ||
        fail "make-dist of the x86_64 programs: $out"

    # No certificate: unsigned, and said so. A wrong password: nothing left.
    out=$(env -u ZEP_SIGN_PKCS12 "$E2E_ROOT/scripts/make-dist.sh" "$X86" "$RUN_DIR/unsigned" 2>&1)
    grep -q 'not signed (no ZEP_SIGN_PKCS12)' <<<"$out" || fail "make-dist without a certificate said: $out"
    verify "$RUN_DIR/unsigned/ZEP_Installer.exe" "$KIT/ca.pem" && fail "the unsigned package has a signature"
    cp -R "$RUN_DIR/unsigned" "$RUN_DIR/wrong"
    if ZEP_SIGN_PKCS12="$KIT/sign.p12" ZEP_SIGN_PASSWORD="wrong" "$E2E_ROOT/scripts/make-dist.sh" "$X86" "$RUN_DIR/wrong" \
        >"$RUN_DIR/wrong.out" 2>&1; then
        fail "make-dist with a wrong password succeeded"
    fi
    [ -e "$RUN_DIR/wrong/ZEP_Installer.exe" ] || [ -e "$RUN_DIR/wrong/ZEP_Uninstaller.exe" ] &&
        fail "a failed signing left a program in the package"
    finish
}

# win_log NAME: a log in the prefix's %SystemRoot%\Temp (Wine's folder is "temp").
win_log() { tr -d '\r' <"$(cdrive)/windows/temp/$1" 2>/dev/null; }

# code_at_end NAME CODE: the log was begun by this run and ends with CODE.
code_at_end() {
    local text
    text=$(win_log "$1" | cut -c11-)
    case $(head -n 1 <<<"$text") in "PROGRAM : ${1%%.*}.exe "*) ;; *) fail "$1 was not begun by this run" ;; esac
    case $(tail -n 1 <<<"$text") in "EXIT CODE : $2 ("*) ;; *) fail "$1 does not end with EXIT CODE : $2" ;; esac
}

case_batch_files() {
    begin "no display: install.cmd and uninstall.cmd under Wine's cmd with the signed programs: 3010, 0, 87; 3010, 1605"
    if [ -z "$SIGNED64" ]; then
        fail "needs the signed programs of the case above"
        finish
        return
    fi
    DIST=$SIGNED64 e2e_start_prefix batch
    local state
    run_for_code "$RUN_DIR/dist" 'cmd /c install.cmd /model "KESTREL ZEP-4000" /port COM3 /portsettings 19200,n,8,1'
    expect "install.cmd" "$RC" 3010
    STATE=$(st report)
    grep -qF 'printer name="KESTREL ZEP-4000" driver="ZEP Character Type" port="COM3:"' <<<"$STATE" ||
        fail "no printer KESTREL ZEP-4000 on COM3:"
    state_has "uninstall view=64 present=1"
    code_at_end ZEP_Installer.log 3010
    expect "COM3" "$(st comm COM3)" 'comm port="COM3" settings="19200,n,8,1"'

    st set-version "KESTREL ZEP-4000" 1 1 0 0 >/dev/null || fail "set-version failed"
    run_for_code "$RUN_DIR/dist" 'cmd /c install.cmd /model "KESTREL ZEP-4000" /port COM3'
    expect "install.cmd again" "$RC" 0
    code_at_end ZEP_Installer.log 0
    state=$(st report)
    run_for_code "$RUN_DIR/dist" 'cmd /c install.cmd /model "KESTREL ZEP-4000" /port COM3 /log C:\x.txt'
    expect "install.cmd with its own /log as well" "$RC" 87
    [ "$(st report)" = "$state" ] || fail "the refused run changed the state"

    rename_inf_to_oem >/dev/null || fail "no INF copy ZEP.inf to rename"
    run_for_code "$RUN_DIR/dist" 'cmd /c uninstall.cmd'
    expect "uninstall.cmd" "$RC" 3010
    STATE=$(st report)
    state_lacks '^printer .*driver="ZEP Character Type"' '^uninstall-value'
    code_at_end ZEP_Uninstaller.log 3010
    run_for_code "$RUN_DIR/dist" 'cmd /c uninstall.cmd'
    expect "uninstall.cmd again" "$RC" 1605
    code_at_end ZEP_Uninstaller.log 1605
    no_window
    finish
}

case_signing
case_batch_files
summary "$E2E_NAME"
