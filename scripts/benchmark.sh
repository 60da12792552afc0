#!/bin/bash
# Performance figures: prints one table and writes it, with the machine it
# ran on and how each figure is taken, to docs/performance.md. A benchmark,
# not a test: it fails only when something cannot be measured.
#
#   scripts/benchmark.sh
#
# Figures:
#   - installation and complete uninstallation under 64-bit Wine (x86_64
#     build): wall time from start to end against the floor, the sum of the
#     pauses the run made, read from the programs' own Sleep calls in a Wine
#     relay trace (tests/bench/wine_pauses.py); the time spent waiting for
#     the user (the UI driver answering dialogs) is shown apart;
#   - quiet installation and quiet complete uninstallation under 64-bit
#     Wine: wall time, against the interactive floor of the same run and
#     against the quiet figures of the fixed waits before;
#   - size of both 32-bit programs and of the x86_64 build;
#   - the host test suite's wall time;
#   - the uninstaller's removal on the simulated machine with 10 to 5000
#     printers and INF files (tests/bench/removal_bench.cpp).
#
# Environment: ZEP_X86_BUILD, ZEP_X64_BUILD, ZEP_HOST_BUILD (build trees;
# default build/mingw-x86, build/mingw-x64, build/host, configured by their
# presets when missing), ZEP_BENCH_RUNS (Wine runs of each program, default
# 3), ZEP_BENCH_OUT (default docs/performance.md), ZEP_E2E_WINE_DIR (the
# prefixes; see tests/e2e/lib.sh).
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 2
abs() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
X86=$(abs "${ZEP_X86_BUILD:-build/mingw-x86}")
X64=$(abs "${ZEP_X64_BUILD:-build/mingw-x64}")
HOST=$(abs "${ZEP_HOST_BUILD:-build/host}")
RUNS=${ZEP_BENCH_RUNS:-3}
OUT=$(abs "${ZEP_BENCH_OUT:-docs/performance.md}")
MAX_BYTES=$((150 * 1024))

LOAD_AT_START=$(cut -d' ' -f1-3 /proc/loadavg)
say() { echo "== $*" >&2; }
die() { echo "benchmark: $*" >&2; exit 1; }

# ---------------------------------------------------------------- builds

configure() {  # configure DIR PRESET
    [ -f "$1/CMakeCache.txt" ] && return 0
    case $2 in
        host) cmake -S "$ROOT" -B "$1" -DCMAKE_BUILD_TYPE=Debug >/dev/null ;;
        *) cmake -S "$ROOT" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$2.cmake" \
                 -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null ;;
    esac
}
say "building"
configure "$X86" mingw-x86 && cmake --build "$X86" -j2 --target ZEP_Installer ZEP_Uninstaller >/dev/null ||
    die "the i686 build in $X86 failed"
configure "$X64" mingw-x64 && cmake --build "$X64" -j2 --target ZEP_Installer ZEP_Uninstaller \
    zep_package zep_statetool uidriver >/dev/null || die "the x86_64 build in $X64 failed"
configure "$HOST" host && cmake --build "$HOST" -j2 >/dev/null || die "the host build in $HOST failed"

# ---------------------------------------------------------------- table

ROWS=""
row() {  # row FIGURE VALUE GOAL MET
    ROWS="$ROWS| $1 | $2 | $3 | $4 |"$'\n'
}
kb() { awk -v b="$1" 'BEGIN { printf "%.1f KB", b / 1024 }'; }

# ---------------------------------------------------------------- sizes

say "program sizes"
for exe in "$X86/installer/win32/ZEP_Installer.exe" "$X86/uninstaller/win32/ZEP_Uninstaller.exe"; do
    bytes=$(stat -c %s "$exe")
    dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { printf "%s%s", sep, $3; sep = ", " }')
    met=no
    [ "$bytes" -le "$MAX_BYTES" ] && ! grep -qiE 'libgcc|libstdc|winpthread' <<<"$dlls" && met=yes
    row "$(basename "$exe") (32-bit), size" "$bytes bytes ($(kb "$bytes")); imports $dlls" \
        "at most 150 KB, no run-time DLLs" "$met"
