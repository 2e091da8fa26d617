#!/usr/bin/python3
"""Writes the fuzz seeds of corpus/dxf and corpus/xlsx: small drawings
that together hold every kind of entity the engine and the viewer read,
in ASCII and binary DXF, and the workbooks the reports read, packed and as
lists of their parts (see xlsx_read_fuzz.cpp).

usage: make_seeds.py TEMPLATE_DIR   (bin/dimdata of a build: fai.xlsx, cpk.xlsx)
"""
import os
import struct
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def section(name, tags):
    return [(0, "SECTION"), (2, name)] + tags + [(0, "ENDSEC")]


def header(version="AC1015", extra=()):
    tags = [(9, "$ACADVER"), (1, version), (9, "$HANDSEED"), (5, "FFF"),
            (9, "$DIMTXT"), (40, "2.5"), (9, "$DIMDEC"), (70, "2"),
            (9, "$DIMASZ"), (40, "2.5"), (9, "$DIMTOL"), (70, "0"),
            (9, "$EXTMIN"), (10, "-10"), (20, "-10"), (30, "0"),
            (9, "$EXTMAX"), (10, "200"), (20, "150"), (30, "0")]
    for t in extra:
        tags += t
    return section("HEADER", tags)


def entity(kind, handle, *tags, layer="0"):
    return [(0, kind), (5, handle), (8, layer)] + list(tags)


def drawing(entities, blocks=(), tables=(), version="AC1015", extra=()):
    out = header(version, extra)
    if tables:
        out += section("TABLES", list(tables))
    if blocks:
        out += section("BLOCKS", list(blocks))
    out += section("ENTITIES", list(entities)) + [(0, "EOF")]
    return out


def ascii_dxf(tags):
    return "".join("%3d\n%s\n" % (c, v) for c, v in tags).encode("utf-8")


def value_kind(code):
    if code < 10: return "s"
    if code < 60: return "d"
    if code < 80: return "h"
    if code < 90: return "s"
    if code < 100: return "i"
    if code == 105: return "s"
    if code < 110: return "s"
    if code < 150: return "d"
    if 160 <= code < 170: return "q"
    if 170 <= code < 180: return "h"
    if 210 <= code < 240: return "d"
    if 270 <= code < 290: return "h"
    if 290 <= code < 300: return "b"
    if 370 <= code < 390: return "h"
    if 400 <= code < 410: return "h"
    if 420 <= code < 430: return "i"
    if 440 <= code < 460: return "i"
    if 460 <= code < 470: return "d"
    if 1010 <= code < 1060: return "d"
    if 1060 <= code < 1071: return "h"
    if code == 1071: return "i"
    return "s"


def binary_dxf(tags):
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for code, value in tags:
        out += struct.pack("<H", code)
        kind = value_kind(code)
        if kind == "d": out += struct.pack("<d", float(value))
        elif kind == "h": out += struct.pack("<h", int(value))
        elif kind == "i": out += struct.pack("<i", int(value))
        elif kind == "q": out += struct.pack("<q", int(value))
        elif kind == "b": out += struct.pack("<B", int(value))
        else: out += value.encode("utf-8") + b"\x00"
    return bytes(out)


def pt(code, x, y, z=None):
    t = [(code, repr(float(x))), (code + 10, repr(float(y)))]
    if z is not None:
        t.append((code + 20, repr(float(z))))
    return t


