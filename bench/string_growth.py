#!/usr/bin/env python3
"""Growth check: building a string with += must take time proportional to
its length. Builds strings of 10, 40 and 160 MB (ten bytes per +=, runner -e)
and prints the median CPU time of several runs, the time per appended byte
and the ratio to the 1x run (a linear build gives about 1, 4 and 16).

usage: string_growth.py [RUNNER] [RUNS]   (default build/release/runner, 3)
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = """function main() {
    var s = "";
    for (var i = 0; i < %d; i++) {
        s += "0123456789";
    }
    console.log("built " + s.length + " " + s.slice(-3));
}
"""
MB = 1024 * 1024


def cpu_time(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run(cmd, capture_output=True, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if "built" not in result.stdout:
        sys.exit("runner failed: " + result.stdout + result.stderr)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    runner = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "release", "runner"))
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    config = os.path.join(os.path.dirname(runner), "TOLV.config")
    if not os.path.exists(config):
        open(config, "w").close()
    base = None
    print("%-8s %12s %10s %8s" % ("size", "cpu seconds", "ns/byte", "ratio"))
    with tempfile.TemporaryDirectory() as work:
        for factor in (1, 4, 16):
            size = 10 * MB * factor
            path = os.path.join(work, "grow%d.js" % factor)
            with open(path, "w") as f:
                f.write(SCRIPT % (size // 10))
            t = statistics.median(cpu_time([runner, "-e", "main()", path]) for _ in range(runs))
            base = base or t
            print("%-8s %12.3f %10.2f %8.2f" % ("%d MB" % (10 * factor), t, t / size * 1e9, t / base))


if __name__ == "__main__":
    main()