done
for exe in "$X64/installer/win32/ZEP_Installer.exe" "$X64/uninstaller/win32/ZEP_Uninstaller.exe"; do
    bytes=$(stat -c %s "$exe")
    row "$(basename "$exe") (x86_64 test build), size" "$bytes bytes ($(kb "$bytes"))" "-" "-"
done

# ---------------------------------------------------------------- host tests

say "host tests"
t0=$(date +%s.%N)
(cd "$HOST" && ctest >/dev/null) || die "the host tests failed in $HOST"
t1=$(date +%s.%N)
host_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')
row "host test suite (ctest, $(cd "$HOST" && ctest -N | awk '/Total Tests/ { print $3 }') tests), wall time" \
    "$host_s s" "under 10 s" "$(awk -v s="$host_s" 'BEGIN { print (s < 10 ? "yes" : "no") }')"

# ---------------------------------------------------------------- removal on the simulated machine

say "removal on the simulated machine"
bench=$("$HOST/tests/bench/zep_removal_bench" 10 100 1000 5000) || die "zep_removal_bench failed"
declare -A removal_ms
while read -r line; do
    n=$(sed -E 's/.*items=([0-9]+).*/\1/' <<<"$line")
    list=$(sed -E 's/.*list_ms=([0-9.]+).*/\1/' <<<"$line")
    ms=$(sed -E 's/.*removal_ms=([0-9.]+).*/\1/' <<<"$line")
    per=$(sed -E 's/.*us_per_item=([0-9.]+).*/\1/' <<<"$line")
    removal_ms[$n]=$ms
    row "uninstaller's removal, simulated machine, $n printers + $n INF files" \
        "$ms ms ($per µs per item); listing them first: $list ms" "grows linearly" "see below"
done <<<"$bench"
growth=$(awk -v a="${removal_ms[1000]}" -v b="${removal_ms[5000]}" 'BEGIN { printf "%.1f", b / a }')
row "removal time, 5000 items against 1000" "×$growth" "×5 (linear)" \
    "$(awk -v g="$growth" 'BEGIN { print (g < 6.5 ? "yes" : "no") }')"

# ---------------------------------------------------------------- Wine

say "installation and uninstallation under Wine ($RUNS runs each)"
export ZEP_E2E_NO_BUILD=1
# shellcheck source=../tests/e2e/lib.sh
. "$ROOT/tests/e2e/lib.sh"
e2e_init "$X64" benchmark >/dev/null

RELAY='kernel32.Sleep;kernelbase.Sleep;kernel32.ExitProcess;kernelbase.ExitProcess;user32.MessageBoxA;user32.CreateDialogParamA;user32.DestroyWindow;user32.EnableWindow;msvcrt._beginthreadex'
# The clock of Wine's trace time stamps: CLOCK_MONOTONIC_RAW, which runs
# apart from /proc/uptime (CLOCK_BOOTTIME) by a fraction of a second or more.
uptime_now() { python3 -c 'import time; print("%.6f" % time.clock_gettime(time.CLOCK_MONOTONIC_RAW))'; }
measure() {  # measure TRACE LAUNCH -> key=value line
    python3 "$ROOT/tests/bench/wine_pauses.py" "$1" "$2"
}
field() { sed -E "s/.*(^| )$1=([^ ]+).*/\\2/" <<<"$2"; }

