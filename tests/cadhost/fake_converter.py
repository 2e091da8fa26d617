#!/usr/bin/python3
"""A stand-in for the DWG converter that speaks its protocol on fd 3 and
misbehaves as asked: python3 fake_converter.py MODE."""
import os
import signal
import sys
import time

mode = sys.argv[1]
chan = os.fdopen(3, "r+b", buffering=0)


def send(word, body):
    chan.write(b"%s %d\n" % (word, len(body)) + body)


if mode == "exit-at-start":
    sys.stderr.write("fatal: cannot load the converter\n")
    sys.exit(7)
if mode == "slow-start":
    time.sleep(30)
if mode == "group-hang":
    # A helper of its own that outlives it unless the group is stopped.
    if os.fork() == 0:
        with open(sys.argv[2], "w") as f:
            f.write(str(os.getpid()))
        time.sleep(30)
        os._exit(0)
chan.write(b"READY\n")
while True:
    header = b""
    while not header.endswith(b"\n"):
        c = chan.read(1)
        if not c:
            sys.exit(0)
        header += c
    path = chan.read(int(header.split()[1])).decode()
    if mode == "ok":
        # The "DXF" is the file's bytes with the converter's process id.
        with open(path, "rb") as f:
            send(b"OK", b"%d:" % os.getpid() + f.read())
    elif mode == "fail":
        send(b"FAIL", b"LibreDWG: table index is out of bounds")
        sys.exit(3)
    elif mode == "crash":
        os.kill(os.getpid(), signal.SIGSEGV)
    elif mode in ("hang", "group-hang"):
        time.sleep(30)
    elif mode == "garbage":
        chan.write(b"\x00\xffthis is not the protocol at all, and no newline" * 4)
        time.sleep(30)
    elif mode == "short":
        chan.write(b"OK 1000\n" + b"x" * 10)
        sys.exit(0)
    elif mode == "error-exit":
        sys.stderr.write("fatal: out of memory\n")
        sys.exit(5)
