#!/usr/bin/env bash
# Checks that every tour example quoted in README.md is still the text of its file
# in examples/tour, and that every tour file is quoted.
# Usage: readme_test.sh SOURCE_DIR
set -u
root=$1
# shellcheck source=tests/tools/lib.sh
. "$(dirname "$0")/lib.sh"
for file in "$root"/examples/tour/*.cpp; do
  name=$(basename "$file")
  quoted=$(awk -v marker="<!-- tour: $name -->" '
    $0 == marker { found = 1; next }
    found == 1 && /^```cpp$/ { found = 2; next }
    found == 2 && /^```$/ { exit }
    found == 2 { print }' "$root/README.md")
  checks=$((checks + 1))
  if [ -z "$quoted" ]; then
    report "README.md does not quote examples/tour/$name"
  elif [ "$quoted" != "$(cat "$file")" ]; then
    report "README.md quotes an old text of examples/tour/$name:"
    diff <(printf '%s\n' "$quoted") "$file" | head -20
  fi
done
finish
