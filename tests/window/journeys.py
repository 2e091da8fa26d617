#!/usr/bin/python3
"""The window journeys: the real dimmark, used as a person uses it.

usage: journeys.py NAME --bin build/bin/dimmark [--out DIR] [--size WxH]
       journeys.py --list

DIMMARK_BIN, when set, names the program to drive instead of --bin (to try
the journeys against another build). Each journey works on copies of the
drawings in a folder of its own and leaves its pictures, the accessibility
tree of a failure and the program's output in --out.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness as h  # noqa: E402
from harness import LONG, SHORT, fail, poll  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(REPO, "samples", "bracket.dxf")
DWG = os.path.join(REPO, "tests", "fixtures", "dwg", "example_2018.dwg")

JOURNEYS = {}


def journey(fn):
    JOURNEYS[fn.__name__] = fn
    return fn


# --- steps every journey takes ----------------------------------------------


def copy_in(j, source, folder="drawings"):
    """A copy of a drawing in the journey's own folder: the repository's
    files are never opened in place."""
    d = os.path.join(j.work, folder)
    os.makedirs(d, exist_ok=True)
    target = os.path.join(d, os.path.basename(source))
    shutil.copy(source, target)
    return target


def facts(j, drawing):
    return h.drawing_facts(os.path.join(j.bin_dir, "dimmark-cli"), drawing)


def choose_drawing(j, path):
    """浏览, the drawing type (AutoCAD 文件), the file: as far as 确定."""
    j.press_button("浏览")
    kind = j.window("CAD文件类型")
    j.press(j.button("确定", within=kind), "“确定” of “CAD文件类型”")
    j.choose_file("OPEN FILE", path)


def press_open(j):
    frame = j.find("panel", "打开AutoCAD文件")
    j.press(j.button("确定", within=frame), "“确定” of “打开AutoCAD文件”")


def answer_questions(j, answer):
    """Answers a question about unsaved work, if one stands open."""
    for w in j.program.windows():
        if h.role(w) in ("alert", "dialog") and any(
                "保存" in (a.name or "") for a in h.walk(w)
                if h.role(a) == "label"):
            j.press(j.button(answer, within=w), f"“{answer}” of {w.name!r}")
            poll(lambda: not h.showing(w), SHORT, "the question to close")
            return True
    return False


def wait_opened(j, ready="自动标号", timeout=LONG, answer="不保存"):
    """The drawing in the view and the marking panel's button `ready`
    usable; a question about unsaved work on the way is answered."""
    def probe():
        if answer_questions(j, answer):
            return False
        b = j.button(ready, timeout=0.1)
        return h.enabled(b) and h.on_screen(b) and h.enabled(
            j.find("panel", "标号", timeout=0.1))

    poll(probe, timeout, f"the drawing to open (“{ready}” usable)")
    return poll(lambda: (v := j.view()) and h.on_screen(v) and v, timeout,
                "the drawing view")


def open_drawing(j, path, ready="自动标号", timeout=LONG):
    choose_drawing(j, path)
    press_open(j)
    return wait_opened(j, ready, timeout)


def combo_text(combo):
    for c in h.children(combo):
        if h.role(c) == "text":
            return h.text_of(c)
    return combo.name


def combo_items(combo):
    return [a.name for a in h.walk(combo, only_showing=False)
            if h.role(a) == "list item"]


def browse_list(j):
    return j.field("编号：")


def current_entry(j):
    return combo_text(browse_list(j))


def wait_entry(j, prefix, timeout=SHORT, why=""):
    return poll(lambda: current_entry(j).startswith(prefix), timeout,
                lambda: f"the browse list to show “{prefix}…”{why} (it shows "
                        f"“{safe(lambda: current_entry(j))}”)")


def safe(fn):
    try:
        return fn()
    except Exception as e:  # noqa: BLE001
        return f"? {e}"


def number_automatically(j):
    j.press_button("自动标号")
    wait_entry(j, "1------", LONG, " after “自动标号”")


def details(j):
    """What the browse panel shows of the current dimension (its second
    “尺寸值：” is the value's, the first the search box's)."""
    panel = j.find("panel", "尺寸浏览")
    return {label: h.text_of(j.field(label, within=panel,
                                     which=1 if label == "尺寸值：" else 0))
            for label in ("尺寸类型：", "尺寸值：", "上公差：", "下公差：")}


def search_box(j):
    return j.field("尺寸值：", within=j.find("panel", "尺寸浏览"), which=0)


def dims_shown(j, f):
    """The drawing's dimensions that match what the panel shows."""
    d = details(j)
    found = [x for x in f["dims"] if x["value"] == d["尺寸值："]
             and x["type"] == d["尺寸类型："]
             and abs(x["up"] - float(d["上公差："] or 0)) < 1e-6
             and abs(x["low"] - float(d["下公差："] or 0)) < 1e-6]
    if not found:
        fail(f"the panel shows a dimension the drawing does not hold: {d}")
    return found


def review(j):
    """浏览 of the browse panel (the file frame has a 浏览 of its own)."""
    j.press(j.button("浏览", within=j.find("panel", "尺寸浏览")),
            "“浏览” of “尺寸浏览”")


def sample_box(j, n):
    return j.field(f"样本{n}", within=j.find("panel", "输入测量值"))


def mark_centre(f, dim, position):
    """Where automatic marking puts the mark of a position."""
    r = f["textHeight"]
    size = 1.2 * r if position < 10 else (r if position < 99 else 0.6 * r)
    return (dim["x"] - 3 * size, dim["y"] + 0.5 * size)


def find_mark(j, img, m, f, candidates, position):
    """The centre (in pixels) of the white mark ring beside one of the
    candidate dimensions."""
    r = f["textHeight"] * m.px_per_unit()
    best, score = None, 0
    for dim in candidates:
        cx, cy = m.to_px(*mark_centre(f, dim, position))
        s = h.ring(cx, cy, r, h.is_colour(img, (255, 255, 255)))
        if s > score:
            best, score = (cx, cy), s
    if score < 0.6:
        fail(f"no mark of position {position} beside the dimension "
             f"{candidates[0]['value']} at "
             f"{[(d['x'], d['y']) for d in candidates]} (best ring {score:.2f})")
    return best, r


def view_grab(j, view):
    return j.settled(h.extents(view))


def zoom_at(j, m, x, y, clicks):
    """Turns the wheel over the drawing point (x, y)."""
    px, py = m.to_px(x, y)
    j.move_to(px, py)
    j.desk.xdotool("click", "--repeat", clicks, "--delay", 30, 4)
    return j.calibrate()


def right_click_panel(j):
    """A right click into the marking panel, on its “起始号：”."""
    j.popups.clear()
    j.click(j.find("label", "起始号："), button=3)


