#!/bin/sh
# Static analysis of the programs' code in common/, removal/, installer/,
# uninstaller/, platform/ and framework/: clang-tidy with the checks of
# .clang-tidy, then cppcheck. Any finding fails the run.
#
# - The code that builds on the host (the logic, the seam and the simulated
#   machine) is analysed with the host build's compile_commands.json.
# - The Windows-only code (framework/, platform/win32/, installer/win32/,
#   uninstaller/win32/) is analysed as the x86_64 mingw-w64 build compiles
#   it: clang's mingw target with the mingw-w64 headers and the matching
#   libstdc++, and the definitions the top-level CMakeLists.txt sets.
# Tests (tests/, framework/tests/) are not analysed.
#
# ANALYZE_BUILD_DIR names the host build folder (default build/analyze);
# only its configuration is needed, nothing is compiled there.
set -eu
cd "$(dirname "$0")/.."
build=${ANALYZE_BUILD_DIR:-build/analyze}
jobs=2

for tool in clang-tidy cppcheck x86_64-w64-mingw32-g++; do
    command -v "$tool" >/dev/null || { echo "analyze: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

host_sources=$(ls common/*.cpp removal/*.cpp installer/*.cpp uninstaller/*.cpp platform/*.cpp platform/sim/*.cpp)
windows_sources=$(ls framework/*.cpp platform/win32/*.cpp installer/win32/*.cpp uninstaller/win32/*.cpp 2>/dev/null || true)

# The mingw C++ headers, as the cross compiler finds them.
mingw_cxx=""
for dir in $(x86_64-w64-mingw32-g++ -xc++ -E -v /dev/null 2>&1 |
             sed -n '/search starts here/,/End of search list/p' | grep '/c++'); do
    mingw_cxx="$mingw_cxx -isystem $dir"
done
windows_flags="--target=x86_64-w64-mingw32 -std=c++17 -nostdinc++ $mingw_cxx -I."
windows_flags="$windows_flags -DWINVER=0x0500 -D_WIN32_WINNT=0x0500 -D_WIN32_IE=0x0500"
windows_flags="$windows_flags -DWIN32_LEAN_AND_MEAN -DNOMINMAX"

status=0
report=$(mktemp)
trap 'rm -f "$report"' EXIT

echo "== clang-tidy: host code"
# shellcheck disable=SC2086
printf '%s\n' $host_sources |
    xargs -P "$jobs" -n 1 clang-tidy -p "$build" --quiet >"$report" 2>&1 || status=1
grep -E 'warning:|error:' "$report" && status=1
[ "$status" -eq 0 ] || cat "$report" >&2

if [ -n "$windows_sources" ]; then
    echo "== clang-tidy: Windows code (x86_64-w64-mingw32)"
    # shellcheck disable=SC2086
    printf '%s\n' $windows_sources |
        xargs -P "$jobs" -I {} sh -c "clang-tidy --quiet {} -- $windows_flags" >"$report" 2>&1 || status=1
    grep -E 'warning:|error:' "$report" && status=1
    [ "$status" -eq 0 ] || cat "$report" >&2
fi

echo "== cppcheck"
# Suppressed, each for its reason:
# - badBitmaskCheck: message box styles are written as the programs name
#   them, MB_OK (0) with an icon.
# - passedByValue: the routines keep the by-value parameters of their
#   documented interfaces (see .clang-tidy).
# - useStlAlgorithm: plain loops that read like the routines' steps.
# - containerOutOfBounds in win32_advapi.cpp: the buffers are sized on the
#   first pass of the loop (its status starts as ERROR_MORE_DATA), which
#   cppcheck does not follow.
# - returnDanglingLifetime in win32_spooler.cpp: the text is copied into the
#   returned std::string before the buffer goes.
# - unreadVariable in framework/thread.cpp: the variable is handed to
#   _beginthreadex, whose declaration cppcheck does not see.
# - resourceLeak in framework/common_controls.cpp: comctl32 stays loaded for
#   the life of the process on purpose; the dialogs need its classes.
# - knownConditionTrueFalse in win32_kernel.cpp: CreateFileA's handle is also
#   checked for NULL, a defensive test that cppcheck's model of the call
#   rules out.
common="--quiet --error-exitcode=1 --std=c++17 --language=c++ --inline-suppr
 --enable=warning,style,performance,portability -I .
 --suppress=badBitmaskCheck --suppress=passedByValue --suppress=useStlAlgorithm"
# shellcheck disable=SC2086
cppcheck $common $host_sources || status=1
if [ -n "$windows_sources" ]; then
    # shellcheck disable=SC2086
    cppcheck $common --library=windows --platform=win64 -D_WIN32 -DWIN32_LEAN_AND_MEAN \
        --suppress=containerOutOfBounds:platform/win32/win32_advapi.cpp \
        --suppress=returnDanglingLifetime:platform/win32/win32_spooler.cpp \
        --suppress=unreadVariable:framework/thread.cpp \
        --suppress=resourceLeak:framework/common_controls.cpp \
        --suppress=knownConditionTrueFalse:platform/win32/win32_kernel.cpp \
        $windows_sources || status=1
fi

if [ "$status" -eq 0 ]; then echo "== analysis clean"; else echo "== analysis found problems" >&2; fi
exit "$status"