INSTALLS=""
UNINSTALLS=""
for i in $(seq 1 "$RUNS"); do
    e2e_start_prefix "run-$i"
    wine64q reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$RELAY" /f
    # The installer: KESTREL ZEP-4000 on COM1, No to the restart question.
    launch=$(uptime_now)
    WINEDEBUG=+timestamp,+pid,+relay start_installer
    install_models 1006 0 || die "installer run $i: the dialogs did not come (see $RUN_DIR)"
    box=$(answer 7 120) || die "installer run $i: no restart question"
    app_wait 30
    [ "$APP_RC" = 0 ] || die "installer run $i ended with $APP_RC"
    m=$(measure "$RUN_DIR/ZEP_Installer.out" "$launch") || die "installer run $i: no figures"
    INSTALLS="$INSTALLS$m"$'\n'
    echo "   install $i: $m" >&2

    # The uninstaller, as the list of installed programs starts it, removes
    # everything (the INF copy gets the name Windows would give it).
    rename_inf_to_oem >/dev/null
    launch=$(uptime_now)
    WINEDEBUG=+timestamp,+pid,+relay start_program 'C:\windows\ZEP\ZEP_Uninstaller.exe' "$RUN_DIR"
    ud wait-window "$E2E_UNINSTALLER_MAIN" 30 || die "uninstaller run $i: no window"
    # Uninstall is enabled once the list is filled.
    n=0
    while [ "$(ud is-enabled "$E2E_UNINSTALLER_MAIN" 1001)" != 1 ] && [ $n -lt 50 ]; do
        sleep 0.1
        n=$((n + 1))
    done
    ud click "$E2E_UNINSTALLER_MAIN" 1001
    box=$(answer 7 120) || die "uninstaller run $i: no restart question"
    app_wait 30
    [ "$APP_RC" = 0 ] || die "uninstaller run $i ended with $APP_RC"
    m=$(measure "$RUN_DIR/ZEP_Uninstaller.out" "$launch") || die "uninstaller run $i: no figures"
    UNINSTALLS="$UNINSTALLS$m"$'\n'
    echo "   uninstall $i: $m" >&2
    e2e_stop_prefix
    rm -rf "$RUN_DIR/prefix"
done

say "quiet installation and uninstallation under Wine ($RUNS runs each)"
# quiet_run DIR LAUNCH-VAR COMMAND...: the program from DIR with the relay
# trace, to its end; prints its figures. A quiet run waits for nobody.
quiet_run() {
    local dir=$1 name=$2 launch out
    shift 2
    out="$RUN_DIR/$name.out"
    launch=$(uptime_now)
    (cd "$dir" && WINEDEBUG=+timestamp,+pid,+relay zep_wine64 "$@" </dev/null >"$out" 2>&1) &
    APP_PID=$!
    app_wait 120
    # Wine's Unix side keeps the exit code's low 8 bits: 3010 reads 194.
    [ "$APP_RC" = $((3010 % 256)) ] || die "$name ended with $APP_RC (see $out)"
    measure "$out" "$launch" || die "$name: no figures"
}
QUIET_INSTALLS=""
QUIET_COLD_INSTALLS=""
QUIET_UNINSTALLS=""
for i in $(seq 1 "$RUNS"); do
    # A new prefix as it comes: Wine registers the spooler as a service
    # started on demand, so it is stopped and the installer waits for its start.
    e2e_start_prefix "quiet-cold-$i"
    wine64q reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$RELAY" /f
    m=$(quiet_run "$RUN_DIR/dist" quiet-install \
        ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM1) || exit 1
    QUIET_COLD_INSTALLS="$QUIET_COLD_INSTALLS$m"$'\n'
    echo "   quiet install $i, spooler stopped: $m" >&2
    e2e_stop_prefix
    rm -rf "$RUN_DIR/prefix"

    # The spooler running, as Windows starts it with the system.
    e2e_start_prefix "quiet-$i"
    wine64q reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$RELAY" /f
    wine64q net start spooler
    m=$(quiet_run "$RUN_DIR/dist" quiet-install \
        ZEP_Installer.exe /quiet /model "KESTREL ZEP-4000" /port COM1) || exit 1
    QUIET_INSTALLS="$QUIET_INSTALLS$m"$'\n'
    echo "   quiet install $i: $m" >&2
    rename_inf_to_oem >/dev/null
    m=$(quiet_run "$RUN_DIR" quiet-uninstall 'C:\windows\ZEP\ZEP_Uninstaller.exe' /quiet) || exit 1
    QUIET_UNINSTALLS="$QUIET_UNINSTALLS$m"$'\n'
    echo "   quiet uninstall $i: $m" >&2
    e2e_stop_prefix
    rm -rf "$RUN_DIR/prefix"
done

