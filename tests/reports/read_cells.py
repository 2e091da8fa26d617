#!/usr/bin/env python3
"""Prints cells of a workbook's first sheet as openpyxl reads them.

Usage: read_cells.py FILE CELL...   (one line per cell: CELL TAB TYPE TAB
VALUE, TYPE one of none, text, number, bool, formula), then one line
"merged TAB RANGES" with the merged ranges, sorted.
"""
import sys

from openpyxl import load_workbook


def main(argv):
    wb = load_workbook(argv[1])
    ws = wb.worksheets[0]
    for ref in argv[2:]:
        value = ws[ref].value
        if value is None:
            kind, text = "none", ""
        elif isinstance(value, bool):
            kind, text = "bool", str(value)
        elif isinstance(value, (int, float)):
            kind, text = "number", repr(float(value))
        elif isinstance(value, str) and ws[ref].data_type == "f":
            kind, text = "formula", value
        else:
            kind, text = "text", str(value)
        text = text.replace("\\", "\\\\").replace("\n", "\\n")
        print(f"{ref}\t{kind}\t{text}")
    merged = sorted(str(r) for r in ws.merged_cells.ranges)
    print("merged\t" + " ".join(merged))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
