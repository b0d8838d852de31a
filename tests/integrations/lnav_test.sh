#!/usr/bin/env bash
# lnav with the shipped formats, field by field (lnav -n -c ';SELECT ...'),
# against a log written by several processes while it rotates: the text format
# on each file, and the JSON format on orn log parse's output of all the files
# at once, which the README advises for a folder, since lnav shows the entries
# of one of several files whose first lines (the header) are the same.
# Usage: lnav_test.sh ORN INTEGRATIONS_DIR
set -u
# shellcheck source=tests/integrations/lib.sh
. "$(dirname "$0")/lib.sh"
command -v lnav >/dev/null || skip "lnav is not installed (Debian package lnav)"
enter_scratch orn-lnav
export HOME=$scratch  # lnav's configuration and installed formats
for format in orn_log orn_json; do
  lnav -i "$integrations/lnav/$format.json" >install.out 2>&1 || report "lnav -i $format: $(cat install.out)"
done

"$orn" log agent.log --module start "the log starts"
multiline=1 write_log 4 60
expected_entries
expect_rotations lnav 2

# The text format, one file at a time, oldest first.
query() {  # table, columns, files...
  lnav -n -c ";SELECT $2 FROM $1" -c ':write-json-to -' "${@:3}" 2>lnav.err
}
for file in "${files[@]}"; do
  query orn_log 'log_time, module, thread, log_level, log_body, truncated' "$file" >"$file.json"
  [ -s lnav.err ] && report "lnav on $file: $(head -c 300 lnav.err)"
done
python3 -c 'import json, sys; print(json.dumps([r for f in sys.argv[1:] for r in json.load(open(f))]))' \
  "${files[@]/%/.json}" >text.json
compare "lnav text format" text.json --lnav

# The JSON format, every file at once through orn log parse.
query orn_json "log_time, module, thread, log_level, log_body, truncated, dump" expected.jsonl >json.json
compare "lnav JSON format" json.json --lnav-json
finish
