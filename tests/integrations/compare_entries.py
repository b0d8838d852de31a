#!/usr/bin/env python3
"""Compares the entries an engine delivered with what orn log parse reads from
the same files: every field of every entry, in order. Usage:
compare_entries.py EXPECTED.jsonl GOT.jsonl [--tail-loss N]
Engines type fields their own way, so both sides are brought to one shape: thread
a number, level "error", "warning" or None, truncated and dump booleans.
--tail-loss N accepts up to N entries missing (the known limit of a reader that
holds an entry until the next one starts); none may be wrong or repeated.
--file-lines: the engine read the file's lines itself, with the README's
expression: time and level as the file writes them, the message without its
last line ends, and no dump flag.
--lnav: GOT is lnav's :write-json-to output of the text format (implies
--file-lines): its rows of the header (no module) are left out, and the body
shows the entry's further lines as the file holds them (a tab and a code after
each line end, the level of a cut message after its marker), as lnav displays
them; they are decoded here for the comparison.
--lnav-json: GOT is lnav's :write-json-to output of the JSON format, whose
fields are those of orn log parse."""
import json
import re
import sys

LINE_ENDS = {"|": "\n", "<": "\r", "=": "\r\n"}


def from_lnav(row):
    message = re.sub(r"\r?\n\t([|<=])", lambda m: LINE_ENDS[m.group(1)], row["log_body"])
    level = row["log_level"]
    if row.get("truncated"):
        message = message[1:] if message.startswith("\n") else message
        for prefix, name in (("**ERROR** ", "error"), ("*WARNING* ", "warning")):
            if message.startswith(prefix):
                message, level = message[len(prefix):], name
    return {"time": row["log_time"][:19].replace(" ", "T"), "module": row["module"],
            "thread": row["thread"], "level": level, "message": message,
            "truncated": row.get("truncated"), "dump": row.get("dump")}


LEVELS = {"error": "error", "warning": "warning", "**ERROR**": "error", "*WARNING*": "warning"}


def norm(entry, file_lines):
    def flag(value):
        return value not in (None, False, "", "false", "False", 0, "0")
    time = entry.get("time", "")
    if "/" in time:  # YYYY/MM/DD hh:mm.ss
        time = time.replace("/", "-").replace(" ", "T").replace(".", ":")
    message = entry.get("message", "")
    if file_lines:
        message = message.rstrip("\r\n")
    return (time, entry.get("module"), int(entry.get("thread")),
            LEVELS.get(entry.get("level")), message, flag(entry.get("truncated")),
            False if file_lines else flag(entry.get("dump")))


def load(path, file_lines, lnav=False):
    with open(path, encoding="utf-8") as f:
        if lnav:
            rows = [from_lnav(row) for row in json.load(f) if row.get("module") is not None]
            return [norm(row, file_lines) for row in rows]
        return [norm(json.loads(line), file_lines) for line in f if line.strip()]


def main():
    args = sys.argv[1:]
    lnav = "--lnav" in args or "--lnav-json" in args
    file_lines = "--lnav" in args or "--file-lines" in args
    allowed = int(args[args.index("--tail-loss") + 1]) if "--tail-loss" in args else 0
    expected, got = load(args[0], file_lines), load(args[1], file_lines, lnav)
    problems = []
    at = 0
    missing = 0
    for entry in got:
        # What was skipped before this entry is missing; anything not found is wrong.
        try:
            found = expected.index(entry, at)
        except ValueError:
            problems.append("unexpected or repeated: %r" % (entry,))
            continue
        missing += found - at
        at = found + 1
    missing += len(expected) - at
    if missing > allowed:
        problems.append("%d of %d entries missing (at most %d allowed)" %
                        (missing, len(expected), allowed))
    for p in problems[:10]:
        print("FAILED: " + p)
    print("%d expected, %d delivered, %d missing" % (len(expected), len(got), missing))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
