#!/usr/bin/env python3
"""What a request costs runner-debug when no debugger listens, against runner.

Times whole CGI processes (start to exit) on the same request:
  runner                        no debugger client at all
  runner-debug, refused         client 127.0.0.1, nothing on DEBUG_PORT (connection refused at once)
  runner-debug, no answer       a listener whose queue is full never answers: the 200 ms connect time-out
Usage: python3 bench/debugger_absent.py [build-dir] [runs]   (defaults: build/release, 20)
"""

import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

APP = """function square(n) { var r = n * n; return r; }
function main(a) {
    var total = 0;
    for (var i = 1; i <= 300; i++) total += square(i);
    sendToFront("total", total);
}
"""


def counted_text(t):
    d = str(len(t))
    return str(len(d)) + d + t


def counted_number(n):
    d = str(n)
    return str(len(d)) + d


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    work = tempfile.mkdtemp()
    try:
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        os.makedirs(os.path.join(work, "app"))
        with open(os.path.join(work, "app", "app.js"), "w") as f:
            f.write(APP)
        with open(os.path.join(work, "TOLV.config"), "w") as f:
            f.write("MODULE_DIR=%s/app\nDEBUG_PORT=%d\n" % (work, port))
        for name in ("runner", "runner-debug"):
            shutil.copy(os.path.join(build, name), work)
        modules = counted_text("app.js")
        body = ("P" + counted_text("main(1)") + "M" + counted_number(1) + counted_number(len(modules)) +
                modules).encode()

        def timed(program, client):
            env = {"PATH": "/usr/bin:/bin", "CONTENT_LENGTH": str(len(body)), "REMOTE_ADDR": client}
            times = []
            answer = b""
            for _ in range(runs):
                start = time.perf_counter()
                answer = subprocess.run([os.path.join(work, program)], input=body, env=env,
                                        stdout=subprocess.PIPE, check=True).stdout
                times.append(time.perf_counter() - start)
            return statistics.median(times) * 1000, answer

        base, expected = timed("runner", "127.0.0.1")
        print("%-28s %8.2f ms" % ("runner", base))

        def report(label):
            t, answer = timed("runner-debug", "127.0.0.1")
            same = "same answer" if answer == expected else "DIFFERENT ANSWER"
            print("%-28s %8.2f ms  (+%.2f ms, %s)" % (label, t, t - base, same))

        report("runner-debug, refused")
        # Backlog 0 and connections never accepted: further connection attempts go unanswered.
        listener = socket.socket()
        listener.bind(("127.0.0.1", port))
        listener.listen(0)
        fillers = []
        for _ in range(3):
            c = socket.socket()
            c.setblocking(False)
            try:
                c.connect(("127.0.0.1", port))
            except BlockingIOError:
                pass
            fillers.append(c)
        time.sleep(0.2)
        report("runner-debug, no answer")
        listener.close()
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
