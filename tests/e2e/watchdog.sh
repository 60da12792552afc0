#!/bin/bash
# The time limit on Wine starts (zep_bounded, scripts/lib/wine.sh) and the
# retry of run-all's steps, each shown for real under 64-bit Wine:
#
#   1. a Windows program that never ends, with a short limit: the start ends
#      within the limit plus a few seconds, with its line naming the command,
#      the prefix and the limit, and no process of that prefix is left;
#   2. a session whose wineserver is killed while its processes wait (as seen
#      once when a 32-bit prefix was made under qemu): the same, and the line
#      calls it a failure of the infrastructure;
#   3. a step that fails after such a failure runs once more from scratch and
#      says so in the summary; a product failure runs once;
#   4. a state tool run that printed nothing runs once more, and says so in
#      the step's events; twice nothing is named infrastructure.
#
#   tests/e2e/watchdog.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Environment: ZEP_E2E_WINE_DIR, ZEP_PRISTINE64 as for the other scripts.
set -u
. "$(dirname "$0")/lib.sh"   # st_run (and scripts/lib/wine.sh, report.sh)
cd "$E2E_ROOT" || exit 2
. tests/e2e/steps.sh
BUILD=$(e2e_abs "${1:-build/mingw-x64}")
WINE_DIR=$(e2e_abs "${ZEP_E2E_WINE_DIR:-build/e2e-wine}")
PRISTINE=${ZEP_PRISTINE64:-$WINE_DIR/pristine64}

# The limits below run out on purpose: not events of the run.
unset ZEP_WINE_EVENTS
UIDRIVER=$BUILD/tests/e2e/uidriver/uidriver.exe
STATETOOL=$BUILD/tests/e2e/statetool/zep_statetool.exe
[ -f "$UIDRIVER" ] || { echo "watchdog: $UIDRIVER is missing (build the x86_64 Windows build)" >&2; exit 2; }
RUNS="$WINE_DIR/runs/watchdog"
rm -rf "$RUNS"
mkdir -p "$RUNS"
zep_wine_pristine64 "$PRISTINE" || exit 2
zep_xvfb_start
trap 'zep_xvfb_stop' EXIT

LIMIT=8
SLACK=6  # ending the session: the server's own kill, then by PID

# A fresh clone with its own wineserver kept up.
new_prefix() {
    zep_wine_clone "$PRISTINE" "$RUNS/$1"
    zep_wine_use64 "$RUNS/$1"
    zep_wineserver -p </dev/null >/dev/null 2>&1
}

# bounded_wait NAME: starts a program that never ends (it waits for a window
# that never comes) in the background with the limit; BOUNDED_PID, T0.
bounded_wait() {
    T0=$(date +%s)
    (zep_bounded "$LIMIT" "$ZEP_WINE64" "$UIDRIVER" wait-window "zep watchdog: no such window" 100000 \
        </dev/null >/dev/null 2>"$RUNS/$1.err"; echo $? >"$RUNS/$1.rc") &
    BOUNDED_PID=$!
}

# check_end NAME PREFIX: the start ended in time with status 124, its line,
# and nothing of the prefix is left.
check_end() {
    local name=$1 prefix=$2 took rc line
    wait "$BOUNDED_PID"
    took=$(( $(date +%s) - T0 ))
    rc=$(cat "$RUNS/$name.rc")
    [ "$rc" = 124 ] || fail "status $rc, expected 124"
    [ "$took" -le $((LIMIT + SLACK)) ] || fail "ended after $took s, limit $LIMIT s"
    [ "$took" -ge "$LIMIT" ] || fail "ended after $took s, before its limit of $LIMIT s"
    line=$(grep 'wine-limit:' "$RUNS/$name.err")
    case "$line" in
        *"uidriver.exe wait-window"*" in prefix $prefix did not end within $LIMIT s"*) ;;
        *) fail "no line naming the command, the prefix and the limit: \"$line\"" ;;
    esac
    LINE=$line
    local left
    left=$(_zep_session_pids "$prefix" | tr '\n' ' ')
    [ -z "$left" ] || fail "processes of the prefix left behind: $left"
}

# ---------------------------------------------------------------- 1

begin "a program that never ends: its start ends within the limit ($LIMIT s) and its session with it"
new_prefix never-ends
bounded_wait never-ends
check_end never-ends "$RUNS/never-ends"
case "$LINE" in *infrastructure*) fail "a program that never ends was called a failure of the infrastructure" ;; esac
finish

# ---------------------------------------------------------------- 2

begin "a session whose wineserver is killed while its processes wait: ended within the limit, named infrastructure"
new_prefix server-gone
bounded_wait server-gone
prefix="$RUNS/server-gone"
# Once the program runs, its processes are frozen (so that none of them can
# notice) and the wineserver is killed: they wait for a server that is gone.
i=0
while ! _zep_session_pids "$prefix" | while read -r p; do tr '\0' ' ' <"/proc/$p/cmdline"; done 2>/dev/null |
        grep -q 'uidriver.exe'; do
    [ $i -lt 100 ] || break
    sleep 0.1
    i=$((i + 1))
done
server=""
for p in $(_zep_session_pids "$prefix"); do
    case "$(readlink "/proc/$p/exe")" in
        */wineserver*) server="$server $p" ;;
        *) kill -STOP "$p" ;;
    esac
