#!/usr/bin/env bash
# Tells faults of the 32-bit emulation from faults of liborn2: builds the standalone
# program suspend_terminate.c (no liborn2, no C++) for i686 and runs each of its
# scenarios RUNS times (default 10) under the emulated 32-bit Wine of
# scripts/win32-root.sh, each run a process of its own; prints how many runs passed
# and how each of the others ended. It reports, it never fails. With --control it
# runs the x86-64 build once under the host's 64-bit Wine instead, where every
# scenario passes.
# Usage: scripts/diagnostics/emulation.sh [--control] [RUNS]   (as root)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/../.." && pwd)

# Inside the root's namespace: the program and the wrapper are in WORK.
if [ "${1:-}" = --inside ]; then
  work=$2 runs=$3
  for variant in "8192 _beginthreadex" "0 CreateThread"; do
    for scenario in suspend-sleeping suspend-spinning terminate-sleeping terminate-spinning \
      terminate-blocked terminate-suspended; do
      passed=0 ends=""
      for ((i = 0; i < runs; i++)); do
        rc=0
        # shellcheck disable=SC2086 # the variant is two arguments
        out=$(cd "$work" && WINEDEBUG=err+seh timeout 120 ./wine32 suspend_terminate.exe \
          "$scenario" $variant 2>&1) || rc=$?
        if [ $rc = 0 ]; then
          passed=$((passed + 1))
        elif grep -q "uncaught target signal" <<<"$out"; then
          ends+=" qemu-signal"
        elif grep -q "unexpected trap" <<<"$out"; then
          ends+=" wine-trap"
        elif grep -q "FAILED: " <<<"$out"; then
          ends+=" \"$(grep -o 'FAILED: .*' <<<"$out" | head -1 | tr -d '\r')\""
        else
          ends+=" exit-$rc"
        fi
      done
      printf '%-20s %-22s %2d of %d passed%s\n' "$scenario" "(${variant/ /, })" "$passed" "$runs" \
        "${ends:+; the others:$ends}"
    done
  done
  exit 0
fi

control=false
if [ "${1:-}" = --control ]; then control=true; shift; fi
runs=${1:-10}
work=$(mktemp -d "${TMPDIR:-/tmp}/orn2-emulation.XXXXXX")
trap 'rm -rf "$work"' EXIT

if $control; then
  x86_64-w64-mingw32-gcc -std=c11 -O2 -static -o "$work/suspend_terminate.exe" "$here/suspend_terminate.c"
  export WINEDEBUG=-all WINEPREFIX=$work/prefix
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 "$work/suspend_terminate.exe" all
  exit
fi

i686-w64-mingw32-gcc -std=c11 -O2 -static -o "$work/suspend_terminate.exe" "$here/suspend_terminate.c"
"$project/scripts/win32-root.sh" --wrapper "$work/wine32"
"$project/scripts/win32-root.sh" --run "$work" -- "$here/emulation.sh" --inside "$work" "$runs"
