#!/usr/bin/env bash
# Runs the built orn tool on scratch files and checks its output, its exit status
# and its one-line messages, including bad input.
# Usage: orn_cli_test.sh EMULATOR ORN   (EMULATOR empty, or e.g. wine64 for orn.exe)
set -u
emulator=$1
orn=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/tools/lib.sh
. "$here/lib.sh"
enter_scratch orn-cli
# The tool runs with relative file names inside the scratch directory, so that
# the same paths work for a Windows build under Wine.
export TZ=UTC0

# --- config -------------------------------------------------------------------
printf '# top\n[soap]\nserver = 10.0.0.5 \nport=443\n[log]\nlevel=0x10\n' >agent.conf

expect "get in section"          0 '10.0.0.5' -- config get agent.conf server soap
expect "get section/key path"    0 '443'      -- config get agent.conf soap/port
expect "get ignores case"        0 '443'      -- config get agent.conf PORT SOAP
expect "get keeps hex as text"   0 '0x10'     -- config get agent.conf level log
expect_fail "get missing key"    1 'no key soap/user' -- config get agent.conf user soap
expect_fail "get empty section"  1 'no key /port'     -- config get agent.conf port ''
expect_fail "get missing file"   2 'cannot read nothing.conf' -- config get nothing.conf port soap
mkdir adir
expect_fail "get directory"      2 'adir is a directory' -- config get adir port soap
expect_fail "get too few"        2 'expected FILE KEY \[SECTION\]' -- config get agent.conf
expect_fail "get too many"       2 'expected FILE KEY' -- config get agent.conf a b c
expect_fail "unknown subcommand" 2 'unknown subcommand frob' -- config frob agent.conf
expect_fail "unknown option"     2 'unknown option --fast' -- config get --fast agent.conf port
expect_fail "long file name"     2 'longer than 250' -- config get "$(printf 'f%.0s' $(seq 251))" k

# Each placement, on a fresh copy of one file; the dump shows the saved order.
base='[soap]\nserver=a\nport=1\n[log]\nlevel=3\n'
placement() {  # name, --at value (or empty), expected dump
  printf "$base" >place.conf
  if [ -n "$2" ]; then run config set place.conf user x soap --at "$2"
  else run config set place.conf user x soap; fi
  check_run "set $1" 0 ''
  expect "set $1: saved order" 0 "$3" -- config dump place.conf
}
placement "default is tail" "" $'\n[soap]\n    server=a\n    port=1\n    user=x\n\n[log]\n    level=3'
placement "at tail" tail $'\n[soap]\n    server=a\n    port=1\n    user=x\n\n[log]\n    level=3'
placement "at head" head $'\n[soap]\n    user=x\n    server=a\n    port=1\n\n[log]\n    level=3'
placement "after first" after-first $'\n[soap]\n    server=a\n    user=x\n    port=1\n\n[log]\n    level=3'

printf "$base" >edit.conf
expect "set overwrites in place" 0 '' -- config set edit.conf PORT 2 SOAP --at head
expect "set kept the record name" 0 $'\n[soap]\n    server=a\n    port=2\n\n[log]\n    level=3' \
  -- config dump edit.conf
