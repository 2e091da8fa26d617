#!/usr/bin/python3
"""Writes the drawing of the viewer benchmark: 100,000 model-space
entities, about 20 MB of R2018 DXF, of the kinds a large part drawing
holds: outlines, holes, arcs, polylines with arcs, Chinese texts and
notes, hatches, block references with attributes, dimensions with their
blocks.

usage: make_viewer_drawing.py OUTPUT.dxf
"""

import math
import random
import sys

import ezdxf

TOTAL = 100000
DIMENSIONS = 3000
HATCHES = 500
INSERTS = 2000


def main(path):
    random.seed(4)
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new("R2018", setup=True)
    for name, color in (("轮廓", 7), ("中心线", 1), ("标注", 3), ("文字", 2),
                        ("剖面", 4)):
        doc.layers.add(name, color=color)
    doc.layers.get("中心线").dxf.linetype = "CENTER"
    style = doc.dimstyles.new("BENCH")
    for key, value in {"dimtxt": 2.5, "dimasz": 2.5, "dimdec": 2,
                       "dimtad": 1}.items():
        style.dxf.set(key, value)
    bolt = doc.blocks.new("BOLT")
    bolt.add_circle((0, 0), 3)
    bolt.add_lwpolyline([(-2, -2), (2, -2), (2, 2), (-2, 2)], close=True)
    bolt.add_line((-4, 0), (4, 0), dxfattribs={"layer": "中心线"})
    bolt.add_attdef("NO", (4, 4), dxfattribs={"height": 2})
    msp = doc.modelspace()
    count = 0
    for i in range(DIMENSIONS):
        x, y = random.random() * 8000, random.random() * 5000
        d = msp.add_linear_dim(base=(x, y + 8), p1=(x, y),
                               p2=(x + 5 + random.random() * 30, y),
                               dimstyle="BENCH", dxfattribs={"layer": "标注"})
        d.render()
        count += 1
    for i in range(HATCHES):
        x, y = random.random() * 8000, random.random() * 5000
        h = msp.add_hatch(dxfattribs={"layer": "剖面"})
        if i % 2:
            h.set_pattern_fill("ANSI31", scale=0.5)
        h.paths.add_polyline_path([(x, y), (x + 20, y), (x + 20, y + 10),
                                   (x, y + 10)], is_closed=True)
        count += 1
    for i in range(INSERTS):
        x, y = random.random() * 8000, random.random() * 5000
        ref = msp.add_blockref("BOLT", (x, y),
                               dxfattribs={"rotation": random.random() * 360})
        ref.add_auto_attribs({"NO": str(i)})
        count += 1
    kinds = 6
    i = 0
    while count < TOTAL:
        x, y = random.random() * 8000, random.random() * 5000
        k = i % kinds
        if k == 0:
            msp.add_line((x, y), (x + random.random() * 40, y + 10),
                         dxfattribs={"layer": "轮廓"})
        elif k == 1:
            msp.add_circle((x, y), 1 + random.random() * 8,
                           dxfattribs={"layer": "轮廓"})
        elif k == 2:
            msp.add_arc((x, y), 5, 10, 200, dxfattribs={"layer": "轮廓"})
        elif k == 3:
            msp.add_text("零件 %d" % i, dxfattribs={
                "height": 2.5, "insert": (x, y), "layer": "文字"})
        elif k == 4:
            pts = [(x + j, y + (j % 2) * 3, 0) for j in range(12)]
            pts.append((x + 12, y + 5, 0.5))
            msp.add_lwpolyline(pts, format="xyb", close=True,
                               dxfattribs={"layer": "轮廓"})
        else:
            msp.add_mtext("技术要求\\P1. 未注倒角 C%d" % (i % 3),
                          dxfattribs={"char_height": 2.5, "insert": (x, y),
                                      "layer": "文字", "width": 40})
        count += 1
        i += 1
    doc.saveas(path)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
