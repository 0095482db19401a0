"""Reads a delimited text file with Python's csv module and prints what it holds as JSON.

Usage: read_csv.py FILE comma|semicolon|tab
"""
import csv
import json
import sys

DELIMITERS = {"comma": ",", "semicolon": ";", "tab": "\t"}


def main():
    path, name = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        raw = f.read()
    with open(path, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f, delimiter=DELIMITERS[name], strict=True))
    json.dump({"bom": raw.startswith(b"\xef\xbb\xbf"), "rows": rows}, sys.stdout)


main()
