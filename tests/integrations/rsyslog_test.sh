#!/usr/bin/env bash
# rsyslog with the shipped configurations against a log written by several
# processes while it rotates: orn log follow, run as orn-follow.service runs it,
# delivers every field of every entry once and in order, also across a restart
# of the follower; imfile with mmnormalize delivers every field of the entries
# it delivers. rsyslogd is the installed one, or the one unpacked in
# $ORN2_RSYSLOG_ROOT (Debian's rsyslog conflicts with syslog-ng-core).
# Usage: rsyslog_test.sh ORN INTEGRATIONS_DIR
set -u
orn=$(realpath "$1")
integrations=$(realpath "$2")
. "$(dirname "$0")/lib.sh"
rsyslogd=$(command -v rsyslogd)
modules=()
if [ -z "$rsyslogd" ] && [ -x "${ORN2_RSYSLOG_ROOT:-/nonexistent}/usr/sbin/rsyslogd" ]; then
  rsyslogd=$ORN2_RSYSLOG_ROOT/usr/sbin/rsyslogd
  modules=(-M "$(dirname "$(find "$ORN2_RSYSLOG_ROOT" -name imfile.so | head -n 1)")")
fi
[ -n "$rsyslogd" ] || skip "rsyslogd is neither installed nor unpacked in ORN2_RSYSLOG_ROOT (Debian package rsyslog)"
command -v python3 >/dev/null || skip "python3 is not installed"
command -v logger >/dev/null || skip "logger is not installed (Debian package bsdutils)"
enter_scratch orn-rsyslog
[ -n "${KEEP_SCRATCH:-}" ] && trap - EXIT
port=$((20000 + $$ % 20000))

run_rsyslogd() {  # name, configuration part
  { echo "global(workDirectory=\"$scratch\")"; sed "s/5514/$port/g" "$2"; } >"$1.conf"
  "$rsyslogd" -n -f "$1.conf" -i "$scratch/$1.pid" "${modules[@]}" >"$1.out" 2>&1 &
  engine=$!
}

stop() {  # pid
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { report "process $1 did not stop"; kill -KILL "$1"; }
  wait "$1" 2>/dev/null
}

# --- orn log follow into imptcp: lossless ----------------------------------------
install_integration "$integrations/rsyslog/orn-follow.conf" follow.part
install_integration "$integrations/rsyslog/orn-follow.service" follow.service
shipper=$(sed -n 's/^ExecStart=//p' follow.service | sed "s/5514/$port/g")
"$orn" log agent.log --module start "the log starts"
run_rsyslogd follow follow.part
for _ in $(seq 50); do grep -q "imptcp" follow.out 2>/dev/null; sleep 0.1; done
# As systemd runs it: $follower is orn itself, which execs from the shell.
ship() {
  eval "exec $shipper" &
  follower=$!
}
ship
wait_lines got.jsonl 1 20
multiline=1 write_log 4 150 &
load=$!
sleep 0.5
stop "$follower"  # and start again half-way: the state file carries the position
ship
wait $load
expected_entries
wait_lines got.jsonl "$(wc -l <expected.jsonl)" 30
stop "$follower"
stop "$engine"
compare "orn log follow into rsyslog" got.jsonl
expect_rotations "follow" 5

# --- imfile with mmnormalize: every entry it delivers is right; it may lose
# the last entry of each rotated file, so it is tried at one rotation every two
# seconds.
mkdir imfile && cd imfile || exit 2
scratch=$scratch/imfile
install_integration "$integrations/rsyslog/orn-imfile.conf" imfile.part
sed -i "s|/etc/rsyslog.d/orn.rulebase|$integrations/rsyslog/orn.rulebase|" imfile.part
"$orn" log agent.log --module start "the log starts"
run_rsyslogd imfile imfile.part
sleep 1  # rsyslog opens the file
write_log 4 150 2
"$orn" log agent.log --module end "the last entry"
expected_entries
rotated=$(rotated_files)
wait_lines got.jsonl $(($(wc -l <expected.jsonl) - rotated - 1)) 30
sleep 3  # readTimeout
stop "$engine"
compare "imfile with mmnormalize" got.jsonl --file-lines --tail-loss $((rotated + 1))
expect_rotations "imfile" 1
finish
