#!/usr/bin/python3
# read_workbook.py FILE: the workbook as JSON, as a spreadsheet program reads it (see WorkbookReader.h).
import json
import sys

import openpyxl
from openpyxl.utils.escape import unescape


def cell(c):
    # A spreadsheet program shows "_xHHHH_" in a text as the character it codes; this openpyxl
    # leaves it as it is.
    value = unescape(c.value) if isinstance(c.value, str) else c.value
    return {"v": value, "t": c.data_type, "f": c.number_format, "b": bool(c.font and c.font.b)}


def sheet(ws):
    return {
        "title": ws.title,
        "freeze": ws.freeze_panes,
        "filter": ws.auto_filter.ref,
        "widths": {k: d.width for k, d in ws.column_dimensions.items() if d.customWidth},
        "rows": [[cell(c) for c in row] for row in ws.iter_rows()],
    }


book = openpyxl.load_workbook(sys.argv[1])
json.dump({"sheets": [sheet(ws) for ws in book.worksheets]}, sys.stdout, ensure_ascii=False)