def free_spot(j, panel):
    """A point of a panel that no control covers, away from its edges."""
    x, y, w, hh = h.extents(panel)
    boxes = [h.extents(c) for c in h.children(panel) if h.showing(c)]
    for py in (y + hh // 2, y + hh // 2 + 6, y + hh // 2 - 6):
        for px in range(x + 10, x + w - 10, 3):
            if all(not (bx - 4 <= px < bx + bw + 4 and by - 4 <= py < by + bh + 4)
                   for bx, by, bw, bh in boxes):
                return px, py
    return None


def mark_menu(j, item):
    right_click_panel(j)
    entry = j.popup_item(item)
    if not h.enabled(entry):
        fail(f"the popup item “{item}” is greyed out")
    j.click(entry, what=f"the popup item “{item}”")
    poll(lambda: not any(h.showing(p) for p in j.popups), SHORT,
         "the popup menu to close")


def pick(j, m, x, y, asked):
    """A pick in the drawing while the CAD window asks for one."""
    j.wait_prompt(asked)
    view = j.view()
    if not h.enabled(view):
        fail(f"the drawing view is greyed out while the CAD window asks "
             f"“{asked}”: no click can reach the drawing")
    j.pick(m, x, y)


def isolated(f, count, apart):
    """Dimensions whose text stands at least `apart` from every other."""
    out = []
    for d in f["dims"]:
        near = min(((d["x"] - o["x"]) ** 2 + (d["y"] - o["y"]) ** 2) ** 0.5
                   for o in f["dims"] if o is not d)
        if near >= apart:
            out.append(d)
    return out[:count]


def sheet_table(j, timeout=LONG):
    return j.find("table", None, timeout=timeout,
                  what="the workbook's sheet (a table) under the drawing")


def cell(table, row, column):
    """The text a cell shows; row and column from 1, as in the sheet."""
    return table.queryTable().getAccessibleAt(row - 1, column - 1).name


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def new_window(j, before, timeout=SHORT, what="a new window"):
    def probe():
        for w in j.program.windows():
            if not any(w == b for b in before):
                return w
        return None

    return poll(probe, timeout, what)


def yes_button(box):
    for b in h.walk(box):
        if h.role(b) == "push button" and re.match(r"^(是|Yes|&Yes)", b.name or ""):
            return b
    fail(f"the question {box.name!r} has no “是” button")


# --- the journeys -------------------------------------------------------------


@journey
def open_dxf(j):
    """The bundled sample opens, and its ink fills the view."""
    path = copy_in(j, SAMPLE)
    j.start()
    view = open_drawing(j, path)
    img = j.shot("sample-open")
    x, y, w, hgt = h.extents(view)
    count = h.ink(img, (x, y, w, hgt))
    if count < w * hgt * 0.01:
        fail(f"the drawing view shows almost nothing of bracket.dxf "
             f"({count} inked pixels of {w * hgt})")
    # The zoom-to-extents frame: ink in each quarter of the drawing.
    m = j.calibrate()
    f = facts(j, path)
    (x0, y0), (x1, y1) = f["extmin"][:2], f["extmax"][:2]
    for qx in (0, 1):
        for qy in (0, 1):
            ax, ay = m.to_px(x0 + qx * (x1 - x0) / 2, y0 + qy * (y1 - y0) / 2)
            bx, by = m.to_px(x0 + (qx + 1) * (x1 - x0) / 2,
                             y0 + (qy + 1) * (y1 - y0) / 2)
            box = (min(ax, bx), min(ay, by), abs(bx - ax), abs(by - ay))
            if h.ink(img, box) < box[2] * box[3] * 0.005:
                fail(f"a quarter of the drawing shows no ink: {box}")


@journey
def open_dwg(j):
    """A DWG opens in the window as its CAD program shows it: with ink."""
    path = copy_in(j, DWG)
    j.start()
    view = open_drawing(j, path)
    img = j.settled(h.extents(view), timeout=LONG)
    j.shot("dwg-open")
    x, y, w, hgt = h.extents(view)
    count = h.ink(img, (x, y, w, hgt))
    j.check(not j.find_all(("dialog", "alert")),
            f"a message stands over the opened DWG: {j.open_messages()}")
    if count < w * hgt * 0.002:
        fail(f"example_2018.dwg opens blank: {count} inked pixels in the "
             f"drawing view of {w}x{hgt}")


@journey
def automatic(j):
    """自动标号 draws a mark beside every dimension and fills the list."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    m = j.calibrate()
    before = view_grab(j, view)
    number_automatically(j)
    after = view_grab(j, view)
    j.shot("numbered")
    items = combo_items(browse_list(j))
    if len(items) != f["dimCount"]:
        fail(f"the browse list holds {len(items)} entries for "
             f"{f['dimCount']} dimensions")
    r = f["textHeight"] * m.px_per_unit()
    missing = []
    for dim in f["dims"]:
        shown = max(h.ring(*m.to_px(*mark_centre(f, dim, p)), r,
                           h.changed(before, after)) for p in (1, 10))
        if shown < 0.6:
            missing.append((dim["value"], dim["x"], dim["y"], round(shown, 2)))
    if missing:
        fail(f"{len(missing)} dimensions got no mark ring beside them: "
             f"{missing}")
    j.check(not h.enabled(j.button("自动标号")),
            "“自动标号” is still enabled after the drawing was numbered")


@journey
def zone(j):
    """分区标号: two corner picks number the dimensions inside, a rubber
    band follows the mouse, a first corner left of the drawing ends."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    m = j.calibrate()
    corner1, corner2 = (190.0, 50.0), (262.0, 182.0)
    inside = [d for d in f["dims"]
              if corner1[0] <= d["x"] <= corner2[0]
              and corner1[1] <= d["y"] <= corner2[1]]
    before = view_grab(j, view)
    j.press_button("分区标号")
    pick(j, m, *corner1, "第一点: ")
    j.wait_prompt("对角点: ")
    # The band: the edge through the first corner follows the mouse.
    c1 = m.to_px(*corner1)
    for target in ((226.0, 120.0), corner2):
        t = m.to_px(*target)
        j.move_to(*t)
        time.sleep(0.15)
        img = j.settled(h.extents(view))
        rows = range(int(min(c1[1], t[1])) + 3, int(max(c1[1], t[1])) - 3)
        hit = h.changed(before, img)
        drawn = sum(1 for yy in rows
                    if any(hit(int(c1[0]) + dx, yy) for dx in (-1, 0, 1)))
        if not rows or drawn < 0.3 * len(rows):
            j.shot("no-band")
            fail(f"no rubber band from the first corner to the mouse at "
                 f"{target}: {drawn} of {len(rows)} rows of its edge drawn")
    j.pick(m, *corner2)
    j.wait_prompt("第一点: ")
    after = view_grab(j, view)
    j.shot("zone-numbered")
    r = f["textHeight"] * m.px_per_unit()
    for dim in inside:
        shown = max(h.ring(*m.to_px(*mark_centre(f, dim, p)), r,
                           h.changed(before, after)) for p in (1, 10))
        if shown < 0.6:
            fail(f"the dimension {dim['value']} at ({dim['x']}, {dim['y']}) "
                 f"inside the window got no mark (ring {shown:.2f})")
    # A first corner left of the drawing ends the run.
    vx, vy, vw, vh = m.view_box
    left = m.to_dwg(vx + 4, vy + vh / 2)
    if left[0] >= f["extmin"][0]:
        fail("the view leaves no room left of the drawing to end the run")
    pick(j, m, *left, "第一点: ")
    pick(j, m, *m.to_dwg(vx + 8, vy + vh / 2 + 8), "对角点: ")
    poll(lambda: j.prompt() == "", SHORT, "the CAD window to stop asking")
    items = combo_items(browse_list(j))
    values = sorted(i.split("------", 1)[-1] for i in items)
    if values != sorted(d["value"] for d in inside):
        fail(f"the browse list holds {items}; the window held "
             f"{sorted(d['value'] for d in inside)}")


@journey
def free(j):
    """自由标号: a mark where each pick is, numbered in pick order, for the
    dimension nearest the pick; a pick left of the drawing ends."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    r_units = f["textHeight"]
    chosen = isolated(f, 3, 5 * r_units)
    if len(chosen) < 3:
        fail("the sample has too few dimensions standing apart")
    j.start()
    view = open_drawing(j, path)
    m = j.calibrate()
    j.press_button("自由标号")
    for n, dim in enumerate(chosen, 1):
        before = view_grab(j, view)
        at = (dim["x"] - 1.5 * r_units, dim["y"])
        pick(j, m, *at, "LOCATION: ")
        cx, cy = m.to_px(*at)
        r = r_units * m.px_per_unit()
        poll(lambda: h.ring(cx, cy, r, h.changed(
            before, j.desk.grab())) >= 0.6, SHORT,
            f"mark {n} to appear where it was picked")
    vx, vy, vw, vh = m.view_box
    left = m.to_dwg(vx + 4, vy + vh / 2)
    if left[0] >= f["extmin"][0]:
        fail("the view leaves no room left of the drawing to end the run")
    pick(j, m, *left, "LOCATION: ")
    poll(lambda: j.prompt() == "", SHORT, "the CAD window to stop asking")
    j.shot("free-numbered")
    items = combo_items(browse_list(j))
    wanted = [f"{n}------{d['value']}" for n, d in enumerate(chosen, 1)]
    if items != wanted:
        fail(f"the browse list holds {items}, the picks were beside "
             f"{wanted}")


def zoomed_mark(j, f, view):
    """Numbers the drawing, zooms in on a mark that stands apart and gives
    the mapping and the mark's centre in drawing units."""
    m = j.calibrate()
    before = view_grab(j, view)
    number_automatically(j)
    after = view_grab(j, view)
    r = f["textHeight"] * m.px_per_unit()
    for dim in isolated(f, 20, 6 * f["textHeight"]):
        centres = [mark_centre(f, dim, p) for p in (1, 10)]
        # The wheel keeps the point under the mouse: one well inside the
        # view stays inside when zoomed.
        if not m.inside(*m.to_px(*centres[0]), margin=80):
            continue
        if max(h.ring(*m.to_px(*c), r, h.changed(before, after))
               for c in centres) >= 0.6:
            break
    else:
        fail("no mark stands apart from the others to look at closely")
    m = zoom_at(j, m, *centres[0], 6)
    # Close up, the two sizes a mark may have are told apart.
    img = j.settled(h.extents(view))
    r = f["textHeight"] * m.px_per_unit()
    score, target = max((h.ring(*m.to_px(*c), r, h.is_colour(
        img, (255, 255, 255))), c) for c in centres)
    if score < 0.6:
        img.save(os.path.join(j.out_dir, "zoomed.png"))
        fail(f"the mark beside {dim['value']} is not drawn after zooming in "
             f"(looked at {[m.to_px(*c) for c in centres]}, radius {r:.1f} "
             f"px: {score:.2f})")
    return m, target


@journey
def popup_edits(j):
    """The “标号” popup's edits without picks, each seen in the picture:
    放大标号, 缩小标号, 设置图层, 设置颜色, 撤消标号; Ctrl+Z in the
    drawing brings the marks and the browse panel back, and once the
    numbering's marks are taken back the drawing can be numbered again."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    m, target = zoomed_mark(j, f, view)
    cx, cy = m.to_px(*target)
    r = f["textHeight"] * m.px_per_unit()
    white = (255, 255, 255)

    def ring_now(radius, colour=white):
        img = j.settled(h.extents(view))
        return h.ring(cx, cy, radius, h.is_colour(img, colour))

    if ring_now(r) < 0.6:
        fail("the mark looked at is not drawn after zooming in")
    j.shot("mark")
    # The popup opens from anywhere in the marking panel, not from a strip.
    spot = free_spot(j, j.find("panel", "标号"))
    if spot:
        j.popups.clear()
        j.click_at(*spot, button=3)
        opened = poll_ok(lambda: j.popup_item("放大标号", 0.1), 2 * h.PATIENCE)
        j.check(opened, f"a right click into the marking panel at {spot}, "
                        f"between its controls, opens no “标号” popup")
        if opened:
            j.key("Escape")
    mark_menu(j, "放大标号")
    poll(lambda: ring_now(1.25 * r) >= 0.6 and ring_now(r) < 0.5, SHORT,
         "the mark to grow by 1.25 after “放大标号”")
    mark_menu(j, "缩小标号")
    poll(lambda: ring_now(r) >= 0.6 and ring_now(1.25 * r) < 0.5, SHORT,
         "the mark to shrink back after “缩小标号”")
    cad = j.cad_window()
    j.choose(j.field(re.compile("当前图层"), within=cad), "尺寸标注")
    mark_menu(j, "设置图层")
    green = (0, 255, 0)
    poll(lambda: ring_now(r, green) >= 0.6, SHORT,
         "the mark to take its new layer's green after “设置图层”")
    j.choose(j.field(re.compile("当前颜色"), within=cad), "5 蓝")
    mark_menu(j, "设置颜色")
    poll(lambda: ring_now(r, (0, 0, 255)) >= 0.6, SHORT,
         "the mark to turn blue after “设置颜色”")
    j.shot("edited")
    mark_menu(j, "撤消标号")
    poll(lambda: h.ring(cx, cy, r, h.is_ink(j.settled(h.extents(view))))
         < 0.3, SHORT, "the mark to go after “撤消标号”")
    browse = j.find_all("panel", "尺寸浏览")
    j.check(not browse or not h.on_screen(browse[0]),
            "the browse panel still shows after “撤消标号”")
    # Ctrl+Z in the drawing takes the deletion back.
    j.click(view)
    j.shortcut("ctrl+z")
    poll(lambda: ring_now(r, (0, 0, 255)) >= 0.6, SHORT,
         "Ctrl+Z in the drawing to bring the marks back")
    j.check(poll_ok(lambda: h.on_screen(j.find("panel", "尺寸浏览",
                                                 timeout=0.1))),
            "the browse panel stays hidden after Ctrl+Z brought the marks "
            "back")
    # Taking back every edit and the numbering's marks themselves.
    for _ in range(12):
        if h.ring(cx, cy, r, h.is_ink(j.settled(h.extents(view)))) < 0.3:
            break
        # In the drawing each time: showing the panel again may have taken
        # the focus into it.
        j.click(view)
        j.shortcut("ctrl+z")
        time.sleep(0.2)
    else:
        fail("twelve Ctrl+Z in the drawing did not take the marks away")
    j.shot("undone")
    poll(lambda: h.enabled(j.button("自动标号")), SHORT,
         "“自动标号” to be usable again once the drawing holds no marks")


def poll_ok(probe, timeout=SHORT):
    try:
        poll(probe, timeout, "")
        return True
    except h.JourneyFailure:
        return False


@journey
def popup_move(j):
    """移动标号: the marks move by the vector between two picks."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    m, target = zoomed_mark(j, f, view)
    r = f["textHeight"] * m.px_per_unit()
    shift = (2.5 * f["textHeight"], -1.5 * f["textHeight"])
    mark_menu(j, "移动标号")
    pick(j, m, *target, "FROM POINT: ")
    moved = (target[0] + shift[0], target[1] + shift[1])
    pick(j, m, *moved, "TO POINT: ")
    poll(lambda: j.prompt() == "", SHORT, "the CAD window to stop asking")
    img = j.settled(h.extents(view))
    j.shot("moved")
    at_new = h.ring(*m.to_px(*moved), r, h.is_colour(img, (255, 255, 255)))
    at_old = h.ring(*m.to_px(*target), r, h.is_colour(img, (255, 255, 255)))
    if at_new < 0.6 or at_old > 0.3:
        fail(f"the mark did not move by {shift}: ring at the new place "
             f"{at_new:.2f}, at the old {at_old:.2f}")


@journey
def pick_freeze(j):
    """A pick does not freeze the program: the view takes the clicks, Esc
    ends 移动标号, 分区标号 and 自由标号, and the menus work after."""
    path = copy_in(j, SAMPLE)
    fresh = copy_in(j, SAMPLE, "fresh")
    j.start()
    open_drawing(j, path)
    number_automatically(j)

    def asked_then_esc(start, asked):
        start()
        j.wait_prompt(asked)
        j.shot("asking")
        j.check(h.enabled(j.view()),
                f"the drawing view is greyed out while the CAD window asks "
                f"“{asked}”")
        j.key("Escape")
        poll(lambda: j.prompt() == "", SHORT,
             lambda: f"Esc to end the pick (the status line still asks "
                     f"“{j._prompt_or_none()}”)")
        poll(lambda: h.enabled(j.button("帮助")), SHORT,
             "the panel to be usable again after Esc")

    asked_then_esc(lambda: mark_menu(j, "移动标号"), "FROM POINT: ")
    # The menus work after: the CAD window's and the panel's popup.
    j.menu("视图", "缩放到全图")
    mark_menu(j, "放大标号")
    # Zone and free marking on a drawing not numbered yet.
    open_drawing(j, fresh)
    asked_then_esc(lambda: j.press_button("分区标号"), "第一点: ")
    asked_then_esc(lambda: j.press_button("自由标号"), "LOCATION: ")
    j.menu("视图", "缩放到全图")


@journey
def highlight(j):
    """浏览 paints the dimension in the colour chosen; after 后一尺寸 the
    dimension reached wears it and the one left gets its own back."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    magenta = (255, 0, 255)
    j.start()
    view = open_drawing(j, path)
    number_automatically(j)
    colours = j.find("combo box", "1.红", what="the highlight colour list")
    j.choose(colours, "6.紫")
    first = dims_shown(j, f)
    review(j)
    time.sleep(0.3)

    def magenta_near(dims, m, img):
        """Highlight-coloured pixels on the dimension's own text."""
        best = 0
        for d in dims:
            px, py = m.to_px(d["x"], d["y"])
            half = f["textHeight"] * m.px_per_unit()
            best = max(best, h.colour_count(
                img, (px - half, py - half, 2 * half, 2 * half), magenta))
        return best

    img = j.settled(h.extents(view))
    m = j.calibrate()
    j.shot("dimension-1")
    if magenta_near(first, m, img) < 8:
        fail("“浏览” did not paint the current dimension in 6.紫")
    j.press_button("后一尺寸")
    wait_entry(j, "2------", SHORT, " after “后一尺寸”")
    second = dims_shown(j, f)
    time.sleep(0.3)
    img = j.settled(h.extents(view))
    m = j.calibrate()
    px, py = m.to_px(second[0]["x"], second[0]["y"])
    if not m.inside(px, py):
        # Not brought into view: look at the whole drawing, as a person
        # would.
        j.menu("视图", "缩放到全图")
        img = j.settled(h.extents(view))
        m = j.calibrate()
    j.shot("dimension-2")
    now_second = magenta_near(second, m, img)
    now_first = magenta_near([d for d in first if d not in second], m, img)
    if now_second < 8 or now_first > 2:
        fail(f"after “后一尺寸” the panel shows dimension 2 "
             f"({second[0]['value']}) but the highlight colour shows "
             f"{now_second} px on it and {now_first} px on dimension 1 "
             f"({first[0]['value']})")


@journey
def samples(j):
    """Samples typed turn the mark green (OK) or red (NG) at once; the
    instrument chosen through the accessibility action is kept; both come
    back when the dimension is reached again."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    number_automatically(j)
    j.choose(j.find("combo box", "1.红", what="the highlight colour list"),
             "6.紫")
    typed = {}
    for position, verdict in ((1, "OK"), (2, "NG")):
        dims = dims_shown(j, f)
        review(j)
        time.sleep(0.3)
        j.settled(h.extents(view))
        m = j.calibrate()
        img = j.settled(h.extents(view))
        (cx, cy), r = find_mark(j, img, m, f, dims, position)
        d = dims[0]
        nominal = number(d["value"])
        if nominal is None:
            fail(f"dimension {position} ({d['value']}) has no number")
        value = nominal if verdict == "OK" else nominal + d["up"] + 1
        text = f"{value:g}"
        j.set_text(sample_box(j, 1), text, "the box “样本1”")
        j.set_text(sample_box(j, 2), text, "the box “样本2”")
        typed[position] = text
        colour = (0, 255, 0) if verdict == "OK" else (255, 0, 0)
        name = "green" if verdict == "OK" else "red"
        try:
            poll(lambda: h.ring(cx, cy, r, h.is_colour(
                j.desk.grab(), colour)) >= 0.6, SHORT,
                f"mark {position} to turn {name} ({verdict}) as its samples "
                f"are typed")
        finally:
            j.shot(f"mark-{position}-{verdict}")
        if position == 1:
            mic = j.find(("radio button", "check box"), "千分尺")
            j.press(mic, "the instrument “千分尺”")
            time.sleep(0.5)
            if not h.checked(mic):
                fail("“千分尺” is not chosen after its accessibility action")
            j.press_button("后一尺寸")
            wait_entry(j, "2------", SHORT, " after “后一尺寸”")
    j.press_button("前一尺寸")
    wait_entry(j, "1------", SHORT, " after “前一尺寸”")
    for n in (1, 2):
        shown = h.text_of(sample_box(j, n))
        if number(shown) != number(typed[1]):
            fail(f"“样本{n}” of dimension 1 shows “{shown}” after coming "
                 f"back, “{typed[1]}” was typed")
    if not h.checked(j.find(("radio button", "check box"), "千分尺")):
        fail("dimension 1 came back without its instrument “千分尺”")


@journey
def fai_samples(j):
    """创建 FAI on a drawing whose samples are stored writes them with the
    rows at once."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    open_drawing(j, path)
    number_automatically(j)
    typed = {}
    for position in (1, 2):
        d = dims_shown(j, f)[0]
        base = number(d["value"])
        values = [f"{base + 0.01:g}", f"{base - 0.02:g}"]
        for n, v in enumerate(values, 1):
            j.set_text(sample_box(j, n), v, f"the box “样本{n}”")
        typed[position] = values
        j.press_button("后一尺寸")
        wait_entry(j, f"{position + 1}------", SHORT, " after “后一尺寸”")
    j.press_button("创建 FAI")
    table = sheet_table(j)
    poll(lambda: h.on_screen(table), SHORT, "the workbook to show")
    j.shot("fai")
    for position, values in typed.items():
        row = 10 + position
        shown = [cell(table, row, 7), cell(table, row, 8)]
        if [number(s) for s in shown] != [number(v) for v in values]:
            fail(f"row {row} of the new FAI workbook shows the samples "
                 f"{shown}; {values} were typed and stored for mark "
                 f"{position}")


@journey
def ctrl_s(j):
    """Ctrl+S saves the workbook where the focus is in it, and the drawing
    where the focus is in it."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    view = open_drawing(j, path)
    number_automatically(j)
    j.press_button("创建 FAI")
    table = sheet_table(j)
    poll(lambda: h.on_screen(table), SHORT, "the workbook to show")
    mark1 = cell(table, 11, 1)

    def answered(what, before):
        try:
            return new_window(j, before, SHORT, what)
        except h.JourneyFailure as e:
            said = [line for line in j.program.output().splitlines()
                    if "Ambiguous shortcut" in line]
            if said:
                fail(f"{e}; Qt says “{said[-1].strip()}”")
            raise

    # In the workbook.
    j.click_at(*h.centre(table))
    before = j.program.windows()
    j.shortcut("ctrl+s")
    dlg = answered("Ctrl+S in the workbook to ask where to save it", before)
    box = j.file_name_box(dlg)
    proposed = h.text_of(box)
    expected = os.path.splitext(os.path.basename(path))[0] + "-FAI.xlsx"
    j.check(os.path.basename(proposed) == expected,
            f"the first save of the workbook proposes “{proposed}”, not "
            f"“{expected}”")
    target = os.path.join(os.path.dirname(path), expected)
    j.key("ctrl+a")
    j.type(target)
    j.key("Return")
    poll(lambda: os.path.exists(target), SHORT, f"{expected} to be written")
    import openpyxl

    time.sleep(0.3)
    sheet = openpyxl.load_workbook(target).worksheets[0]
    if number(sheet.cell(11, 1).value) != number(mark1):
        fail(f"the saved workbook's A11 holds {sheet.cell(11, 1).value!r}, "
             f"the window showed {mark1!r}")
    # In the drawing.
    original = open(path, "rb").read()
    j.click(view)
    before = j.program.windows()
    j.shortcut("ctrl+s")
    box = answered("Ctrl+S in the drawing to ask about saving it", before)
    j.press(yes_button(box), "“是” of the question about saving")
    poll(lambda: open(path, "rb").read() != original, SHORT,
         "Ctrl+S in the drawing to save bracket.dxf")
    saved = open(path, encoding="gbk", errors="replace").read()
    circles = len(re.findall(r"\n\s*CIRCLE\s*\n", saved))
    if circles < 5 + f["dimCount"]:
        fail(f"the saved drawing holds {circles} circles: its marks are "
             f"missing")


def keyboard_name(binding):
    """Qt's text of a key sequence, as xdotool names the keys."""
    keys = {"PgDown": "Next", "PgUp": "Prior", "Del": "Delete",
            "Ins": "Insert", "Esc": "Escape", "Return": "Return",
            "Enter": "Return", "Space": "space"}
    parts = binding.split("+") if binding != "+" else ["plus"]
    out = []
    for p in parts:
        if p in ("Ctrl", "Alt", "Shift", "Meta"):
            out.append(p.lower())
        else:
            out.append(keys.get(p, p.lower() if len(p) == 1 else p))
    return "+".join(out)


KEY_NAME = re.compile(r"((?:Ctrl|Alt|Shift)\+)*(PgDown|PgUp|PageDown|PageUp|"
                      r"Page Down|Page Up|F\d+|Home|End|Down|Up|Left|Right)")


def key_of(button):
    """The key a button tells of: its shortcut, as the accessibility action
    publishes it, or a key named in its tooltip."""
    action = button.queryAction()
    for i in range(action.nActions):
        binding = action.getKeyBinding(i)
        if binding:
            return keyboard_name(binding.split(";")[0])
    told = KEY_NAME.search(button.description or "")
    if told:
        return keyboard_name(told.group(0).replace("Page Down", "PgDown")
                             .replace("PageDown", "PgDown")
                             .replace("Page Up", "PgUp")
                             .replace("PageUp", "PgUp"))
    return None


def help_names_page_down(j):
    """PageDown, when the help pages beside the program name it."""
    pages = os.path.join(j.bin_dir, "dimdata", "DIMENHELP.files")
    for root, _, files in os.walk(pages):
        for name in files:
            if not name.lower().endswith((".htm", ".html")):
                continue
            with open(os.path.join(root, name), "rb") as f:
                text = f.read().decode("utf-8", "replace")
            if re.search(r"Page\s*Down|PgDn|PgDown", text, re.I):
                return "Next"
    return None


def read_only(acc):
    s = h.states(acc)
    return h.role(acc) == "text" and (
        s.contains(h.pyatspi.STATE_READ_ONLY)
        or not s.contains(h.pyatspi.STATE_EDITABLE))


@journey
def keyboard(j):
    """A whole pass from the keyboard alone: open the drawing, number it,
    walk the dimensions entering samples and an instrument, make and
    refresh the FAI workbook. Tab stops at what a person types into and
    leaves the workbook again."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    j.start()
    time.sleep(0.3)
    h.PUMP()
    start = j.last_focus or j.focused_control()
    j.check(start is None or start.name != "退出系统",
            "the focus starts on “退出系统”")

    def tab_to(pred, what, limit=60, key="Tab"):
        seen = []
        for _ in range(limit):
            now = j.key_for_focus(key)
            if now is not None and pred(now):
                return now
            seen.append(now)
        fail(f"{limit} presses of {key} never reached {what}; the focus "
             f"went {[h.describe(s) if s else None for s in seen[:24]]}")

    def is_button(name):
        return lambda a: h.role(a) == "push button" and a.name == name

    def back_to(box, what):
        """A few Shift+Tab first, as a person goes back to a box just
        left, then round with Tab."""
        for _ in range(4):
            if j.key_for_focus("shift+Tab") == box:
                return
        tab_to(lambda a: a == box, what)

    tab_to(is_button("浏览"), "“浏览”")
    j.key("space")
    kind = j.window("CAD文件类型")
    j.key("Return")
    if not poll_ok(lambda: j.find_all(None, "OPEN FILE"), 2 * h.PATIENCE):
        j.check(False, "Return does nothing in “CAD文件类型”")
        ok = j.button("确定", within=kind)
        tab_to(lambda a: a == ok, "“确定” of “CAD文件类型”")
        j.key("space")
    dlg = j.file_dialog("OPEN FILE")
    j.file_name_box(dlg)
    j.key("ctrl+a")
    j.type(path)
    j.key("Return")
    poll(lambda: not h.showing(dlg), SHORT, "the file dialog to close")
    tab_to(lambda a: is_button("确定")(a) and h.enabled(a), "“确定”")
    j.key("space")
    wait_opened(j)
    tab_to(is_button("自动标号"), "“自动标号”")
    j.key("space")
    wait_entry(j, "1------", LONG, " after “自动标号” from the keyboard")
    time.sleep(0.3)
    h.PUMP()
    now = j.last_focus
    j.check(now is None or now.name != "分区标号",
            "after “自动标号” from the keyboard the focus lands on “分区标号”"
            " (a second Space starts a zone run)")

    # One round of Tab from 样本1: read-only boxes are no stops, the
    # instruments one stop.
    box1 = sample_box(j, 1)
    tab_to(lambda a: a == box1, "the box “样本1”")
    stops = []
    for _ in range(80):
        now = j.key_for_focus("Tab")
        if now is None or now == box1:
            break
        stops.append(now)
    if not stops:
        fail("Tab in “样本1” moves the focus nowhere")
    ro = [f"{s.name!r}={h.text_of(s)!r}" for s in stops if read_only(s)]
    j.check(not ro, f"read-only boxes are Tab stops: {ro}")
    names = ("游标卡尺", "千分尺", "高度规", "三次元", "投影仪", "厚薄规",
             "半径规", "检具")
    instruments = [s for s in stops if s.name in names]
    j.check(len(instruments) <= 1,
            f"the eight instruments are {len(instruments)} Tab stops")

    next_key = key_of(j.button("后一尺寸")) or help_names_page_down(j)
    j.check(next_key is not None,
            "no key is told for the next dimension: “后一尺寸” has no "
            "shortcut its accessibility action publishes, its tooltip names "
            "none, and the help pages name no PageDown")
    if next_key is None:
        # The usual key of a next page, tried as a person would.
        j.shortcut("Next")
        if poll_ok(lambda: current_entry(j).startswith("2------"), SHORT):
            next_key = "Next"
            j.shortcut("Prior")
            wait_entry(j, "1------", SHORT, " after PageUp")
    # Without a key each step is a walk of Tab presses: a few are enough
    # to tell.
    count = f["dimCount"] if next_key else 4
    typed = []
    for position in range(1, count + 1):
        wait_entry(j, f"{position}------", SHORT)
        d = dims_shown(j, f)[0]
        base = number(d["value"])
        text = f"{(base if base is not None else position) + 0.01:g}"
        typed.append(text)
        box1 = sample_box(j, 1)
        h.PUMP()
        if j.last_focus != box1:
            back_to(box1, "the box “样本1”")
        j.key("ctrl+a")
        j.type(text)
        if position == 1:
            moved = j.key_for_focus("Return")
            j.check(moved is not None and moved != box1,
                    "Return in a sample box does nothing")
            # The instrument from the keyboard: an arrow chooses.
            mic = j.find(("radio button", "check box"), "千分尺")
            tab_to(lambda a: a.name in names, "the instruments")
            j.key("Right")
            time.sleep(0.3)
            j.check(h.checked(mic), "the arrow key moves among the "
                                    "instruments without choosing one")
        else:
            j.key("Return")
        if position == count:
            break
        if current_entry(j).startswith(f"{position + 1}------"):
            continue
        if next_key:
            j.shortcut(next_key)
        else:
            tab_to(is_button("后一尺寸"), "“后一尺寸”")
            j.key("space")
        wait_entry(j, f"{position + 1}------", SHORT,
                   " after the key for the next dimension")
    # The FAI workbook from the keyboard.
    tab_to(is_button("创建 FAI"), "“创建 FAI”")
    j.key("space")
    table = sheet_table(j)
    poll(lambda: h.on_screen(table), SHORT, "the workbook to show")

    def in_table(a):
        while a is not None and h.role(a) != "application":
            if a == table:
                return True
            a = a.parent
        return False

    tab_to(in_table, "the workbook", limit=80)
    left = False
    for _ in range(12):
        now = j.key_for_focus("Tab")
        if now is not None and not in_table(now):
            left = True
            break
    j.check(left, "Tab into the workbook never leaves it")
    if not left:
        j.key("ctrl+Tab")  # Qt's way out of a table
    tab_to(is_button("刷新"), "“刷新”", limit=80)
    j.key("space")
    time.sleep(0.5)
    j.shot("keyboard-fai")
    wrong = []
    for position, text in enumerate(typed, 1):
        shown = cell(table, 10 + position, 7)
        if number(shown) != number(text):
            wrong.append((position, text, shown))
    if wrong:
        fail(f"samples typed from the keyboard are not in the refreshed "
             f"workbook (mark, typed, shown): {wrong}")


@journey
def restart(j):
    """Save As, reopen, exit and restart with the saved settings: the panel
    is there after the restart, and the samples typed before come back
    with the marked drawing and in a new FAI workbook."""
    path = copy_in(j, SAMPLE)
    f = facts(j, path)
    home = j.start()
    open_drawing(j, path)
    number_automatically(j)
    d = dims_shown(j, f)[0]
    typed = f"{number(d['value']) + 0.02:g}"
    j.set_text(sample_box(j, 1), typed, "the box “样本1”")
    j.press_button("后一尺寸")
    wait_entry(j, "2------", SHORT, " after “后一尺寸”")
    # Save As from the CAD window.
    before = j.program.windows()
    j.menu("文件", "另存为…")
    dlg = new_window(j, before, SHORT, "“另存为…” to ask where")
    box = j.file_name_box(dlg)
    proposed = os.path.basename(h.text_of(box))
    j.check(proposed == "bracket-标号.dxf",
            f"Save As proposes “{proposed}”, not “bracket-标号.dxf”")
    marked = os.path.join(os.path.dirname(path), "bracket-marked.dxf")
    j.key("ctrl+a")
    j.type(marked)
    j.key("Return")
    poll(lambda: os.path.exists(marked), SHORT, "the marked drawing to be "
                                                "saved")
    poll(lambda: os.path.exists(marked[:-4] + ".mdb"), SHORT,
         "the database to go with the marked drawing")
    # Reopen the marked drawing; it opens as numbered.
    open_drawing(j, marked, ready="已经标号")
    j.press_button("已经标号")
    wait_entry(j, "1------", LONG, " after “已经标号”")
    shown = h.text_of(sample_box(j, 1))
    if number(shown) != number(typed):
        fail(f"the reopened drawing's mark 1 shows “{shown}” in “样本1”, "
             f"“{typed}” was typed")
    # Exit, then start again with the same settings.
    j.press_button("退出系统")

    def ended():
        if j.program.proc.poll() is not None:
            return True
        answer_questions(j, "不保存")
        return False

    try:
        poll(ended, LONG, "dimmark to end after “退出系统”")
    except h.ProgramGone:
        pass
    code = j.program.wait_end()
    if code != 0:
        fail(f"dimmark ended with code {code} after “退出系统”: "
             f"{j.program.output()[-1500:]}")
    j.program.kill()
    j.start(home)
    poll(lambda: any(h.on_screen(b) for b in j.find_all("push button", "浏览")),
         SHORT, "the panel after the restart (its “浏览”); the window shows "
                "only what it shows without the panel")
    j.shot("restarted")
    open_drawing(j, marked, ready="已经标号")
    j.press_button("已经标号")
    wait_entry(j, "1------", LONG, " after “已经标号”")
    j.press_button("创建 FAI")
    table = sheet_table(j)
    poll(lambda: h.on_screen(table), SHORT, "the workbook to show")
    if number(cell(table, 11, 7)) != number(typed):
        fail(f"a new FAI workbook of the reopened drawing shows "
             f"“{cell(table, 11, 7)}” as mark 1's first sample; “{typed}” is "
             f"stored")


@journey
def second_drawing(j):
    """A second drawing opened after a first starts clean: no workbook
    docked, the search box empty, the instrument back to the first."""
    first = copy_in(j, SAMPLE)
    second = copy_in(j, DWG)
    j.start()
    open_drawing(j, first)
    number_automatically(j)
    j.press_button("创建 FAI")
    table = sheet_table(j)
    poll(lambda: h.on_screen(table), SHORT, "the workbook to show")
    search = search_box(j)
    j.set_text(search, "120", "the search box “尺寸值：”")
    j.click(j.find(("radio button", "check box"), "千分尺"))
    poll(lambda: h.checked(j.find(("radio button", "check box"), "千分尺")),
         SHORT, "“千分尺” to be chosen")
    # Unsaved marks and workbooks are asked about; not kept here.
    open_drawing(j, second)
    time.sleep(0.5)
    j.shot("second-drawing")
    tables = [t for t in j.find_all("table") if h.on_screen(t)]
    j.check(not tables, "the first drawing's workbook is still docked")
    search = search_box(j)
    j.check(h.text_of(search) == "",
            f"the search box still holds “{h.text_of(search)}”")
    j.check(h.checked(j.find(("radio button", "check box"), "游标卡尺")),
            "the instrument is not back to “游标卡尺”")


@journey
def characteristics(j):
    """With “形位公差、粗糙度、技术要求一起标号” ticked, the drawing's
    technical note is numbered with its dimensions; a note's samples are
    chosen as 合格 or 不合格 from lists where numbers are typed otherwise,
    and they come back when the note is reached again."""
    path = copy_in(j, SAMPLE)
    j.start()
    open_drawing(j, path)
    box = j.find(("check box",), "形位公差、粗糙度、技术要求一起标号")
    j.check(not h.checked(box), "the check box is ticked before anyone did")
    j.click(box)
    poll(lambda: h.checked(box), SHORT, "the check box to be ticked")
    number_automatically(j)
    j.press_button("后一尺寸")
    wait_entry(j, "2------1. ", SHORT, " after “后一尺寸” (the note's item)")
    j.shot("note")
    result = sample_box(j, 1)
    j.check(h.role(result) == "combo box",
            f"“样本1” of a note is a {h.role(result)}, not a list")
    j.choose(result, "不合格", "the list “样本1”")
    j.press_button("前一尺寸")
    wait_entry(j, "1------", SHORT, " after “前一尺寸”")
    j.check(h.role(sample_box(j, 1)) == "text",
            "“样本1” of a dimension is no number box")
    j.press_button("后一尺寸")
    wait_entry(j, "2------1. ", SHORT, " after “后一尺寸”")
    poll(lambda: combo_text(sample_box(j, 1)) == "不合格", SHORT,
         lambda: "the note's “样本1” to show “不合格” again (it shows "
                 f"“{safe(lambda: combo_text(sample_box(j, 1)))}”)")


# --- readings without typing -------------------------------------------------


def three_dimensions(j):
    """A drawing of three linear dimensions, 10, 20 and 30, left to right
    (numbered 1, 2, 3)."""
    import ezdxf

    doc = ezdxf.new("R2000", setup=True)
    msp = doc.modelspace()
    for i, length in enumerate((10, 20, 30)):
        x = i * 60
        msp.add_line((x, 0), (x + length, 0))
        msp.add_linear_dim(base=(x, 10), p1=(x, 0), p2=(x + length, 0),
                           dimstyle="Standard").render()
    d = os.path.join(j.work, "drawings")
    os.makedirs(d, exist_ok=True)
    path = os.path.join(d, "three.dxf")
    doc.saveas(path)
    return path


def stored_samples(path):
    """{(mark, sample): value} of the drawing's database."""
    import sqlite3

    db = os.path.splitext(path)[0] + ".mdb"
    out = {}
    with sqlite3.connect(db) as c:
        if not c.execute("SELECT 1 FROM sqlite_master WHERE name='measure'"
                         ).fetchone():
            return out
        marks = dict(c.execute("SELECT number1, marknum FROM dim1"))
        for r in c.execute("SELECT position, sample1, sample2, sample3, "
                           "sample4, sample5 FROM measure"):
            for k in range(1, 6):
                if r[k] is not None:
                    out[(int(marks[r[0]]), k)] = round(r[k], 3)
    return out


def wedge(j, order):
    """A keyboard-wedge gauge: digits and Enter only, into the real window;
    the continuous entry fills five samples of three dimensions in the
    order chosen. Returns the readings per minute the window took."""
    path = three_dimensions(j)
    j.start()
    open_drawing(j, path)
    number_automatically(j)
    panel = j.find("panel", "输入测量值")
    cont = j.find("check box", "连续输入", within=panel)
    j.press(cont, "“连续输入”")
    poll(lambda: h.checked(cont), SHORT, "“连续输入” to be checked")
    option = j.find("radio button", order, within=panel)
    j.press(option, f"“{order}”")
    poll(lambda: h.checked(option), SHORT, f"“{order}” to be chosen")
    if order == "按尺寸":
        # Five samples of each dimension, one after the other.
        j.choose(j.field("样本数：", within=panel), "5", "“样本数：”")
    j.shot("continuous")
    j.click(sample_box(j, 1), what="the box “样本1”")
    time.sleep(0.2)
    if order == "按尺寸":
        steps = [(d, k) for d in (1, 2, 3) for k in range(1, 6)]
    else:
        steps = [(d, k) for k in range(1, 6) for d in (1, 2, 3)]
    want = {}
    started = time.monotonic()
    for d, k in steps:
        # The very last reading is out of tolerance (30 ± 0.3).
        value = f"{10 * d}.{k:02d}" if (d, k) != (3, 5) else "31.05"
        want[(d, k)] = float(value)
        j.type(value)
        j.key("Return")
    poll(lambda: stored_samples(path) == want, LONG,
         lambda: f"the 15 readings in the database in the order "
                 f"“{order}” (it holds {stored_samples(path)})")
    took = time.monotonic() - started
    j.shot("filled")
    # The NG reading shows red in its box at once; the others do not.
    img = j.desk.grab()

    def red_share(n):
        x, y, w, hh = (int(v) for v in h.extents(sample_box(j, n)))
        px = [img.getpixel((x + dx, y + hh // 2)) for dx in range(3, w - 3)]
        return sum(1 for p in px if p[0] > 200 and p[1] < 140
                   and p[2] < 140) / max(1, len(px))
    if red_share(5) < 0.5 or red_share(4) > 0.1:
        fail(f"the NG reading's box is not red, or an OK one is "
             f"({red_share(5):.2f}, {red_share(4):.2f})")
    if j.open_messages():
        fail(f"a message stands open: {j.open_messages()}")
    wait_entry(j, "3------", SHORT, " after the last reading")
    per_minute = len(steps) / took * 60
    print(f"{order}: {len(steps)} readings in {took:.1f} s "
          f"({per_minute:.0f} per minute)")
    return per_minute


@journey
def wedge_by_dimension(j):
    wedge(j, "按尺寸")


@journey
def wedge_by_sample(j):
    wedge(j, "按样品")


@journey
def import_review(j):
    """导入测量结果… from the measurement menu: the review lists what fits
    and what does not; nothing is written until 导入 is pressed, then only
    what fits."""
    path = three_dimensions(j)
    report = os.path.join(j.work, "drawings", "run.csv")
    with open(report, "w") as f:
        f.write("mark,value,sample\n1,10.02,1\n2,20.03,1\n7,5.5,1\n")
    j.start()
    open_drawing(j, path)
    number_automatically(j)
    before = set(j.program.windows())
    j.ensure_active()
    menu = j.find("menu item", "测量")
    j.click(menu, what="the menu “测量”")
    item = j.find("menu item", "导入测量结果…")
    j.click(item, what="“导入测量结果…”")
    j.choose_file("导入测量结果", report)
    win = j.window("导入测量结果")
    j.shot("review")
    listed = " ".join(h.text_of(a) or a.name or "" for a in h.walk(win))
    for told in ("10.02", "20.03", "7"):
        if told not in listed:
            fail(f"the review does not list “{told}”: {listed[:400]}")
    if stored_samples(path):
        fail("the review alone wrote to the database")
    j.press(j.button("导入", within=win), "“导入”")
    poll(lambda: stored_samples(path) == {(1, 1): 10.02, (2, 1): 20.03},
         SHORT, lambda: f"the two values that fit in the database (it "
                        f"holds {stored_samples(path)})")
    del before


@journey
def serial_gauge(j):
    """A gauge on a serial port (a pseudo-terminal here): 量具端口… from the
    测量 menu, the port typed and connected; the lines it sends fill five
    samples of three dimensions; pulled out, it says so once and every
    reading stays stored."""
    import tty

    path = three_dimensions(j)
    master, slave = os.openpty()
    tty.setraw(slave)
    port = os.ttyname(slave)
    try:
        j.start()
        open_drawing(j, path)
        number_automatically(j)
        panel = j.find("panel", "输入测量值")
        j.choose(j.field("样本数：", within=panel), "5", "“样本数：”")
        j.ensure_active()
        j.click(j.find("menu item", "测量"), what="the menu “测量”")
        j.click(j.find("menu item", "量具端口…"), what="“量具端口…”")
        win = j.window("量具端口")
        j.set_text(j.field("端口：", within=win), port, "the box “端口：”")
        j.shot("settings")
        j.press(j.button("连接", within=win), "“连接”")
        # Connected, the window closes and the readings go to the panel.
        poll(lambda: not h.showing(win), SHORT,
             lambda: f"the window to close once connected (showing: "
                     f"{j.open_messages()})")
        os.close(slave)
        want = {}
        for d in (1, 2, 3):
            for k in range(1, 6):
                want[(d, k)] = float(f"{10 * d}.{k:02d}")
                os.write(master, f"{10 * d}.{k:02d}\r\n".encode())
        os.write(master, b"10.0")  # half a line, then the cable goes
        poll(lambda: stored_samples(path) == want, LONG,
             lambda: f"the 15 readings of the port in the database (it "
                     f"holds {stored_samples(path)})")
        os.close(master)
        master = None
        poll(lambda: "断开" in (j.open_messages() or ""), LONG,
             "a message that the port is gone")
        j.shot("gone")
        told = j.open_messages()
        if "10.0" not in told:
            fail(f"the message does not tell the half line lost: {told}")
        if stored_samples(path) != want:
            fail("readings changed when the port went away")
    finally:
        if master is not None:
            os.close(master)


PINYIN_PROFILE = """[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
"""


@journey
def input_method(j):
    """With a Chinese input method on (fcitx5, pinyin), letters typed into
    an ordinary box are composed into Chinese, while a sample box takes the
    keys as the gauge sends them."""
    if not shutil.which("fcitx5"):
        fail("fcitx5 is not installed (scripts/setup.sh installs it)")
    path = three_dimensions(j)
    home = tempfile.mkdtemp(prefix="home-", dir=j.work)
    config = os.path.join(home, ".config", "fcitx5")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "profile"), "w") as f:
        f.write(PINYIN_PROFILE)
    env = dict(j.desk.env, HOME=home,
               XDG_CONFIG_HOME=os.path.join(home, ".config"))
    log = open(os.path.join(j.out_dir, "fcitx5.log"), "w")
    j.desk.procs.append(subprocess.Popen(
        ["fcitx5", "--disable=wayland,notificationitem,kimpanel"],
        env=env, stdout=log, stderr=log))

    def remote(*args):
        return subprocess.run(["fcitx5-remote", *args], env=env,
                              capture_output=True, text=True, timeout=SHORT)

    def owned():
        # Asked without starting anything: fcitx5-remote would have the bus
        # start a second fcitx5 (Debian installs it as a D-Bus service),
        # without this journey's profile, and the two race for the name.
        r = subprocess.run(
            ["dbus-send", "--session", "--print-reply",
             "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
             "org.freedesktop.DBus.NameHasOwner",
             "string:org.fcitx.Fcitx5"],
            env=env, capture_output=True, text=True, timeout=SHORT)
        return "boolean true" in r.stdout
    poll(owned, LONG, "fcitx5 to take its name on the session bus")
    poll(lambda: remote().returncode == 0 and remote().stdout.strip(),
         LONG, "fcitx5 to answer on the session bus")
    j.desk.env.update(QT_IM_MODULE="fcitx", XMODIFIERS="@im=fcitx")
    # Opened from the command line: a path typed fast through the input
    # method may lose keys, which is not what this journey is about.
    j.start(home=home, args=(path,))
    wait_opened(j)
    number_automatically(j)

    def typed_into(box, what):
        j.click(box, what=what)
        time.sleep(0.3)
        # On as a person turns it on: its trigger key, Ctrl+Space.
        if remote().stdout.strip() != "2":
            j.key("ctrl+space")
        time.sleep(0.5)
        if remote().stdout.strip() != "2":
            fail(f"the input method does not turn on in {what}")
        j.type("ni")
        time.sleep(0.5)
        shown = h.text_of(box)
        j.shot(what)
        j.key("Escape")
        return shown

    composed = typed_into(search_box(j), "the box “尺寸值：”")
    if composed == "ni":
        fail("the input method is not on in an ordinary box (“ni” went "
             "through as typed), so it proves nothing about the sample box")
    sample = typed_into(sample_box(j, 1), "the box “样本1”")
    if sample != "ni":
        fail(f"the sample box went through the input method: it shows "
             f"“{sample}” after “ni” was typed")


# --- running one ------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("name", nargs="?")
    ap.add_argument("--bin")
    ap.add_argument("--out")
    ap.add_argument("--size", default="1280x800")
    ap.add_argument("--list", action="store_true")
    args = ap.parse_args()
    if args.list or not args.name:
        print("\n".join(JOURNEYS))
        return 0
    missing = [c for c in ("Xvfb", "dbus-daemon", "openbox", "xdotool",
                           "xprop", "xmessage") if not shutil.which(c)]
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        missing.append("at-spi-bus-launcher (at-spi2-core)")
    for module in ("pyatspi", "PIL"):
        try:
            __import__(module)
        except ImportError:
            missing.append(f"python3 module {module}")
    if missing:
        print(f"the window journeys need {', '.join(missing)}: "
              f"run scripts/setup.sh")
        return 2
    binary = os.environ.get("DIMMARK_BIN") or args.bin
    if not binary or not os.access(binary, os.X_OK):
        print(f"no program to drive: {binary!r} (give --bin or DIMMARK_BIN)")
        return 2
    out = args.out or os.path.join(os.getcwd(), "window-tests", args.name)
    shutil.rmtree(out, ignore_errors=True)
    size = tuple(int(v) for v in args.size.split("x"))
    started = time.monotonic()
    j = None
    try:
        j = h.Journey(out, binary, size)
        JOURNEYS[args.name](j)
        if j.soft:
            raise h.JourneyFailure("; ".join(j.soft))
        print(f"{args.name}: passed in {time.monotonic() - started:.1f} s")
        return 0
    except h.JourneyFailure as e:
        message = str(e)
        if j and j.soft and message != "; ".join(j.soft):
            message = "; ".join(j.soft + [message])
        print(f"{args.name}: FAILED after {time.monotonic() - started:.1f} s:"
              f" {message}")
        if j:
            shown = j.open_messages()
            if shown:
                message += f" [showing: {shown}]"
            j.save_failure(message)
        print(f"(pictures, tree and output in {out})")
        return 1
    except Exception:  # noqa: BLE001 - a fault of the journey itself
        traceback.print_exc()
        if j:
            j.save_failure(traceback.format_exc())
        return 1
    finally:
        if j:
            j.close()


if __name__ == "__main__":
    sys.exit(main())
