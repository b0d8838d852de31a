#!/usr/bin/env bash
# syslog-ng with the shipped configurations against a log written by several
# processes while it rotates: the program() source with orn log follow delivers
# every field of every entry once and in order, also across a restart of
# syslog-ng; the file() source delivers every field of the entries it delivers.
# Usage: syslog_ng_test.sh ORN INTEGRATIONS_DIR
set -u
orn=$(realpath "$1")
integrations=$(realpath "$2")
. "$(dirname "$0")/lib.sh"
command -v syslog-ng >/dev/null || skip "syslog-ng is not installed (Debian package syslog-ng-core)"
command -v python3 >/dev/null || skip "python3 is not installed"
enter_scratch orn-syslog-ng; [ -n "${KEEP_SCRATCH:-}" ] && trap - EXIT
version=$(syslog-ng --version | sed -n 's/^Config version: //p')

# run_syslog_ng NAME CONF: starts syslog-ng in the foreground with its own state files.
run_syslog_ng() {
  { echo "@version: $version"; cat "$2"; } >"$1.conf"
  syslog-ng -F -f "$1.conf" --persist-file="$scratch/$1.persist" --pidfile="$scratch/$1.pid" \
    --control="$scratch/$1.ctl" --no-caps >"$1.out" 2>&1 &
  engine=$!
}

stop_syslog_ng() {
  kill -TERM "$engine" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$engine" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$engine" 2>/dev/null && { report "syslog-ng did not stop"; kill -KILL "$engine"; }
  wait "$engine" 2>/dev/null
}

# --- program() with orn log follow: lossless ------------------------------------
install_integration "$integrations/syslog-ng/orn-follow.conf" follow.part
"$orn" log agent.log --module start "the log starts"
run_syslog_ng follow follow.part
wait_lines got.jsonl 1 20
multiline=1 write_log 4 150 &
load=$!
sleep 0.5
stop_syslog_ng  # and start again half-way: the state file carries the position
run_syslog_ng follow follow.part
wait $load
expected_entries
wait_lines got.jsonl "$(wc -l <expected.jsonl)" 30
stop_syslog_ng
compare "program() with orn log follow" got.jsonl
expect_rotations "program()" 5

# --- file(): every entry it delivers is right; it loses the last entry of a
# rotated file, and whole files rotated within its second of polling, so it
# is tried at one rotation every two seconds.
mkdir file && cd file || exit 2
scratch=$scratch/file
install_integration "$integrations/syslog-ng/orn-file.conf" file.part
"$orn" log agent.log --module start "the log starts"
run_syslog_ng file file.part
sleep 1  # syslog-ng opens the file
write_log 4 150 2
"$orn" log agent.log --module end "the last entry"  # it releases the one before
expected_entries
rotated=$(rotated_files)
wait_lines got.jsonl $(($(wc -l <expected.jsonl) - rotated - 1)) 30
sleep 1
stop_syslog_ng
compare "file() with the README's expression" got.jsonl --file-lines --tail-loss $((rotated + 1))
expect_rotations "file()" 1
finish
