#!/usr/bin/python3
"""dimmark-cli import on a numbered drawing: every value lands on the mark
its label names, with the sample the file gives it, and nowhere else; the
review is printed as JSON lines and nothing is written without --apply; a
file whose nominals belong to another numbering writes nothing and says
so; a value already entered is only replaced when the review says so.

usage: check_import.py DIMMARK_CLI DRAWING.dxf FIXTURES_DIR...
"""
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile


def fail(text):
    sys.exit("FAIL: " + text)


def run(cli, *args):
    r = subprocess.run([cli, "import", *args], capture_output=True,
                       text=True)
    lines = [json.loads(l) for l in r.stdout.splitlines() if l.strip()]
    return r, lines[:-1], (lines[-1] if lines else None)


def marks(db):
    with sqlite3.connect(db) as c:
        return {int(r[0]): (int(r[1]), r[2], r[3], r[4], r[5])
                for r in c.execute("SELECT number1, marknum, DIMVALUE, DIMUP,"
                                   " DIMLOW, DIMTYPE FROM dim1")}


def stored(db, rows):
    """{(mark, sample): (value, instrument)} of the measure table."""
    out = {}
    with sqlite3.connect(db) as c:
        if not c.execute("SELECT 1 FROM sqlite_master WHERE name='measure'"
                         ).fetchone():
            return out
        for r in c.execute("SELECT position, samplecount, sample1, sample2, "
                           "sample3, sample4, sample5, instrument "
                           "FROM measure"):
            for k in range(1, 6):
                if r[1 + k] is not None:
                    out[(rows[r[0]][0], k)] = (round(r[1 + k], 3), r[7])
    return out


def expected(items):
    """What the review promises to write."""
    return {(int(i["mark"]), i["sample"]): round(i["value"], 3)
            for i in items if i["status"] in ("matched", "overwrites")}


def check_writes_what_it_lists(cli, drawing, db, rows, path, fmt="auto"):
    before = stored(db, rows)
    r, items, summary = run(cli, drawing, path, "--format", fmt)
    if r.returncode != 0 or summary is None:
        fail(f"{path}: review refused: {r.stderr}")
    if stored(db, rows) != before:
        fail(f"{path}: the review alone wrote to the database")
    promised = expected(items)
    r, items2, summary = run(cli, drawing, path, "--format", fmt, "--apply")
    if items2 != items:
        fail(f"{path}: --apply reviewed differently")
    after = stored(db, rows)
    if promised and r.returncode != 0:
        fail(f"{path}: --apply failed: {r.stderr}")
    if summary["written"] != len(promised):
        fail(f"{path}: wrote {summary['written']}, listed {len(promised)}")
    for key, value in promised.items():
        if after.get(key, (None,))[0] != value:
            fail(f"{path}: mark {key[0]} sample {key[1]} holds "
                 f"{after.get(key)}, the review said {value}")
    for key, value in after.items():
        # One instrument per dimension: only the values are the samples'.
        if key not in promised and before.get(key, (None,))[0] != value[0]:
            fail(f"{path}: mark {key[0]} sample {key[1]} changed to {value}"
                 " though the review did not list it")
    return items, after


def pcdmis(serial, blocks):
    out = ["PC-DMIS 2019 R2", "PART NAME  : BRACKET",
           f"REV NUMBER : A          SER NUMBER : {serial}      "
           "STATS COUNT : 1", ""]
    for name, what, axis, nominal, up, low, meas in blocks:
        out += [f"DIM {name}= {what}  UNITS=MM ,$",
                "GRAPH=OFF  TEXT=OFF  MULT=10.00  OUTPUT=BOTH",
                "AX      NOMINAL       +TOL       -TOL       MEAS        DEV"
                "     OUTTOL",
                f"{axis:<3}{nominal:>12.3f}{up:>11.3f}{low:>11.3f}"
                f"{meas:>11.3f}{meas - nominal:>11.3f}{0:>11.3f} ----#----",
                f"END OF DIMENSION {name}", ""]
    return "\r\n".join(out)


