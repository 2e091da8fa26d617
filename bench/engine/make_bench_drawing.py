#!/usr/bin/python3
"""Writes the drawing of the engine benchmark: about 30,000 model-space
entities, 5,000 of them dimensions (every kind, some toleranced, their
blocks rendered), about 20 MB of R2018 DXF.

usage: make_bench_drawing.py OUTPUT.dxf [TOTAL DIMENSIONS]
"""

import math
import random
import sys

import ezdxf

TOTAL = 30000
DIMENSIONS = 5000


def main(path):
    global TOTAL, DIMENSIONS
    if len(sys.argv) == 4:
        TOTAL, DIMENSIONS = int(sys.argv[2]), int(sys.argv[3])
    random.seed(20240611)
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new("R2018", setup=True)
    doc.layers.add("标注", color=3)
    doc.layers.add("轮廓", color=7)
    style = doc.dimstyles.new("BENCH")
    for key, value in {"dimtxt": 2.5, "dimasz": 2.5, "dimgap": 0.625,
                       "dimexo": 0.625, "dimexe": 1.25, "dimdec": 2,
                       "dimtdec": 2, "dimlfac": 1.0, "dimtad": 1}.items():
        style.dxf.set(key, value)
    msp = doc.modelspace()
    tolerances = [None, {"dimtol": 1, "dimtp": 0.05, "dimtm": 0.05},
                  {"dimtol": 1, "dimtp": 0.1, "dimtm": 0.02},
                  {"dimlim": 1, "dimtp": 0.02, "dimtm": 0.01}]
    attribs = {"layer": "标注"}
    for i in range(DIMENSIONS):
        x = (i % 100) * 60.0
        y = (i // 100) * 60.0
        kind = i % 6
        override = tolerances[i % 4]
        if kind in (0, 1):
            length = 5 + random.random() * 40
            dim = msp.add_linear_dim(base=(x, y + 10), p1=(x, y),
                                     p2=(x + length, y), angle=90 * kind,
                                     dimstyle="BENCH", override=override,
                                     dxfattribs=attribs)
        elif kind == 2:
            dim = msp.add_radius_dim(center=(x + 20, y + 20),
                                     radius=3 + random.random() * 10,
                                     angle=45, dimstyle="BENCH",
                                     override=override, dxfattribs=attribs)
        elif kind == 3:
            dim = msp.add_diameter_dim(center=(x + 20, y + 20),
                                       radius=3 + random.random() * 10,
                                       angle=30, dimstyle="BENCH",
                                       override=override, dxfattribs=attribs)
        elif kind == 4:
            a = math.radians(20 + random.random() * 120)
            dim = msp.add_angular_dim_2l(
                base=(x + 12 * math.cos(a / 2), y + 12 * math.sin(a / 2)),
                line1=((x, y), (x + 20, y)),
                line2=((x, y), (x + 20 * math.cos(a), y + 20 * math.sin(a))),
                dimstyle="BENCH", dxfattribs=attribs)
        else:
            dim = msp.add_ordinate_x_dim(feature_location=(x + 30, y + 5),
                                         offset=(0, 10), origin=(x, y),
                                         dimstyle="BENCH", dxfattribs=attribs)
        dim.render()
    others = TOTAL - DIMENSIONS
    for i in range(others):
        x = random.random() * 6000
        y = random.random() * 3000
        kind = i % 5
        if kind == 0:
            msp.add_line((x, y), (x + random.random() * 50, y + 10),
                         dxfattribs={"layer": "轮廓"})
        elif kind == 1:
            msp.add_circle((x, y), 1 + random.random() * 10)
        elif kind == 2:
            msp.add_arc((x, y), 5, 10, 200)
        elif kind == 3:
            msp.add_text("零件 %d" % i, dxfattribs={"height": 2.5,
                                                   "insert": (x, y)})
        else:
            # Outlines: a zigzag of 36 vertices, the last corner rounded.
            points = [(x + k, y + (k % 2) * 3) for k in range(36)]
            points.append((x + 36, y + 5, 0.5))
            msp.add_lwpolyline(points, close=True)
    msp.dxf.extmin = (-100, -100, 0)
    msp.dxf.extmax = (6200, 3200, 0)
    doc.saveas(path)


if __name__ == "__main__":
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    main(sys.argv[1])
