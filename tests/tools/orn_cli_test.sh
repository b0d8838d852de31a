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

# A FIFO is no configuration file: refused at once instead of waited on.
if [ -z "$emulator" ] && mkfifo fifo.conf; then
  expect_fail "get from a FIFO" 2 'fifo.conf is not a regular file' -- config get fifo.conf k s
  expect_fail "set into a FIFO" 2 'fifo.conf is not a regular file' -- config set fifo.conf k v s
  [ -p fifo.conf ] || report "the FIFO was replaced"
fi

# Concurrent edits of one file: each set is a load, a change and a save under
# the file's save lock, so four loops of sets lose no update and none fails.
race_sets=150
[ -n "$emulator" ] && race_sets=20  # every run starts the emulator
set_quietly() {  # arguments of orn; its messages are collected in race.err
  # shellcheck disable=SC2086
  $emulator "$orn" "$@" >/dev/null 2>>race.err </dev/null
}
printf '[s]\nfirst=1\n' >race.conf
for n in 1 2 3 4; do
  (for i in $(seq "$race_sets"); do
    set_quietly config set race.conf "k$n-$i" "v$n-$i" s || echo "k$n-$i" >>race.failed
  done) &
done
wait
checks=$((checks + 1))
[ -e race.failed ] && report "concurrent sets failed: $(wc -l <race.failed) ($(head -c 300 race.err))"
run config keys race.conf s
want=$(printf 'first\n'; for n in 1 2 3 4; do for i in $(seq "$race_sets"); do echo "k$n-$i"; done; done)
checks=$((checks + 1))
[ "$(sort <<<"$out")" = "$(sort <<<"$want")" ] ||
  report "concurrent sets lost updates: $(grep -c . <<<"$out") of $((4 * race_sets + 1)) keys left"

# The server list of section soap, as the agent reads it.
printf '[soap]\nserver=10.0.0.5\nprotocol=https\nport=443\nendpoint_size=3\nserver_1=10.0.0.6\nprotocol_1=https\nport_1=443\nserver_2=10.0.0.7\nprotocol_2=http\nport_2=80\n' >servers.conf
expect "endpoints, three" 0 $'https://10.0.0.5:443\nhttps://10.0.0.6:443\nhttp://10.0.0.7:80' \
  -- config endpoints servers.conf
printf '[SOAP]\nServer=10.0.0.5\nprotocol=ftp\nport=abc\nserver_1=10.0.0.6\n' >odd.conf
expect "endpoints, values taken as stored" 0 'ftp://10.0.0.5:0' -- config endpoints odd.conf
expect_fail "endpoints, no server" 1 'no complete server' -- config endpoints sections.conf

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

# --- cron ---------------------------------------------------------------------
for line in '30 2 * * *' '* * * 0 *' '* * * * 7' '5-10,99 * * * *' '0 3 * * 1 backup' '1-10/3 * * * *'; do
  expect "cron check valid '$line'" 0 valid -- cron check "$line"
done
for line in '60 * * * *' '* 24 * * *' '* * 0 * *' '* * 32 * *' '* * * 12 *' '* * * * 8' \
    '99,5-10 * * * *' '10-5 * * * *' '*/0 * * * *' '/ * * * *' '* * * *' ''; do
  expect_fail "cron check invalid '$line'" 1 'invalid schedule line' -- cron check "$line"
  [ "$out" = invalid ] || report "cron check invalid '$line': stdout '$out'"
done

