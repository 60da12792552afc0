#!/bin/bash
# Measures the README's test command as CI runs it: a fresh clone of the
# checkout's HEAD in a new folder (so every build tree and Wine prefix is
# cold), then ./scripts/test.sh there. Writes the total, the time of each
# phase and run-all's summary into docs/performance.md, between the
# "test-command" markers (scripts/benchmark.sh keeps that part).
#
#   scripts/time-tests.sh [WORK_DIR]     (default: a new folder under /tmp)
#
# Needs the network only as test.sh does (Debian packages, Wine's source
# for the corrected winspool.drv). Exits with the test command's status.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/docs/performance.md"
WORK=${1:-$(mktemp -d /tmp/zep-time-tests.XXXXXX)}
rm -rf "$WORK/clone"
mkdir -p "$WORK"
git clone -q "$ROOT" "$WORK/clone" || exit 2
commit=$(git -C "$WORK/clone" rev-parse --short HEAD)
load=$(cut -d' ' -f1-3 /proc/loadavg)
echo "time-tests: ./scripts/test.sh in a fresh clone of $commit ($WORK/clone), log $WORK/test.log"
start=$(date +%s)
(cd "$WORK/clone" && ./scripts/test.sh) >"$WORK/test.log" 2>&1
status=$?
took=$(( $(date +%s) - start ))

phases=$(sed -n '/^== test command: /,$p' "$WORK/test.log" | tail -n +2)
steps=$(sed -n '/^== end-to-end summary/,/^== /p' "$WORK/test.log" | sed '1d;$d' | grep -v '^== ')
[ -n "$steps" ] || steps=$(sed -n '/^== end-to-end summary/,$p' "$WORK/test.log" | sed 1d)
result="passed"
[ $status -eq 0 ] || result="FAILED (exit $status; see the log)"

section=$(
    echo "<!-- test-command: written by scripts/time-tests.sh -->"
    echo "## The test command on a fresh machine"
    echo
    echo "\`./scripts/test.sh\` in a fresh clone of $commit, measured by"
    echo "\`scripts/time-tests.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') (every build tree and"
    echo "Wine prefix cold; $(nproc) cores; load average at the start: $load):"
    echo "**$((took / 60)) min $((took % 60)) s**, $result. The goal is 45 minutes; CI stops at 90."
    echo
    echo "Phases:"
    echo
    echo '```'
    printf '%s\n' "$phases"
    echo '```'
    echo
    echo "The steps of the end-to-end phase (run-all's summary):"
    echo
    echo '```'
    printf '%s\n' "$steps"
    echo '```'
    echo "<!-- /test-command -->"
)

if [ -f "$OUT" ] && grep -q '^<!-- test-command' "$OUT"; then
    awk -v section="$section" '
        /^<!-- test-command/ { print section; skip = 1; next }
        /^<!-- \/test-command -->/ { skip = 0; next }
        !skip { print }
    ' "$OUT" >"$OUT.new" && mv "$OUT.new" "$OUT"
else
    { [ -f "$OUT" ] && cat "$OUT" && echo; printf '%s\n' "$section"; } >"$OUT.new" && mv "$OUT.new" "$OUT"
fi
echo "time-tests: $took s, $result; wrote $OUT"
exit $status
