#!/usr/bin/env bash
# rsyslog with the shipped configurations against a log written by several
# processes while it rotates: orn log follow, run as orn-follow.service runs it,
# delivers every field of every entry once and in order, also across a restart
# of the follower; imfile with mmnormalize delivers every field of the entries
# it delivers. rsyslogd is the installed one, or the one unpacked in
# $ORN2_RSYSLOG_ROOT (Debian's rsyslog conflicts with syslog-ng-core).
# Usage: rsyslog_test.sh ORN INTEGRATIONS_DIR
set -u
# shellcheck source=tests/integrations/lib.sh
. "$(dirname "$0")/lib.sh"
rsyslogd=$(command -v rsyslogd)
modules=()
if [ -z "$rsyslogd" ] && [ -x "${ORN2_RSYSLOG_ROOT:-/nonexistent}/usr/sbin/rsyslogd" ]; then
  rsyslogd=$ORN2_RSYSLOG_ROOT/usr/sbin/rsyslogd
  modules=(-M "$(dirname "$(find "$ORN2_RSYSLOG_ROOT" -name imfile.so | head -n 1)")")
fi
[ -n "$rsyslogd" ] || skip "rsyslogd is neither installed nor unpacked in ORN2_RSYSLOG_ROOT (Debian package rsyslog)"
enter_scratch orn-rsyslog
port=$((20000 + $$ % 20000))

run_rsyslogd() {  # name, configuration part
  { echo "global(workDirectory=\"$scratch\")"; sed "s/5514/$port/g" "$2"; } >"$1.conf"
  "$rsyslogd" -n -f "$1.conf" -i "$scratch/$1.pid" "${modules[@]}" >"$1.out" 2>&1 &
  engine=$!
}

# --- orn log follow into imptcp: lossless ----------------------------------------
install_integration "$integrations/rsyslog/orn-follow.conf" follow.part
install_integration "$integrations/rsyslog/orn-follow.service" follow.service
shipper=$(sed -n 's/^ExecStart=//p' follow.service | sed "s/5514/$port/g")
run_rsyslogd follow follow.part
# Until imptcp takes connections: the shipper's first one must not be refused.
for _ in $(seq $((100 * factor))); do (: <>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
# As systemd runs it: $follower is orn itself, which execs from the shell.
ship() {
  eval "exec $shipper" &
  follower=$!
}
follow_run "orn log follow into rsyslog" ship 'stop "$follower"' 'stop "$engine"'

# --- imfile with mmnormalize ------------------------------------------------------
mkdir imfile && cd imfile || exit 2
scratch=$scratch/imfile
install_integration "$integrations/rsyslog/orn-imfile.conf" imfile.part
sed -i "s|/etc/rsyslog.d/orn.rulebase|$integrations/rsyslog/orn.rulebase|" imfile.part
file_run "imfile with mmnormalize" "run_rsyslogd imfile imfile.part" 3  # readTimeout
finish
