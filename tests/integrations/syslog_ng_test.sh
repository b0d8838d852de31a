#!/usr/bin/env bash
# syslog-ng with the shipped configurations against a log written by several
# processes while it rotates: the program() source with orn log follow delivers
# every field of every entry once and in order, also across a restart of
# syslog-ng; the file() source delivers every field of the entries it delivers.
# Usage: syslog_ng_test.sh ORN INTEGRATIONS_DIR
set -u
# shellcheck source=tests/integrations/lib.sh
. "$(dirname "$0")/lib.sh"
command -v syslog-ng >/dev/null || skip "syslog-ng is not installed (Debian package syslog-ng-core)"
enter_scratch orn-syslog-ng
version=$(syslog-ng --version | sed -n 's/^Config version: //p')

# run_syslog_ng NAME: starts syslog-ng in the foreground on NAME.part, with its own state files.
run_syslog_ng() {
  { echo "@version: $version"; cat "$1.part"; } >"$1.conf"
  syslog-ng -F -f "$1.conf" --persist-file="$scratch/$1.persist" --pidfile="$scratch/$1.pid" \
    --control="$scratch/$1.ctl" --no-caps >"$1.out" 2>&1 &
  engine=$!
}

install_integration "$integrations/syslog-ng/orn-follow.conf" follow.part
follow_run "program() with orn log follow" "run_syslog_ng follow" 'stop "$engine"'

mkdir file && cd file || exit 2
scratch=$scratch/file
install_integration "$integrations/syslog-ng/orn-file.conf" file.part
file_run "file() with the README's expression" "run_syslog_ng file" 1
finish