def geometry():
    return [
        *entity("LINE", "20", *pt(10, 0, 0, 0), *pt(11, 100, 50, 0)),
        *entity("CIRCLE", "21", (62, "1"), *pt(10, 50, 50, 0), (40, "10")),
        *entity("ARC", "22", *pt(10, 20, 20, 0), (40, "5"), (50, "30"),
                (51, "-45")),
        *entity("ARC", "23", *pt(10, 0, 0, 0), (40, "3"), (50, "0"),
                (51, "720"), *pt(210, 0, 0, -1)),
        *entity("ELLIPSE", "24", *pt(10, 60, 20, 0), *pt(11, 15, 5, 0),
                (40, "0.5"), (41, "0.5"), (42, "4.0")),
        *entity("POINT", "25", *pt(10, 5, 5, 0)),
        *entity("LWPOLYLINE", "26", (90, "4"), (70, "1"), (43, "0"),
                *pt(10, 0, 0), (42, "0.5"), *pt(10, 10, 0), (40, "1"),
                (41, "2"), *pt(10, 10, 10), (42, "-1"), *pt(10, 0, 10)),
        *entity("POLYLINE", "27", (66, "1"), *pt(10, 0, 0, 0), (70, "1")),
        *entity("VERTEX", "28", *pt(10, 30, 30, 0), (42, "0.3")),
        *entity("VERTEX", "29", *pt(10, 40, 30, 0)),
        *entity("VERTEX", "2A", *pt(10, 40, 40, 0)),
        *entity("SEQEND", "2B"),
        *entity("POLYLINE", "2C", (66, "1"), *pt(10, 0, 0, 0), (70, "64"),
                (71, "3"), (72, "1")),
        *entity("VERTEX", "2D", *pt(10, 0, 0, 0), (70, "192")),
        *entity("VERTEX", "2E", *pt(10, 5, 0, 0), (70, "192")),
        *entity("VERTEX", "2F", *pt(10, 0, 5, 0), (70, "192")),
        *entity("VERTEX", "30", *pt(10, 0, 0, 0), (70, "128"), (71, "1"),
                (72, "2"), (73, "-3")),
        *entity("SEQEND", "31"),
        *entity("SPLINE", "32", (70, "8"), (71, "3"), (72, "8"), (73, "4"),
                (74, "0"), (40, "0"), (40, "0"), (40, "0"), (40, "0"),
                (40, "1"), (40, "1"), (40, "1"), (40, "1"),
                *pt(10, 0, 0, 0), *pt(10, 10, 20, 0), *pt(10, 20, -20, 0),
                *pt(10, 30, 0, 0)),
        *entity("SOLID", "33", *pt(10, 0, 0, 0), *pt(11, 5, 0, 0),
                *pt(12, 0, 5, 0), *pt(13, 5, 5, 0)),
        *entity("3DFACE", "34", *pt(10, 0, 0, 0), *pt(11, 5, 0, 0),
                *pt(12, 5, 5, 0), *pt(13, 0, 5, 0), (70, "5")),
        *entity("XLINE", "35", *pt(10, 0, 0, 0), *pt(11, 1, 0, 0)),
    ]


def texts():
    return [
        *entity("TEXT", "40", *pt(10, 10, 10, 0), (40, "2.5"), (1, "12.5"),
                (50, "30"), (72, "1"), *pt(11, 12, 10, 0)),
        *entity("TEXT", "41", *pt(10, 10, 20, 0), (40, "3"),
                (1, "%%c10%%p0.1%%d %%u%%o%%k %%137"), (41, "0.8"),
                (51, "15")),
        *entity("MTEXT", "42", *pt(10, 50, 50, 0), (40, "2.5"), (41, "40"),
                (71, "5"), (72, "1"), (44, "1.5"),
                (1, "{\\fSimSun|b1;\\C1;Bold}\\Pline\\~two \\S1^2; "
                    "\\S+0.1#-0.2;\\H2x;\\W0.8;\\Q15;\\A1;\\LU\\l\\OO\\o"
                    "\\P\\pxi-3,l3,t4;\\T1.2;tab\\^Ix"),
                *pt(11, 1, 1, 0)),
        *entity("MTEXT", "43", *pt(10, 0, 80, 0), (40, "3"), (71, "9"),
                (3, "first part "), (1, "\\U+4E2D\\U+6587 \\M+1B0A1"),
                (50, "90")),
    ]


def blocks_and_inserts():
    blocks = [
        (0, "BLOCK"), (5, "60"), (8, "0"), (2, "INNER"), (70, "0"),
        *pt(10, 0, 0, 0), (3, "INNER"),
        *entity("LINE", "61", *pt(10, 0, 0, 0), *pt(11, 5, 5, 0)),
        *entity("CIRCLE", "62", (62, "0"), *pt(10, 0, 0, 0), (40, "2")),
        (0, "ENDBLK"), (5, "63"), (8, "0"),
        (0, "BLOCK"), (5, "64"), (8, "0"), (2, "OUTER"), (70, "2"),
        *pt(10, 1, 1, 0), (3, "OUTER"),
        *entity("INSERT", "65", (2, "INNER"), *pt(10, 10, 0, 0), (41, "2"),
                (42, "-1"), (50, "45")),
        *entity("ATTDEF", "66", *pt(10, 0, -3, 0), (40, "2"), (1, "?"),
                (3, "Tag?"), (2, "TAG"), (70, "0")),
        (0, "ENDBLK"), (5, "67"), (8, "0"),
    ]
    entities = [
        *entity("INSERT", "70", (66, "1"), (2, "OUTER"), *pt(10, 100, 100, 0),
                (41, "1.5"), (42, "1.5"), (50, "10"), (70, "3"), (71, "2"),
                (44, "20"), (45, "15")),
        *entity("ATTRIB", "71", *pt(10, 100, 97, 0), (40, "2"), (1, "A-1"),
                (2, "TAG"), (70, "0")),
        *entity("SEQEND", "72"),
        *entity("INSERT", "73", (2, "INNER"), *pt(10, -20, 0, 0),
                *pt(210, 0, 0.6, 0.8)),
    ]
    return blocks, entities


