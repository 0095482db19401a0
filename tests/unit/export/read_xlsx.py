"""Reads an Office Open XML workbook with openpyxl and prints what it holds as JSON.

Cell texts are given as a spreadsheet shows them: "_xHHHH_" stands for the character
HHHH (openpyxl leaves that to its caller). Trailing empty cells of a row are left out.
Python's zipfile checks every part's checksum independently of the writer.

Usage: read_xlsx.py FILE [layout]
  layout: also the column widths, the frozen panes and the cell styles, which need
  openpyxl's full (slower) load.
"""
import json
import re
import sys
import zipfile

import openpyxl

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def shown(value):
    if value is None:
        return ""
    if not isinstance(value, str):
        return "<%s>" % type(value).__name__
    return ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), value)


def trimmed(cells):
    cells = list(cells)
    while cells and cells[-1] == "":
        cells.pop()
    return cells


def main():
    path = sys.argv[1]
    layout = len(sys.argv) > 2 and sys.argv[2] == "layout"
    problems = []
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad is not None:
            problems.append("bad checksum in " + bad)
    book = openpyxl.load_workbook(path, read_only=not layout)
    sheet = book.worksheets[0]
    rows = []
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, values_only=True):
        rows.append(trimmed(shown(v) for v in row))
    out = {"sheets": book.sheetnames, "max_row": sheet.max_row, "rows": rows,
           "problems": problems}
    if layout:
        # Only the columns the file describes; asking openpyxl for another makes one up.
        widths = {}
        for dim in list(sheet.column_dimensions.values()):
            for column in range(dim.min, dim.max + 1):
                widths[str(column)] = {"width": dim.width, "hidden": bool(dim.hidden)}
        out["widths"] = widths
        out["freeze"] = sheet.freeze_panes
        out["bold"] = [[bool(c.font and c.font.b) for c in row] for row in sheet.iter_rows()]
        out["wrapped"] = [[bool(c.alignment and c.alignment.wrap_text) for c in row]
                          for row in sheet.iter_rows()]
        out["types"] = sorted({c.data_type for row in sheet.iter_rows() for c in row
                               if c.value is not None})
    book.close()
    json.dump(out, sys.stdout)


main()
