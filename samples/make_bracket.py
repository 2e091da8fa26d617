#!/usr/bin/python3
"""Writes samples/bracket.dxf, the sample drawing that comes with DimMark:
a bent steel bracket in two views on an A4 sheet, 26 dimensions (some with
tolerances), a zoned frame, technical requirements and a Chinese title
block. R2000 in the GBK code page, as Chinese drawings often are.

usage: /usr/bin/python3 samples/make_bracket.py   (Debian's python3-ezdxf)
"""

import math
import os

import ezdxf
from ezdxf.enums import TextEntityAlignment

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new("R2000", setup=True)
    doc.encoding = "gbk"
    doc.header["$DWGCODEPAGE"] = "ANSI_936"
    doc.header["$MEASUREMENT"] = 1
    doc.header["$INSUNITS"] = 4  # millimetres

    for name, color, ltype in [("轮廓线", 7, "Continuous"),
                               ("中心线", 1, "CENTER"),
                               ("尺寸标注", 3, "Continuous"),
                               ("文字", 7, "Continuous"),
                               ("图框", 7, "Continuous"),
                               ("虚线", 2, "DASHED")]:
        doc.layers.add(name, color=color, linetype=ltype)
    doc.styles.new("HZ", dxfattribs={"font": "gbenor.shx",
                                     "bigfont": "gbcbig.shx",
                                     "width": 0.7})
    gb = doc.dimstyles.new("GB-35")
    for key, value in {"dimtxt": 3.5, "dimasz": 3.0, "dimexe": 2.0,
                       "dimexo": 1.0, "dimgap": 1.0, "dimdec": 2,
                       "dimtdec": 3, "dimadec": 0, "dimtad": 1, "dimtih": 0,
                       "dimtoh": 0, "dimzin": 8, "dimtzin": 8, "dimtolj": 0,
                       "dimtfac": 0.7, "dimlfac": 1.0, "dimdsep": 46,
                       "dimclrd": 3, "dimclre": 3, "dimclrt": 3}.items():
        gb.dxf.set(key, value)
    gb.dxf.dimtxsty = "HZ"

    msp = doc.modelspace()
    outline = {"layer": "轮廓线"}
    center = {"layer": "中心线"}
    dims = {"layer": "尺寸标注"}

    # ---- sheet: A4 landscape frame, zone labels, title block ----------
    frame = {"layer": "图框"}
    msp.add_lwpolyline([(0, 0), (297, 0), (297, 210), (0, 210)], close=True,
                       dxfattribs=frame)
    msp.add_lwpolyline([(10, 10), (287, 10), (287, 200), (10, 200)],
                       close=True, dxfattribs=dict(frame, const_width=0.5))
    for k in range(8):
        x = 10 + k * 277 / 8
        if k:
            msp.add_line((x, 200), (x, 205), dxfattribs=frame)
            msp.add_line((x, 5), (x, 10), dxfattribs=frame)
        for y in (202.5, 7.5):
            t = msp.add_text(str(k + 1), dxfattribs={"height": 2.5,
                                                      "layer": "图框"})
            t.set_placement((x + 277 / 16, y),
                            align=TextEntityAlignment.MIDDLE_CENTER)
    for k in range(4):
        y = 200 - k * 190 / 4
        if k:
            msp.add_line((5, y), (10, y), dxfattribs=frame)
            msp.add_line((287, y), (292, y), dxfattribs=frame)
        for x in (7.5, 289.5):
            t = msp.add_text("ABCD"[k], dxfattribs={"height": 2.5,
                                                     "layer": "图框"})
            t.set_placement((x, y - 190 / 8),
                            align=TextEntityAlignment.MIDDLE_CENTER)

    # Title block, 140 x 32 in the lower right corner.
    x0, y0 = 147, 10
    for y in (18, 26, 34, 42):
        msp.add_line((x0, y0 + y - 10), (287, y0 + y - 10), dxfattribs=frame)
    msp.add_line((x0, y0), (x0, y0 + 32), dxfattribs=frame)
    for x in (20, 50, 70, 100):
        msp.add_line((x0 + x, y0), (x0 + x, y0 + 32), dxfattribs=frame)
    text = {"layer": "文字", "style": "HZ"}

    def put(s, x, y, h=3.5):
        t = msp.add_text(s, dxfattribs=dict(text, height=h))
        t.set_placement((x, y), align=TextEntityAlignment.MIDDLE_CENTER)

    put("支架", x0 + 35, y0 + 28, 5)
    put("DM-2024-017", x0 + 120, y0 + 28)
    put("设计", x0 + 10, y0 + 20)
    put("张工", x0 + 35, y0 + 20)
    put("材料", x0 + 60, y0 + 20)
    put("Q235-A", x0 + 85, y0 + 20)
    put("审核", x0 + 10, y0 + 12)
    put("李工", x0 + 35, y0 + 12)
    put("比例", x0 + 60, y0 + 12)
    put("1:1", x0 + 85, y0 + 12)
    put("日期", x0 + 10, y0 + 4)
    put("2024-06-11", x0 + 35, y0 + 4, 3)
    put("数量", x0 + 60, y0 + 4)
    put("1", x0 + 85, y0 + 4)
    put("东莞精密五金有限公司", x0 + 120, y0 + 12, 3.5)
    put("单位：mm", x0 + 120, y0 + 4, 3)
    msp.add_mtext("技术要求\\P1. 未注线性尺寸公差按GB/T 1804-m。"
                  "\\P2. 去除毛刺，锐边倒钝0.3。\\P3. 表面发黑处理。",
                  dxfattribs={"insert": (20, 48), "char_height": 3.5,
                              "width": 110, "layer": "文字", "style": "HZ"})

    # ---- front view: the plate, 120 x 80, four holes, a bore, a slot ----
    L, B, W, H = 30.0, 80.0, 120.0, 80.0  # left, bottom, width, height
    r = 8.0
    b = math.tan(math.radians(90) / 4)  # bulge of a quarter circle
    # Rounded top corners, a slot in the top edge, a 5 mm chamfer at the
    # lower left.
    plate = [(L + 5, B), (L + W, B), (L + W, B + H - r, 0, 0, b),
             (L + W - r, B + H), (L + 75, B + H), (L + 75, B + H - 12),
             (L + 55, B + H - 12), (L + 55, B + H), (L + r, B + H, 0, 0, b),
             (L, B + H - r), (L, B + 5)]
    msp.add_lwpolyline(plate, format="xyseb", close=True, dxfattribs=outline)
    holes = [(L + 15, B + 15), (L + 105, B + 15), (L + 15, B + 65),
             (L + 105, B + 65)]
    for hx, hy in holes:
        msp.add_circle((hx, hy), 5, dxfattribs=outline)
        msp.add_line((hx - 8, hy), (hx + 8, hy), dxfattribs=center)
        msp.add_line((hx, hy - 8), (hx, hy + 8), dxfattribs=center)
    bore = (L + 60, B + 40)
    msp.add_circle(bore, 15, dxfattribs=outline)
    msp.add_line((bore[0] - 20, bore[1]), (bore[0] + 20, bore[1]),
                 dxfattribs=center)
    msp.add_line((bore[0], bore[1] - 20), (bore[0], bore[1] + 20),
                 dxfattribs=center)

    def dim(d):
        d.render()
        return d

    tol = lambda up, low: {"dimtol": 1, "dimtp": up, "dimtm": low}  # noqa
    dim(msp.add_linear_dim(base=(0, B - 14), p1=(L, B + 5), p2=(L + W, B),
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(L - 14, 0), p1=(L + 5, B), p2=(L + r, B + H),
                           angle=90, dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B - 7), p1=holes[0], p2=holes[1],
                           dimstyle="GB-35", override=tol(0.1, 0.1),
                           dxfattribs=dims))
    dim(msp.add_linear_dim(base=(L + W + 10, 0), p1=holes[1], p2=holes[3],
                           angle=90, dimstyle="GB-35", override=tol(0.1, 0.1),
                           dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B - 21), p1=(L, B + 5), p2=holes[0],
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(L + W + 18, 0), p1=(L + W, B), p2=holes[1],
                           angle=90, dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_diameter_dim(center=holes[2], radius=5, angle=135,
                             text="4×%%c<>", dimstyle="GB-35",
                             dxfattribs=dims))
    dim(msp.add_diameter_dim(center=bore, radius=15, angle=30,
                             text="%%c<>H7", dimstyle="GB-35",
                             override=tol(0.021, 0.0), dxfattribs=dims))
    dim(msp.add_radius_dim(center=(L + W - r, B + H - r), radius=r, angle=45,
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B + 28), p1=(L, B + 20), p2=bore,
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(L + 40, 0), p1=(L + 60, B), p2=bore,
                           angle=90, dimstyle="GB-35", override=tol(0.05, 0.05),
                           dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B + H + 10), p1=(L + 55, B + H),
                           p2=(L + 75, B + H), dimstyle="GB-35",
                           override={"dimlim": 1, "dimtp": 0.1, "dimtm": 0.0},
                           dxfattribs=dims))
    dim(msp.add_linear_dim(base=(L + 85, 0), p1=(L + 75, B + H),
                           p2=(L + 75, B + H - 12), angle=90,
                           dimstyle="GB-35", dxfattribs=dims))
    # The chamfer against the bottom edge, left of its corner. (ezdxf draws
    # the angle counter-clockwise from the ray toward the second line's far
    # end to the ray toward the first line's.)
    dim(msp.add_angular_dim_2l(base=(L - 3, B + 2),
                               line1=((L + 5, B), (L - 10, B)),
                               line2=((L, B + 5), (L + 5, B)),
                               dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_aligned_dim(p1=(L + 5, B), p2=(L, B + 5), distance=-6,
                            text="C5", dimstyle="GB-35", dxfattribs=dims))

    # ---- side view: 6 mm sheet bent to a 40 mm flange -------------------
    S = 200.0
    t = 6.0
    side = [(S, B), (S + 40, B), (S + 40, B + t), (S + t + 3, B + t, 0, 0, -b),
            (S + t, B + t + 3), (S + t, B + H), (S, B + H), (S, B)]
    msp.add_lwpolyline(side, format="xyseb", close=True, dxfattribs=outline)
    # A through hole of 8 in the flange, seen edge-on.
    hidden = {"layer": "虚线"}
    for x in (S + 21, S + 29):
        msp.add_line((x, B), (x, B + t), dxfattribs=hidden)
    msp.add_line((S + 25, B - 3), (S + 25, B + t + 3), dxfattribs=center)
    dim(msp.add_linear_dim(base=(0, B + H + 8), p1=(S, B + H),
                           p2=(S + t, B + H), dimstyle="GB-35",
                           override=tol(0.05, 0.05), dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B - 14), p1=(S, B), p2=(S + 40, B),
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(S + 52, 0), p1=(S + 40, B), p2=(S, B + H),
                           angle=90, dimstyle="GB-35",
                           override={"dimgap": -1.0}, dxfattribs=dims))
    dim(msp.add_radius_dim(center=(S + t + 3, B + t + 3), radius=3, angle=225,
                           text="R<>", dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(S + 48, 0), p1=(S + 40, B),
                           p2=(S + 40, B + t), angle=90, dimstyle="GB-35",
                           override=tol(0.0, 0.1), dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B - 7), p1=(S, B), p2=(S + 25, B),
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B + t + 8), p1=(S + 21, B + t),
                           p2=(S + 29, B + t), text="%%c<>通孔",
                           dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_angular_dim_3p(base=(S + 15, B + 15), center=(S, B),
                               p1=(S + 40, B), p2=(S, B + H),
                               dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_ordinate_x_dim(feature_location=(S + 25, B + H),
                               offset=(0, 12), origin=(S, B),
                               dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_ordinate_y_dim(feature_location=(S + t, B + H - 20),
                               offset=(12, 0), origin=(S, B),
                               dimstyle="GB-35", dxfattribs=dims))
    dim(msp.add_linear_dim(base=(0, B - 21), p1=(S, B), p2=(S + 40, B),
                           text="<>(展开46.3)", dimstyle="GB-35",
                           dxfattribs=dims))

    doc.header["$CLAYER"] = "0"
    doc.header["$CECOLOR"] = 256
    doc.header["$DIMSTYLE"] = "GB-35"
    doc.header["$DIMTXT"] = 3.5
    doc.header["$DIMDEC"] = 2
    doc.header["$DIMLFAC"] = 1.0
    doc.header["$TEXTSTYLE"] = "HZ"
    msp.dxf.extmin = (0, 0, 0)
    msp.dxf.extmax = (297, 210, 0)
    doc.saveas(os.path.join(HERE, "bracket.dxf"))


if __name__ == "__main__":
    main()
