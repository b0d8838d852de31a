#!/usr/bin/env bash
# The test suite as 32-bit Windows programs: builds the i686 DLL and tests with
# mingw-w64 and runs them under the 32-bit Wine of scripts/win32-root.sh, whose
# i386 code qemu-i386 emulates where the kernel runs no 32-bit user code.
#
# The tests learn that they run emulated from ORN2_EMULATED_I386=1 (Wine hands the
# Unix environment to Windows programs); only the cases that
# scripts/diagnostics/suspend_terminate.c shows the emulation to break skip themselves.
#
# Usage: scripts/win32-wine.sh BUILD_DIR [CTEST_ARGS...]
# Run as root. Env: ORN2_CACHE  where the root is kept (default /var/cache/liborn2)
#                   ORN2_JOBS   parallel compilations and tests (default nproc)
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ORN2_JOBS:-$(nproc)}
# The emulated programs run several times slower than native ones: every time
# limit of the tests, CTest's and their own, is stretched by this.
time_factor=3

log() { printf '\n=== %s ===\n' "$*"; }

[ "$(id -u)" = 0 ] || { echo "$0: run as root" >&2; exit 2; }
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [CTEST_ARGS...]" >&2; exit 2; }
mkdir -p "$1/tmp"
build=$(cd "$1" && pwd)
shift

# The i686 DLL, tests and programs; CTest starts every test program through the
# root's 32-bit Wine, in the directory it gives the test.
log "win32: i686 build in $build"
"$project/scripts/win32-root.sh" --wrapper "$build/wine32"
cmake -S "$project" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN2_BUILD_TESTS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$project/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$build/wine32" -DORN2_TEST_TIME_FACTOR=$time_factor >/dev/null
cmake --build "$build" -j "$jobs"
kind=$(file "$build/liborn2.dll")
echo "$kind"
grep -q 'PE32 executable (DLL).*Intel 80386' <<<"$kind"

# Of the orn tool's tests, which start orn.exe some two hundred times, only those
# where a 32-bit program can differ run here: times (a 32-bit time_t ends in 2038)
# and file sizes, that is the cron and log sections of orn_cli. Argument parsing,
# help texts, the manual page and the completion are the same code as in the
# x86-64 stage, which runs them all.
log "win32: ctest under 32-bit Wine, its i386 code emulated by qemu-i386"
rc=0
"$project/scripts/win32-root.sh" --run "$build" -- \
  env ORN2_EMULATED_I386=1 ORN2_TEST_TIME_FACTOR=$time_factor TMPDIR="$build/tmp" \
  ORN2_ORN_CLI_SECTIONS="cron log" \
  ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 \
  -E '^orn_(manual_page|completion)$' "$@" || rc=$?
# CTest lists skipped tests without their reasons; GoogleTest's follow "Skipped".
awk '/: Skipped$/ { getline why; getline name; sub(/^\[  SKIPPED \] /, "", name)
                    print "skipped: " name ": " why }' "$build/Testing/Temporary/LastTest.log"
exit $rc
