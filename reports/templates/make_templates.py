#!/usr/bin/env python3
"""Writes the report templates fai.xlsx and cpk.xlsx.

Usage: make_templates.py OUTPUT_FOLDER

The program fills fixed cells of these workbooks (FAI: columns A to K from
row 11; CPK: rows 8 to 12 of columns B to P); the formulas beside them are
what the inspector reads. The files come out byte for byte the same on every
run, so a build does not change them without reason.
"""

import datetime
import io
import os
import sys
import zipfile

from openpyxl import Workbook
from openpyxl.formatting.rule import CellIsRule, FormulaRule
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.utils import get_column_letter
from openpyxl.worksheet.properties import PageSetupProperties

FAI_FIRST_ROW = 11
FAI_FORMULA_ROWS = 1000
CPK_FIRST_VALUE_ROW = 14
CPK_VALUE_ROWS = 50
CPK_COLUMNS = range(2, 17)  # B to P
FIXED_TIME = datetime.datetime(2024, 1, 1, 0, 0, 0)

FONT = "宋体"
thin = Side(style="thin", color="000000")
BORDER = Border(left=thin, right=thin, top=thin, bottom=thin)
HEAD_FILL = PatternFill("solid", fgColor="D9E1F2")
INPUT_FILL = PatternFill("solid", fgColor="FFF2CC")
RESULT_FILL = PatternFill("solid", fgColor="E2EFDA")
CENTER = Alignment(horizontal="center", vertical="center", wrap_text=True)
LEFT = Alignment(horizontal="left", vertical="center")


def font(size=10, bold=False, color=None):
    return Font(name=FONT, size=size, bold=bold, color=color)


def heading_block(ws, fields, first_row, last_col):
    """Label / value pairs, four to a row; values are left for the user."""
    per_row = 4
    span = last_col // per_row  # columns per pair
    for i, label in enumerate(fields):
        row = first_row + i // per_row
        col = 1 + (i % per_row) * span
        ws.cell(row=row, column=col, value=label).font = font(bold=True)
        ws.cell(row=row, column=col).alignment = LEFT
        ws.merge_cells(start_row=row, start_column=col + 1, end_row=row,
                       end_column=col + span - 1)
        for c in range(col + 1, col + span):
            cell = ws.cell(row=row, column=c)
            cell.border = Border(bottom=thin)
            cell.font = font()
            cell.alignment = LEFT