def hatches():
    return [
        *entity("HATCH", "80", *pt(10, 0, 0, 0), *pt(210, 0, 0, 1),
                (2, "ANSI31"), (70, "0"), (71, "0"), (91, "2"),
                (92, "2"), (72, "1"), (73, "1"), (93, "4"),
                *pt(10, 0, 0), (42, "0"), *pt(10, 50, 0), (42, "0.4"),
                *pt(10, 50, 40), (42, "0"), *pt(10, 0, 40), (42, "0"),
                (97, "0"),
                (92, "1"), (93, "4"),
                (72, "1"), *pt(10, 10, 10), *pt(11, 20, 10),
                (72, "2"), *pt(10, 20, 15), (40, "5"), (50, "270"),
                (51, "90"), (73, "1"),
                (72, "3"), *pt(10, 15, 20), *pt(11, -5, 0), (40, "0.5"),
                (50, "0"), (51, "180"), (73, "1"),
                (72, "4"), (94, "3"), (73, "0"), (74, "0"), (95, "8"),
                (96, "4"), (40, "0"), (40, "0"), (40, "0"), (40, "0"),
                (40, "1"), (40, "1"), (40, "1"), (40, "1"),
                *pt(10, 10, 20), *pt(10, 8, 17), *pt(10, 12, 13),
                *pt(10, 10, 10), (97, "0"),
                (75, "0"), (76, "1"), (52, "0"), (41, "1"), (77, "0"),
                (78, "2"),
                (53, "45"), (43, "0"), (44, "0"), (45, "-2.2"), (46, "2.2"),
                (79, "2"), (49, "3"), (49, "-1.5"),
                (53, "135"), (43, "0"), (44, "0"), (45, "2.2"), (46, "2.2"),
                (79, "0"), (98, "0")),
        *entity("HATCH", "81", *pt(10, 0, 0, 0), (2, "SOLID"), (70, "1"),
                (71, "0"), (91, "1"), (92, "3"), (72, "0"), (73, "1"),
                (93, "3"), *pt(10, 60, 0), *pt(10, 80, 0), *pt(10, 70, 20),
                (97, "0"), (75, "0"), (76, "1"), (98, "0")),
    ]


