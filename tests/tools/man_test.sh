#!/usr/bin/env bash
# Lints the built manual page of orn with mandoc and groff (no warning may be
# left, also when man renders it at 80 columns), and checks that it describes
# every command, subcommand and option that orn's help texts name.
# Usage: man_test.sh MANPAGE EMULATOR ORN
set -u
page=$(realpath "$1")
emulator=$2
orn=$3
# shellcheck source=tests/tools/lib.sh
. "$(dirname "$0")/lib.sh"
enter_scratch orn-man

linters=0
lint() {  # tool, command...: the command succeeds and prints nothing, where the tool is installed
  command -v "$1" >/dev/null || return
  checks=$((checks + 1))
  linters=$((linters + 1))
  shift
  lint=$("$@" 2>&1) || report "$* failed: $lint"
  [ -z "$lint" ] || report "$*: $lint"
}
lint mandoc mandoc -T lint -W warning "$page"
lint groff groff -man -ww -z "$page"
# man's warnings at 80 columns go to stderr, its page to stdout.
command -v groff >/dev/null && lint man sh -c 'MANWIDTH=80 man -l "$1" 2>&1 >/dev/null' - "$page"
if [ "$linters" = 0 ]; then
  echo "neither mandoc nor groff is installed: nothing lints the page"
  exit 77
fi

# The page's text without font changes and with plain hyphens.
text=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\(aq/'"'"'/g' "$page")
mentions() {  # what, text that the page must hold
  checks=$((checks + 1))
  grep -qF -- "$2" <<<"$text" || report "the manual page does not describe $1 ('$2')"
}
run --help
commands=$(sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$out")
[ -n "$commands" ] || report "no commands found in orn --help"
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$out" | sort -u); do mentions "orn $option" "$option"; done
for command in $commands; do
  mentions "command $command" "orn $command"
  run "$command" --help
  for sub in $(sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$out"); do
    mentions "subcommand $command $sub" "orn $command $sub"
  done
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$out" | sort -u); do
    mentions "option $option of $command" "$option"
  done
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' FILES EXAMPLES 'SEE ALSO'; do
  mentions "section $section" ".SH $section"
done
finish
