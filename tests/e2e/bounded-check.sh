#!/bin/bash
# Every Wine start of the test command has a time limit: the scripts start
# wine, wine64, wineboot and wineserver only through the helpers of
# scripts/lib/wine.sh (zep_bounded and the functions built on it), and that
# file itself only through zep_bounded or timeout. Lists each line that
# starts Wine another way; exits 1 if there is one.
#
#   tests/e2e/bounded-check.sh            the scripts of this checkout
#   tests/e2e/bounded-check.sh FILE...    these files (used by its own test)
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT" || exit 2

# A Wine start: one of these as the command word of a simple command.
word='("?\$\{?ZEP_WINE(64|32|_BIN)\}?"?|wine|wine64|wineboot|wineserver|wineserver(32|64)|/usr/(bin|lib/wine)/wine[a-z0-9-]*)'
lead='(^|[;&|({]|\$\(|\bexec|\bthen|\bdo|\belse|\bif|!)'
assign='([A-Za-z_][A-Za-z0-9_]*=("[^"]*"|[^ ]*) +)*'
start="$lead *(env +)?$assign$word( |\"|\)|;|$)"

if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files 'scripts/*' 'tests/*' 'package/*' | while read -r f; do
        case "$f" in
            *.sh) echo "$f" ;;
            *.c | *.cpp | *.h | *.py | *.md | *.patch | *.txt | *.inf | *.rc) ;;
            *) head -n 1 "$f" 2>/dev/null | grep -q '^#!.*sh' && echo "$f" ;;
        esac
    done)
fi

bad=0
for f in "${files[@]}"; do
    while IFS= read -r hit; do
        line=${hit#*:}
        # Comments and the helpers that carry the limit.
        case "$line" in
            *zep_bounded* | *zep_wine64* | *zep_wine32* | *zep_wineserver* | *zep_wine_stop*) continue ;;
        esac
        if [ "$(basename "$f")" = wine.sh ] && [[ $line == *"timeout "* ]]; then continue; fi
        echo "$f:$hit"
        bad=1
    done < <(grep -nE "$start" "$f" | grep -vE '^[0-9]+: *#')
done
if [ $bad = 0 ]; then
    echo "bounded-check: every Wine start in ${#files[@]} scripts goes through a time limit"
fi
exit $bad
