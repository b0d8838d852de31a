#!/usr/bin/env bash
# Checks that every tour example quoted in README.md is still the text of its file
# in examples/tour, and that every tour file is quoted.
# Usage: readme_test.sh SOURCE_DIR
set -u
root=$1
failures=0
for file in "$root"/examples/tour/*.cpp; do
  name=$(basename "$file")
  quoted=$(awk -v marker="<!-- tour: $name -->" '
    $0 == marker { found = 1; next }
    found == 1 && /^```cpp$/ { found = 2; next }
    found == 2 && /^```$/ { exit }
    found == 2 { print }' "$root/README.md")
  if [ -z "$quoted" ]; then
    echo "FAILED: README.md does not quote examples/tour/$name"
    failures=$((failures + 1))
  elif [ "$quoted" != "$(cat "$file")" ]; then
    echo "FAILED: README.md quotes an old text of examples/tour/$name:"
    diff <(printf '%s\n' "$quoted") "$file" | head -20
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "README.md quotes every tour example as it is"
exit $((failures != 0))