def make_fai(path):
    wb = Workbook()
    ws = wb.active
    ws.title = "FAI"
    last_col = 16  # P

    ws.merge_cells(start_row=1, start_column=1, end_row=1, end_column=last_col)
    ws["A1"] = "首件检验报告 (FAI)"
    ws["A1"].font = font(16, bold=True)
    ws["A1"].alignment = CENTER
    ws.row_dimensions[1].height = 30

    heading_block(ws, ["零件号:", "零件名称:", "图号:", "版本:",
                       "客户:", "供应商:", "材料:", "数量:",
                       "检验日期:", "检验员:", "审核:", "批准:"],
                  3, last_col)
    ws["A7"] = "检验结论:"
    ws["A7"].font = font(bold=True)
    ws["A8"] = ("说明: 上限 = 名义尺寸 + 上偏差, 下限 = 名义尺寸 - 下偏差; "
                "样品全部在上下限之内判 OK, 否则判 NG。")
    ws["A8"].font = font(9, color="595959")
    ws.merge_cells("A8:P8")

    headings = ["标号", "区域", "量具", "名义尺寸", "上偏差", "下偏差",
                "样品1", "样品2", "样品3", "样品4", "样品5",
                "上限", "下限", "最小值", "最大值", "判定"]
    for col, text in enumerate(headings, start=1):
        cell = ws.cell(row=10, column=col, value=text)
        cell.font = font(bold=True)
        cell.fill = HEAD_FILL
        cell.border = BORDER
        cell.alignment = CENTER
    ws.row_dimensions[10].height = 22

    widths = [7, 7, 10, 11, 9, 9, 9, 9, 9, 9, 9, 10, 10, 10, 10, 7]
    for col, width in enumerate(widths, start=1):
        ws.column_dimensions[get_column_letter(col)].width = width

    last_row = FAI_FIRST_ROW + FAI_FORMULA_ROWS - 1
    for r in range(FAI_FIRST_ROW, last_row + 1):
        samples = f"$G{r}:$K{r}"
        # Every check stays empty until the row has its mark (and, for the
        # sample checks, a sample), so unused rows print blank.
        formulas = {
            # An empty nominal has no limits (VALUE of an empty cell is 0).
            12: f'=IF(OR($A{r}="",$D{r}=""),"",IFERROR(VALUE($D{r})+$E{r},""))',
            13: f'=IF(OR($A{r}="",$D{r}=""),"",IFERROR(VALUE($D{r})-$F{r},""))',
            14: f'=IF(OR($A{r}="",COUNT({samples})=0),"",MIN({samples}))',
            15: f'=IF(OR($A{r}="",COUNT({samples})=0),"",MAX({samples}))',
            # The margin of 1E-9 absorbs binary rounding of the limits, far
            # below any measuring resolution.
            16: (f'=IF(OR($A{r}="",COUNT({samples})=0,$L{r}="",$M{r}=""),"",'
                 f'IF(AND(MIN({samples})>=$M{r}-1E-9,'
                 f'MAX({samples})<=$L{r}+1E-9),"OK","NG"))'),
        }
        for col in range(1, last_col + 1):
            cell = ws.cell(row=r, column=col)
            cell.border = BORDER
            cell.font = font()
            cell.alignment = CENTER
            if col in formulas:
                cell.value = formulas[col]
                cell.fill = RESULT_FILL
    ws.conditional_formatting.add(
        f"P{FAI_FIRST_ROW}:P{last_row}",
        CellIsRule(operator="equal", formula=['"NG"'],
                   font=Font(color="9C0006", bold=True),
                   fill=PatternFill("solid", fgColor="FFC7CE")))

    ws.freeze_panes = "A11"
    ws.print_title_rows = "10:10"
    ws.page_setup.orientation = "landscape"
    ws.page_setup.paperSize = ws.PAPERSIZE_A4
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 0
    ws.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    save(wb, path)


