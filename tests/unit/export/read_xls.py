"""Reads an Excel 97-2003 workbook with xlrd and prints what it holds as JSON.

Besides the cell values it checks, independently of the writer, what xlrd does not
look at: record sizes, the EXTSST lookup index and the compound file's warnings.

Usage: read_xls.py FILE
"""
import io
import json
import struct
import sys

import xlrd
from xlrd import compdoc

SST, CONTINUE, EXTSST, EOF = 0x00FC, 0x003C, 0x00FF, 0x000A


def check_records(stream, strings):
    """Problems found in the workbook globals' records."""
    problems = []
    pos = 0
    starts = {}  # record start -> type
    extsst = None
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if length > 8224:
            problems.append("record 0x%04X at %d holds %d bytes" % (rtype, pos, length))
        starts[pos] = rtype
        if rtype == EXTSST:
            extsst = (pos, length)
        pos += 4 + length
        if rtype == EOF:
            break
    if strings is None:
        problems.append("shared strings not available")
    elif strings:
        if extsst is None:
            problems.append("no EXTSST")
            return problems
        at, length = extsst
        dsst = struct.unpack_from("<H", stream, at + 4)[0]
        buckets = (length - 2) // 8
        if buckets != (len(strings) + dsst - 1) // dsst:
            problems.append("EXTSST has %d buckets of %d for %d strings" % (buckets, dsst, len(strings)))
        for j in range(buckets):
            ib, cb, _ = struct.unpack_from("<IHH", stream, at + 6 + 8 * j)
            record = ib - cb
            if starts.get(record) not in (SST, CONTINUE):
                problems.append("bucket %d: %d is no SST or CONTINUE record" % (j, record))
                continue
            expected = strings[j * dsst]
            cch, flags = struct.unpack_from("<HB", stream, ib)
            units = len(expected.encode("utf-16-le")) // 2
            if cch != units:
                problems.append("bucket %d: length %d, string has %d" % (j, cch, units))
                continue
            first = stream[ib + 3:ib + 5].decode("utf-16-le") if flags & 1 else chr(stream[ib + 3])
            if first != expected[0]:
                problems.append("bucket %d: starts with %r, string with %r" % (j, first, expected[0]))
    return problems


def main():
    path = sys.argv[1]
    log = io.StringIO()
    # On demand, so the shared strings are still there for the check below.
    book = xlrd.open_workbook(path, logfile=log, verbosity=0, on_demand=True)
    with open(path, "rb") as f:
        data = f.read()
    stream = compdoc.CompDoc(data, logfile=log).get_named_stream("Workbook")
    sheet = book.sheet_by_index(0)
    rows, types = [], set()
    for r in range(sheet.nrows):
        cells = sheet.row(r)
        rows.append([c.value for c in cells])
        types.update(c.ctype for c in cells)
    json.dump({
        "biff": book.biff_version,
        "sheets": book.sheet_names(),
        "nrows": sheet.nrows,
        "ncols": sheet.ncols,
        "rows": rows,
        "types": sorted(types),
        "problems": check_records(stream, book._sharedstrings),
        "log": log.getvalue(),
    }, sys.stdout)


main()
