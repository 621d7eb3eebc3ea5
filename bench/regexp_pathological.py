#!/usr/bin/env python3
"""Processor time of patterns that backtrack exponentially against subjects of 10-30
characters that do not match, through the built runner. Each run tests one
subject; a search that exceeds the matcher's work budget raises 4900.
Usage: bench/regexp_pathological.py [runner-path]"""
import os
import resource
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
runner = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "release", "runner")
config = os.path.join(os.path.dirname(runner), "TOLV.config")
if not os.path.exists(config) and not os.path.exists(os.path.join(os.path.dirname(runner), "mongoTOLV.config")):
    open(config, "w").close()

# Capturing groups take no quantifier in this language: the groups are (?:...).
CASES = [("(?:a+)+b", "a"), ("(?:a|aa)*c", "a"), ("(?:x+x+)+y", "x")]


def run(pattern, subject):
    script = ("function main() { var r = /%s/; var t = 'none';\n"
              "  try { t = r.test('%s'); } catch (e) { t = e.name; }\n"
              "  console.log(t); }\n") % (pattern, subject)
    with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as f:
        f.write(script)
    try:
        best = None
        for _ in range(3):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            out = subprocess.run([runner, "-e", "main()", f.name], capture_output=True, text=True).stdout
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            took = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
            best = took if best is None or took < best else best
        return best, out.strip().splitlines()[-1].replace("(L) ", "")
    finally:
        os.unlink(f.name)


base, _ = run("a", "b")
print("start-up %.1f ms (subtracted)" % (base * 1000))
print("%-12s %4s %10s  %s" % ("pattern", "n", "cpu ms", "result"))
for pattern, letter in CASES:
    for n in range(10, 31, 2):
        took, out = run(pattern, letter * n)
        print("%-12s %4d %10.1f  %s" % (pattern, n, max(0.0, took - base) * 1000, out))
