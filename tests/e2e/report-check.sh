#!/bin/bash
# tests/e2e/report.sh under both shells that source it (sh for the sh
# scripts, bash for the others): the lines come out as written (Windows
# paths keep their backslashes, which sh's echo would read as escapes),
# every failed case and check is counted, and the exit status of summary
# says whether anything failed. One PASS/FAIL line per shell and run; exits
# 1 when one failed.
#
#   tests/e2e/report-check.sh
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)

# Two runs: a script sourcing report.sh and the lines it must print (times
# cut to "T").
FAILING='begin "C:\windows\3 passes"
expect "same" "C:\a\0b" "C:\a\0b"
wine_note "C:\x\1"
finish
begin "fails twice"
expect "code" 1 2
fail "C:\y\2 missing"
finish
passed "C:\z\4"
failed "a check"
summary demo "C:\out"'
FAILING_OUT='PASS C:\windows\3 passes (T s)
     wine: C:\x\1
FAIL fails twice (T s); code: got "1", expected "2"; C:\y\2 missing
PASS C:\z\4
FAIL a check
demo: 2 failed (outputs in C:\out)'
PASSING='begin one
lap step
finish
passed two
summary demo'
PASSING_OUT='PASS one (T s)
     time: step 0 s
PASS two
demo: all passed'

# check SHELL WHAT SCRIPT OUTPUT STATUS: the script under SHELL prints OUTPUT
# and exits with STATUS.
check() {
    local out rc
    out=$(E2E_ROOT=$ROOT "$1" -c ". \"\$E2E_ROOT/tests/e2e/report.sh\"; $3")
    rc=$?
    out=$(sed -E 's/ \([0-9]+\.[0-9] s\)/ (T s)/' <<<"$out")
    if [ "$out" = "$4" ] && [ "$rc" = "$5" ]; then
        echo "PASS report.sh under $1, $2"
    else
        echo "FAIL report.sh under $1, $2: exit $rc (expected $5), printed:"
        sed 's/^/     | /' <<<"$out"
        failed=1
    fi
}

failed=0
for shell in sh bash; do
    check "$shell" "a failing run" "$FAILING" "$FAILING_OUT" 1
    check "$shell" "a passing run" "$PASSING" "$PASSING_OUT" 0
done
exit $failed
