#!/usr/bin/env python3
"""Prints cells of a workbook's first sheet as openpyxl reads them.

Usage: read_cells.py [--values] FILE CELL...   (one line per cell: CELL TAB
TYPE TAB VALUE, TYPE one of none, text, number, bool, error, formula), then
one line "merged TAB RANGES" with the merged ranges, sorted. A CELL may be a
range (L11:P40), read cell by cell. With --values, formula cells give the
results the file carries, as openpyxl's data_only reading does.
"""
import sys

from openpyxl import load_workbook
from openpyxl.utils.cell import range_boundaries, get_column_letter


def cells_of(ref):
    if ":" not in ref:
        return [ref]
    first_col, first_row, last_col, last_row = range_boundaries(ref)
    return [f"{get_column_letter(c)}{r}"
            for r in range(first_row, last_row + 1)
            for c in range(first_col, last_col + 1)]


def main(argv):
    args = argv[1:]
    values = bool(args) and args[0] == "--values"
    if values:
        args = args[1:]
    wb = load_workbook(args[0], data_only=values)
    ws = wb.worksheets[0]
    for ref in (c for r in args[1:] for c in cells_of(r)):
        cell = ws[ref]
        value = cell.value
        if value is None:
            kind, text = "none", ""
        elif isinstance(value, bool):
            kind, text = "bool", str(value)
        elif isinstance(value, (int, float)):
            kind, text = "number", repr(float(value))
        elif isinstance(value, str) and cell.data_type == "f":
            kind, text = "formula", value
        elif cell.data_type == "e":
            kind, text = "error", str(value)
        else:
            kind, text = "text", str(value)
        text = text.replace("\\", "\\\\").replace("\n", "\\n")
        print(f"{ref}\t{kind}\t{text}")
    merged = sorted(str(r) for r in ws.merged_cells.ranges)
    print("merged\t" + " ".join(merged))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