done
if [ -z "$server" ]; then
    fail "the session had no wineserver to kill"
else
    # shellcheck disable=SC2086
    kill -9 $server
fi
check_end server-gone "$prefix"
case "$LINE" in
    *"infrastructure: the prefix's wineserver is gone while its processes wait"*) ;;
    *) fail "not called a failure of the infrastructure: \"$LINE\"" ;;
esac
finish

# ---------------------------------------------------------------- 3

begin "run-all's steps: an infrastructure failure is retried once and named, a product failure is not retried"
STEP_EVENTS_DIR="$RUNS/events"
mkdir -p "$RUNS/pristine-victim"
touch "$RUNS/pristine-victim/.zep-pristine"
# Fails once on the infrastructure (its pristine prefix named), then passes.
flaky() {
    echo run >>"$RUNS/flaky.count"
    if [ "$(wc -l <"$RUNS/flaky.count")" = 1 ]; then
        echo "wine-limit: \"x\" in prefix $RUNS/pristine-victim did not end within 1 s (its session was ended); infrastructure: the prefix's wineserver is gone while its processes wait" >>"$ZEP_WINE_EVENTS"
        return 1
    fi
    return 0
}
product() { echo run >>"$RUNS/product.count"; return 1; }
broken() {
    echo run >>"$RUNS/broken.count"
    echo "wine-limit: \"y\" in prefix $RUNS/clone was ended by signal 11 after 3 s; infrastructure: Wine crashed" >>"$ZEP_WINE_EVENTS"
    return 1
}
step "flaky" flaky >/dev/null
step "product" product >/dev/null
step "broken" broken >/dev/null
expect_summary() {  # expect_summary REGEX WHAT: a line of the steps' summary matches
    grep -qE -- "$1" <<<"$STEP_SUMMARY" || fail "$2; the summary was: $(tr '\n' '|' <<<"$STEP_SUMMARY")"
}
[ "$(wc -l <"$RUNS/flaky.count")" = 2 ] || fail "the step failed on the infrastructure was not run once more"
[ ! -f "$RUNS/pristine-victim/.zep-pristine" ] || fail "the pristine prefix named in the failure keeps its stamp"
expect_summary '^PASS  flaky .*\(infrastructure failure, passed when retried\)$' "no PASS line marked as retried"
[ "$(wc -l <"$RUNS/product.count")" = 1 ] || fail "a product failure was run again"
expect_summary '^FAIL  product .*\(exit 1\)$' "no plain FAIL line for the product failure"
[ "$(wc -l <"$RUNS/broken.count")" = 2 ] || fail "a step failing on the infrastructure twice was not run exactly twice"
expect_summary '^FAIL  broken .*\(exit 1, infrastructure, retried once\)$' "no FAIL line marked infrastructure"
expect_summary '^        wine-limit: "y" in prefix .* infrastructure: Wine crashed$' "the step's Wine events are not shown under it"
[ "$STEP_FAILED" = 1 ] || fail "the failed steps did not fail the run"
finish

# ---------------------------------------------------------------- 4

begin "a state tool run that printed nothing runs once more and is in the events; twice is infrastructure"
new_prefix state
RUN_DIR="$RUNS/state"
ZEP_WINE_EVENTS="$RUNS/state.events"
# The first start of the tool dies before it prints, as Wine's loader does.
first_fails() {
    if [ ! -f "$RUNS/state.first" ]; then
        touch "$RUNS/state.first"
        echo "wine: could not load kernel32.dll, status c0000135" >&2
        return 1
    fi
    zep_wine64 "$@"
}
out=$(st_run first_fails report 2>/dev/null)
rc=$?
[ $rc = 0 ] || fail "the second run ended with $rc"
grep -q '^processor env="Windows x64" name="winprint"$' <<<"$out" || fail "no report from the second run: \"$out\""
grep -q '^state tool: "report" in prefix .* printed nothing (exit 1); its errors: wine: could not load kernel32.dll' \
    "$ZEP_WINE_EVENTS" || fail "the first run is not in the events: $(cat "$ZEP_WINE_EVENTS")"
! grep -q infrastructure "$ZEP_WINE_EVENTS" || fail "a run that worked the second time was named infrastructure"
rm -f "$ZEP_WINE_EVENTS"
# A tool Wine cannot start at all: its real loader error, twice.
STATETOOL="$RUNS/no-such-tool.exe"
out=$(st_run zep_wine64 report 2>/dev/null)
rc=$?
[ $rc != 0 ] || fail "a tool that never ran ended with 0"
[ -z "$out" ] || fail "a tool that never ran printed \"$out\""
[ "$(grep -c '^state tool: "report"' "$ZEP_WINE_EVENTS")" = 2 ] || fail "not two lines in the events: $(cat "$ZEP_WINE_EVENTS")"
grep -q 'infrastructure: Wine did not run the state tool twice' "$ZEP_WINE_EVENTS" ||
    fail "the second failure is not named infrastructure"
unset ZEP_WINE_EVENTS
WINEPREFIX="$RUNS/state" zep_wine_stop
finish

rm -rf "$RUNS"
summary watchdog
