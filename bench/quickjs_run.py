#!/usr/bin/env python3
"""Runs one benchmark script under QuickJS (PyPI's quickjs wrapper).

The script text, with its main() call appended by the caller, is evaluated
in a fresh context that has console.log and print; its lines go to standard
output and the seconds the evaluation took go to standard error as the last
line, "seconds N", so Python's start-up stays out of the time.
Usage: quickjs_run.py script.js
"""
import sys
import time

import quickjs

# Arguments joined with spaces, as node and duk print them.
CONSOLE = """
var console = {
    log: function () {
        var parts = [];
        for (var i = 0; i < arguments.length; i++) parts.push(String(arguments[i]));
        __write(parts.join(" "));
    }
};
var print = console.log;
"""


def main() -> int:
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    context = quickjs.Context()
    lines = []
    context.add_callable("__write", lines.append)
    context.eval(CONSOLE)
    failure = None
    start = time.perf_counter()
    try:
        context.eval(text)
    except quickjs.JSException as e:
        failure = e
    seconds = time.perf_counter() - start
    # Printed after the clock stops: a call into Python per line is not
    # what is being measured.
    for line in lines:
        sys.stdout.write(line + "\n")
    sys.stdout.flush()
    if failure is not None:
        print("quickjs: %s" % failure, file=sys.stderr)
    print("seconds %.6f" % seconds, file=sys.stderr)
    return 1 if failure is not None else 0


if __name__ == "__main__":
    sys.exit(main())