def main(cli, source, fixtures):
    work = tempfile.mkdtemp(prefix="dimmark-import-")
    try:
        part = os.path.join(work, "part.dxf")
        shutil.copy(source, part)
        drawing = os.path.join(work, "marked.dxf")
        db = os.path.join(work, "marked.mdb")
        with open(os.path.join(work, "m.csv"), "w") as f:
            f.write("mark,value\n1,80\n")

        # Refused before anything is opened or written.
        r, _, _ = run(cli, drawing, os.path.join(work, "m.csv"))
        if r.returncode != 2 or os.path.exists(db):
            fail("a drawing not numbered: " + r.stderr)
        n = subprocess.run([cli, "number", part, "--save-as", drawing],
                           capture_output=True, text=True)
        if n.returncode != 0:
            fail("number: " + n.stderr)
        rows = marks(db)
        by_mark = {m: (p, v, up, low, kind)
                   for p, (m, v, up, low, kind) in rows.items()}
        drawing_bytes = open(drawing, "rb").read()
        for bad in (["--sample", "6"], ["--format", "xml"]):
            r, _, _ = run(cli, drawing, os.path.join(work, "m.csv"), *bad)
            if r.returncode != 2 or stored(db, rows):
                fail(f"{bad} was not refused cleanly: {r.stderr}")

        linear = [m for m, (_, v, _, _, k) in sorted(by_mark.items())
                  if k == "正交尺寸" and v.replace(".", "").isdigit()]
        diameters = [m for m, (_, v, _, _, k) in sorted(by_mark.items())
                     if k == "直径尺寸" and v.replace(".", "").isdigit()]
        if len(linear) < 4 or not diameters:
            fail("the sample drawing has too few dimensions for the check")

        # A CMM report of two parts, labels in the usual forms; each
        # value tells its own mark and sample.
        forms = ["{}", "ITEM{}", "No.{}", "#{}", "DIM {}"]

        def value(m, k):
            return float(by_mark[m][1]) + m / 1000 + k / 10000

        def blocks(k):
            b = []
            for i, m in enumerate(linear + diameters):
                _, v, up, low, kind = by_mark[m]
                what = ("LOCATION OF CIRCLE CIR1" if kind == "直径尺寸" else
                        "2D DISTANCE FROM PLANE PLN1 TO PLANE PLN2")
                axis = "D" if kind == "直径尺寸" else "M"
                b.append((forms[i % len(forms)].format(m), what, axis,
                          float(v), up, low, value(m, k)))
            b.append(("LOC9", "LOCATION OF PLANE PLN9", "Z", 5.0, 0.1, 0.1,
                      5.01))
            return b
        report = os.path.join(work, "run.txt")
        with open(report, "w", newline="") as f:
            f.write(pcdmis("0001", blocks(1)) + "\r\n" +
                    pcdmis("0002", blocks(2)))
        items, after = check_writes_what_it_lists(cli, drawing, db, rows,
                                                  report, "pcdmis")
        want = {(m, k): (round(value(m, k), 3), "CMM")
                for m in linear + diameters for k in (1, 2)}
        if after != want:
            fail(f"the report stored {sorted(after.items())}, "
                 f"not {sorted(want.items())}")
        loc = [i for i in items if i["label"] == "LOC9"]
        if len(loc) != 2 or any(i["status"] != "unmatched" for i in loc):
            fail(f"a label that is no mark: {loc}")

        # The numbering of another drawing: each label carries the nominal
        # of the next mark. Nothing is written, and it is said.
        shifted = []
        for a, b in zip(linear, linear[1:]):
            if by_mark[a][1] != by_mark[b][1]:
                shifted.append((str(a), "2D DISTANCE", "M",
                                float(by_mark[b][1]), 0.1, 0.1,
                                float(by_mark[b][1]) + 0.01))
        other = os.path.join(work, "other.txt")
        with open(other, "w") as f:
            f.write(pcdmis("0003", shifted))
        before = stored(db, rows)
        r, items, summary = run(cli, drawing, other, "--sample", "3",
                                "--apply")
        if (r.returncode != 2 or "nothing to import" not in r.stderr or
                summary["written"] != 0 or stored(db, rows) != before or
                any(i["status"] != "mismatched" for i in items)):
            fail(f"a shifted numbering: rc {r.returncode} {r.stderr} "
                 f"{[i['status'] for i in items]}")

        # A plain CSV onto a sample already entered: listed as overwriting
        # with the value it replaces, and its instrument kept.
        m = linear[0]
        csv = os.path.join(work, "again.csv")
        with open(csv, "w") as f:
            f.write(f"mark,value,sample,instrument\n"
                    f"{m},{value(m, 1) + 0.002:.4f},1,DC\n"
                    f"{m},{value(m, 3):.4f},3,DC\n")
        items, after = check_writes_what_it_lists(cli, drawing, db, rows, csv)
        if ([i["status"] for i in items] != ["overwrites", "matched"] or
                abs(items[0]["previous"] - value(m, 1)) > 0.001):
            fail(f"overwrite not listed: {items}")
        if after[(m, 3)][1] != "DC":
            fail(f"the file's instrument: {after[(m, 3)]}")
        # The samples taken with the CMM now count as the file's: said.
        if any("仪器将由三次元改为游标卡尺" not in i["reason"] for i in items):
            fail(f"the instrument's change is not listed: {items}")

        # The fixtures of every format: whatever lands is what was listed.
        for d in fixtures:
            for name in sorted(os.listdir(d)):
                if name.endswith((".md", ".LICENSE")) or name == "LICENSE.md":
                    continue
                check_writes_what_it_lists(cli, drawing, db, rows,
                                           os.path.join(d, name))
        if open(drawing, "rb").read() != drawing_bytes:
            fail("the drawing was written")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