# median KEY LINES: the median of a key over the runs.
median() {
    local key=$1
    while read -r line; do [ -n "$line" ] && field "$key" "$line"; done <<<"$2" |
        sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range() {
    local key=$1
    while read -r line; do [ -n "$line" ] && field "$key" "$line"; done <<<"$2" |
        sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'
}
wine_rows() {  # wine_rows NAME LINES GOAL
    local name=$1 lines=$2 goal=$3
    local wall floor user hide work ratio wratio met
    wall=$(median wall "$lines"); floor=$(median floor "$lines"); user=$(median user "$lines")
    hide=$(median hide "$lines")
    work=$(median work "$lines"); ratio=$(median ratio "$lines"); wratio=$(median work_ratio "$lines")
    met="-"
    [ "$goal" != "-" ] && met=$(awk -v r="$wratio" -v g="${goal#at most }" 'BEGIN { print (r <= g ? "yes" : "no") }')
    row "$name under 64-bit Wine: wall time, start to end (median of $RUNS)" \
        "$wall s (runs: $(range wall "$lines") s)" "-" "-"
    row "$name: floor, the sum of its pauses ($(median pauses "$lines") Sleep calls)" "$floor s" "-" "-"
    row "$name: waiting for the user (UI driver answering its dialogs)" "$user s (runs: $(range user "$lines") s)" "-" "-"
    row "$name: Wine hiding windows ($(median hides "$lines") waits for a window manager that Xvfb lacks)" "$hide s" "-" "-"
    row "$name: wall time against the floor" "$ratio" "-" "-"
    row "$name: its own time (wall minus both) against the floor" "$work s / $floor s = $wratio" "$goal" "$met"
}
wine_rows "Installation" "$INSTALLS" "at most 1.05"
wine_rows "Complete uninstallation" "$UNINSTALLS" "-"
# The quiet figures before quiet runs waited for the spooler service rather
# than for fixed times (docs/performance.md of 2026-12-08).
QUIET_INSTALL_BEFORE=2.124
QUIET_UNINSTALL_BEFORE=11.676
quiet_rows() {  # quiet_rows NAME LINES GOAL-S INTERACTIVE-LINES BEFORE-S: nobody to wait for, no window to hide
    local name=$1 lines=$2 goal=$3 interactive=$4 before=$5 wall floor
    wall=$(median wall "$lines"); floor=$(median floor "$interactive")
    row "$name under 64-bit Wine: wall time, start to end (median of $RUNS)" \
        "$wall s (runs: $(range wall "$lines") s)" "at most $goal s" \
        "$(awk -v w="$wall" -v g="$goal" 'BEGIN { print (w <= g ? "yes" : "no") }')"
    row "$name: polling the spooler service ($(median pauses "$lines") Sleep calls)" \
        "$(median floor "$lines") s" "-" "-"
    row "$name against the same run's interactive floor" \
        "$wall s / $floor s = $(awk -v w="$wall" -v f="$floor" 'BEGIN { printf "%.3f", w / f }')" "-" "-"
    row "$name against the quiet figure with fixed waits" \
        "$wall s / $before s = $(awk -v w="$wall" -v b="$before" 'BEGIN { printf "%.3f", w / b }')" "-" "-"
}
quiet_rows "Quiet installation" "$QUIET_INSTALLS" 0.5 "$INSTALLS" "$QUIET_INSTALL_BEFORE"
row "Quiet installation with the spooler stopped (a new Wine prefix): wall time (median of $RUNS)" \
    "$(median wall "$QUIET_COLD_INSTALLS") s (runs: $(range wall "$QUIET_COLD_INSTALLS") s), of which polling the spooler's start $(median floor "$QUIET_COLD_INSTALLS") s" "-" "-"
quiet_rows "Quiet complete uninstallation" "$QUIET_UNINSTALLS" 3 "$UNINSTALLS" "$QUIET_UNINSTALL_BEFORE"

# ---------------------------------------------------------------- report

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
TABLE="| Figure | Measured | Goal | Met |
|---|---|---|---|
$ROWS"
printf '%s' "$TABLE"

mkdir -p "$(dirname "$OUT")"
# The test command's figures (scripts/time-tests.sh) stay as they are.
KEPT=""
[ -f "$OUT" ] && KEPT=$(sed -n '/^<!-- test-command/,/^<!-- \/test-command -->/p' "$OUT")
{
    echo "# Performance figures"
    echo
    echo "Made by \`scripts/benchmark.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'):"
    echo
    echo "- CPU: ${cpu:-unknown}, $(nproc) cores available (load average at the start: $LOAD_AT_START;"
    echo "  other jobs sharing the machine make the figures noisier, not lower)"
    echo "- kernel: $(uname -sr)"
    echo "- Wine: $(zep_wine64 --version 2>/dev/null) (64-bit, the x86_64 test build of the programs)"
    echo "- compilers: $(i686-w64-mingw32-g++ --version | head -n 1); $(g++ --version | head -n 1)"
    echo
    printf '%s' "$TABLE"
    cat <<'EOF'

## How the figures are taken

- **Wine runs.** Each run starts from a fresh copy of a pristine 64-bit
  prefix with the corrected `winspool.drv`, its wineserver already running.
  The installer installs KESTREL ZEP-4000 on COM1 and is answered No at the
  restart question; the uninstaller is then started from the uninstall
  entry's folder and removes everything. The UI driver
  (`tests/e2e/uidriver`) answers the dialogs as a user would.
- **Wall time** runs from just before the program is started to its
  `ExitProcess` call, both on the clock of Wine's trace time stamps
  (`CLOCK_MONOTONIC_RAW`; `/proc/uptime` runs apart from it, here by about
  a quarter of a second, which made earlier figures too low by as much).
- **Floor.** The programs run with `WINEDEBUG=+timestamp,+pid,+relay` and
  `HKCU\Software\Wine\Debug\RelayInclude` limited to the calls named in
  `tests/bench/wine_pauses.py`, so Wine logs every `Sleep` the program itself
  makes, with its argument. The floor is their sum: no run can be shorter.
- **Waiting for the user** is read from the same trace: the time a wizard
  dialog is open, the time a message box is shown, and in the uninstaller
  the time from its list being ready to the Uninstall button. That time is
  the UI driver's, not the program's: each of its commands starts a Wine
  process of its own.
- **Wine hiding windows.** When a window is hidden (a dialog or message box
  that closes, the main window at the end), Wine's X11 driver waits for the
  X server to report it withdrawn. Xvfb runs no window manager, so each wait
  runs into Wine's 2 s timeout, which Wine logs as
  `fixme:event:wait_for_withdrawn_state ... wait timed out`; the trace
  reader counts those. On Windows, hiding a window takes no such time.
- **Its own time** is the wall time without the two above: what the
  program itself takes, the pauses included.
- **Quiet runs** (`/quiet`, KESTREL ZEP-4000 on COM1, then the uninstall
  entry's program with `/quiet`) wait for nobody and show no window, so
  their own time is their wall time. Windows starts the spooler with the
  system; Wine registers it as a service started on demand, stopped in a
  new prefix. The quiet runs therefore start it first (`net start spooler`),
  and one more quiet installation per run, in a new prefix as it comes,
  shows the time with the spooler's start waited for. Quiet mode skips the pauses that only
  let a person read a status text, and instead of the fixed waits after
  starting or stopping the spooler and after deleting jobs it waits for
  the spooler itself: it asks the service control manager every 50 ms
  until the service reports the state (and after a stop until its process
  has ended), and the printer until the cancelled jobs are gone. The
  Sleep calls of that polling are shown. Each quiet figure stands beside
  the floor of the interactive run of the same benchmark (the pauses a
  person sees) and the quiet figure measured with the fixed waits
  (2.124 s and 11.676 s).
- **Sizes** are of the stripped release builds (`MinSizeRel`), linked
  statically; the 32-bit programs are the product.
- **Host tests**: `ctest` in the host build, wall time of the whole suite.
- **Removal on the simulated machine** (`tests/bench/removal_bench.cpp`, a
  Debug build as the host preset makes it): the product installed with one
  printer, then N printers of its driver and N INF copies of other products;
  the uninstaller lists them (all checked) and removes everything. Only the
  removal is timed per item; the listing is shown apart, because it fills a
  sorted list box, which (like the real one) inserts into an array.
EOF
    if [ -n "$KEPT" ]; then
        echo
        printf '%s\n' "$KEPT"
    fi
} >"$OUT"
say "wrote $OUT"
