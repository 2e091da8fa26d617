#!/usr/bin/python3
"""Kills `dimmark-cli number` at random moments while it numbers a drawing
of 5,000 dimensions. After every kill the drawing's database passes
SQLite's integrity check and holds no rows or the whole pass (and then the
marked drawing is whole), nothing else is left beside the drawing, and a
rerun numbers it (or, after a whole pass, refuses to number it again).

usage: kill_numbering.py DIMMARK_CLI KILLS [SEED]
"""
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

DIMS = 5000


def drawing():
    """An R12 drawing: two lines, then the dimensions in rows."""
    out = ["0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1009",
           "9", "$DIMTXT", "40", "2.5", "0", "ENDSEC",
           "0", "SECTION", "2", "ENTITIES"]
    for k in range(2):
        out += ["0", "LINE", "8", "0", "62", "3", "10", "0", "20", str(k),
                "11", "1000", "21", str(k)]
    for i in range(DIMS):
        x, y = (i % 100) * 20.0, (i // 100) * 20.0
        out += ["0", "DIMENSION", "8", "0", "70", "32",
                "10", repr(x + 10), "20", repr(y + 8), "30", "0.0",
                "11", repr(x + 5), "21", repr(y + 9), "31", "0.0",
                "13", repr(x), "23", repr(y), "33", "0.0",
                "14", repr(x + 10), "24", repr(y), "34", "0.0",
                "42", repr(10.0 + i % 7), "50", "0.0"]
    out += ["0", "ENDSEC", "0", "EOF"]
    return "\n".join(out) + "\n"


def rows(db):
    """(integrity, rows of dim1) of the database, None when there is none."""
    if not os.path.exists(db):
        return None
    con = sqlite3.connect(db)
    try:
        check = con.execute("PRAGMA integrity_check").fetchone()[0]
        count = con.execute("SELECT count(*) FROM dim1").fetchone()[0]
    finally:
        con.close()
    return check, count


def whole_marked(path):
    """The marked drawing ends as DXF does and holds a mark per dimension."""
    with open(path, "rb") as f:
        data = f.read()
    return data.rstrip().endswith(b"EOF") and data.count(b"\nCIRCLE") >= DIMS


def number(cli, work):
    return subprocess.Popen(
        [cli, "number", os.path.join(work, "part.dxf"), "--save-as",
         os.path.join(work, "marked.dxf")],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def fail(message):
    sys.exit("kill_numbering: " + message)


def main(cli, kills, seed):
    rng = random.Random(seed)
    base = tempfile.mkdtemp(prefix="dimmark-kill-")
    try:
        source = os.path.join(base, "source.dxf")
        with open(source, "w") as f:
            f.write(drawing())
        work = os.path.join(base, "work")

        def fresh():
            shutil.rmtree(work, ignore_errors=True)
            os.mkdir(work)
            shutil.copy(source, os.path.join(work, "part.dxf"))

        # How long a whole run takes: the kills fall anywhere within it.
        fresh()
        began = time.monotonic()
        run = number(cli, work)
        _, err = run.communicate()
        whole = time.monotonic() - began
        if run.returncode != 0:
            fail("the drawing does not number: " + err)
        db = os.path.join(work, "part.mdb")
        if rows(db) != ("ok", DIMS):
            fail("a whole run left %r" % (rows(db),))

        outcomes = {"no rows": 0, "whole pass": 0}
        for k in range(kills):
            fresh()
            run = number(cli, work)
            # Half anywhere in the run, half about its end, where the marked
            # drawing is saved and the pass committed.
            if k % 2 == 0:
                time.sleep(rng.uniform(0, whole))
            else:
                time.sleep(rng.uniform(0.6 * whole, 1.1 * whole))
            run.send_signal(signal.SIGKILL)
            run.wait()
            state = rows(db)
            if state is not None and state[0] != "ok":
                fail("kill %d: integrity check says %s" % (k, state[0]))
            count = 0 if state is None else state[1]
            if count not in (0, DIMS):
                fail("kill %d: %d rows, neither none nor the whole pass" %
                     (k, count))
            if count == DIMS:
                outcomes["whole pass"] += 1
                if not whole_marked(os.path.join(work, "marked.dxf")):
                    fail("kill %d: the pass is kept but the marked drawing "
                         "is not whole" % k)
            else:
                outcomes["no rows"] += 1
            again = number(cli, work)
            _, err = again.communicate()
            if count == 0:
                if again.returncode != 0:
                    fail("kill %d: the rerun does not number: %s" % (k, err))
                if rows(db) != ("ok", DIMS):
                    fail("kill %d: the rerun left %r" % (k, rows(db)))
                if not whole_marked(os.path.join(work, "marked.dxf")):
                    fail("kill %d: the rerun's marked drawing is not whole" % k)
            elif again.returncode != 2 or "已经标号" not in err:
                fail("kill %d: a numbered drawing was numbered again" % k)
            # A copy cut short leaves only its hidden part, removed by the
            # next copy into the folder.
            left = sorted(n for n in os.listdir(work)
                          if not n.startswith(".marked.mdb.part-"))
            # The marked drawing's copy of the database comes after the
            # commit: whole when it is there.
            if "marked.mdb" in left:
                left.remove("marked.mdb")
                if rows(os.path.join(work, "marked.mdb")) != ("ok", DIMS):
                    fail("kill %d: the marked drawing's database is not "
                         "whole" % k)
            if left != ["marked.dxf", "part.dxf", "part.mdb"]:
                fail("kill %d: left behind %s" % (k, left))
        print("%d kills (seed %d, whole run %.2f s): %d left no rows, %d the "
              "whole pass; every rerun right" %
              (kills, seed, whole, outcomes["no rows"], outcomes["whole pass"]))
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]),
         int(sys.argv[3]) if len(sys.argv) == 4 else random.randrange(1 << 30))