def make_cpk(path):
    wb = Workbook()
    ws = wb.active
    ws.title = "CPK"
    last_col = 16

    ws.merge_cells(start_row=1, start_column=1, end_row=1, end_column=last_col)
    ws["A1"] = "过程能力分析 (CPK)"
    ws["A1"].font = font(16, bold=True)
    ws["A1"].alignment = CENTER
    ws.row_dimensions[1].height = 30
    heading_block(ws, ["零件号:", "零件名称:", "图号:", "版本:",
                       "日期:", "检验员:", "设备/模具:", "批次:"],
                  3, last_col)
    ws["A6"] = ("说明: 每列一个尺寸; 在第 14 至 63 行填入测量值 (最多 50 个)。"
                "少于 25 个测量值时结果仅作参考。")
    ws["A6"].font = font(9, color="595959")
    ws.merge_cells("A6:P6")

    ws["A7"] = "项目"
    for col in CPK_COLUMNS:
        ws.cell(row=7, column=col, value=col - 1)
    labels = {8: "标号", 9: "区域", 10: "名义尺寸", 11: "上限 USL",
              12: "下限 LSL", 13: "测量值"}
    for row, text in labels.items():
        ws.cell(row=row, column=1, value=text)
    first = CPK_FIRST_VALUE_ROW
    last = first + CPK_VALUE_ROWS - 1
    for i in range(CPK_VALUE_ROWS):
        ws.cell(row=first + i, column=1, value=i + 1)

    n_row, mean_row, sigma_row, cp_row, cpk_row, note_row, rating_row = (
        range(last + 1, last + 8))
    results = {n_row: "数量 n", mean_row: "平均值", sigma_row: "标准差 σ",
               cp_row: "Cp", cpk_row: "Cpk", note_row: "可信度",
               rating_row: "能力判定"}
    for row, text in results.items():
        ws.cell(row=row, column=1, value=text)

    for col in CPK_COLUMNS:
        c = get_column_letter(col)
        values = f"{c}${first}:{c}${last}"
        n = f"{c}{n_row}"
        mean = f"{c}{mean_row}"
        sigma = f"{c}{sigma_row}"
        usl = f"{c}$11"
        lsl = f"{c}$12"
        ws[f"{c}{n_row}"] = f'=IF(COUNT({values})=0,"",COUNT({values}))'
        ws[f"{c}{mean_row}"] = f'=IF(COUNT({values})=0,"",AVERAGE({values}))'
        # The sample standard deviation needs two values; a spread of zero
        # leaves Cp and Cpk undefined rather than a division error.
        ws[f"{c}{sigma_row}"] = f'=IF(COUNT({values})<2,"",STDEV({values}))'
        ws[f"{c}{cp_row}"] = (
            f'=IF(OR({sigma}="",{usl}="",{lsl}=""),"",'
            f'IF({sigma}=0,"",({usl}-{lsl})/(6*{sigma})))')
        ws[f"{c}{cpk_row}"] = (
            f'=IF(OR({sigma}="",{usl}="",{lsl}=""),"",'
            f'IF({sigma}=0,"",MIN({usl}-{mean},{mean}-{lsl})/(3*{sigma})))')
        ws[f"{c}{note_row}"] = (
            f'=IF(OR({n}="",{c}{cpk_row}=""),"",'
            f'IF({n}<25,"参考值(样本少于25)","有效"))')
        ws[f"{c}{rating_row}"] = (
            f'=IF({c}{cpk_row}="","",IF({c}{cpk_row}>=1.33,"合格",'
            f'IF({c}{cpk_row}>=1,"尚可","不足")))')
        ws[f"{c}{mean_row}"].number_format = "0.0000"
        ws[f"{c}{sigma_row}"].number_format = "0.00000"
        ws[f"{c}{cp_row}"].number_format = "0.00"
        ws[f"{c}{cpk_row}"].number_format = "0.00"

    for row in range(7, rating_row + 1):
        for col in range(1, last_col + 1):
            cell = ws.cell(row=row, column=col)
            cell.border = BORDER
            cell.font = font(bold=(col == 1 or row == 7))
            cell.alignment = CENTER
            if row in (7, 13) or col == 1:
                cell.fill = HEAD_FILL
            elif first <= row <= last:
                cell.fill = INPUT_FILL
            elif row > last:
                cell.fill = RESULT_FILL
    ws.conditional_formatting.add(
        f"B{cpk_row}:P{cpk_row}",
        FormulaRule(formula=[f'AND(ISNUMBER(B{cpk_row}),B{cpk_row}<1)'],
                    font=Font(color="9C0006", bold=True),
                    fill=PatternFill("solid", fgColor="FFC7CE")))

    ws.column_dimensions["A"].width = 14
    for col in CPK_COLUMNS:
        ws.column_dimensions[get_column_letter(col)].width = 10
    ws.freeze_panes = "B8"
    ws.page_setup.orientation = "portrait"  # a tall sheet
    ws.page_setup.paperSize = ws.PAPERSIZE_A4
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 1  # the results belong on the same page
    ws.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    save(wb, path)


def save(wb, path):
    wb.properties.creator = "DimMark"
    wb.properties.created = FIXED_TIME
    wb.properties.modified = FIXED_TIME
    buffer = io.BytesIO()
    wb.save(buffer)
    # Repacked with fixed entry times, so that equal content gives equal
    # bytes; written beside the target and renamed over it.
    temporary = path + ".tmp"
    with zipfile.ZipFile(io.BytesIO(buffer.getvalue())) as source, \
            zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as target:
        for info in source.infolist():
            entry = zipfile.ZipInfo(info.filename, date_time=FIXED_TIME.timetuple()[:6])
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            target.writestr(entry, source.read(info.filename))
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_templates.py OUTPUT_FOLDER\n")
        return 2
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    make_fai(os.path.join(folder, "fai.xlsx"))
    make_cpk(os.path.join(folder, "cpk.xlsx"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
