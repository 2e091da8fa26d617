#!/usr/bin/python3
"""dimmark-cli adopt on a drawing numbered by hand: the number texts on the
given layer (or of the given colour) become the rows of the drawing's
database in number order, each with its own number and the dimension
nearest to it; the list is printed; the drawing itself is never written,
and --save-as writes one an independent reader (ezdxf) opens, with the
marks' layer current. A run that adopts nothing, or is refused, leaves no
database behind, so that the next run starts afresh.

usage: check_adopt.py DIMMARK_CLI HAND_NUMBERED.dxf
"""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

import ezdxf


def fail(text):
    sys.exit("FAIL: " + text)


def run(cli, *args):
    return subprocess.run([cli, "adopt", *args], capture_output=True,
                          text=True)


def rows(db):
    with sqlite3.connect(db) as c:
        return c.execute("SELECT marknum, DIMVALUE, DIMX, DIMY FROM dim1 "
                         "ORDER BY number1").fetchall()


def nearest_dimension(doc, x, y):
    best = None
    for d in doc.modelspace().query("DIMENSION"):
        p = d.dxf.text_midpoint
        dist = (p.x - x) ** 2 + (p.y - y) ** 2
        if best is None or dist < best[0]:
            best = (dist, p)
    return best[1]


def main(cli, drawing):
    work = tempfile.mkdtemp(prefix="dimmark-adopt-")
    try:
        source = os.path.join(work, "part.dxf")
        shutil.copy(drawing, source)
        original = open(source, "rb").read()
        db = os.path.join(work, "part.mdb")

        # Refused before anything is opened.
        for args in (["--layer", "MARKS", "--colour", "1"], [],
                     ["--colour", "256"], ["--colour", "x"],
                     ["--layer", "MARKS", "--save-as", source]):
            r = run(cli, source, *args)
            if r.returncode != 2 or os.path.exists(db):
                fail("%s: exit %d, database %s" %
                     (args, r.returncode, os.path.exists(db)))

        # Nothing to adopt on layer 0, a layer the drawing lacks: told,
        # and no database stays.
        for layer, words in (("0", "图层“0”"), ("NO_SUCH", "NO_SUCH")):
            r = run(cli, source, "--layer", layer)
            if r.returncode != 2 or words not in r.stderr:
                fail("layer %s: exit %d, %r" % (layer, r.returncode, r.stderr))
            if os.path.exists(db):
                fail("layer %s left a database behind" % layer)

        marked = os.path.join(work, "adopted.dxf")
        r = run(cli, source, "--layer", "MARKS", "--save-as", marked)
        if r.returncode != 0:
            fail("adopt failed: " + r.stderr)
        entries = r.stdout.split()
        got = rows(db)
        numbers = [int(m) for m, _, _, _ in got]
        if numbers != sorted(numbers) or len(numbers) < 2:
            fail("rows not in number order: %s" % numbers)
        if [e.split("------")[0] for e in entries] != [str(n) for n in numbers]:
            fail("list %s does not follow the rows %s" % (entries, numbers))

        # Each row is the dimension nearest to the text with its number.
        doc = ezdxf.readfile(source)
        texts = {}
        for t in doc.modelspace().query("TEXT[layer=='MARKS']"):
            try:
                texts.setdefault(int(t.dxf.text.strip().rstrip("A")),
                                 t.dxf.insert)
            except ValueError:
                pass
        for number, _, x, y in got:
            at = texts[int(number)]
            p = nearest_dimension(doc, at.x, at.y)
            if abs(p.x - x) > 1e-3 or abs(p.y - y) > 1e-3:
                fail("mark %d holds (%g, %g), nearest is (%g, %g)" %
                     (number, x, y, p.x, p.y))

        if open(source, "rb").read() != original:
            fail("the drawing itself was written")
        saved = ezdxf.readfile(marked)
        if saved.audit().has_errors:
            fail("the saved drawing does not audit clean")
        if saved.header["$CLAYER"] != "MARKS":
            fail("the saved drawing's current layer is %s" %
                 saved.header["$CLAYER"])

        # Adopted once: a second run is refused and keeps the rows.
        r = run(cli, source, "--layer", "MARKS")
        if r.returncode != 2 or rows(db) != got:
            fail("a second adoption: exit %d" % r.returncode)
    finally:
        shutil.rmtree(work)
    print("ok")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
