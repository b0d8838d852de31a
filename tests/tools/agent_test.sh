#!/usr/bin/env bash
# Starts the example agent with --run-for 3 on a copy of its bundled configuration,
# changes a value while it runs, and checks its log file and its console echo: the
# servers, each worker's lines, the change seen by the watcher, and a clean stop;
# the bundled configuration's small log_max_size rotates the log on the way.
# Natively it also stops the agent with SIGTERM.
# Usage: agent_test.sh EMULATOR AGENT CONFIG
set -u
emulator=$1
program=$2
config=$3
# shellcheck source=tests/tools/lib.sh
. "$(dirname "$0")/lib.sh"
enter_scratch orn-agent
cp "$config" agent.conf

# Starts the agent with the given arguments under a watchdog that kills it after
# 120 seconds (stretched by the time factor; it hands a SIGTERM on, and the agent
# it killed ends with 137); sets pid.
start_agent() {
  # shellcheck disable=SC2086
  timeout -s KILL $((120 * ${ORN2_TEST_TIME_FACTOR:-1})) $emulator "$program" "$@" >out.txt 2>err.txt </dev/null &
  pid=$!
}
# The text of a log file and its rotated files, oldest first, without CRs.
log_text() {  # file
  local n
  for n in 9 8 7 6 5 4 3 2 1; do [ -f "$1.$n" ] && tr -d '\r' <"$1.$n"; done
  [ -f "$1" ] && tr -d '\r' <"$1"
}
wait_for_line() {  # file, pattern, seconds: true once the file (or a rotated one) holds a matching line
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    log_text "$1" | grep -Eq -- "$2" && return 0
    sleep 0.1
  done
  return 1
}
has() {  # name, extended regex over the log text
  checks=$((checks + 1))
  grep -Eq -- "$2" <<<"$text" || report "$1: no line matches '$2'"
}
seconds_of() {  # the hh:mm.ss stamp of the first line matching a pattern, in seconds
  grep -E -- "$1" <<<"$text" | head -1 | sed -E 's/^\[[0-9/]+ ([0-9]{2}):([0-9]{2})\.([0-9]{2})\].*/\1 \2 \3/' |
    awk '{print $1 * 3600 + $2 * 60 + $3}'
}
p='\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}\.[0-9]{2}\]'

start_agent --config agent.conf --log agent.log --run-for 3
# The watcher compares modification times in whole seconds; the changed file is
# given a time safely after the one that the agent loaded.
if wait_for_line agent.log 'watching agent\.conf' 60; then
  sed 's/greeting=hello/greeting=bonjour/' agent.conf >agent.conf.tmp
  touch -d "@$(($(date +%s) + 2))" agent.conf.tmp
  mv agent.conf.tmp agent.conf
else
  report "the watcher did not start within 60 seconds"
fi
wait "$pid"
rc=$?
check_status "agent --run-for 3" 0
text=$(log_text agent.log)

has "start" "^$p\[   agent\] \[ThreadId:[0-9]{4,}\] agent started: configuration agent\.conf, log agent\.log$"
has "first server" '\[   agent\] .* server 1: https://192\.0\.2\.10:8443$'
has "second server" '\[   agent\] .* server 2: http://192\.0\.2\.11:8080$'
has "heartbeat" "\[    cron\] .* heartbeat '\* \* \* \* \*', next at [0-9-]{10} [0-9:]{8}$"
has "scan count" '\[    scan\] .* scan range 192\.168\.1-2\.\*: 508 addresses$'
has "scan walk" '\[    scan\] .* scan done: walked 508 of 508 addresses, 192\.168\.1\.1 to 192\.168\.2\.254$'
has "watcher" '\[   watch\] .* watching agent\.conf: 14 keys$'
has "rotation" '\[   agent\] .* the log rotates past 1024 bytes, keeping 3 rotated files$'
# The log rotated: each file starts with the header and stays within the size.
checks=$((checks + 1))
[ -f agent.log.1 ] || report "the log did not rotate"
for file in agent.log*; do
  checks=$((checks + 1))
  [ "$(head -n 1 "$file" | tr -d '\r')" = "Orn Library: Generic Logging Routines" ] || report "$file has no header"
  [ "$(wc -c <"$file")" -le 1024 ] || report "$file has $(wc -c <"$file") bytes, more than 1024"
done
has "change seen" '\[   watch\] .* configuration: agent/greeting changed from hello to bonjour$'
has "run time" '\[   agent\] .* stopping \(run time over\)$'
for worker in heartbeat scan watch; do has "$worker stopped" "\[   agent\] .* worker $worker stopped$"; done
has "stopped" '\[   agent\] .* agent stopped after [0-9]+ heartbeats$'
# Workers poll their stop flag, so CloseThread returns within a step or two, far
# from the 20 seconds after which it would kill them.
# A line that is missing is reported by its own check.
has "running" '\[   agent\] .* running for 3 seconds$'
started=$(seconds_of 'running for 3 seconds')
stopping=$(seconds_of 'stopping \(run time over\)')
stopped=$(seconds_of 'agent stopped after')
ran=$(((${stopping:-0} - ${started:-0} + 86400) % 86400))
closing=$(((${stopped:-0} - ${stopping:-0} + 86400) % 86400))
checks=$((checks + 1))
[ "$ran" -ge 2 ] && [ "$ran" -le 5 ] || report "ran for $ran seconds, not about 3"
[ "$closing" -le 3 ] || report "stopping the workers took $closing seconds"
# The console echo carries the same lines, without the level prefixes.
for echo in 'agent started: configuration agent.conf' 'agent stopped after' \
    'configuration: agent/greeting changed from hello to bonjour'; do
  grep -qF "$echo" out.txt || report "no echo of '$echo'"
done

# An unknown option, a bad value and an unreadable configuration are refused with status 2.
for args in --frobnicate "--run-for soon" "--config missing.conf"; do
  # shellcheck disable=SC2086
  run $args
  check_status "agent $args" 2
done
[[ "$err" == *"cannot load the configuration missing.conf"* ]] || report "missing configuration: '$err'"

if [ -z "$emulator" ]; then
  rm -f term.log
  start_agent --config agent.conf --log term.log
  if wait_for_line term.log 'running; Ctrl\+C stops' 60; then
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    check_status "agent stopped by SIGTERM" 0
    text=$(log_text term.log)
    has "SIGTERM stop" '\[   agent\] .* stopping \(stop request\)$'
    has "SIGTERM stopped" '\[   agent\] .* agent stopped after'
  else
    report "the agent did not start running"
    wait "$pid"  # until the watchdog ends it
  fi
fi

finish
