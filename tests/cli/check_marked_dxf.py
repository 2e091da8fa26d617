#!/usr/bin/python3
"""Numbers a drawing with dimmark-cli and checks the marked drawing with an
independent DXF reader (ezdxf): it must load and audit clean, and every
mark must stand where the marking rules put it beside a dimension text.

usage: check_marked_dxf.py DIMMARK_CLI DRAWING
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile

import ezdxf


def main(cli, drawing):
    work = tempfile.mkdtemp(prefix="dimmark-marked-")
    try:
        source = os.path.join(work, "part.dxf")
        shutil.copy(drawing, source)
        marked = os.path.join(work, "marked.dxf")
        run = subprocess.run([cli, "number", source, "--save-as", marked],
                             capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit("dimmark-cli number failed: " + run.stderr)
        entries = run.stdout.split()
        before = ezdxf.readfile(source)
        after = ezdxf.readfile(marked)
        auditor = after.audit()
        if auditor.has_errors:
            sys.exit("the marked drawing does not audit clean: %s" %
                     [str(e.message) for e in auditor.errors])

        # Every kind of dimension is numbered beside its text.
        dims = [e for e in after.modelspace()
                if e.dxftype() in ("DIMENSION", "ARC_DIMENSION",
                                   "LARGE_RADIAL_DIMENSION")]
        old = {e.dxf.handle for e in before.modelspace()}
        new = [e for e in after.modelspace() if e.dxf.handle not in old]
        circles = [e for e in new if e.dxftype() == "CIRCLE"]
        texts = [e for e in new if e.dxftype() == "TEXT"]
        if len(circles) != len(entries) or len(texts) != len(entries):
            sys.exit("%d entries but %d circles and %d texts" %
                     (len(entries), len(circles), len(texts)))
        radius = circles[0].dxf.radius
        clayer = after.header.get("$CLAYER", "0")
        text_points = [(d.dxf.text_midpoint.x, d.dxf.text_midpoint.y)
                       for d in dims]
        if len(entries) != len(dims):
            sys.exit("%d entries for %d dimensions" % (len(entries), len(dims)))
        for p, (circle, text) in enumerate(zip(circles, texts), start=1):
            entry_number = entries[p - 1].split("------")[0]
            if text.dxf.text != entry_number:
                sys.exit("mark %d shows %r" % (p, text.dxf.text))
            h = text.dxf.height
            want = radius * (1.2 if p < 10 else 1.0 if p < 99 else 0.6)
            if abs(h - want) > 1e-5 or abs(circle.dxf.radius - radius) > 1e-9:
                sys.exit("mark %d has height %g, radius %g" %
                         (p, h, circle.dxf.radius))
            c = circle.dxf.center
            t = text.dxf.insert
            if (abs(t.x - (c.x - 0.8 * radius)) > 1e-4 or
                    abs(t.y - (c.y - 0.5 * h + 0.1 * radius)) > 1e-4):
                sys.exit("mark %d: text at %s, circle at %s" % (p, t, c))
            # The dimension text lies 3h right of the centre, 0.5h below.
            x, y = c.x + 3 * h, c.y - 0.5 * h
            if not any(math.hypot(x - tx, y - ty) < 1e-3
                       for tx, ty in text_points):
                sys.exit("mark %d at %s stands beside no dimension text" %
                         (p, c))
            if circle.dxf.layer != clayer or text.dxf.layer != clayer:
                sys.exit("mark %d is not on the current layer" % p)
        print("%d marks checked in %s" % (len(entries), drawing))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
