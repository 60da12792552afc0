# shellcheck shell=sh
# How the end-to-end scripts report (sourced; plain sh, so the sh scripts
# share it with the bash ones).
#
# Before sourcing: E2E_ROOT, the checkout's root (sh cannot find the folder
# of a sourced file).
#
# A case is a line of its own with the reasons it failed:
#   begin NAME                    a case begins
#   fail WHY                      the case fails, for this reason too
#   expect WHAT ACTUAL EXPECTED   fails the case unless ACTUAL is EXPECTED
#   note TEXT                     a line printed under the case's result
#   wine_note TEXT                ... for a difference between Wine and Windows
#   lap LABEL                     ... for the time since the case began or
#                                 since the last lap
#   finish                        "PASS NAME (T s)" or "FAIL NAME (T s); WHY..."
# A check that is a line of its own at once, with no case around it:
#   passed TEXT / failed TEXT     "PASS TEXT" / "FAIL TEXT"
# The end of the script:
#   summary NAME [FILES]          "NAME: all passed" and exit 0, or "NAME: N
#                                 failed (outputs in FILES)" and exit 1
# And the path helper:
#   e2e_abs PATH                  PATH, relative to the checkout's root unless
#                                 absolute

: "${E2E_ROOT:?set E2E_ROOT (the checkout) before sourcing tests/e2e/report.sh}"

E2E_NL='
'
E2E_FAILURES=0
E2E_CASE=""
E2E_ERRORS=""
E2E_NOTES=""
E2E_T0=0
E2E_LAP=""

e2e_abs() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$E2E_ROOT/$1" ;; esac; }

# _e2e_since START FORMAT: the seconds since START (date +%s.%N), printed
# with the awk FORMAT.
_e2e_since() {
    awk -v a="$1" -v b="$(date +%s.%N)" -v f="$2" 'BEGIN { printf f, b - a }'
}

begin() { E2E_CASE=$1; E2E_ERRORS=""; E2E_NOTES=""; E2E_LAP=""; E2E_T0=$(date +%s.%N); }
fail() { E2E_ERRORS="$E2E_ERRORS; $*"; }
expect() {
    [ "$2" = "$3" ] || fail "$1: got \"$2\", expected \"$3\""
}
note() { E2E_NOTES="$E2E_NOTES     $*$E2E_NL"; }
wine_note() { note "wine: $*"; }
lap() {
    note "time: $1 $(_e2e_since "${E2E_LAP:-$E2E_T0}" %.0f) s"
    E2E_LAP=$(date +%s.%N)
}

# The files of a failed case (RUN_DIR, where the script keeps them) are
# named under its line.
finish() {
    _e2e_took=$(_e2e_since "$E2E_T0" %.1f)
    if [ -z "$E2E_ERRORS" ]; then
        printf 'PASS %s (%s s)\n' "$E2E_CASE" "$_e2e_took"
    else
        printf 'FAIL %s (%s s)%s\n' "$E2E_CASE" "$_e2e_took" "$E2E_ERRORS"
        if [ -n "${RUN_DIR:-}" ]; then printf '     files: %s\n' "$RUN_DIR"; fi
        E2E_FAILURES=$((E2E_FAILURES + 1))
    fi
    printf '%s' "$E2E_NOTES"
}

# (printf: sh's echo would read the backslashes of Windows paths.)
passed() { printf 'PASS %s\n' "$*"; }
failed() {
    printf 'FAIL %s\n' "$*"
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

summary() {
    if [ "$E2E_FAILURES" -eq 0 ]; then
        printf '%s: all passed\n' "$1"
        exit 0
    fi
    printf '%s: %s failed%s\n' "$1" "$E2E_FAILURES" "${2:+ (outputs in $2)}"
    exit 1
}
