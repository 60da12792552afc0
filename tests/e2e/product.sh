# shellcheck shell=bash disable=SC2034  # (names set here for the scripts that source it)
# The product as the end-to-end scripts see it (sourced by lib.sh; bash):
# its windows and texts, its dialogs driven as a user drives them, what it
# leaves on the machine as the state tool shows it, its trace logs, and the
# OS codes it gives the Windows versions Wine reports. The checks fail the
# current case (report.sh).

# ---------------------------------------------------------------- windows and texts

E2E_INSTALLER_MAIN="KESTREL Customer Display Installation Progress"
E2E_MODELS="Select ZEP Model"
E2E_PORTS="Select Port Type"
E2E_UNINSTALLER_MAIN="Kestrel Customer Display Uninstaller"
E2E_RESTART_Q_INSTALL='Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I will restart my computer later.'
E2E_RESTART_Q_UNINSTALL='Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.'

# Where a 64-bit installation puts the product, and the lines the state tool
# shows for it.
UNINSTALLER='C:\windows\ZEP\ZEP_Uninstaller.exe'
DRV='C:\windows\system32\spool\drivers\x64'
PRT='C:\windows\system32\spool\prtprocs\x64'
DRIVER_LINE="driver env=\"Windows x64\" name=\"ZEP Character Type\" version=3 path=\"$DRV\\3\\UNIDRV.DLL\" data=\"$DRV\\3\\ZEP1TE.gpd\" config=\"$DRV\\3\\UNIDRVUI.DLL\" help=\"$DRV\\3\\UNIDRV.HLP\" monitor=\"ZEP Language Monitor\" datatype=\"RAW\""
MONITOR_LINE='monitor name="ZEP Language Monitor" env="Windows NT x86" dll="ZEPMON.dll"'
PROCESSOR_LINE='processor-reg env="Windows x64" name="ZEP PRINT PROCESSOR" driver="ZEPPRO.dll"'
PRODUCT_FILES="C:\\windows\\ZEPMON.dll $PRT\\ZEPPRO.dll $PRT\\ZEP.ini $DRV\\3\\ZEP1TE.gpd $DRV\\3\\ZEPUI1T.DLL"

# printer_line MODEL PORT: the start of the printer's line as created.
printer_line() {
    echo "printer name=\"$1\" driver=\"ZEP Character Type\" port=\"$2\" processor=\"ZEP PRINT PROCESSOR\" datatype=\"RAW\" attributes=0x00001800 priority=1 "
}
product_printers() { grep -c '^printer .*driver="ZEP Character Type"' <<<"$STATE"; }

# The uninstall entry a new installation writes (VIEW 64 or 32), as the
# state tool shows it.
uninstall_entry() {
    local v=$1
    cat <<EOT
uninstall view=$v present=1
uninstall-value view=$v name="DisplayIcon" type=REG_SZ data="$UNINSTALLER"
uninstall-value view=$v name="DisplayName" type=REG_SZ data="KESTREL Customer Display Windows Driver V1.1.0E"
uninstall-value view=$v name="DisplayVersion" type=REG_SZ data="1.1.0.0"
uninstall-value view=$v name="NoModify" type=REG_DWORD data=1
uninstall-value view=$v name="NoRepair" type=REG_DWORD data=1
uninstall-value view=$v name="Publisher" type=REG_SZ data="KESTREL"
uninstall-value view=$v name="QuietUninstallString" type=REG_SZ data="\"$UNINSTALLER\" /quiet"
uninstall-value view=$v name="UninstallString" type=REG_SZ data="$UNINSTALLER"
EOT
}

# The QuietUninstallString of the entry (64-bit view) as a command line.
quiet_uninstall_string() {
    st uninstall | sed -n 's/^uninstall-value view=64 name="QuietUninstallString" type=REG_SZ data="\(.*\)"$/\1/p' |
        sed 's/\\"/"/g'
}

# ---------------------------------------------------------------- dialogs and boxes

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

# expect_box PROGRAM BUTTON TEXT [SECONDS]: the next box is one of PROGRAM
# (ZEP_Installer or ZEP_Uninstaller: its caption) with this text, owned by
# that program's main window; it is answered with BUTTON.
expect_box() {
    local owner=$E2E_INSTALLER_MAIN box
    [ "$1" = ZEP_Uninstaller ] && owner=$E2E_UNINSTALLER_MAIN
    box=$(answer "$2" "${4:-90}") || { fail "no box \"$3\" (or it lacks button $2)"; return 1; }
    expect "box" "$box" "$1$E2E_TAB$3$E2E_TAB$owner"
}

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

# ---------------------------------------------------------------- the machine

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

# files_absent PATH... / files_present PATH...: the state tool finds none /
# all of these files.
files_absent() { _e2e_files 1 "still there" "$@"; }
files_present() { _e2e_files 0 "missing" "$@"; }
_e2e_files() {
    local bad=$1 why=$2 out line
    shift 2
    out=$(st files "$@")
    while IFS= read -r line; do
        case "$line" in *" exists=$bad "*) fail "$why: $(echo "$line" | cut -d'"' -f2)" ;; esac
    done <<<"$out"
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

# ---------------------------------------------------------------- trace logs

# The installer's trace log and the uninstaller's, in the system drive's Temp.
installer_log() { tr -d '\r' 2>/dev/null <"$(cdrive)/Temp/ZEP_Installer.txt"; }
uninstaller_log() { tr -d '\r' 2>/dev/null <"$(cdrive)/Temp/ZEP_UnInstaller.txt"; }

# The BEGIN and END lines of a log, in order, without time stamps.
routine_lines() { grep -oE '[A-Za-z0-9_]+ (BEGIN|END)$'; }

# log_has LOG LINE...: each LINE is a whole line of the log (time stamps cut).
log_has() {
    local log=$1 line
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$(cut -c11- <<<"$log")" || fail "the log lacks: $line"
    done
}

# ---------------------------------------------------------------- Windows versions

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
