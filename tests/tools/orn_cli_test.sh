#!/usr/bin/env bash
# Runs the built orn tool on scratch files and checks what the tool adds to the
# library: the parsing of its arguments, its output formats, its exit status and
# its one-line messages, and the round trip through files. What the library
# computes (cron starts, IP ranges, restores) its own tests check.
# Usage: orn_cli_test.sh EMULATOR ORN VERSION   (EMULATOR empty, or e.g. wine64 for
# orn.exe; VERSION the project's version, which orn --version must print)
# ORN2_ORN_CLI_SECTIONS names the sections to run (default: all of them).
set -u
emulator=$1
orn=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/tools/lib.sh
. "$here/lib.sh"
enter_scratch orn-cli
# The tool runs with relative file names inside the scratch directory, so that
# the same paths work for a Windows build under Wine.
export TZ=UTC0

config_section() {
printf '# top\n[soap]\nserver = 10.0.0.5 \nport=443\n' >agent.conf

expect "get in section"          0 '10.0.0.5' -- config get agent.conf server soap
expect "get section/key path"    0 '443'      -- config get agent.conf soap/port
expect_fail "get missing key"    1 'no key soap/user' -- config get agent.conf user soap
expect_fail "get empty section"  1 'no key /port'     -- config get agent.conf port ''
expect_fail "get missing file"   2 'cannot read nothing.conf' -- config get nothing.conf port soap
mkdir adir
expect_fail "get directory"      2 'adir is a directory' -- config get adir port soap
expect_fail "get too few"        2 'expected FILE KEY \[SECTION\]' -- config get agent.conf
expect_fail "unknown subcommand" 2 'unknown subcommand frob' -- config frob agent.conf
expect_fail "unknown option"     2 'unknown option --fast' -- config get --fast agent.conf port
expect_fail "long file name"     2 'longer than 250' -- config get "$(printf 'f%.0s' $(seq 251))" k

# Each placement, on a fresh copy of one file; the dump shows the saved order.
base='[soap]\nserver=a\nport=1\n[log]\nlevel=3\n'
placement() {  # name, the keys of soap in the saved order, options of config set
  printf "$base" >place.conf
  expect "set $1" 0 changed -- config set place.conf user x soap "${@:3}"
  expect "set $1: saved order" 0 "$(printf '\n[soap]'; printf '\n    %s' $2; printf '\n\n[log]\n    level=3')" \
    -- config dump place.conf
}
placement "default is tail" 'server=a port=1 user=x'
placement "at head" 'user=x server=a port=1' --at head
placement "after first" 'server=a user=x port=1' --at after-first

expect "set creates a missing file" 0 changed -- config set fresh.conf port 80 soap
expect "created file reads back" 0 '80' -- config get fresh.conf port soap
expect_fail "set bad --at"       2 '--at takes head, tail or after-first' -- config set edit.conf k v s --at middle
expect_fail "set key with '='"   2 'without blanks or' -- config set edit.conf 'a=b' v s
expect_fail "set empty key"      2 'non-empty' -- config set edit.conf '' v s
expect_fail "set into an empty section" 2 'section name cannot be empty' -- config set edit.conf k v ''
expect_fail "set section with /" 2 'section name cannot hold' -- config set edit.conf k v 'a/b'
expect_fail "set value too long" 2 'longer than 512' -- config set edit.conf k "$(printf 'v%.0s' $(seq 513))" s
expect_fail "set name too long"  2 'longer than 127' -- config set edit.conf "$(printf 'k%.0s' $(seq 125))" v soap
expect "set value of 512 characters" 0 changed -- config set edit.conf k "$(printf 'v%.0s' $(seq 512))" s
expect "value of 512 characters reads back" 0 "$(printf 'v%.0s' $(seq 512))" -- config get edit.conf s/k
expect_fail "set into a missing directory" 2 'cannot save nodir/x.conf' -- config set nodir/x.conf k v s
# Nothing of a configuration is written outside its folder: with a TMPDIR
# that no file can be made in, set, remove and dump work as before.
if [ -z "$emulator" ]; then
  printf '[db]\npassword=secret\nuser=svc\n' >secret.conf
  TMPDIR=/proc expect "set, no scratch file" 0 changed -- config set secret.conf password other db
  TMPDIR=/proc expect "remove, no scratch file" 0 changed -- config remove secret.conf db user
  TMPDIR=/proc expect "dump, no scratch file" 0 $'\n[db]\n    password=other' -- config dump secret.conf
fi
printf '[a]\nx=1\n[b]\ny=2\n[A]\nz=3\nloose=4\n' >sections.conf
expect "sections in file order, runs apart" 0 $'a\nb\nA' -- config sections sections.conf
expect "keys of a section, both places" 0 $'x\nz\nloose' -- config keys sections.conf a
: >empty.conf
expect "sections of an empty file" 0 '' -- config sections empty.conf

remove_case() {  # name, prefix, expected stdout, status, remaining keys, KEEP or --exact
  printf '[soap]\nserver=a\nserver_1=b\nserver_10=c\nserver_2=d\nport=1\n' >rm.conf
  run config remove rm.conf soap "$2" "${@:6}"
  check_run "remove $1" "$4" "$3"
  expect "remove $1: what is left" 0 "$5" -- config keys rm.conf soap
}
remove_case "with keep" server changed 0 $'server_1\nserver_10\nport' server_1
remove_case "without keep" server changed 0 'port'
remove_case "nothing matches" user unchanged 1 $'server\nserver_1\nserver_10\nserver_2\nport'
remove_case "exact" server changed 0 $'server_1\nserver_10\nserver_2\nport' --exact
expect_fail "remove --exact with KEEP" 2 'expected FILE SECTION KEY with --exact$' -- config remove rm.conf soap a b --exact
# Removing the last key saves an empty file, which the next load restores from
# the backup: the tool says so.
printf '[soap]\nport=1\n' >rm.conf
run config remove rm.conf soap port
check_run "remove the last key" 0 changed
[[ "$err" == *"rm.conf is now empty; the next load restores it from rm.conf.Save"* ]] ||
  report "remove the last key: no warning ($err)"
[ -s rm.conf ] && report "remove the last key: the file is not empty"
expect_fail "remove with empty keep" 2 'empty KEEP' -- config remove rm.conf soap port ''

printf '# top\n   ; indented  \n[soap]\nserver = a \nport 443\n\n' >dump.conf
run config dump dump.conf
tr -d '\r' <dump.conf | cmp -s - <(printf '# top\n   ; indented  \n[soap]\nserver = a \nport 443\n\n') ||
  report "dump left the file as it was"

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
printf '[s]\nfirst=1\n' >race.conf
for n in 1 2 3 4; do
  (for i in $(seq "$race_sets"); do
    launch config set race.conf "k$n-$i" "v$n-$i" s >/dev/null 2>>race.err </dev/null ||
      echo "k$n-$i" >>race.failed
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
expect_fail "endpoints, no server" 1 'no complete server' -- config endpoints sections.conf

# set and remove say whether they changed the file, and an edit that changes
# nothing saves nothing: the hand-written layout stays and no .Save appears.
layout='# hand-written\n[soap]\nserver = 10.0.0.5 \nPort 443\n'
printf "$layout" >same.conf
same_file() {  # name: same.conf still holds the hand-written text and has no backup
  tr -d '\r' <same.conf | cmp -s - <(printf "$layout") || report "$1: the file was rewritten"
  [ -e same.conf.Save ] && report "$1: a .Save backup appeared"
}
expect "set the value it has" 0 unchanged -- config set same.conf server 10.0.0.5 soap
same_file "set the value it has"
expect "set quietly, names in another case" 0 '' -- config set same.conf port 443 SOAP --at head --quiet
same_file "set quietly, names in another case"
# Keys and values that the file format cannot load back exactly are refused with
# one line and leave the file alone; those it can are saved once, then unchanged.
expect_fail "set refuses '[evil'" 2 . -- config set same.conf '[evil' v soap
same_file "refused set of '[evil'"
cp same.conf stored.conf
expect "set an odd key and value" 0 changed -- config set stored.conf 'k#;[' $'v=w\tx' soap
cp stored.conf stored.before && cp stored.conf.Save stored.save.before
expect "set the odd key and value again" 0 unchanged -- config set stored.conf 'k#;[' $'v=w\tx' soap
cmp -s stored.conf stored.before && cmp -s stored.conf.Save stored.save.before ||
  report "the second set of the odd key rewrote the file or its backup"
expect "get the odd key back" 0 $'v=w\tx' -- config get stored.conf 'k#;[' soap
# keys matches the section exactly: not a section it begins, nor one of its beginnings.
printf '[soapbox]\ncolour=red\n[soap]\nport=1\n' >prefix.conf
expect "keys of a section after one it begins" 0 port -- config keys prefix.conf soap
expect "keys of a section, another case" 0 colour -- config keys prefix.conf SOAPBOX
for missing in soa '' soapbox/colour; do
  expect_fail "keys of '$missing'" 1 "no keys in section $missing of" -- config keys prefix.conf "$missing"
done
expect "remove nothing, quietly" 1 '' -- config remove same.conf soap user --quiet
same_file "remove nothing, quietly"
expect "set a value in another case" 0 changed -- config set same.conf server 10.0.0.5X soap
[ -e same.conf.Save ] || report "set a value in another case: no .Save backup"
expect "set quietly, changed" 0 '' -- config set same.conf server 10.0.0.6 soap --quiet
expect "the quiet set saved" 0 10.0.0.6 -- config get same.conf server soap
expect "remove quietly, changed" 0 '' -- config remove same.conf soap server --quiet
expect_fail "the quiet remove saved" 1 'no key soap/server' -- config get same.conf server soap
expect_fail "set --quiet=x" 2 'unknown option --quiet=x' -- config set same.conf k v s --quiet=x

# --json of dump, sections and keys: one object on one line.
printf 'loose=1\n# top\n[soap]\nserver = "a\\b" \nport=443\n[log]\n; note\nlevel=\303\251t\351\n' >json.conf
# The UTF-8 e-acute passes through; the lone Latin-1 byte \351 is escaped.
want=$(printf '%s%s\303\251t%s' '{"records":[{"section":null,"key":"loose","value":"1"},{"comment":"# top"},' \
  '{"section":"soap","key":"server","value":"\"a\\b\""},{"section":"soap","key":"port","value":"443"},{"comment":"; note"},{"section":"log","key":"level","value":"' \
  '\u00e9"}]}')
expect "dump --json" 0 "$want" -- config dump --json json.conf
expect "sections --json" 0 '{"sections":["a","b","A"]}' -- config sections sections.conf --json
expect "keys --json" 0 '{"section":"a","keys":["x","z","loose"]}' -- config keys sections.conf a --json
}

net_section() {
expect "endpoint https with port" 0 $'protocol: https\nhost: 192.0.2.10\nport: 8443\nvalid: yes' \
  -- endpoint https://192.0.2.10:8443
expect "endpoint bad protocol" 1 $'protocol: ftp\nhost: \nport: 80\nvalid: no\nerror: Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21' \
  -- endpoint ftp://192.0.2.10:21
expect "endpoint --json, valid" 0 '{"protocol":"https","host":"192.0.2.10","port":8443,"valid":true,"errors":[]}' \
  -- endpoint https://192.0.2.10:8443 --json
expect "endpoint --json, invalid" 1 '{"protocol":"ftp","host":"","port":80,"valid":false,"errors":["Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21"]}' \
  -- endpoint --json ftp://192.0.2.10:21
expect_fail "endpoint without argument" 2 'expected STRING' -- endpoint
expect_fail "endpoint two arguments" 2 'expected STRING' -- endpoint a b
expect "iprange lists"        0 $'a: 10\nb: 0\nc: 1,3,5\nd: 20-22' -- iprange 10.0.1,3,5.20-22
expect "iprange with mask"    0 $'a: 192\nb: 168\nc: 1\nd: 64-127' -- iprange 192.168.1.77 255.255.255.192
expect "iprange count"        0 '254' -- iprange '192.168.1.*' --count
expect "iprange list order"   0 $'10.1.2.1\n10.1.2.2\n10.1.3.1\n10.1.3.2' -- iprange 10.1.2-3.1-2 --list
expect_fail "iprange invalid '10.0.*5.1'" 1 'invalid expression' -- iprange '10.0.*5.1'
expect_fail "iprange bad mask"   1 'with mask 24' -- iprange 10.0.0.1 24
expect "iprange --json" 0 '{"a":[10],"b":[0],"c":[1,3,5],"d":[20,21,22],"count":9}' \
  -- iprange 10.0.1,3,5.20-22 --json
expect "iprange --json --list" 0 '{"addresses":["10.1.2.1","10.1.3.1"],"count":2}' -- iprange 10.1.2-3.1 --list --json
expect "iprange --json --count" 0 '{"count":254}' -- iprange '192.168.1.*' --count --json
expect_fail "iprange no args"    2 'expected EXPR \[MASK\]' -- iprange
expect_fail "iprange list+count" 2 'exclude each other' -- iprange 10.0.0.1 --list --count
}

cron_section() {
expect "cron check valid" 0 valid -- cron check '0 3 * * 1 backup'
expect_fail "cron check invalid" 1 'invalid schedule line' -- cron check '* * 32 * *'
[ "$out" = invalid ] || report "cron check invalid: stdout '$out'"
# next and last print "YYYY-MM-DDTHH:MM:SS+HH:MM SECONDS" in local time (UTC here).
start_near() {  # name, the earliest and the latest start in seconds from now
  local when=${out##* } now
  now=$(date +%s)
  check_status "$1" 0
  if ! [[ "$out" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\+00:00\ [0-9]+$ ]]; then
    report "$1: output '$out'"
    return
  fi
  [ "$(date -u -d "@$when" +%Y-%m-%dT%H:%M:%S+00:00)" = "${out%% *}" ] || report "$1: ${out%% *} is not $when"
  [ $((when - now)) -ge "$2" ] && [ $((when - now)) -le "$3" ] || report "$1: $when is not $2 to $3 s after $now"
}
run cron next '*/15 * * * *'
start_near "cron next" -5 $((15 * 60 + 5))
run cron last '* * * * *' 1
start_near "cron last, this minute" -5 5
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

# next --count: each start the first after the one before.
run cron next '*/15 * * * *' --count 5
check_status "cron next --count" 0
[ "$(grep -c '' <<<"$out")" = 5 ] || report "cron next --count 5: $(grep -c '' <<<"$out") lines"
run cron next '0 0 29 1 *' --count=2 --json
check_status "cron next --json" 0
[[ "$out" =~ ^\{\"line\":\"0\ 0\ 29\ 1\ \*\",\"starts\":\[\{\"time\":\"[0-9]{4}-02-29T00:00:[0-9]{2}\+00:00\",\"seconds\":[0-9]+\},\{\"time\":\"[0-9]{4}-02-29T00:00:[0-9]{2}\+00:00\",\"seconds\":[0-9]+\}\]\}$ ]] ||
  report "cron next --json: '$out'"
for bad in 0 -1 10001 abc '' 1.5; do
  expect_fail "cron next --count '$bad'" 2 '--count takes a number from 1 to 10000' -- \
    cron next '* * * * *' --count "$bad"
done
expect_fail "cron next --count without value" 2 'option --count needs a value' -- cron next '* * * * *' --count
expect_fail "cron last --count" 2 "--count goes with 'cron next' only" -- cron last '* * * * *' --count 2
expect_fail "cron today --json" 2 "--json goes with 'cron next' only" -- cron today '* * * * *' --json
# calendar: a month grid, the days with a start in brackets.
expect "cron calendar" 0 "$(printf '%s\n' '        October 2026' ' Su  Mo  Tu  We  Th  Fr  Sa' \
  '                 [1]  2   3' '  4   5   6   7   8   9  10' ' 11  12  13  14 [15] 16  17' \
  ' 18  19  20  21  22  23  24' ' 25  26  27  28  29  30  31')" -- cron calendar '0 0 1,15 * *' 2026-10
run cron calendar '* * * * *'
check_status "cron calendar, this month" 0
[[ "${out%%$'\n'*}" == *" $(date +%Y)" ]] || report "cron calendar, this month: $out"
for bad in 2026-13 2026-00 26-10 1969-12 3001-01 2026/10 ''; do
  expect_fail "cron calendar '$bad'" 2 "expected YYYY-MM from 1970-01 to 3000-12, not " -- \
    cron calendar '* * * * *' "$bad"
done
expect_fail "cron calendar, invalid line" 1 'invalid schedule line' -- cron calendar '* * 32 * *' 2026-10
expect_fail "cron calendar, too many" 2 'expected LINE \[YYYY-MM\]' -- cron calendar '* * * * *' 2026-10 x
}

log_section() {
expect "log a warning" 0 '' -- log agent.log --level 2 --module Poller Retry 3 of 5
expect "log an error" 0 '' -- log agent.log --level=1 --module averylongname Disk full
expect "log a plain line" 0 '' -- log agent.log plain text
# What these lines and the dump below hold, orn log parse shows under "log parse".

# Line ends and the DOS end-of-file byte must reach the dump unchanged.
printf 'A\r\n\032B%%s' >bytes.bin
stdin=bytes.bin run log dump.log --dump --title Packet
check_status "log dump" 0
run log dump0.log --dump  # standard input /dev/null
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
# A FIFO, a device or a directory gives exit 2 at once, never a wait for a reader.
specials=logdir
[ -z "$emulator" ] && mkfifo fifo.log && specials="fifo.log /dev/null logdir"
for special in $specials; do
  seconds=10 run log "$special" hi
  check_status "log into $special" 2
done

# --- log parse --------------------------------------------------------------------
# Entries with the time and the thread masked: they are the writer's own.
masked() { sed -E 's/"time":"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}"/"time":"T"/; s/"thread":[0-9]+/"thread":N/' <<<"$out"; }
agent_json='{"time":"T","module":"Poller","thread":N,"level":"warning","message":"Retry 3 of 5"}
{"time":"T","module":"averylon","thread":N,"level":"error","message":"Disk full"}
{"time":"T","module":"orn","thread":N,"level":null,"message":"plain text"}'
dump_json='{"time":"T","module":"orn","thread":N,"level":null,"message":"Packet\n\n     ------------------------------------------------------  ----------------\n      0000 41 0D 0A 1A 42 25 73 ..  .. .. .. .. .. .. .. ..  A...B%s.........\n     ------------------------------------------------------  ----------------\n","dump":true}'
parsed() {  # name, expected masked stdout
  check_status "$1" 0
  [ "$(masked)" = "$2" ] || { report "$1: stdout differs"; diff <(printf '%s\n' "$2") <(masked) | head -10; }
}
run log parse dump.log agent.log
parsed "parse files in the order given" "$dump_json"$'\n'"$agent_json"
stdin=agent.log run log parse
parsed "parse standard input" "$agent_json"
stdin=agent.log run log parse dump.log -
parsed "parse a file and -" "$dump_json"$'\n'"$agent_json"
: >empty.log
expect "parse an empty file" 0 '' -- log parse empty.log

# No line is held longer than a writer makes one: an endless line is refused at once,
# under a memory limit where the program starts under one (not under sanitizers).
limit=$((200 * 1024))  # KiB of address space
if [ -z "$emulator" ] && (ulimit -v $limit && "$orn" --version) >/dev/null 2>&1; then
  { printf '[2026/12/03 23:10.39][     orn] [ThreadId:0001] '
    head -c $((64 << 20)) /dev/zero | tr '\0' x; printf '\n'; tail -n 1 agent.log; } >long.log
  for input in /dev/zero long.log; do
    (ulimit -v $limit && exec timeout $((10 * ${ORN2_TEST_TIME_FACTOR:-1})) "$orn" log parse "$input") >out.txt 2>err.txt
    rc=$?
    err=$(cat err.txt)
    check_status "parse $input in bounded memory" 2
    grep -q ":1: not a log line$" err.txt || report "parse $input: $err"
  done
  (ulimit -v $limit && exec timeout $((10 * ${ORN2_TEST_TIME_FACTOR:-1})) "$orn" log parse --lenient long.log) >out.txt 2>err.txt
  rc=$?
  out=$(cat out.txt)
  check_status "parse --lenient a 64 MiB line" 0
  [ "$(masked)" = "$(tail -n 1 <<<"$agent_json")" ] || report "parse --lenient a 64 MiB line: $out"
fi

# A line of garbage among good lines: refused at its line, after the entries before it.
sed '5a\
this line was not written by Log' agent.log >bad.log
expect_fail "parse refuses a corrupted file" 2 'bad\.log:6: not a log line$' -- log parse bad.log
[ "$(masked)" = "$(head -n 2 <<<"$agent_json")" ] || report "parse printed before the bad line: $out"
expect_fail "parse --lenient skips it" 0 'skipped 1 line that is not a log line$' -- log parse --lenient bad.log
[ "$(masked)" = "$agent_json" ] || report "parse --lenient: $out"
expect_fail "parse a missing file" 2 'cannot read nothing\.log$' -- log parse agent.log nothing.log
[ -z "$out" ] || report "parse printed entries before refusing a missing file: $out"
expect_fail "parse a directory" 2 'logdir is a directory$' -- log parse logdir
expect_fail "parse unknown option" 2 'unknown option --strict' -- log parse --strict agent.log
if [ -z "$emulator" ] && [ -w /dev/full ]; then
  "$orn" log parse agent.log >/dev/full 2>err.txt
  rc=$?
  check_status "parse into a full disk" 2
  grep -q 'cannot write standard output' err.txt || report "parse into a full disk: $(cat err.txt)"
fi
expect "a log file named parse" 0 '' -- log ./parse hello
tr -d '\r' <parse | grep -q 'hello$' || report "orn log ./parse did not write the file parse"

# --- log rotate -------------------------------------------------------------------
# Rotations between lines: orn log parse of the files oldest first gives every
# entry once, in order.
messages() { sed -E 's/.*"message":"([^"]*)".*/\1/' <<<"$out" | tr '\n' ' '; }
for i in 1 2 3; do run log rot.log "line $i"; done
expect "rotate" 0 '' -- log rotate rot.log --keep 2
for i in 4 5; do run log rot.log "line $i"; done
expect "rotate --if-larger a larger size" 1 '' -- log rotate rot.log --if-larger 1k
expect "rotate --if-larger" 0 '' -- log rotate rot.log --if-larger 100 --keep 2
run log rot.log "line 6"
run log parse rot.log.2 rot.log.1 rot.log
check_status "parse rotated files" 0
[ "$(messages)" = "line 1 line 2 line 3 line 4 line 5 line 6 " ] || report "parse rotated files: $(messages)"
expect "rotate a missing file" 1 '' -- log rotate norot.log
[ -e norot.log ] && report "rotate created a missing file"

# --- log follow -------------------------------------------------------------------
# Stopped by SIGTERM, then by SIGINT after a restart with its state file: every
# entry once, in order, through the rotations that came while it was down and a
# removal by hand.
if [ -z "$emulator" ]; then
  follow() {  # output, log, state file, options: orn log follow in the background
    "$orn" log follow "$2" --json --state "$3" "${@:4}" >"$1" 2>>follow.err &
    follower=$!
  }
  stop_follower() {  # signal; sets rc
    kill "-$1" $follower
    wait $follower
    rc=$?
  }
  wait_for() { for _ in $(seq $((100 * ${ORN2_TEST_TIME_FACTOR:-1}))); do [ "$(grep -c . "$1")" -ge "$2" ] && return; sleep 0.1; done; }
  run log fol.log "entry 1"
  follow f1.txt fol.log fol.state --from-start
  run log fol.log "entry 2"
  wait_for f1.txt 2
  stop_follower TERM
  check_status "follow stops on SIGTERM" 0
  run log fol.log "entry 3"; run log rotate fol.log; run log fol.log "entry 4"; run log rotate fol.log
  follow f2.txt fol.log fol.state --from-start
  wait_for f2.txt 2
  sleep 0.1
  rm fol.log  # removed by hand: the rotated files, older, are not read again
  run log fol.log "entry 5"
  wait_for f2.txt 3
  stop_follower INT
  check_status "follow stops on SIGINT" 0
  out=$(cat f1.txt f2.txt)
  [ "$(messages)" = "entry 1 entry 2 entry 3 entry 4 entry 5 " ] || report "follow restarted: $(messages)"
  # Entries still in the pipe when the follower stops are handed out again by the
  # next follower, but not those its reader takes soon after the stop (a reader
  # outliving the follower): here the first of two, taken 0.3 s after SIGTERM.
  if command -v python3 >/dev/null; then
    run log pipe.log "kept 1"; run log pipe.log "kept 2"
    mkfifo pipe.fifo
    exec 3<>pipe.fifo  # read by the python below only
    follow pipe.fifo pipe.log pipe.state --from-start
    python3 - $follower >taken.txt <<'EOF'
import os, signal, sys, time
line = os.read(3, 1)  # waits for the follower's output: a byte does not take an entry
time.sleep(0.5)  # time to record a position, were it to record what it printed
os.kill(int(sys.argv[1]), signal.SIGTERM)
time.sleep(0.3)
while not line.endswith(b"\n"): line += os.read(3, 1)
sys.stdout.buffer.write(line)
EOF
    wait $follower
    exec 3<&-
    follow p3.txt pipe.log pipe.state
    wait_for p3.txt 1
    stop_follower TERM
    out=$(cat taken.txt p3.txt)
    checks=$((checks + 1))
    [ "$(messages)" = "kept 1 kept 2 " ] || report "follow after a reader that took one entry late: $(messages)"
  fi
  [ -s follow.err ] && report "follow: $(cat follow.err)"
fi
expect_fail "follow with both starts" 2 'or --from-now, not both$' -- log follow x.log --from-start --from-now
expect_fail "follow without a file" 2 'expected FILE$' -- log follow --json
expect_fail "rotate --keep 0" 2 'keep takes a number from 1 to 999' -- log rotate rot.log --keep 0
expect_fail "rotate --if-larger 1T" 2 'if-larger takes a size' -- log rotate rot.log --if-larger 1T
expect_fail "rotate without file" 2 'expected FILE' -- log rotate
run log rotate logdir
check_status "rotate a directory" 2
[ "$(tr -d '\r' <<<"$err")" = $'Rotate() Error: Cannot rotate [logdir] (not a regular file)\norn: log rotate: cannot rotate logdir' ] ||
  report "rotate a directory: $err"
# The README's logrotate snippet, on paths of its own, rotates through orn log rotate.
if [ -z "$emulator" ] && command -v logrotate >/dev/null; then
  mkdir lr
  awk '/<!-- logrotate -->/ { on = 1; next } on && /^```/ { if (++fences == 2) exit; next } on' \
    "$here/../../README.md" | sed -e "s|/var/log/agent|$PWD/lr|g" -e "s|orn log rotate|'$orn' log rotate|" >lr.conf
  run log lr/agent.log "line 0"
  line=$(tail -n 1 lr/agent.log)
  yes "$line" | head -n 20000 >>lr/agent.log  # past the snippet's 1M
  touch lr/agent.log.schedule
  logrotate -s lr.state -f lr.conf >lr.out 2>&1 || report "logrotate with the README's snippet: $(cat lr.out)"
  [ "$(grep -c '' lr/agent.log.1 2>/dev/null)" = 20004 ] || report "logrotate snippet: agent.log.1 is not the old log"
  [ "$(cat lr/agent.log)" = $'Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03' ] ||
    report "logrotate snippet: agent.log is not a new log"
  logrotate -s lr.state lr.conf >lr.out 2>&1 || report "logrotate a second time: $(cat lr.out)"
  [ -e lr/agent.log.2 ] && report "logrotate snippet: rotated twice in one day"
fi
expect "a log file named rotate" 0 '' -- log ./rotate hello
tr -d '\r' <rotate | grep -q 'hello$' || report "orn log ./rotate did not write the file rotate"

# The README's expressions for shippers split the lines of a file that the library
# wrote into the same fields as orn log parse.
long=$(printf 'y%.0s' $(seq 2100))
for level in 0 1 2 3 4 5; do run log shipped.log --level $level "level $level"; done
run log shipped.log --level 1 "$long"
run log shipped.log --module Sender "$long"
run log shipped.log --module $'Se\r\nnd' $'lines\nof\rall\r\nkinds\n'
run log shipped.log --level 2 "${long:0:2040}"$'\n\r\n\n'"$long"
printf '\n\n' >>shipped.log  # two blank lines, as LogBlank writes them
for size in 0 17 384 1000; do
  head -c $size /dev/urandom >bytes$size.bin
  stdin=bytes$size.bin run log shipped.log --dump --title "dump of $size"
done
run log parse shipped.log
check_status "parse a file of every kind of line" 0
# The same file with CRLF line ends, as a Windows writer leaves it.
sed 's/\r*$/\r/' shipped.log >shipped-crlf.log
for file in shipped.log shipped-crlf.log; do
  perl "$here/shipping_regex.pl" "$here/../../README.md" $file out.txt >shipping.txt 2>&1 ||
    report "README shipping expressions on $file: $(head -c 600 shipping.txt)"
done

}

usage_section() {
for command in "" config endpoint iprange cron log "log parse" "log rotate"; do
  # shellcheck disable=SC2086
  run $command --help
  check_status "help for '$command'" 0
  [[ "$out" == "usage: orn ${command:+$command }"* ]] || report "help for '$command': first line '${out%%$'\n'*}'"
  help=$out
  # orn help COMMAND is orn COMMAND --help.
  # shellcheck disable=SC2086
  run help $command
  check_run "orn help $command" 0 "$help"
done
run config set --help
expect "orn help config set" 0 "$out" -- help config set
run --help
expect "orn help --help" 0 "$out" -- help --help
expect_fail "help for an unknown command" 2 'unknown command frob' -- help frob
expect "version" 0 "orn (liborn2) $version" -- --version
expect_fail "version with an argument" 2 'takes no arguments' -- --version x
expect_fail "no command" 2 'no command given' --
expect_fail "config without subcommand" 2 'expected a subcommand' -- config
expect_fail "unknown command" 2 'unknown command' -- frobnicate

# --- nothing makes it crash -----------------------------------------------------
printf '[soap]\nport=443\n' >agent.conf
long=$(printf 'x%.0s' $(seq 5000))
for args in "config get agent.conf $long" "config get agent.conf $long $long" \
    "config keys agent.conf $long" "config remove agent.conf $long $long" \
    "endpoint $long" "endpoint http://$long:$long" "iprange $long" "iprange 1.2.3.4 $long" \
    "iprange 1,,,,,,,.2.3.4 1.2.3.4" "iprange ----- --count" "cron check $long" \
    "cron next $long" "cron last $long 5" "cron calendar $long" "cron next $long --count 3" \
    "cron calendar * 2026-10" "config dump $long --json" "log x.log --module $long $long" "log $long hi"; do
  # shellcheck disable=SC2086
  run $args
  case $rc in 0 | 1 | 2) ;; *) report "crash-free: orn ${args:0:40}... exited with $rc" ;; esac
done
}

for section in ${ORN2_ORN_CLI_SECTIONS:-config net cron log usage}; do
  "${section}_section"
done
finish
