#!/usr/bin/env python3
"""Times the runner decoding large request bodies (CPU seconds, median of runs).

Usage: python3 bench/request_decode.py [runner-path] [runs]

Bodies: an associative array of 500,000 pairs over 100,000 distinct keys
(every key sent five times), one of 100,000 distinct keys, and a hash of
32,000 keys sent twice. Decoding should take time close to linear in the size.
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile


def counted(text):
    digits = str(len(text))
    return str(len(digits)) + digits + text


def number(n):
    digits = str(n)
    return str(len(digits)) + digits


def element_text(text):
    return counted(text)


def element_integer(n):
    digits = str(n)
    return chr(ord("N") + len(digits)) + digits


def object_record(kind, name, pairs):
    body = kind + number(len(pairs)) + counted(name)
    parts = []
    for key, value in pairs:
        parts.append((element_text(key) if kind == "I" else counted(key)) + element_integer(value))
    body += "".join(parts)
    return "A" + number(1) + number(len(body)) + body


def request(record):
    return "P" + counted("main()") + "M" + number(1) + number(len(counted("app.js"))) + counted("app.js") + record


def cpu_seconds(runner, body, cwd):
    env = {"CONTENT_LENGTH": str(len(body)), "PATH": "/usr/bin:/bin"}
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run([runner], input=body.encode(), env=env, cwd=cwd, capture_output=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = done.stdout.decode(errors="replace")
    if not out.endswith("C10101010"):
        sys.exit("unexpected answer: " + out[:200])
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    runner = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/release/runner")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    work = tempfile.mkdtemp()
    try:
        shutil.copy(runner, os.path.join(work, "runner"))
        with open(os.path.join(work, "TOLV.config"), "w") as f:
            f.write("MODULE_DIR=%s\n" % work)
        with open(os.path.join(work, "app.js"), "w") as f:
            f.write("function main() {}\n")
        cases = [
            ("assoc, 100,000 keys x 5", object_record("I", "big", [("k%d" % (i % 100000), i % 10) for i in range(500000)])),
            ("assoc, 100,000 distinct keys", object_record("I", "big", [("key%d" % i, i) for i in range(100000)])),
            ("hash, 32,000 keys x 2", object_record("H", "big", [("h%d" % (i % 32000), i) for i in range(64000)])),
        ]
        for name, record in cases:
            body = request(record)
            times = [cpu_seconds(os.path.join(work, "runner"), body, work) for _ in range(runs)]
            print("%-30s %5.2f MB  %7.3f s CPU (median of %d)" % (name, len(body) / 1e6, statistics.median(times), runs))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
