#!/usr/bin/python3
"""Side-by-side sheets of how DimMark draws each drawing and how ezdxf's
drawing add-on draws it, for a person to look at (issue 17).

    /usr/bin/python3 scripts/fidelity.py [--build build] [DRAWING.dxf ...]

Without drawings it takes every DXF of tests/fixtures/ and samples/. Each
drawing goes through `dimmark-cli export --png` (the CAD window's renderer)
and through ezdxf (Debian's python3-ezdxf with python3-matplotlib); the
sheets go to BUILD/fidelity/NAME.png with an index.html listing them. It
is a tool for looking, not a test: it passes or fails nothing. Drawings
are only read; a drawing either side cannot draw gets a sheet saying why.
"""

import argparse
import html
import logging
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def drawings():
    out = []
    for top in ("tests/fixtures", "samples"):
        for base, _, files in os.walk(os.path.join(ROOT, top)):
            out += [os.path.join(base, f) for f in sorted(files)
                    if f.lower().endswith(".dxf")]
    return sorted(out)


def ours(cli, drawing, png, width):
    # A copy, so that nothing is ever written beside the drawing itself.
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, os.path.basename(drawing))
        with open(drawing, "rb") as src, open(copy, "wb") as dst:
            dst.write(src.read())
        run = subprocess.run([cli, "export", copy, "--png", png,
                              "--width", str(width)],
                             capture_output=True, text=True, timeout=300)
    if run.returncode != 0:
        return (run.stderr or run.stdout).strip() or f"exit {run.returncode}"
    return None


def theirs(drawing, png, width):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from ezdxf import recover
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend

    try:
        doc, _ = recover.readfile(drawing)
        fig = plt.figure(figsize=(width / 100, width / 100 * 0.7), dpi=100)
        ax = fig.add_axes([0, 0, 1, 1])
        ctx = RenderContext(doc)
        Frontend(ctx, MatplotlibBackend(ax)).draw_layout(doc.modelspace(),
                                                         finalize=True)
        fig.savefig(png, dpi=100, facecolor=fig.get_facecolor())
        plt.close(fig)
    except Exception as e:  # any failure is shown on the sheet
        return f"{type(e).__name__}: {e}"
    return None


def sheet(name, left, left_err, right, right_err, out):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.image as mpimg
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, 2, figsize=(20, 8), dpi=100)
    for ax, title, png, err in ((axes[0], "DimMark", left, left_err),
                                (axes[1], "ezdxf", right, right_err)):
        ax.set_title(title)
        ax.axis("off")
        if err:
            ax.text(0.5, 0.5, err[:400], ha="center", va="center", wrap=True,
                    transform=ax.transAxes, color="red")
        else:
            ax.imshow(mpimg.imread(png))
    fig.suptitle(name)
    fig.tight_layout()
    fig.savefig(out)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--width", type=int, default=1200)
    ap.add_argument("drawings", nargs="*")
    args = ap.parse_args()
    # Fonts the drawings name and matplotlib lacks are many; say it once.
    logging.getLogger("matplotlib.font_manager").setLevel(logging.ERROR)
    cli = os.path.join(args.build, "bin", "dimmark-cli")
    if not os.access(cli, os.X_OK):
        sys.exit(f"no {cli}: build dimmark-cli first")
    outdir = os.path.join(args.build, "fidelity")
    os.makedirs(outdir, exist_ok=True)
    rows = []
    for drawing in args.drawings or drawings():
        rel = os.path.relpath(drawing, ROOT)
        name = rel.replace(os.sep, "__")[:-4]
        left = os.path.join(outdir, name + ".dimmark.png")
        right = os.path.join(outdir, name + ".ezdxf.png")
        left_err = ours(cli, drawing, left, args.width)
        right_err = theirs(drawing, right, args.width)
        out = os.path.join(outdir, name + ".png")
        sheet(rel, left, left_err, right, right_err, out)
        rows.append((rel, os.path.basename(out), left_err, right_err))
        print(f"{rel}: {out}" + (" (DimMark failed)" if left_err else "")
              + (" (ezdxf failed)" if right_err else ""))
    with open(os.path.join(outdir, "index.html"), "w", encoding="utf-8") as f:
        f.write("<!doctype html><meta charset=utf-8><title>fidelity</title>\n")
        for rel, png, le, re in rows:
            f.write(f"<h2>{html.escape(rel)}</h2>\n")
            for who, err in (("DimMark", le), ("ezdxf", re)):
                if err:
                    f.write(f"<p>{who}: {html.escape(err)}</p>\n")
            f.write(f'<img src="{html.escape(png)}" width="100%">\n')
    print(f"{len(rows)} sheets in {outdir}")


if __name__ == "__main__":
    main()
