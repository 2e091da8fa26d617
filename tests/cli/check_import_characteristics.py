#!/usr/bin/python3
"""dimmark-cli import onto a drawing numbered with its frames, roughness and
notes: a frame's result lands on its mark, a composite frame's on the row its
label names ("38.2"); a result whose kind or nominal contradicts the frame,
and any number for a note, is listed as mismatched and never written.

usage: check_import_characteristics.py DIMMARK_CLI DRAWING.dxf
"""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

from check_import import fail, pcdmis, run


def stored(db):
    """{mark text: [sample1..5]} of the measure table."""
    with sqlite3.connect(db) as c:
        marks = dict(c.execute("SELECT number1, marknum FROM dim1"))
        if not c.execute("SELECT 1 FROM sqlite_master WHERE name='measure'"
                         ).fetchone():
            return {}
        return {str(marks[r[0]]): [None if v is None else round(v, 4)
                                   for v in r[1:]]
                for r in c.execute("SELECT position, sample1, sample2, "
                                   "sample3, sample4, sample5 FROM measure")}


def main(cli, source):
    work = tempfile.mkdtemp(prefix="dimmark-import-chars-")
    try:
        part = os.path.join(work, "part.dxf")
        shutil.copy(source, part)
        drawing = os.path.join(work, "marked.dxf")
        db = os.path.join(work, "marked.mdb")
        n = subprocess.run([cli, "number", part, "--characteristics", "all",
                            "--save-as", drawing], capture_output=True,
                           text=True)
        if n.returncode != 0:
            fail("number: " + n.stderr)
        with sqlite3.connect(db) as c:
            kinds = {str(m): (t, up) for m, t, up in c.execute(
                "SELECT marknum, DIMTYPE, DIMUP FROM dim1")}

        def mark(kind, composite=False):
            for m, (t, _) in sorted(kinds.items(), key=lambda e: float(e[0])):
                if t == kind and m.endswith(".2") == composite and \
                        (composite or m.endswith(".0")):
                    return m
            fail(f"the fixture has no {kind} mark")

        pos2 = mark("形位公差/位置度", composite=True)      # "38.2"
        flat = mark("形位公差/平面度")
        other_pos = mark("形位公差/位置度")
        perp = mark("形位公差/垂直度")
        note = mark("技术要求")
        label = {m: m[:-2] if m.endswith(".0") else m
                 for m in (pos2, flat, other_pos, perp, note)}
        blocks = [
            (label[pos2], "TRUE POSITION OF CIRCLE CIR1", "TP", 0.0,
             kinds[pos2][1], 0.0, 0.04),
            ("FCF" + label[flat], "FLATNESS OF PLANE PLN1", "M", 0.0,
             kinds[flat][1], 0.0, 0.03),
            # A flatness result is never put on a position frame.
            (label[other_pos], "FLATNESS OF PLANE PLN2", "M", 0.0,
             kinds[other_pos][1], 0.0, 0.02),
            # A linear size of 10 on a frame: another numbering.
            (label[perp], "2D DISTANCE FROM PLANE PLN1 TO PLANE PLN2", "M",
             10.0, 0.1, 0.1, 10.01),
            # A note takes 合格 or 不合格, never a number.
            (label[note], "2D DISTANCE FROM PLANE PLN3 TO PLANE PLN4", "M",
             0.0, 0.1, 0.1, 0.01),
        ]
        report = os.path.join(work, "cmm.txt")
        with open(report, "w", newline="") as f:
            f.write(pcdmis("0001", blocks))
        r, items, summary = run(cli, drawing, report, "--apply")
        status = {i["label"]: i["status"] for i in items}
        want = {label[pos2]: "matched", "FCF" + label[flat]: "matched",
                label[other_pos]: "mismatched", label[perp]: "mismatched",
                label[note]: "mismatched"}
        if status != want:
            fail(f"review {status}, not {want}: {r.stderr}")
        if summary["written"] != 2 or r.returncode != 0:
            fail(f"written {summary}: rc {r.returncode} {r.stderr}")
        got = stored(db)
        expect = {pos2: [0.04, None, None, None, None],
                  flat: [0.03, None, None, None, None]}
        if got != expect:
            fail(f"stored {got}, not {expect}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
