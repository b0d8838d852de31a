#!/usr/bin/env bash
# Drives the bash completion of orn in a non-interactive bash: complete -p, and
# the completion function called with COMP_WORDS set, once on its own and once
# with bash-completion loaded (which brings _filedir); then checks that every
# command, subcommand and option that orn's help texts name is completed.
# Usage: completion_test.sh COMPLETION_FILE EMULATOR ORN
set -u
completion=$(realpath "$1")
emulator=$2
orn=$3
# shellcheck source=tests/tools/lib.sh
. "$(dirname "$0")/lib.sh"
enter_scratch orn-completion
# The files to complete lie in a folder of their own; the counts of the
# subshells below go beside it.
mkdir -p tree/adir
touch tree/agent.conf tree/agent.log tree/notes.txt

# The completions of a command line whose last word is being completed, sorted,
# on one line.
completions() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  _orn
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect_completion() {  # name, expected (sorted, blank-separated), words...
  local got
  checks=$((checks + 1))
  got=$(completions "${@:3}")
  [ "$got" = "$2" ] || report "$1: '${*:3}' completes to '$got', expected '$2'"
}

cases() {  # label
  local l=$1
  cd tree || exit 2
  checks=$((checks + 1))
  [ "$(complete -p orn 2>&1)" = "complete -F _orn orn" ] || report "$l: complete -p orn: $(complete -p orn 2>&1)"
  expect_completion "$l: commands" '--help --version config cron endpoint help iprange log' orn ''
  expect_completion "$l: command prefix" 'config cron' orn c
  expect_completion "$l: config subcommands" 'dump endpoints get keys remove sections set' orn config ''
  expect_completion "$l: cron subcommands" 'calendar check last next today' orn cron ''
  expect_completion "$l: config set options" '--at --help --quiet' orn config set agent.conf k v -
  expect_completion "$l: config remove options" '--exact --help --quiet' orn config remove agent.conf s p --
  expect_completion "$l: config dump options" '--help --json' orn config dump agent.conf -
  expect_completion "$l: config get options" '--help' orn config get agent.conf k -
  expect_completion "$l: --at values" 'after-first head tail' orn config set agent.conf k v --at ''
  expect_completion "$l: --at= values" '--at=head' orn config set agent.conf k v --at=h
  expect_completion "$l: cron next options" '--count --help --json' orn cron next '* * * * *' -
  expect_completion "$l: options before the line" '--count --help --json' orn cron next --
  expect_completion "$l: --count takes a number" '' orn cron next '* * * * *' --count ''
  expect_completion "$l: iprange options" '--count --help --json --list' orn iprange 10.0.0.1 -
  expect_completion "$l: endpoint options" '--help --json' orn endpoint -
  expect_completion "$l: log options" '--dump --help --level --module --title' orn log agent.log -
  expect_completion "$l: --level values" '0 1 2 3 4 5' orn log agent.log --level ''
  expect_completion "$l: log subcommand prefix" 'rotate' orn log r
  expect_completion "$l: log rotate options" '--help --if-larger --keep' orn log rotate agent.log -
  expect_completion "$l: log follow options" '--from-now --from-start --help --json --state' orn log follow agent.log -
  expect_completion "$l: log rotate file" 'agent.conf agent.log' orn log rotate ag
  expect_completion "$l: --keep takes a number" '' orn log rotate agent.log --keep ''
  expect_completion "$l: log rotate file after --keep" 'agent.log' orn log rotate --keep 3 agent.l
  expect_completion "$l: help commands" 'config cron endpoint iprange log' orn help ''
  expect_completion "$l: help subcommands" 'calendar check last next today' orn help cron ''
  expect_completion "$l: help of a command without subcommands" '' orn help iprange ''
  # Files where a command takes a file, and nothing where it takes a name.
  expect_completion "$l: config file, any" 'adir agent.conf agent.log notes.txt' orn config dump ''
  expect_completion "$l: a key is no file" '' orn config get agent.conf ''
  expect_completion "$l: log file" 'agent.conf agent.log' orn log ag
  expect_completion "$l: log file after an option's value" 'agent.conf agent.log' orn log --module x ag
  expect_completion "$l: a message is no file" '' orn log agent.log ''
  expect_completion "$l: after --, no options" '' orn log agent.log -- -
  # Everything that the help texts name is completed somewhere on its path.
  cd "$scratch" || exit 2
  run --help
  commands=$(sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$out")
  [ -n "$commands" ] || report "$l: no commands found in orn --help"
  top=" $(completions orn '') "
  for command in $commands; do
    checks=$((checks + 1))
    [[ $top == *" $command "* ]] || report "$l: command $command is not completed"
    run "$command" --help
    help=$out
    subcommands=$(sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help")
    offered=" $(completions orn "$command" '') "
    options=" $(completions orn "$command" -) "
    for sub in $subcommands; do
      checks=$((checks + 1))
      [[ $offered == *" $sub "* ]] || report "$l: subcommand $command $sub is not completed"
      options+=" $(completions orn "$command" "$sub" x -) "
    done
    for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
      checks=$((checks + 1))
      [[ $options == *" $option "* ]] || report "$l: option $option of $command is not completed"
    done
  done
}

# The cases in plain bash, and again with bash-completion loaded where it is
# installed; each subshell hands its counts on through a file.
for setup in "plain bash" "with bash-completion"; do
  if [ "$setup" != "plain bash" ] && [ ! -r /usr/share/bash-completion/bash_completion ]; then
    echo "bash-completion is not installed: only the plain bash cases ran"
    continue
  fi
  rm -f counts
  (
    set +u
    # shellcheck disable=SC1091
    [ "$setup" = "plain bash" ] || . /usr/share/bash-completion/bash_completion
    # shellcheck disable=SC1090
    . "$completion"
    cases "$setup"
    echo "$checks $failures" >"$scratch"/counts
  )
  read -r checks failures <counts || report "the cases $setup did not finish"
done
finish
