#!/usr/bin/env python3
"""cmake --install into a fresh prefix gives a desktop entry that offers
DimMark for DWG and DXF drawings and starts the installed program, and
commands in bin/ that find their data beside the programs."""
import configparser
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile


def main(build_dir, source_dir):
    with tempfile.TemporaryDirectory() as tmp:
        prefix = os.path.join(tmp, "prefix with space")
        subprocess.run(["cmake", "--install", build_dir, "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL)
        entry = os.path.join(prefix, "share/applications/dimmark.desktop")
        if shutil.which("desktop-file-validate"):
            subprocess.run(["desktop-file-validate", entry], check=True)
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(entry, encoding="utf-8")
        e = parser["Desktop Entry"]
        mimes = set(filter(None, e["MimeType"].split(";")))
        assert {"image/vnd.dwg", "image/vnd.dxf"} <= mimes, mimes
        argv = shlex.split(e["Exec"])
        assert argv[-1] == "%f", argv
        program = argv[0]
        assert os.path.isabs(program) and os.access(program, os.X_OK), program
        assert e["TryExec"] == program
        icon = os.path.join(prefix, "share/icons/hicolor/scalable/apps",
                            e["Icon"] + ".svg")
        assert os.path.isfile(icon), icon
        # The command in bin/ is a link; the program reads its data beside
        # the real file, wherever it was called from.
        drawing = os.path.join(tmp, "part.dxf")
        shutil.copy(os.path.join(source_dir, "samples/bracket.dxf"), drawing)
        out = subprocess.run(
            [os.path.join(prefix, "bin/dimmark-cli"), "extract", drawing],
            check=True, capture_output=True, text=True, cwd="/").stdout
        summary = json.loads(out.strip().splitlines()[-1])
        assert summary["newDatabase"] and summary["dimCount"] > 0, summary
        for name in ("dimdata/dimen.mdb", "dimdata/fai.xlsx", "dwg/convert.mjs",
                     "samples/bracket.dxf"):
            path = os.path.join(os.path.dirname(program), name)
            assert os.path.isfile(path), path
    print("installed: desktop entry, commands and data in place")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