expect "set left the old file as .Save" 0 '1' -- config get edit.conf.Save port soap
expect "set new section" 0 '' -- config set edit.conf user x new
expect "new section at the end" 0 'x' -- config get edit.conf new/user
expect "set creates a missing file" 0 '' -- config set fresh.conf port 80 soap
expect "created file reads back" 0 '80' -- config get fresh.conf port soap
expect "set value with '=' and blanks inside" 0 '' -- config set edit.conf url 'a=b c' soap
expect "value with '=' reads back" 0 'a=b c' -- config get edit.conf url soap
expect_fail "set bad --at"       2 '--at takes head, tail or after-first' -- config set edit.conf k v s --at middle
expect_fail "set --at without value" 2 'option --at needs a value' -- config set edit.conf k v s --at
expect_fail "set key with '='"   2 'without blanks or' -- config set edit.conf 'a=b' v s
expect_fail "set empty key"      2 'non-empty' -- config set edit.conf '' v s
expect_fail "set section with /" 2 'section name cannot hold' -- config set edit.conf k v 'a/b'
expect_fail "set value too long" 2 'longer than 512' -- config set edit.conf k "$(printf 'v%.0s' $(seq 513))" s
expect_fail "set name too long"  2 'longer than 127' -- config set edit.conf "$(printf 'k%.0s' $(seq 125))" v soap
expect "set value of 512 characters" 0 '' -- config set edit.conf k "$(printf 'v%.0s' $(seq 512))" s
expect "value of 512 characters reads back" 0 "$(printf 'v%.0s' $(seq 512))" -- config get edit.conf s/k
expect_fail "set into a missing directory" 2 'cannot save nodir/x.conf' -- config set nodir/x.conf k v s
printf '[a]\nx=1\n[b]\ny=2\n[A]\nz=3\nloose=4\n' >sections.conf
expect "sections in file order, runs apart" 0 $'a\nb\nA' -- config sections sections.conf
printf 'debug=1\n[soap]\nport=443\n' >outside.conf
expect "keys outside sections are sections" 0 $'debug\nsoap' -- config sections outside.conf
expect "keys of a section, both places" 0 $'x\nz\nloose' -- config keys sections.conf a
expect_fail "keys of a missing section" 1 'no keys in section c' -- config keys sections.conf c
: >empty.conf
expect "sections of an empty file" 0 '' -- config sections empty.conf

remove_case() {  # name, prefix, keep (or -), expected count printed, status, remaining keys
  printf '[soap]\nserver=a\nserver_1=b\nserver_10=c\nserver_2=d\nport=1\n[x]\nserver=z\n' >rm.conf
  if [ "$3" = - ]; then run config remove rm.conf soap "$2"; else run config remove rm.conf soap "$2" "$3"; fi
  check_run "remove $1" "$5" "$4"
  if [ -n "$6" ]; then
    expect "remove $1: what is left" 0 "$6" -- config keys rm.conf soap
  else
    expect_fail "remove $1: nothing left" 1 'no keys in section soap' -- config keys rm.conf soap
  fi
  expect "remove $1: other section untouched" 0 'z' -- config get rm.conf server x
}
remove_case "with keep" server server_1 2 0 $'server_1\nserver_10\nport'
remove_case "without keep" server - 4 0 'port'
remove_case "empty prefix" '' zzz 5 0 ''
remove_case "nothing matches" user - 0 1 $'server\nserver_1\nserver_10\nserver_2\nport'
rm -f rm.conf*
# Removing the last key saves an empty file, which the next load restores from
# the backup: the tool says so.
printf '[soap]\nport=1\n' >rm.conf
run config remove rm.conf soap port
check_run "remove the last key" 0 '1'
[[ "$err" == *"rm.conf is now empty; the next load restores it from rm.conf.Save"* ]] ||
  report "remove the last key: no warning ($err)"
[ -s rm.conf ] && report "remove the last key: the file is not empty"
expect "the next load restores the emptied file" 0 'port' -- config keys rm.conf soap
expect_fail "remove with empty keep" 2 'empty KEEP' -- config remove rm.conf soap port ''

printf '# top\n   ; indented  \n[soap]\nserver = a \nport 443\n\n' >dump.conf
expect "dump normalises keys, keeps comments" 0 $'# top\n   ; indented\n\n[soap]\n    server=a\n    port=443' \
  -- config dump dump.conf
tr -d '\r' <dump.conf | cmp -s - <(printf '# top\n   ; indented  \n[soap]\nserver = a \nport 443\n\n') ||
  report "dump left the file as it was"

# A file found empty is restored from its .Save backup, as the library loads it.
: >restore.conf
printf '[soap]\nport=8443\n' >restore.conf.Save
run config get restore.conf port soap
check_run "empty file restored from .Save" 0 '8443'
[ -f restore.conf.Save ] && report "the backup was not moved into place"

# --- endpoint -----------------------------------------------------------------
expect "endpoint https with port" 0 $'protocol: https\nhost: 192.0.2.10\nport: 8443\nvalid: yes' \
  -- endpoint https://192.0.2.10:8443
expect "endpoint defaults" 0 $'protocol: http\nhost: 10.0.0.1\nport: 80\nvalid: yes' -- endpoint 10.0.0.1
expect "endpoint https default port" 0 $'protocol: https\nhost: 192.0.2.10\nport: 443\nvalid: yes' \
  -- endpoint ' HTTPS ://192.0.2.10'
