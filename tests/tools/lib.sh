# Helpers of the program tests: run the program under test (through the emulator
# when there is one), capture its output and exit status, and count failures.
# The sourcing script sets $emulator and the program's path in $orn (or $program).

failures=0
checks=0

enter_scratch() {  # name: a fresh scratch directory, removed at exit unless KEEP_SCRATCH is set
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  [ -n "${KEEP_SCRATCH:-}" ] || trap 'cd /; rm -rf "$scratch"' EXIT
  cd "$scratch" || exit 2
}

report() {
  failures=$((failures + 1))
  printf 'FAILED: %s\n' "$*"
}

# Starts the program under test (through the emulator when there is one) with
# the given arguments and the caller's redirections; with $seconds set, under a
# time limit of that many seconds, stretched by ORN2_TEST_TIME_FACTOR.
launch() {
  local limit=
  [ -n "${seconds:-}" ] && limit="timeout $((seconds * ${ORN2_TEST_TIME_FACTOR:-1}))"
  # shellcheck disable=SC2086
  $limit $emulator "${program:-$orn}" "$@"
}

# Runs the program with the given arguments, its input from the file $stdin
# (nothing when unset); sets rc, out and err (carriage returns removed, since a
# Windows program writes its lines in text mode).
run() {
  launch "$@" >out.txt 2>err.txt <"${stdin:-/dev/null}"
  rc=$?
  out=$(tr -d '\r' <out.txt)
  err=$(tr -d '\r' <err.txt)
}

check_status() {  # name, expected status
  checks=$((checks + 1))
  [ "$rc" = "$2" ] || report "$1: exit status $rc, expected $2 (stderr: ${err:0:300})"
}

check_run() {  # name, expected status, expected stdout
  check_status "$1" "$2"
  if [ "$out" != "$3" ]; then
    report "$1: stdout differs"
    diff <(printf '%s\n' "$3") <(printf '%s\n' "$out") | head -20
  fi
}

# expect NAME STATUS STDOUT -- ARGS...
expect() {
  run "${@:5}"
  check_run "$1" "$2" "$3"
}

# expect_fail NAME STATUS REGEX -- ARGS...: the status, and exactly one line on
# stderr, "orn: ..." matching REGEX.
expect_fail() {
  run "${@:5}"
  check_status "$1" "$2"
  if [ -z "$err" ] || [[ "$err" == *$'\n'* ]]; then
    report "$1: not one line on stderr: ${err:0:300}"
  elif ! printf '%s' "$err" | grep -Eq -- "^orn: .*$3"; then
    report "$1: stderr '$err' does not match '$3'"
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    printf '%d of %d checks failed\n' "$failures" "$checks"
    exit 1
  fi
  printf 'all %d checks passed\n' "$checks"
  exit 0
}
