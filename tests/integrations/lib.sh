# Shared by the tests of the integrations with real engines: a log written by
# several writer processes while it rotates, what orn log parse reads from it,
# and a bounded wait for an engine's output. The sourcing script sets $orn.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/tools/lib.sh
. "$here/../tools/lib.sh"
emulator=

skip() {  # reason: CTest's skip status
  echo "skipped: $*"
  exit 77
}

# writer ID COUNT: entries of every kind into agent.log, one orn process each:
# plain lines, errors, warnings, hex dumps, cut messages, text that JSON escapes,
# and with $multiline set messages with line ends of their own.
writer() {
  local i long
  long=$(printf "w$1 %02100d" 0)
  for i in $(seq "$2"); do
    case $((i % 10)) in
      3) "$orn" log agent.log --module "w$1" --level 1 "writer $1 entry $i failed" ;;
      5) "$orn" log agent.log --module "w$1" --level 2 "writer $1 entry $i: retry" ;;
      7) printf 'writer %s entry %s\001%%' "$1" "$i" | "$orn" log agent.log --module "w$1" --dump --title "dump $1 $i" ;;
      9) "$orn" log agent.log --module "w$1" --level 0 "$i $long" ;;
      1) if [ -n "${multiline:-}" ]; then
           "$orn" log agent.log --module "w$1" "writer $1 entry $i"$'\nline\r\nends\rof all kinds\n'
         else
           "$orn" log agent.log --module "w$1" "writer $1 entry $i"
         fi ;;
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

# The entries of every file of the log, oldest first, as orn log parse reads them.
expected_entries() {
  local files=() n
  for n in $(seq 500 -1 1); do [ -e "agent.log.$n" ] && files+=("agent.log.$n"); done
  "$orn" log parse "${files[@]}" agent.log >expected.jsonl
}

# The number of rotated files beside agent.log.
rotated_files() { find . -maxdepth 1 -name 'agent.log.*' | wc -l; }
# expect_rotations LABEL MIN: the run left at least MIN rotated files.
expect_rotations() {
  local rotated
  rotated=$(rotated_files)
  echo "rotated files: $rotated"
  [ "$rotated" -ge "$2" ] || report "$1: only $rotated rotations"
}
# wait_lines FILE COUNT SECONDS: until FILE has COUNT lines, or the time is up.
wait_lines() {
  local deadline=$((SECONDS + $3))
  while [ "$(cat "$1" 2>/dev/null | wc -l)" -lt "$2" ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.2
  done
}

# compare NAME GOT [--tail-loss N]: every field of every entry against expected.jsonl.
compare() {
  checks=$((checks + 1))
  local name=$1 got=$2
  shift 2
  python3 "$here/compare_entries.py" expected.jsonl "$got" "$@" >compare.txt 2>&1 ||
    report "$name: $(cat compare.txt)"
  echo "$name: $(tail -n 1 compare.txt)"
}

# An installed integration file with the paths of this scratch directory.
install_integration() {  # source, target
  sed -e "s|/var/log/agent/agent.log|$scratch/agent.log|g" -e "s|/usr/bin/orn|$orn|g" \
    -e "s|/var/lib/orn/|$scratch/|g" -e "s|/var/log/agent-entries.jsonl|$scratch/got.jsonl|g" \
    -e "s|/var/log/agent/|$scratch/|g" "$1" >"$2"
}
