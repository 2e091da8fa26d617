#!/usr/bin/python3
"""Times the drawing engine against ezdxf on the same generated drawing.

usage: compare.py [BUILD_DIR]    (default: build-engine beside this repo's root)

The engine's time is the bench_engine benchmark BM_LoadReadSave (load, read
every dimension property, save); ezdxf's is ezdxf.readfile alone, the best
of a few runs. Both run here, one after the other, on one file.
"""

import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build-engine")
    bench = os.path.join(build, "bin", "bench_engine")
    drawing = os.environ.get("DIMMARK_BENCH_DRAWING",
                             os.path.join(build, "bench", "engine",
                                          "bench_drawing.dxf"))
    if not os.path.exists(drawing):
        subprocess.run(["/usr/bin/python3",
                        os.path.join(HERE, "make_bench_drawing.py"), drawing],
                       check=True)
    env = dict(os.environ, DIMMARK_BENCH_DRAWING=drawing)
    out = subprocess.run([bench, "--benchmark_filter=BM_LoadReadSave",
                          "--benchmark_format=json"], env=env, check=True,
                         capture_output=True, text=True).stdout
    result = json.loads(out)["benchmarks"][0]
    engine = result["real_time"] / 1000.0  # ms to s
    engine_cpu = result["cpu_time"] / 1000.0

    import ezdxf  # Debian's python3-ezdxf
    runs = []
    for _ in range(3):
        start = time.perf_counter()
        doc = ezdxf.readfile(drawing)
        runs.append(time.perf_counter() - start)
        del doc
    ezdxf_time = min(runs)

    size = os.path.getsize(drawing)
    print(f"drawing: {drawing} ({size / 1e6:.1f} MB)")
    print(f"engine load + read every dimension property + save: "
          f"{engine * 1000:.0f} ms (cpu {engine_cpu * 1000:.0f} ms)")
    print(f"ezdxf {ezdxf.__version__} readfile: {ezdxf_time * 1000:.0f} ms "
          f"(best of {len(runs)})")
    print(f"ratio: {ezdxf_time / engine:.1f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
