#!/usr/bin/python3
"""dimmark-cli on a DWG drawing: extract lists the same as on the DXF that
the same converter writes from it, an independent reader (ezdxf) finds
those dimensions in that DXF, the picture exported from the DWG has ink
(its layers are on as the DWG has them), and the DWG itself is never
changed. An unreadable DWG ends with the message, exit 2 and no database
beside it.

usage: check_dwg.py DIMMARK_CLI CONVERT_MJS DRAWING.dwg
           (--dims N [--number] | --unreadable)
"""
import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

import ezdxf


def run(cmd):
    return subprocess.run(cmd, capture_output=True, text=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def fail(text):
    sys.exit("FAIL: " + text)


def check_unreadable(cli, dwg, work):
    source = os.path.join(work, "part.dwg")
    shutil.copy(dwg, source)
    r = run([cli, "extract", source])
    if r.returncode != 2:
        fail("exit %d, not 2: %s" % (r.returncode, r.stderr))
    lines = r.stderr.strip().split("\n")
    if lines[0] != "AutoCAD启动出现错误！请检查AutoCAD系统！":
        fail("first line: " + r.stderr)
    if "DWG 图纸“part.dwg”无法转换：" not in r.stderr:
        fail("the message names no file and reason: " + r.stderr)
    if r.stdout:
        fail("output on failure: " + r.stdout)
    if sorted(os.listdir(work)) != ["part.dwg"]:
        fail("files left beside the drawing: %s" % os.listdir(work))
    if read(source) != read(dwg):
        fail("the drawing was changed")


def extract(cli, drawing):
    r = run([cli, "extract", drawing])
    if r.returncode != 0:
        fail("extract %s: %s" % (drawing, r.stderr))
    return [json.loads(line) for line in r.stdout.splitlines()]


def check_against_ezdxf(dxf, records, dims):
    """The dimensions extract lists are those another reader finds."""
    msp = list(ezdxf.readfile(dxf).modelspace())
    found = [i for i, e in enumerate(msp) if "DIMENSION" in e.dxftype()]
    if len(found) != dims:
        fail("ezdxf finds %d dimensions, extract %d" % (len(found), dims))
    summary = records[-1]
    for rec in records[:-1]:
        if "position" not in rec or not rec["type"]:
            continue
        e = msp[rec["entityIndex"]]
        if e.dxftype() not in ("DIMENSION", "ARC_DIMENSION",
                               "LARGE_RADIAL_DIMENSION"):
            fail("entity %d is a %s" % (rec["entityIndex"], e.dxftype()))
        x, y, _ = e.dxf.text_midpoint
        if not (math.isclose(x, rec["x"], rel_tol=1e-6, abs_tol=1e-3) and
                math.isclose(y, rec["y"], rel_tol=1e-6, abs_tol=1e-3)):
            fail("text of dimension %d at %s, extract says %s, %s" %
                 (rec["entityIndex"], (x, y), rec["x"], rec["y"]))
        # The measurement the CAD stored, where the file has one.
        stored = e.dxf.get("actual_measurement")
        if stored is not None:
            if rec["type"] == "角度尺寸":
                stored = math.degrees(stored)
            step = 0.5 * 10 ** -summary["dimDecimals"] + 1e-9
            if abs(float(rec["value"]) - stored) > step:
                fail("dimension %d measures %s, the drawing stored %s" %
                     (rec["entityIndex"], rec["value"], stored))


def check_ink(cli, dwg, work):
    """The drawing exported as a picture shows something."""
    from PIL import Image
    png = os.path.join(work, "picture.png")
    r = run([cli, "export", dwg, "--png", png, "--width", "400"])
    if r.returncode != 0:
        fail("export: " + r.stderr)
    image = Image.open(png).convert("RGB")
    paper = image.getpixel((0, 0))
    ink = sum(1 for p in image.getdata() if p != paper)
    if ink < 200:
        fail("the exported picture is blank (%d pixels of ink)" % ink)


def check_readable(cli, converter, dwg, work, dims, number):
    a = os.path.join(work, "a")
    b = os.path.join(work, "b")
    os.makedirs(a)
    os.makedirs(b)
    source = shutil.copy(dwg, os.path.join(a, "part.dwg"))
    from_dwg = extract(cli, source)
    if not os.path.exists(os.path.join(a, "part.mdb")):
        fail("no database beside the DWG")
    if read(source) != read(dwg):
        fail("the DWG was changed")

    dxf = os.path.join(b, "part.dxf")
    r = run(["node", converter, dwg, dxf])
    if r.returncode != 0:
        fail("the converter: " + r.stderr)
    from_dxf = extract(cli, dxf)
    if from_dwg != from_dxf:
        for x, y in zip(from_dwg, from_dxf):
            if x != y:
                print("DWG:", x, "\nDXF:", y)
        fail("extract differs between the DWG and its DXF")
    if from_dwg[-1]["dimCount"] != dims:
        fail("dimCount %d, not %d" % (from_dwg[-1]["dimCount"], dims))
    check_against_ezdxf(dxf, from_dwg, dims)
    check_ink(cli, dwg, work)

    if number:
        c = os.path.join(work, "c")
        os.makedirs(c)
        source = shutil.copy(dwg, os.path.join(c, "part.dwg"))
        marked = os.path.join(c, "part.dxf")
        r = run([cli, "number", source, "--save-as", marked])
        if r.returncode != 0:
            fail("number: " + r.stderr)
        if len(r.stdout.splitlines()) < dims:
            fail("browse list: " + r.stdout)
        doc = ezdxf.readfile(marked)
        circles = [e for e in doc.modelspace() if e.dxftype() == "CIRCLE"]
        if len(circles) < dims:
            fail("%d marks in the saved drawing" % len(circles))
        # Saved with its layers as the DWG has them: on, here.
        off = [layer.dxf.name for layer in doc.layers if layer.is_off()]
        if off:
            fail("layers off in the saved drawing: %s" % off)
        if read(source) != read(dwg):
            fail("the DWG was changed")
        r = run([cli, "number", source, "--save-as", source])
        if r.returncode == 0 or read(source) != read(dwg):
            fail("saved over the DWG")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("converter")
    p.add_argument("dwg")
    p.add_argument("--dims", type=int)
    p.add_argument("--number", action="store_true")
    p.add_argument("--unreadable", action="store_true")
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="dimmark-dwg-")
    try:
        if a.unreadable:
            check_unreadable(a.cli, a.dwg, work)
        else:
            check_readable(a.cli, a.converter, a.dwg, work, a.dims, a.number)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok")


main()
