# Shared by the tests of the integrations with real engines: a log written by
# several writer processes while it rotates, what orn log parse reads from it,
# and a bounded wait for an engine's output. Sourced without arguments, it takes
# the test's: ORN INTEGRATIONS_DIR.
orn=$(realpath "$1")
integrations=$(realpath "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/tools/lib.sh
. "$here/../tools/lib.sh"

skip() {  # reason: CTest's skip status
  echo "skipped: $*"
  exit 77
}
command -v python3 >/dev/null || skip "python3 is not installed"

# Waits are stretched by the time factor, as in every test.
factor=${ORN2_TEST_TIME_FACTOR:-1}

stop() {  # pid: a TERM, and a KILL (reported) when it has not ended within ten seconds
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq $((100 * factor))); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { report "process $1 did not stop"; kill -KILL "$1"; }
  wait "$1" 2>/dev/null
}

# writer ID COUNT: entries of every kind into agent.log, one orn process each:
# plain lines, errors, warnings, hex dumps, cut messages, text that JSON escapes,
# and with $multiline set messages with line ends of their own.
writer() {
  local i long ends=$'\nline\r\nends\rof all kinds\n'
  long=$(printf "w$1 %02100d" 0)
  for i in $(seq "$2"); do
    case $((i % 10)) in
      3) "$orn" log agent.log --module "w$1" --level 1 "writer $1 entry $i failed" ;;
      5) "$orn" log agent.log --module "w$1" --level 2 "writer $1 entry $i: retry" ;;
      7) printf 'writer %s entry %s\001%%' "$1" "$i" | "$orn" log agent.log --module "w$1" --dump --title "dump $1 $i" ;;
      9) "$orn" log agent.log --module "w$1" --level 0 "$i $long" ;;
      1) "$orn" log agent.log --module "w$1" "writer $1 entry $i${multiline:+$ends}" ;;
      *) "$orn" log agent.log --module "writer$1" "writer $1 entry $i: 100% \"done\" \\ é" ;;
    esac
  done
}

# write_log WRITERS COUNT [SECONDS]: the writers at once, agent.log rotated
# every SECONDS (a tenth by default) meanwhile, every file kept.
write_log() {
  local pids=() w
  for w in $(seq "$1"); do
    writer "$w" "$2" &
    pids+=($!)
  done
  while kill -0 "${pids[@]}" 2>/dev/null; do
    sleep "${3:-0.1}"
    "$orn" log rotate agent.log --keep 500
  done
  wait "${pids[@]}"
}

# The files of the log, oldest first, in $files and the entries of them all, as
# orn log parse reads them, in expected.jsonl; $rotated counts the rotated files.
expected_entries() {
  local n
  files=()
  for n in $(seq 500 -1 1); do [ -e "agent.log.$n" ] && files+=("agent.log.$n"); done
  files+=(agent.log)
  rotated=$((${#files[@]} - 1))
  "$orn" log parse "${files[@]}" >expected.jsonl
}

# expect_rotations LABEL MIN: the run left at least MIN rotated files.
expect_rotations() {
  echo "rotated files: $rotated"
  [ "$rotated" -ge "$2" ] || report "$1: only $rotated rotations"
}
# wait_lines FILE COUNT SECONDS: until FILE has COUNT lines, or the time is up.
wait_lines() {
  local deadline=$((SECONDS + $3 * factor))
  while [ "$(cat "$1" 2>/dev/null | wc -l)" -lt "$2" ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.2
  done
}

# follow_run NAME START STOP [END]: an engine that ships the log through orn log
# follow (the commands START and STOP start and stop what follows) delivers every
# entry once and in order while four writers write the log and rotate it, also
# across a restart half-way, where the follower's state file carries the position.
# END, when given, runs after the last STOP.
follow_run() {
  "$orn" log agent.log --module start "the log starts"
  eval "$2"
  wait_lines got.jsonl 1 20
  multiline=1 write_log 4 150 &
  local load=$!
  sleep 0.5
  eval "$3"
  eval "$2"
  wait $load
  expected_entries
  wait_lines got.jsonl "$(wc -l <expected.jsonl)" 30
  eval "$3"
  eval "${4:-}"
  compare "$1" got.jsonl
  expect_rotations "$1" 5
}

# file_run NAME START SETTLE: an engine that reads the file's lines itself with the
# README's expression (started by the command START, given SETTLE seconds to read
# the last lines) delivers every field of the entries it delivers. It loses the
# last entry of a rotated file, which it holds until the next one starts, and
# whole files rotated within its second of polling, so it is tried at one
# rotation every two seconds.
file_run() {
  "$orn" log agent.log --module start "the log starts"
  eval "$2"
  sleep 1  # the engine opens the file
  write_log 4 150 2
  "$orn" log agent.log --module end "the last entry"  # it releases the one before
  expected_entries
  wait_lines got.jsonl $(($(wc -l <expected.jsonl) - rotated - 1)) 30
  sleep "$3"
  stop "$engine"
  compare "$1" got.jsonl --file-lines --tail-loss $((rotated + 1))
  expect_rotations "$1" 1
}

# compare NAME GOT [--tail-loss N]: every field of every entry against expected.jsonl.
compare() {
  checks=$((checks + 1))
  python3 "$here/compare_entries.py" expected.jsonl "${@:2}" >compare.txt 2>&1 ||
    report "$1: $(cat compare.txt)"
  echo "$1: $(tail -n 1 compare.txt)"
}

# An installed integration file with the paths of this scratch directory.
install_integration() {  # source, target
  sed -e "s|/var/log/agent/agent.log|$scratch/agent.log|g" -e "s|/usr/bin/orn|$orn|g" \
    -e "s|/var/lib/orn/|$scratch/|g" -e "s|/var/log/agent-entries.jsonl|$scratch/got.jsonl|g" \
    -e "s|/var/log/agent/|$scratch/|g" "$1" >"$2"
}
