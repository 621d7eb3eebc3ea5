#!/usr/bin/env python3
"""Whole-process time of one command-line request whose application is a
generated ~3,000-line, 3-module program, loaded from .js sources and from
.jo images. Needs a built runner and runner-compile (release preset).

usage: image_load.py BUILD_DIR [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(cmd, cwd, runs):
    times, out = [], None
    for _ in range(runs):
        start = time.perf_counter()
        result = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
        times.append(time.perf_counter() - start)
        out = result.stdout
    return times, out


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    work = tempfile.mkdtemp(prefix="tolv-image-bench-")
    try:
        subprocess.run([sys.executable, os.path.join(HERE, "make_large_app.py"), work, "3000", "3"], check=True)
        for program in ("runner", "runner-compile"):
            shutil.copy(os.path.join(build, program), work)
        with open(os.path.join(work, "TOLV.config"), "w") as f:
            f.write("")
        modules = sorted(n[:-3] for n in os.listdir(work) if n.endswith(".js"))
        lines = sum(open(os.path.join(work, m + ".js")).read().count("\n") for m in modules)
        for m in modules:
            subprocess.run(["./runner-compile", m + ".js", m + ".jo"], cwd=work, check=True)
        with open(os.path.join(work, "empty.js"), "w") as f:
            f.write('function main() { console.log("done"); }\n')
        base, _ = timed(["./runner", "-e", "main()", "empty.js"], work, runs)
        results = {}
        for ext in ("js", "jo"):
            cmd = ["./runner", "-e", "main()"] + [m + "." + ext for m in modules]
            timed(cmd, work, 2)  # warm the file cache
            results[ext] = timed(cmd, work, runs)
        if results["js"][1] != results["jo"][1]:
            print("outputs differ:\n", results["js"][1], "\n", results["jo"][1])
            sys.exit(1)
        print(f"{lines} lines in {len(modules)} modules, {runs} runs each (ms)")
        medians = {}
        for ext, (times, _) in results.items():
            ms = [t * 1000 for t in times]
            medians[ext] = statistics.median(ms)
            print(f"  .{ext}: min {min(ms):.2f}  median {medians[ext]:.2f}  max {max(ms):.2f}")
        print(f"  median .js / .jo = {medians['js'] / medians['jo']:.2f}")
        empty = statistics.median(t * 1000 for t in base)
        print(f"  one-line module (process start-up): median {empty:.2f};"
              f" loading alone .js / .jo = {(medians['js'] - empty) / max(medians['jo'] - empty, 0.01):.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
