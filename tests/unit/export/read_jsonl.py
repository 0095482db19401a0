"""Reads a JSON Lines file with Python's json module and prints what it holds as JSON.

Each line must be valid UTF-8, end with a line feed and hold one JSON object whose
values are strings; a repeated key is a problem, since json.loads would hide it.

Usage: read_jsonl.py FILE
"""
import json
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    problems = []
    text = raw.decode("utf-8")  # strict: invalid UTF-8 fails the reader
    if text and not text.endswith("\n"):
        problems.append("the last line has no line feed")
    keys, rows = [], []
    for number, line in enumerate(text.split("\n")[:-1] if text else [], 1):
        pairs = json.loads(line, object_pairs_hook=list)
        if not isinstance(pairs, list):
            problems.append("line %d is no object" % number)
            continue
        names = [k for k, _ in pairs]
        if len(set(names)) != len(names):
            problems.append("line %d repeats a key" % number)
        if any(not isinstance(v, str) for _, v in pairs):
            problems.append("line %d has a value that is no string" % number)
        if not keys:
            keys = names
        elif names != keys:
            problems.append("line %d has other keys" % number)
        rows.append([v for _, v in pairs])
    json.dump({"keys": keys, "rows": rows, "problems": problems,
               "lines": text.count("\n"), "crlf": "\r\n" in text}, sys.stdout)


main()
