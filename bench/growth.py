#!/usr/bin/env python3
"""Growth check: building an array with push, or a string with +=, must take
time proportional to its size. Builds each at 1x, 4x and 16x (arrays of 1, 4
and 16 million elements; strings of 10, 40 and 160 MB, ten bytes per +=)
with runner -e, and prints the median CPU time of several runs, the time per
element or byte, and the ratio to the 1x run (a linear build gives about 1,
4 and 16).

usage: growth.py [array|string] [RUNNER] [RUNS]
       (default: both, build/release/runner, 3 runs)
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MB = 1024 * 1024

# name: (script, loop count per unit, units at 1x, unit label, size label)
WORKLOADS = {
    "array": ("""function main() {
    var a = [];
    for (var i = 0; i < %d; i++) {
        a.push(i %% 1000);
    }
    console.log("built " + a.length + " " + a[a.length - 1]);
}
""", 1, 1000000, "elem", lambda factor: "%dM" % factor),
    "string": ("""function main() {
    var s = "";
    for (var i = 0; i < %d; i++) {
        s += "0123456789";
    }
    console.log("built " + s.length + " " + s.slice(-3));
}
""", 10, 10 * MB, "byte", lambda factor: "%d MB" % (10 * factor)),
}


def cpu_time(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run(cmd, capture_output=True, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if "built" not in result.stdout:
        sys.exit("runner failed: " + result.stdout + result.stderr)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def measure(name, runner, runs, work):
    script, per_step, units, unit, label = WORKLOADS[name]
    base = None
    print("%-8s %12s %10s %8s" % (name, "cpu seconds", "ns/" + unit, "ratio"))
    for factor in (1, 4, 16):
        size = units * factor
        path = os.path.join(work, "%s%d.js" % (name, factor))
        with open(path, "w") as f:
            f.write(script % (size // per_step))
        t = statistics.median(cpu_time([runner, "-e", "main()", path]) for _ in range(runs))
        base = base or t
        print("%-8s %12.3f %10.2f %8.2f" % (label(factor), t, t / size * 1e9, t / base))


def main():
    args = sys.argv[1:]
    names = [args.pop(0)] if args and args[0] in WORKLOADS else list(WORKLOADS)
    runner = os.path.abspath(args[0] if args else os.path.join(HERE, "..", "build", "release", "runner"))
    runs = int(args[1]) if len(args) > 1 else 3
    with tempfile.TemporaryDirectory() as work:
        # A copy of the runner with a configuration of its own: the 160 MB
        # string, grown by doubling, needs more than the default value memory.
        local = os.path.join(work, "runner")
        try:
            os.link(runner, local)
        except OSError:
            shutil.copy2(runner, local)
        with open(os.path.join(work, "TOLV.config"), "w") as f:
            f.write("MEMORY_LIMIT=2048\n")
        for name in names:
            measure(name, local, runs, work)


if __name__ == "__main__":
    main()
