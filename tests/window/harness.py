"""The harness of the window journeys: the real dimmark under Xvfb, driven
as a person drives it.

A journey gets a Desktop (Xvfb, a D-Bus session and the accessibility bus)
and starts the program in it with a home of its own. Widgets are found in
the accessibility tree by role and Chinese name, buttons pressed through
their Action interface, keys and clicks sent with xdotool, pictures taken
from the X server and judged with PIL. Every wait polls with a timeout and
says what it waited for; a failure leaves its screenshot, the tree and the
program's output in the journey's folder.
"""

import math
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time

# A sanitized program is several times slower: its tests say how much.
PATIENCE = float(os.environ.get("DIMMARK_WINDOW_PATIENCE", "1"))
SHORT = 5.0 * PATIENCE  # a window's reaction to a click or a key
LONG = 30.0 * PATIENCE  # opening a drawing, converting a DWG, a busy machine


class JourneyFailure(AssertionError):
    pass


class ProgramGone(JourneyFailure):
    """The program ended: no use waiting for anything else."""


def fail(message):
    raise JourneyFailure(message)


# Set once the accessibility bus is up: takes in its events between probes.
PUMP = None


def poll(probe, timeout, what, interval=0.05):
    """probe() until it gives something true; its value is returned. An
    exception from the accessibility bus (a window going away under the
    probe) counts as not yet."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        if PUMP:
            PUMP()
        try:
            value = probe()
        except ProgramGone:
            raise
        except Exception as e:  # noqa: BLE001 - stale objects, bus errors
            value, last_error = None, e
        if value:
            return value
        if time.monotonic() > end:
            detail = f" ({last_error})" if last_error else ""
            if callable(what):  # told as things stand at the end
                what = what()
            fail(f"waited {timeout:g} s for {what}{detail}")
        time.sleep(interval)


def matches(pattern, text):
    if pattern is None:
        return True
    if isinstance(pattern, re.Pattern):
        return bool(pattern.search(text or ""))
    return text == pattern


# --- the desktop ----------------------------------------------------------


class Desktop:
    """Xvfb, a D-Bus session bus and the accessibility bus, all ours."""

    def __init__(self, out_dir, size=(1280, 800)):
        self.out_dir = out_dir
        self.size = size
        self.procs = []
        self.runtime = tempfile.mkdtemp(prefix="dimmark-window-run-")
        os.chmod(self.runtime, 0o700)
        log = open(os.path.join(out_dir, "desktop.log"), "w")
        self.log = log
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{size[0]}x{size[1]}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=log, stderr=log)
        os.close(write_end)
        self.procs.append(xvfb)
        number = b""
        end = time.monotonic() + LONG
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 0.2)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
            if time.monotonic() > end or xvfb.poll() is not None:
                break
        os.close(read_end)
        if not number.strip():
            self.close()
            fail("Xvfb did not start (see desktop.log)")
        self.display = ":" + number.decode().strip()

        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "QT_", "XDG_"))}
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime,
                   NO_AT_BRIDGE="0")
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile",
             "--print-address=1"],
            env=env, stdout=subprocess.PIPE, stderr=log, text=True)
        self.procs.append(bus)
        address = bus.stdout.readline().strip()
        if not address:
            self.close()
            fail("the D-Bus session did not start (see desktop.log)")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        # A window manager, as every desktop has: it gives new windows the
        # keyboard and gives it back when they close.
        self.procs.append(subprocess.Popen(
            ["openbox", "--sm-disable"], env=env, stdout=log, stderr=log))
        poll(lambda: self._wm_running(env), LONG, "the window manager")
        # The accessibility bus, started at once rather than on first use,
        # so the program finds it when it starts.
        self.procs.append(subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
            env=env, stdout=log, stderr=log))
        self.env = env
        # This process reads the tree through the same buses.
        os.environ.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime,
                          DBUS_SESSION_BUS_ADDRESS=address)
        global pyatspi
        import pyatspi  # noqa: E402 - only once the buses are known

        # A frozen program must not hold every call for D-Bus's 25 s.
        pyatspi.setTimeout(int(4000 * PATIENCE), int(15000 * PATIENCE))
        poll(self._a11y_ready, LONG, "the accessibility bus")

    @staticmethod
    def _wm_running(env):
        r = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                           env=env, capture_output=True, text=True,
                           timeout=SHORT)
        return "window id" in r.stdout

    def _a11y_ready(self):
        return pyatspi.Registry.getDesktop(0) is not None

    def xdotool(self, *args):
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env,
                           capture_output=True, text=True, timeout=LONG)
        if r.returncode != 0:
            fail(f"xdotool {' '.join(map(str, args))}: {r.stderr.strip()}")
        return r.stdout

    def grab(self):
        from PIL import ImageGrab

        return ImageGrab.grab(xdisplay=self.display).convert("RGB")

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.procs = []
        shutil.rmtree(self.runtime, ignore_errors=True)


# --- the accessibility tree -------------------------------------------------


def role(acc):
    return acc.getRoleName()


def states(acc):
    return acc.getState()


def showing(acc):
    return states(acc).contains(pyatspi.STATE_SHOWING)


def enabled(acc):
    s = states(acc)
    return s.contains(pyatspi.STATE_ENABLED) or s.contains(
        pyatspi.STATE_SENSITIVE)


def checked(acc):
    return states(acc).contains(pyatspi.STATE_CHECKED)


def focused(acc):
    return states(acc).contains(pyatspi.STATE_FOCUSED)


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


def centre(acc):
    x, y, w, h = extents(acc)
    return (x + w // 2, y + h // 2)


def on_screen(acc):
    """Shown and not cut away: its middle lies inside every window and
    frame around it (Qt calls a widget showing even where its parent's
    size hides it)."""
    if not showing(acc):
        return False
    x, y, w, h = extents(acc)
    if w <= 0 or h <= 0:
        return False
    cx, cy = x + w / 2, y + h / 2
    a = acc.parent
    while a is not None and role(a) != "application":
        if role(a) in ("popup menu", "menu") or (
                role(a) == "list" and role(a.parent) == "combo box"):
            break  # a window of its own, outside its owner
        px, py, pw, ph = extents(a)
        if pw > 0 and ph > 0 and not (px <= cx < px + pw and py <= cy < py + ph):
            return False
        a = a.parent
    return True


def text_of(acc):
    """What a text box holds (its name is often its frame's title)."""
    try:
        t = acc.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return acc.name


def children(acc):
    for i in range(acc.childCount):
        c = acc.getChildAtIndex(i)
        if c is not None:
            yield c


# Tables list every cell as a child: a workbook's sheet has thousands.
CELL_HOLDERS = ("table", "tree table", "tree")


def walk(acc, only_showing=True):
    """Depth first; hidden subtrees are left out when only_showing, and
    the cells of tables other than acc itself always."""
    stack = [acc]
    while stack:
        a = stack.pop()
        yield a
        try:
            if a is not acc and role(a) in CELL_HOLDERS:
                continue
            kids = list(children(a))
        except Exception:  # noqa: BLE001 - gone while we looked
            continue
        for c in reversed(kids):
            try:
                if only_showing and not showing(c) and role(c) != "application":
                    continue
            except Exception:  # noqa: BLE001
                continue
            stack.append(c)


def describe(acc):
    try:
        return f"[{role(acc)}] {acc.name!r}"
    except Exception:  # noqa: BLE001
        return "[gone]"


def dump_tree(acc, out, depth=0):
    try:
        s = states(acc)
        flags = [n for n, st in (("showing", pyatspi.STATE_SHOWING),
                                 ("enabled", pyatspi.STATE_ENABLED),
                                 ("focused", pyatspi.STATE_FOCUSED),
                                 ("checked", pyatspi.STATE_CHECKED))
                 if s.contains(st)]
        try:
            ext = extents(acc)
        except Exception:  # noqa: BLE001
            ext = None
        line = f"{'  ' * depth}{describe(acc)} {','.join(flags)} {ext}"
        if role(acc) in ("text", "combo box"):
            line += f" text={text_of(acc)!r}"
        if role(acc) in CELL_HOLDERS:
            line += f" ({acc.childCount} cells left out)"
            out.write(line + "\n")
            return
        out.write(line + "\n")
        for c in children(acc):
            dump_tree(c, out, depth + 1)
    except Exception as e:  # noqa: BLE001
        out.write(f"{'  ' * depth}<error {e}>\n")


# --- the program ----------------------------------------------------------


class Program:
    """One run of dimmark in the desktop, with the given home."""

    def __init__(self, desk, binary, home, log_path, args=()):
        self.desk = desk
        self.binary = binary
        self.home = home
        env = dict(desk.env)
        env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        env.pop("QT_QPA_PLATFORMTHEME", None)
        os.makedirs(env["XDG_CONFIG_HOME"], exist_ok=True)
        self.log_path = log_path
        self.log = open(log_path, "w")
        self.proc = subprocess.Popen([binary, *args], env=env,
                                     stdout=self.log, stderr=self.log,
                                     cwd=home)
        self.root = poll(self._find_root, LONG,
                         "the program to appear on the accessibility bus")
        poll(lambda: self.windows(), LONG, "the program's first window")

    def _find_root(self):
        if self.proc.poll() is not None:
            raise ProgramGone(f"dimmark ended at start with code {self.proc.returncode}:"
                 f" {self.output()[-2000:]}")
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.proc.pid:
                return app
        return None

    def alive(self):
        return self.proc.poll() is None

    def output(self):
        self.log.flush()
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def windows(self):
        return [w for w in children(self.root) if showing(w)]

    def dump(self, path):
        with open(path, "w", encoding="utf-8") as out:
            try:
                dump_tree(self.root, out)
            except Exception as e:  # noqa: BLE001
                out.write(f"<no tree: {e}>\n")

    def wait_end(self, timeout=LONG):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            fail(f"dimmark did not end within {timeout:g} s")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self.log.close()


# --- a person at the window ---------------------------------------------------


class Journey:
    """What a person does: look for a control by its name, press it, type,
    click into the drawing, look at the picture."""

    def __init__(self, out_dir, binary, size=(1280, 800)):
        self.out_dir = out_dir
        self.binary = os.path.abspath(binary)
        self.bin_dir = os.path.dirname(self.binary)
        os.makedirs(out_dir, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="dimmark-window-")
        self.desk = Desktop(out_dir, size)
        self._listen()
        self.program = None
        self.runs = 0
        self.shots = 0
        self.soft = []
        self.notes = []
        self._found = {}

    def _listen(self):
        """Popup menus are no child of any window in the tree: they are
        known by the event that shows them."""
        from gi.repository import GLib

        context = GLib.MainContext.default()
        self.popups = []
        self.last_focus = None
        self.focus_serial = 0

        def on_event(e):
            try:
                if e.type.startswith("object:state-changed:showing"):
                    if e.detail1 and role(e.source) in ("popup menu", "menu"):
                        self.popups.append(e.source)
                elif e.type.startswith("focus"):
                    self.last_focus = e.source
                    self.focus_serial += 1
            except Exception:  # noqa: BLE001 - gone already
                pass

        pyatspi.Registry.registerEventListener(
            on_event, "object:state-changed:showing", "focus:")

        def pump():
            while context.iteration(False):
                pass

        global PUMP
        PUMP = pump

    # -- the program's life

    def start(self, home=None, args=()):
        """Starts dimmark; a new home unless one of an earlier run is
        given, which keeps its settings."""
        self._found = {}
        if home is None:
            home = tempfile.mkdtemp(prefix="home-", dir=self.work)
        self.runs += 1
        self.program = Program(self.desk, self.binary, home,
                               os.path.join(self.out_dir,
                                            f"dimmark-{self.runs}.log"),
                               args)
        return home

    @property
    def root(self):
        return self.program.root

    def close(self):
        if self.program:
            self.program.kill()
        self.desk.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def save_failure(self, message):
        with open(os.path.join(self.out_dir, "failure.txt"), "w") as f:
            f.write(message + "\n")
        try:
            self.desk.grab().save(os.path.join(self.out_dir, "failure.png"))
        except Exception as e:  # noqa: BLE001
            print(f"no screenshot: {e}")
        if self.program and self.program.alive():
            self.program.dump(os.path.join(self.out_dir, "failure-tree.txt"))

    def open_messages(self):
        """The texts of the message boxes and dialogs that are open."""
        texts = []
        try:
            for w in self.program.windows():
                if role(w) in ("dialog", "alert"):
                    labels = [a.name for a in walk(w)
                              if role(a) == "label" and a.name]
                    texts.append(f"{w.name!r}: {' / '.join(labels)}")
        except Exception:  # noqa: BLE001
            pass
        return "; ".join(texts)

    def shot(self, name):
        """A picture kept for the reader of the journey's folder."""
        self.shots += 1
        img = self.desk.grab()
        img.save(os.path.join(self.out_dir, f"{self.shots:02d}-{name}.png"))
        return img

    def check(self, ok, message):
        """A check whose failure is noted and the journey goes on, where
        what follows does not depend on it."""
        if not ok:
            print(f"FAILED: {message}", flush=True)
            self.soft.append(message)
            self.shot("failed-check")
        return ok

    def alive_check(self):
        if not self.program.alive():
            raise ProgramGone(f"dimmark ended (code {self.program.proc.returncode});"
                 f" its output: {self.program.output()[-1500:]}")

    # -- finding

    def find_all(self, role_name=None, name=None, within=None,
                 only_showing=True, pred=None):
        self.alive_check()
        found = []
        for a in walk(within or self.root, only_showing):
            try:
                if role_name is not None:
                    wanted = role_name if isinstance(role_name, (tuple, list)) \
                        else (role_name,)
                    if role(a) not in wanted:
                        continue
                if not matches(name, a.name):
                    continue
                if pred and not pred(a):
                    continue
            except Exception:  # noqa: BLE001
                continue
            found.append(a)
        return found

    def find(self, role_name, name, within=None, timeout=SHORT, what=None,
             pred=None):
        """The one showing control of that role and name (the first when
        several)."""
        what = what or f"{role_name} {name!r}"
        key = (repr(role_name), repr(name), within and within.path,
               pred is None)

        def fits(a):
            # A control found before, if it is still the one: walking the
            # whole tree costs hundreds of calls over the bus.
            try:
                if not showing(a) or not matches(name, a.name):
                    return False
                if role_name is not None and role(a) not in (
                        role_name if isinstance(role_name, (tuple, list))
                        else (role_name,)):
                    return False
                return True
            except Exception:  # noqa: BLE001
                return False

        def probe():
            known = self._found.get(key)
            if known is not None and fits(known):
                return known
            hits = self.find_all(role_name, name, within, pred=pred)
            if hits and pred is None:
                self._found[key] = hits[0]
            return hits[0] if hits else None

        return poll(probe, timeout, what)

    def gone(self, role_name, name, within=None, timeout=SHORT, what=None):
        poll(lambda: not self.find_all(role_name, name, within), timeout,
             what or f"{role_name} {name!r} to go away")

    def button(self, name, within=None, timeout=SHORT):
        return self.find("push button", name, within, timeout,
                         f"the button “{name}”")

    def window(self, title, timeout=SHORT):
        """A top-level window (or dialog) of the program by its title."""
        def probe():
            for w in self.program.windows():
                if matches(title, w.name):
                    return w
            return None

        return poll(probe, timeout, f"the window “{title}”")

    def field(self, label, within=None, timeout=SHORT, which=0):
        """The text box (or list) a label names, as a person pairs them:
        the box the label is set for, or else the one right of it on its
        row. which: the label's place among those of that name, top to
        bottom."""
        key = ("field", repr(label), within and within.path, which)
        known = self._found.get(key)
        try:
            if known is not None and showing(known):
                return known
        except Exception:  # noqa: BLE001
            pass

        def probe():
            labels = self.find_all("label", label, within)
            if len(labels) <= which:
                return None
            labels.sort(key=lambda a: (extents(a)[1], extents(a)[0]))
            lab = labels[which]
            try:
                for rel in lab.getRelationSet():
                    if rel.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                        return rel.getTarget(0)
            except Exception:  # noqa: BLE001
                pass
            lx, ly, lw, lh = extents(lab)
            mid = ly + lh / 2
            best = None
            for box in self.find_all(("text", "combo box", "spin button"),
                                     None, within):
                x, y, w, h = extents(box)
                if y <= mid <= y + h and x >= lx + lw - 4:
                    if best is None or x < extents(best)[0]:
                        best = box
            return best

        box = poll(probe, timeout, f"the box beside “{label}”")
        self._found[key] = box
        return box

    def key_for_focus(self, key, timeout=2.0 * PATIENCE):
        """Presses a key that should move the focus; gives the control that
        has it afterwards (None when the focus did not move)."""
        self.ensure_active()
        serial = self.focus_serial
        self.key(key)
        try:
            poll(lambda: self.focus_serial != serial, timeout, "the focus")
        except JourneyFailure:
            return None
        return self.last_focus

    def focused_control(self):
        hits = self.find_all(pred=focused)
        # The innermost focused one (a combo box's line edit, a table cell).
        return hits[-1] if hits else None

    # -- acting

    def press(self, acc, what=None):
        """Presses a button through its Action interface, as assistive
        technology does; a greyed or hidden button is a failure."""
        what = what or describe(acc)
        poll(lambda: on_screen(acc), SHORT, f"{what} to show on the screen")
        if not enabled(acc):
            fail(f"{what} is greyed out (disabled)")
        action = acc.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        for wanted in ("Press", "press", "click", "Toggle", "toggle"):
            if wanted in names:
                try:
                    action.doAction(names.index(wanted))
                except Exception as e:  # noqa: BLE001
                    # A control that opens a modal dialog at once (a tool
                    # button) answers only when the dialog closes.
                    if "Did not receive a reply" not in str(e):
                        raise
                return
        fail(f"{what} offers no press action (it has {names})")

    def press_button(self, name, within=None):
        self.press(self.button(name, within), f"the button “{name}”")

    def click(self, acc, button=1, what=None):
        what = what or describe(acc)
        poll(lambda: on_screen(acc), SHORT, f"{what} to show on the screen")
        x, y = centre(acc)
        self.click_at(x, y, button)

    # No --sync: it waits for ever when the pointer is there already; the
    # server takes the motion and the click in order all the same.
    def click_at(self, x, y, button=1):
        self.desk.xdotool("mousemove", int(x), int(y), "click", button)

    def move_to(self, x, y):
        self.desk.xdotool("mousemove", int(x), int(y))

    def key(self, *keys):
        for k in keys:
            self.desk.xdotool("key", "--clearmodifiers", k)

    def type(self, text):
        self.desk.xdotool("type", "--delay", 4, text)

    def set_text(self, box, text, what=None):
        """Clicks into a box, selects what it holds and types over it."""
        what = what or describe(box)
        for attempt in (1, 2):
            self.click(box, what=what)
            time.sleep(0.1)
            self.key("ctrl+a")
            self.type(text)
            try:
                poll(lambda: text_of(box) == text, 1.5 * attempt * PATIENCE, "")
                return
            except JourneyFailure:
                pass
        fail(f"{what} does not take what is typed: it shows "
             f"“{text_of(box)}” after “{text}” was typed into it")

    def ensure_active(self):
        """Qt sometimes leaves the main window inactive when a dialog
        closes, though the window manager gave it the keyboard: no focus
        is then reported and no shortcut works. As a person switching to
        another window and back, a passing window puts it right."""
        wins = self.program.windows()
        if not wins or any(states(w).contains(pyatspi.STATE_ACTIVE)
                           for w in wins):
            return
        print("note: no window of the program is active (Qt takes no "
              "shortcut then); switching to another window and back",
              flush=True)
        self.notes.append("main window left inactive")
        other = subprocess.Popen(["xmessage", "-geometry", "+0+0", "-"],
                                 env=self.desk.env, stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            ids = poll(lambda: subprocess.run(
                ["xdotool", "search", "--classname", "xmessage"],
                env=self.desk.env, capture_output=True, text=True,
                timeout=SHORT).stdout.split(), SHORT, "the passing window")
            self.desk.xdotool("windowactivate", ids[0])
            poll(lambda: self.desk.xdotool("getwindowfocus").strip() == ids[0],
                 SHORT, "the passing window to take the keyboard")
            # Long enough for Qt to give up its window's activation (it
            # waits 400 ms for a focus coming back).
            time.sleep(0.7 * PATIENCE)
        finally:
            other.kill()
            other.wait()
        poll(lambda: any(states(w).contains(pyatspi.STATE_ACTIVE)
                         for w in self.program.windows()), SHORT,
             "the program's window to be active again after switching to "
             "another window and back (no shortcut can work in it)")

    def choose(self, combo, item, what=None):
        """Opens a drop-down list with a click on its arrow and clicks the
        item."""
        what = what or describe(combo)
        poll(lambda: on_screen(combo), SHORT, f"{what} to show on the screen")
        x, y, w, hh = extents(combo)
        self.click_at(x + w - 8, y + hh // 2)
        entry = self.find("list item", item, timeout=SHORT,
                          what=f"the entry “{item}” of {what}")
        self.click(entry)
        self.gone("list item", item, timeout=SHORT,
                  what=f"the list of {what} to close")

    def drawing_menus(self):
        """The menu bar with the drawing's menus (the one holding “视图”),
        the CAD window's own or the main window's."""
        def probe():
            for bar in self.find_all("menu bar"):
                if any(role(i) == "menu item" and i.name == "视图"
                       for i in children(bar)):
                    return bar
            return None

        return poll(probe, SHORT, "a menu bar with the drawing's menus")

    def menu(self, *path, within=None):
        """Clicks through a menu bar: menu("文件", "另存为…"); the drawing's
        menus unless within says where."""
        within = within or self.drawing_menus()
        first = self.find("menu item", path[0], within,
                          what=f"the menu “{path[0]}”")
        if not enabled(first):
            fail(f"the menu “{path[0]}” is greyed out")
        self.click(first)
        for name in path[1:]:
            item = self.find("menu item", name, what=f"the menu item “{name}”")
            if not enabled(item):
                fail(f"the menu item “{name}” is greyed out")
            self.click(item)

    def popup_item(self, name, timeout=SHORT):
        """An item of the popup menu that is open."""
        def probe():
            for m in reversed(self.popups):
                if not showing(m):
                    continue
                for item in children(m):
                    if role(item) == "menu item" and matches(name, item.name):
                        return item
            return None

        return poll(probe, timeout, f"a popup menu with the item “{name}”")

    # -- dialogs

    def file_dialog(self, title, timeout=LONG):
        return self.window(title, timeout)

    def file_name_box(self, dlg):
        """The file name box of Qt's file dialog: the box that has the
        focus when the dialog opens."""
        return poll(lambda: next(
            (a for a in walk(dlg) if role(a) == "text" and focused(a)), None),
            SHORT, "the file name box of the file dialog")

    def choose_file(self, title, path, timeout=LONG):
        dlg = self.file_dialog(title, timeout)
        self.file_name_box(dlg)
        self.key("ctrl+a")
        self.type(path)
        self.key("Return")
        poll(lambda: not showing(dlg), SHORT,
             f"the file dialog “{title}” to close")

    def shortcut(self, keys):
        """A key for the window's shortcuts (Qt takes them only in an
        active window)."""
        self.ensure_active()
        self.key(keys)

    # -- the screen

    def settled(self, box, timeout=SHORT):
        """A picture of the screen once the box has stopped changing (the
        view draws a moment after it is asked to)."""
        x, y, w, h = (int(v) for v in box)
        last = None
        end = time.monotonic() + timeout
        while True:
            if PUMP:
                PUMP()
            img = self.desk.grab()
            crop = img.crop((x, y, x + w, y + h)).tobytes()
            if crop == last:
                return img
            if time.monotonic() > end:
                return img
            last = crop
            time.sleep(0.12)

    # -- the drawing

    def cad_window(self):
        """The CAD window: the one with the properties bar (特性)."""
        bar = self.find("tool bar", "特性", what="the CAD window (its properties bar “特性”)")
        return bar.parent

    def view(self):
        """The drawing view: named 图纸 if the program names it, else the
        CAD window's largest plain area."""
        cad = self.cad_window()
        named = self.find_all(None, "图纸", within=cad)
        if named:
            return named[0]
        best, area = None, 0
        for c in children(cad):
            if role(c) in ("filler", "panel", "canvas", "drawing area",
                           "unknown") and showing(c):
                x, y, w, h = extents(c)
                if w * h > area:
                    best, area = c, w * h
        if best is None:
            fail("the CAD window shows no drawing view")
        return best

    def status_labels(self):
        """The labels standing directly on the CAD window's status line,
        shown or hidden (a passing message hides them)."""
        cad = self.cad_window()
        bars = [c for c in children(cad) if role(c) == "status bar"]
        if not bars:
            fail("the CAD window has no status line")
        return [a for a in children(bars[0]) if role(a) == "label"]

    def prompt(self):
        """What the CAD window's status line asks for (empty when nothing)."""
        for lab in self.status_labels():
            if not self.COORDS.match(lab.name or ""):
                return lab.name or ""
        return ""

    def wait_prompt(self, text, timeout=SHORT):
        return poll(lambda: self.prompt() == text, timeout,
                    lambda: f"the CAD window to ask “{text}” (it shows "
                            f"“{self._prompt_or_none()}”)")

    def _prompt_or_none(self):
        try:
            return self.prompt()
        except Exception:  # noqa: BLE001
            return "?"

    COORDS = re.compile(r"^\s*(-?[0-9.]+)\s*,\s*(-?[0-9.]+)")

    def cursor_coords(self):
        for lab in self.status_labels():
            m = self.COORDS.match(lab.name or "")
            if m:
                return (float(m.group(1)), float(m.group(2)))
        return None

    def calibrate(self):
        """Drawing units to screen pixels, from the coordinates the status
        line shows for the cursor at two points of the view."""
        view = self.view()
        if not enabled(view):
            fail("the drawing view is greyed out (disabled)")
        vx, vy, vw, vh = extents(view)
        points = [(vx + vw // 4, vy + vh // 4), (vx + 3 * vw // 4,
                                                 vy + 3 * vh // 4)]
        seen = []
        self.move_to(points[1][0] + 7, points[1][1] + 5)
        before = poll(self.cursor_coords, SHORT,
                      "the status line to show the cursor's coordinates")
        for px, py in points:
            self.move_to(px, py)
            now = poll(lambda: (c := self.cursor_coords()) and c != before
                       and c, SHORT,
                       "the cursor's coordinates to follow the mouse")
            seen.append(now)
            before = now
        (x1, y1), (x2, y2) = seen
        (p1x, p1y), (p2x, p2y) = points
        return Mapping(view_box=(vx, vy, vw, vh), p1=(p1x, p1y), d1=(x1, y1),
                       sx=(x2 - x1) / (p2x - p1x), sy=(y2 - y1) / (p2y - p1y))

    def pick(self, mapping, x, y):
        """A left click at the drawing point (x, y)."""
        px, py = mapping.to_px(x, y)
        if not mapping.inside(px, py):
            fail(f"the point ({x:g}, {y:g}) is outside the drawing view")
        self.click_at(px, py)


class Mapping:
    def __init__(self, view_box, p1, d1, sx, sy):
        self.view_box = view_box
        self.p1, self.d1, self.sx, self.sy = p1, d1, sx, sy

    def to_px(self, x, y):
        return (self.p1[0] + (x - self.d1[0]) / self.sx,
                self.p1[1] + (y - self.d1[1]) / self.sy)

    def to_dwg(self, px, py):
        return (self.d1[0] + (px - self.p1[0]) * self.sx,
                self.d1[1] + (py - self.p1[1]) * self.sy)

    def px_per_unit(self):
        return 1 / abs(self.sx)

    def inside(self, px, py, margin=2):
        vx, vy, vw, vh = self.view_box
        return vx + margin <= px < vx + vw - margin and \
            vy + margin <= py < vy + vh - margin


# --- judging pictures -----------------------------------------------------

BACKGROUND = (33, 40, 48)  # the drawing view's background


def close_to(pixel, rgb, tol):
    return max(abs(pixel[i] - rgb[i]) for i in range(3)) <= tol


def ink(img, box, tol=40):
    """How many pixels of the box differ from the view's background."""
    from PIL import Image, ImageChops

    x, y, w, h = (int(v) for v in box)
    crop = img.crop((x, y, x + w, y + h))
    diff = ImageChops.difference(crop, Image.new("RGB", crop.size, BACKGROUND))
    r, g, b = diff.split()
    most = ImageChops.lighter(ImageChops.lighter(r, g), b)
    return sum(most.point(lambda v: 255 if v > tol else 0).histogram()[255:])


def colour_count(img, box, rgb, least=0.5):
    x, y, w, h = (int(v) for v in box)
    x, y = max(0, x), max(0, y)
    crop = img.crop((x, y, x + max(0, w), y + max(0, h)))
    return sum(1 for p in crop.getdata() if coverage(p, rgb) >= least)


def ring(cx, cy, r, hit, band=2, angles=36):
    """The share of directions in which hit(x, y) holds somewhere within
    band pixels of the circle of radius r around (cx, cy)."""
    hits = 0
    for k in range(angles):
        a = 2 * math.pi * k / angles
        for dr in range(-band, band + 1):
            px = int(round(cx + (r + dr) * math.cos(a)))
            py = int(round(cy + (r + dr) * math.sin(a)))
            if hit(px, py):
                hits += 1
                break
    return hits / angles


def _pixel(img, x, y):
    if 0 <= x < img.width and 0 <= y < img.height:
        return img.getpixel((x, y))
    return BACKGROUND


def is_ink(img, tol=40):
    return lambda x, y: not close_to(_pixel(img, x, y), BACKGROUND, tol)


def coverage(pixel, rgb, residual=40):
    """How much of the colour rgb a pixel holds over the view's background:
    1 for the colour itself, less where an antialiased line only partly
    covers it, 0 for another colour."""
    d = [rgb[i] - BACKGROUND[i] for i in range(3)]
    p = [pixel[i] - BACKGROUND[i] for i in range(3)]
    norm = sum(v * v for v in d)
    if norm == 0:
        return 0.0
    alpha = sum(p[i] * d[i] for i in range(3)) / norm
    if max(abs(p[i] - alpha * d[i]) for i in range(3)) > residual:
        return 0.0
    return alpha


def is_colour(img, rgb, least=0.4):
    """The colour rgb at (x, y), perhaps antialiased against the view."""
    return lambda x, y: coverage(_pixel(img, x, y), rgb) >= least


def changed(before, after, tol=40):
    return lambda x, y: not close_to(_pixel(after, x, y),
                                     _pixel(before, x, y), tol)


# --- facts about a drawing, from the command-line tool ----------------------


def drawing_facts(cli, drawing):
    """Extents, dimensions and the mark size of a drawing, read by
    dimmark-cli from a copy of its own (the copy gets the database)."""
    import json

    with tempfile.TemporaryDirectory(prefix="dimmark-facts-") as d:
        copy = os.path.join(d, os.path.basename(drawing))
        shutil.copy(drawing, copy)
        first = subprocess.run([cli, "inspect", copy], capture_output=True,
                               text=True, timeout=120)
        if first.returncode != 0:
            fail(f"dimmark-cli inspect {drawing}: {first.stderr}")
        header = json.loads(first.stdout.splitlines()[0])
        r = subprocess.run([cli, "extract", copy], capture_output=True,
                           text=True, timeout=120)
        if r.returncode != 0:
            fail(f"dimmark-cli extract {drawing}: {r.stderr}")
    lines = [json.loads(line) for line in r.stdout.splitlines() if line]
    dims = [d for d in lines if "position" in d]
    summary = lines[-1]
    return {"extmin": header["EXTMIN"], "extmax": header["EXTMAX"],
            "dims": dims, "textHeight": summary["textHeight"],
            "dimCount": summary["dimCount"]}