def dimensions():
    tables = [
        (0, "TABLE"), (2, "DIMSTYLE"), (5, "A0"), (70, "1"),
        (0, "DIMSTYLE"), (105, "A1"), (2, "ISO"), (70, "0"), (140, "3"),
        (41, "2.5"), (42, "0.6"), (44, "1.25"), (71, "1"), (47, "0.1"),
        (48, "0.05"), (271, "3"), (272, "2"), (144, "1"),
        (0, "ENDTAB"),
    ]
    arrows = lambda h, x, y: entity("SOLID", h, *pt(10, x, y, 0),
                                    *pt(11, x + 2.5, y + 0.4, 0),
                                    *pt(12, x + 2.5, y - 0.4, 0),
                                    *pt(13, x + 2.5, y - 0.4, 0))
    blocks = [
        (0, "BLOCK"), (5, "B0"), (8, "0"), (2, "*D1"), (70, "1"),
        *pt(10, 0, 0, 0), (3, "*D1"),
        *entity("LINE", "B1", *pt(10, 0, 20, 0), *pt(11, 50, 20, 0)),
        *arrows("B2", 0, 20),
        *entity("MTEXT", "B3", *pt(10, 25, 22, 0), (40, "3"), (71, "8"),
                (1, "\\A1;<>{\\H0.7x;\\S+0.1^-0.05;}")),
        (0, "ENDBLK"), (5, "B4"), (8, "0"),
    ]
    dstyle = [(1001, "ACAD"), (1000, "DSTYLE"), (1002, "{"), (1070, "140"),
              (1040, "3.5"), (1070, "71"), (1070, "1"), (1070, "47"),
              (1040, "0.2"), (1070, "271"), (1070, "1"), (1002, "}")]
    def dim(handle, kind, block, points, text="", extra=()):
        tags = [(2, block), (3, "ISO"), (70, str(kind))]
        if text:
            tags.append((1, text))
        for code, xyz in points:
            tags += pt(code, *xyz)
        return entity("DIMENSION", handle, *tags, *extra)
    return tables, blocks, [
        *dim("C0", 32, "*D1", [(10, (50, 20, 0)), (11, (25, 22, 0)),
                              (13, (0, 0, 0)), (14, (50, 0, 0))],
             extra=[(42, "50"), (50, "0")] + dstyle),
        *dim("C1", 33, "*D2", [(10, (0, 30, 0)), (11, (20, 35, 0)),
                              (13, (0, 0, 0)), (14, (30, 20, 0))],
             text="<> H7"),
        *dim("C2", 36, "*D3", [(10, (0, 0, 0)), (11, (30, 30, 0)),
                              (15, (10, 10, 0))], extra=[(40, "5")]),
        *dim("C3", 35, "*D4", [(10, (0, 0, 0)), (11, (-30, 30, 0)),
                              (15, (-10, -10, 0))], text="R<>"),
        *dim("C4", 34, "*D5", [(10, (40, 40, 0)), (11, (50, 60, 0)),
                              (13, (0, 0, 0)), (14, (40, 0, 0)),
                              (15, (0, 0, 0)), (16, (45, 45, 0))]),
        *dim("C5", 37, "*D6", [(10, (30, 30, 0)), (11, (35, 35, 0)),
                              (13, (40, 0, 0)), (14, (0, 40, 0)),
                              (15, (0, 0, 0))]),
        *dim("C6", 38 + 64, "*D7", [(10, (0, 0, 0)), (11, (60, 5, 0)),
                                    (13, (50, 5, 0)), (14, (55, 5, 0))],
             text="12.5"),
        *entity("ARC_DIMENSION", "C7", (2, "*D8"), *pt(10, 0, 0, 0),
                *pt(11, 0, 25, 0), (70, "37"), *pt(13, 20, 0, 0),
                *pt(14, 0, 20, 0), *pt(15, 0, 0, 0), *pt(16, 0, 0, 0),
                *pt(17, 0, 0, 0)),
    ]


def leaders():
    return [
        *entity("LEADER", "D0", (3, "ISO"), (71, "1"), (72, "0"), (76, "3"),
                *pt(10, 0, 0, 0), *pt(10, 10, 10, 0), *pt(10, 20, 10, 0)),
        *entity("TOLERANCE", "D1", (3, "ISO"), *pt(10, 30, 30, 0),
                (1, "{\\Fgdt;j}%%v0.05%%vA"), *pt(11, 1, 0, 0)),
        *entity("MULTILEADER", "D2", (300, "CONTEXT_DATA{"), (40, "1"),
                *pt(10, 40, 40, 0), (41, "2.5"), (140, "2.5"), (145, "1"),
                (174, "1"), (175, "1"), (176, "0"), (177, "0"), (290, "1"),
                (304, "Note\\Ptwo"), *pt(12, 45, 42, 0), *pt(13, 1, 0, 0),
                (42, "0"), (43, "0"), (44, "0"), (45, "1"), (170, "1"),
                (90, "0"), (171, "1"), (172, "1"),
                (302, "LEADER{"), (290, "1"), (291, "1"),
                *pt(10, 44, 42, 0), *pt(11, 1, 0, 0), (90, "0"), (40, "2"),
                (304, "LEADER_LINE{"), *pt(10, 30, 30, 0), (91, "0"),
                (305, "}"), (303, "}"), (301, "}"), (170, "1"), (91, "0"),
                (171, "-2"), (290, "1"), (291, "1"), (41, "2.5"),
                (42, "2")),
        *entity("IMAGE", "D3", *pt(10, 0, 50, 0), *pt(11, 0.1, 0, 0),
                *pt(12, 0, 0.1, 0), *pt(13, 100, 80, 0)),
    ]


