#!/usr/bin/env bash
# Runs one tour example in a scratch directory of its own; it must exit with 0.
# Usage: run_program.sh EMULATOR PROGRAM
set -u
emulator=$1
program=$2
# shellcheck source=tests/tools/lib.sh
. "$(dirname "$0")/lib.sh"
enter_scratch orn-tour
run
printf '%s\n' "$out"
[ -z "$err" ] || printf 'stderr: %s\n' "$err"
check_status "$(basename "$program")" 0
finish
