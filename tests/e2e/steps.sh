# The steps of a test run and their summary (sourced by run-all.sh; bash).
#
#   step NAME COMMAND...   runs one step and adds its line to STEP_SUMMARY
#
# A step that fails after a failure of the Wine infrastructure (a line of
# the step's Wine events, $ZEP_WINE_EVENTS, says "infrastructure": a prefix
# that was never made or cannot be used, a wineserver gone while its
# processes wait, Wine or qemu crashing) runs once more from scratch: every
# step clones its prefixes anew, and a pristine prefix named in those lines
# is made again. A product failure is never run again. Each step's Wine
# events (time limits that ran out, crashes) are shown under its line.
#
# Set STEP_EVENTS_DIR to a folder for the events files before the first step.

STEP_SUMMARY=""
STEP_FAILED=0

# The pristine prefixes named in an events file lose their stamp, so the
# next zep_wine_pristine64/32 makes them again.
_step_renew_pristine() {
    local prefix
    while IFS= read -r prefix; do
        [ -f "$prefix/.zep-pristine" ] && rm -f "$prefix/.zep-pristine" &&
            echo "== the pristine prefix $prefix will be made again"
    done < <(grep 'infrastructure' "$1" | sed -n 's/.* prefix \([^ ]*\) .*/\1/p' | sort -u)
}

step() {
    local name=$1 t0 rc took events line tries=1 mark=""
    shift
    mkdir -p "${STEP_EVENTS_DIR:=/tmp}"
    events=$(mktemp "$STEP_EVENTS_DIR/events.XXXXXX")
    echo
    echo "== $name"
    t0=$(date +%s)
    ZEP_WINE_EVENTS=$events "$@"
    rc=$?
    if [ $rc -ne 0 ] && grep -q 'infrastructure' "$events"; then
        echo "== $name: failed on the Wine infrastructure ($(grep -m1 -o 'infrastructure: .*' "$events")); once more from scratch"
        _step_renew_pristine "$events"
        echo "(first try)" >>"$events"
        ZEP_WINE_EVENTS=$events "$@"
        rc=$?
        tries=2
    fi
    took=$(( $(date +%s) - t0 ))
    if [ $rc -eq 0 ]; then
        [ $tries = 2 ] && mark="  (infrastructure failure, passed when retried)"
        line=$(printf 'PASS  %-48s %4d s%s' "$name" "$took" "$mark")
    else
        grep -q 'infrastructure' "$events" && mark=", infrastructure"
        [ $tries = 2 ] && mark="$mark, retried once"
        line=$(printf 'FAIL  %-48s %4d s  (exit %d%s)' "$name" "$took" "$rc" "$mark")
        STEP_FAILED=1
    fi
    STEP_SUMMARY="$STEP_SUMMARY$line"$'\n'
    if [ -s "$events" ]; then
        STEP_SUMMARY="$STEP_SUMMARY$(sed 's/^/        /' "$events")"$'\n'
    fi
    rm -f "$events"
    return $rc
}