def main(template_dir):
    dxf = os.path.join(HERE, "corpus", "dxf")
    os.makedirs(dxf, exist_ok=True)
    blocks, inserts = blocks_and_inserts()
    dim_tables, dim_blocks, dims = dimensions()
    seeds = {
        "geometry.dxf": drawing(geometry()),
        "texts.dxf": drawing(texts(), extra=[[(9, "$DWGCODEPAGE"),
                                              (3, "ANSI_936")]]),
        "blocks.dxf": drawing(inserts, blocks),
        "hatches.dxf": drawing(hatches()),
        "dimensions.dxf": drawing(dims, dim_blocks, dim_tables),
        "leaders.dxf": drawing(leaders()),
        "r12_no_handles.dxf": [t for t in drawing(geometry()[:40] + texts()[:20],
                                                  version="AC1009")
                               if t[0] != 5],
    }
    for name, tags in seeds.items():
        with open(os.path.join(dxf, name), "wb") as f:
            f.write(ascii_dxf(tags))
    with open(os.path.join(dxf, "dimensions_binary.dxf"), "wb") as f:
        f.write(binary_dxf(seeds["dimensions.dxf"]))
    with open(os.path.join(dxf, "geometry_crlf.dxf"), "wb") as f:
        f.write(ascii_dxf(seeds["geometry.dxf"]).replace(b"\n", b"\r\n"))

    xlsx = os.path.join(HERE, "corpus", "xlsx")
    os.makedirs(xlsx, exist_ok=True)
    for name in ("fai.xlsx", "cpk.xlsx"):
        with zipfile.ZipFile(os.path.join(template_dir, name)) as z:
            parts = [(i.filename, z.read(i)) for i in z.infolist()
                     if not i.filename.startswith(("docProps/", "xl/theme/"))]
        if name == "fai.xlsx":
            parts = [(n, fai_rows(d) if n == "xl/worksheets/sheet1.xml" else d)
                     for n, d in parts]
        with zipfile.ZipFile(os.path.join(xlsx, name), "w",
                             zipfile.ZIP_DEFLATED) as z:
            for n, d in parts:
                z.writestr(n, d)
        # The same parts listed, packed by the target without compression.
        with open(os.path.join(xlsx, name.replace(".xlsx", ".parts")),
                  "wb") as f:
            for n, d in parts:
                f.write(b"==> " + n.encode() + b" <==\n" + d + b"\n")


def fai_rows(sheet):
    """The FAI sheet cut to its head and three rows: one measured, one
    with a formula and a sample no single holds, one empty."""
    head, rest = sheet.split(b'<row r="11">', 1)
    tail = rest[rest.index(b"</sheetData>"):]
    rows = (b'<row r="11"><c r="A11"><v>1</v></c>'
            b'<c r="B11" t="inlineStr"><is><t>A1</t></is></c>'
            b'<c r="C11" t="inlineStr"><is><t>MIC</t></is></c>'
            b'<c r="D11" t="inlineStr"><is><t>25.00</t></is></c>'
            b'<c r="E11"><v>0.05</v></c><c r="F11"><v>0.05</v></c>'
            b'<c r="G11"><v>25.01</v></c><c r="H11"><v>24.99</v></c>'
            b'<c r="L11" s="8"><f>IF($A11="","",IFERROR(VALUE($D11)+$E11,""))'
            b'</f><v></v></c><c r="P11" s="8"><f>IF(OR($A11="",COUNT($G11:'
            b'$K11)=0),"",IF(AND(MIN($G11:$K11)&gt;=$M11-1E-9,MAX($G11:$K11)'
            b'&lt;=$L11+1E-9),"OK","NG"))</f><v></v></c></row>'
            b'<row r="12"><c r="A12"><v>2</v></c>'
            b'<c r="C12" t="inlineStr"><is><t>DC</t></is></c>'
            b'<c r="G12" t="str"><f>G11*2</f><v>50.02</v></c>'
            b'<c r="H12" t="inlineStr"><is><t>1e40</t></is></c></row>'
            b'<row r="13"><c r="A13" s="7"/></row>')
    head = head.replace(b'<dimension ref="A1:P1010"/>',
                        b'<dimension ref="A1:P13"/>')
    tail = tail.replace(b'sqref="P11:P1010"', b'sqref="P11:P13"')
    return head + rows + tail


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