expect "endpoint bad protocol" 1 $'protocol: ftp\nhost: \nport: 80\nvalid: no\nerror: Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21' \
  -- endpoint ftp://192.0.2.10:21
expect "endpoint empty port" 1 $'protocol: http\nhost: 192.0.2.10\nport: 80\nvalid: no\nerror: Error: invalid port:  found in endpoint 192.0.2.10:' \
  -- endpoint 192.0.2.10:
expect "endpoint port zero" 1 $'protocol: http\nhost: 192.0.2.10\nport: 80\nvalid: no\nerror: Error: invalid port: 0 found in endpoint 192.0.2.10:0' \
  -- endpoint 192.0.2.10:0
expect "endpoint empty string" 0 $'protocol: http\nhost: \nport: 80\nvalid: yes' -- endpoint ''
expect_fail "endpoint without argument" 2 'expected STRING' -- endpoint
expect_fail "endpoint two arguments" 2 'expected STRING' -- endpoint a b

# --- iprange ------------------------------------------------------------------
expect "iprange lists"        0 $'a: 10\nb: 0\nc: 1,3,5\nd: 20-22' -- iprange 10.0.1,3,5.20-22
expect "iprange merges"       0 $'a: 10\nb: 0\nc: 0\nd: 1-3,5' -- iprange 10.0.0.5,1-3,2
expect "iprange pads, filters" 0 $'a: 10\nb: 1\nc: 0-255\nd: 1-254' -- iprange 10.1
expect "iprange value dropped" 0 $'a: 10\nb: 0\nc: 0\nd: ' -- iprange 10.0.0.300
expect "iprange with mask"    0 $'a: 192\nb: 168\nc: 1\nd: 64-127' -- iprange 192.168.1.77 255.255.255.192
expect "iprange mask block"   0 $'a: 10\nb: 1\nc: 192-207\nd: 1-254' -- iprange 10.1.200.3 255.255.240.0
expect "iprange count"        0 '254' -- iprange '192.168.1.*' --count
expect "iprange count, mask"  0 '4064' -- iprange 10.1.200.3 255.255.240.0 --count
expect "iprange count, empty octet" 0 '0' -- iprange 10.0.0.300 --count
expect "iprange list"         0 $'10.0.0.1\n10.0.0.2\n10.0.0.3\n10.0.0.5' -- iprange --list 10.0.0.5,1-3,2
expect "iprange list order"   0 $'10.1.2.1\n10.1.2.2\n10.1.3.1\n10.1.3.2' -- iprange 10.1.2-3.1-2 --list
for bad in 10.0.0.1.5 10.0.0.a '10.0.0. 1' '10.0.*5.1' '*-5'; do
  expect_fail "iprange invalid '$bad'" 1 "invalid expression" -- iprange "$bad"
done
expect_fail "iprange bad mask"   1 'with mask 24' -- iprange 10.0.0.1 24
expect_fail "iprange no args"    2 'expected EXPR \[MASK\]' -- iprange
expect_fail "iprange list+count" 2 'exclude each other' -- iprange 10.0.0.1 --list --count

# --- help and usage -------------------------------------------------------------
for command in "" config endpoint iprange; do
  run $command --help
  check_status "help for '$command'" 0
  first_line_is "help for '$command'" "usage: orn ${command:+$command }"
done
expect_fail "no command" 2 'no command given' --
expect_fail "config without subcommand" 2 'expected a subcommand' -- config
expect_fail "unknown command" 2 'unknown command' -- frobnicate

# --- nothing makes it crash -----------------------------------------------------
long=$(printf 'x%.0s' $(seq 5000))
for args in "config get agent.conf $long" "config get agent.conf $long $long" \
    "config keys agent.conf $long" "config remove agent.conf $long $long" \
    "endpoint $long" "endpoint http://$long:$long" "iprange $long" "iprange 1.2.3.4 $long" \
    "iprange 1,,,,,,,.2.3.4 1.2.3.4" "iprange ----- --count"; do
  # shellcheck disable=SC2086
  run $args
  case $rc in 0 | 1 | 2) ;; *) report "crash-free: orn ${args:0:40}... exited with $rc" ;; esac
done

finish