# next and last print "YYYY-MM-DDTHH:MM:SS SECONDS" in local time (UTC here).
iso_matches() {  # name, expected minute step: checks the format and the two halves
  local when=${out##* } iso=${out%% *}
  if ! [[ "$out" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\ [0-9]+$ ]]; then
    report "$1: output '$out'"
    return
  fi
  [ "$(date -u -d "@$when" +%Y-%m-%dT%H:%M:%S)" = "$iso" ] || report "$1: $iso is not $when"
  [ $(((when / 60) % $2)) -eq 0 ] || report "$1: minute of $iso is not a multiple of $2"
}
now=$(date +%s)
run cron next '*/15 * * * *'
check_status "cron next" 0
iso_matches "cron next" 15
when=${out##* }
[ "${when:-0}" -gt "$now" ] && [ "${when:-0}" -le $((now + 16 * 60 + 5)) ] ||
  report "cron next: $when is not within 16 minutes after $now"
run cron next '30 2 * * *'
check_status "cron next daily" 0
[[ "$out" == *T02:30:* ]] || report "cron next daily: '$out'"
now=$(date +%s)
run cron last '* * * * *' 1
check_status "cron last, this minute" 0
when=${out##* }
[ $((when - now)) -ge -5 ] && [ $((when - now)) -le 5 ] || report "cron last: $when is not now ($now)"
run cron last '*/15 * * * *' 15
check_status "cron last, within 15 minutes" 0
iso_matches "cron last" 15
expect_fail "cron last, count 0" 1 'no start within the last 0 minutes' -- cron last '* * * * *' 0
expect_fail "cron next never due" 1 'never falls due' -- cron next '0 0 30 1 *'
expect "cron today, every day" 0 'due today' -- cron today '* * * * *'
other_month=$(( $(date +%-m) % 12 ))  # next month, counted from 0
expect "cron today, another month" 1 'not due today' -- cron today "* * * $other_month *"
expect_fail "cron without subcommand" 2 'expected check' -- cron
expect_fail "cron bad subcommand" 2 'unknown subcommand soon' -- cron soon '* * * * *'
expect_fail "cron without line" 2 'expected LINE' -- cron next
expect_fail "cron next with count" 2 'expected LINE$' -- cron next '* * * * *' 5
expect_fail "cron last bad count" 2 'COUNT must be' -- cron last '* * * * *' abc
expect_fail "cron last negative count" 2 'COUNT must be' -- cron last '* * * * *' -1

# --- log ------------------------------------------------------------------------
stamp='\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}\.[0-9]{2}\]'
expect "log a warning" 0 '' -- log agent.log --level 2 --module Poller Retry 3 of 5
expect "log an error" 0 '' -- log agent.log --level=1 --module averylongname Disk full
expect "log a plain line" 0 '' -- log agent.log plain text
text=$(tr -d '\r' <agent.log)
[ "$(sed -n 1,3p <<<"$text")" = $'Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03' ] ||
  report "log header: $(sed -n 1,3p <<<"$text")"
grep -Eq "^$stamp\[  Poller\] \[ThreadId:[0-9]{4,}\] \*WARNING\* Retry 3 of 5$" <<<"$text" ||
  report "log warning line missing: $text"
grep -Eq "^$stamp\[averylon\] \[ThreadId:[0-9]{4,}\] \*\*ERROR\*\* Disk full$" <<<"$text" ||
  report "log error line missing: $text"
grep -Eq "^$stamp\[     orn\] \[ThreadId:[0-9]{4,}\] plain text$" <<<"$text" ||
  report "log plain line missing: $text"
[ "$(grep -c 'Orn Library' <<<"$text")" = 1 ] || report "log header written twice"
[ "$(grep -c '' <<<"$text")" = 6 ] || report "log: $(grep -c '' <<<"$text") lines, expected 6"

run_with_input() {  # input file, then the arguments
  local input=$1
  shift
  if [ -n "$emulator" ]; then
    # shellcheck disable=SC2086
    $emulator "$orn" "$@" >out.txt 2>err.txt <"$input"
  else
    "$orn" "$@" >out.txt 2>err.txt <"$input"
  fi
  rc=$?
  err=$(tr -d '\r' <err.txt)
}
# Line ends and the DOS end-of-file byte must reach the dump unchanged.
printf 'A\r\n\032B%%s' >bytes.bin
run_with_input bytes.bin log dump.log --dump --title Packet
check_status "log dump" 0
text=$(tr -d '\r' <dump.log)
want=$'Packet\n\n     ------------------------------------------------------  ----------------\n      0000 41 0D 0A 1A 42 25 73 ..  .. .. .. .. .. .. .. ..  A...B%s.........\n     ------------------------------------------------------  ----------------'
[ "$(sed -n '4,$p' <<<"$text" | sed -E "1s#^$stamp\[     orn\] \[ThreadId:[0-9]+\] ##")" = "$want" ] ||
  report "log dump text: $(sed -n '4,$p' <<<"$text")"
: >empty.bin
run_with_input empty.bin log dump0.log --dump
check_status "log dump of nothing" 0
grep -q '\] stdin.\?$' dump0.log || report "log dump of nothing: no default title"

expect_fail "log level too high" 2 'level takes a number from 0 to 5' -- log x.log --level 9 hi
expect_fail "log level not a number" 2 'level takes a number' -- log x.log --level x hi
expect_fail "log without message" 2 'expected FILE MESSAGE' -- log x.log
expect_fail "log without file" 2 'expected FILE' -- log
expect_fail "log dump with message" 2 'takes no MESSAGE' -- log x.log --dump hi
expect_fail "log title without dump" 2 'title goes with --dump' -- log x.log --title t hi
expect_fail "log into a missing directory" 2 'no directory nodir' -- log nodir/x.log hi
mkdir logdir
expect_fail "log into a directory" 2 'logdir is a directory' -- log logdir hi
[ -e x.log ] && report "a refused log call created its file"

# --- help and usage -------------------------------------------------------------
for command in "" config endpoint iprange cron log; do
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
    "iprange 1,,,,,,,.2.3.4 1.2.3.4" "iprange ----- --count" "cron check $long" \
    "cron next $long" "cron last $long 5" "log x.log --module $long $long" "log $long hi"; do
  # shellcheck disable=SC2086
  run $args
  case $rc in 0 | 1 | 2) ;; *) report "crash-free: orn ${args:0:40}... exited with $rc" ;; esac
done

finish
