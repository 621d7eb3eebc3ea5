#!/usr/bin/env python3
"""Runs the examples of a document under docs/ with the built runner and
compares what they print with the text block that follows each of them.

    tests/docs/check_examples.py RUNNER docs/language.md [docs/database.md ...]

An example is a ```js block; the ```text block right after it is its exact
output: console.log lines without the journal's "(L) " prefix, error lines
with the module named example.js. Each example runs as a module of its own
(`runner -e`), beside a TOLV.config of its own. In docs/database.md the text
@MONGODB_URI@ stands for a database on a FerretDB that this script starts.
Prints each difference; exits 1 when there is one.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

BLOCK = re.compile(r"```js\n(.*?)```\s*\n```text\n(.*?)```", re.S)


def examples(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for match in BLOCK.finditer(text):
        line = text.count("\n", 0, match.start()) + 1
        yield line, match.group(1), match.group(2)


def start_ferretdb(work):
    binary = os.environ.get("TOLV_FERRETDB") or os.path.expanduser("~/.cache/tolv/ferretdb-v1.24.2/ferretdb")
    if not os.access(binary, os.X_OK):
        return None, None
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    data = os.path.join(work, "ferretdb")
    os.mkdir(data)
    server = subprocess.Popen([binary, f"--listen-addr=127.0.0.1:{port}", "--handler=sqlite",
                               f"--sqlite-url=file:{data}/", f"--state-dir={data}", "--telemetry=disable",
                               "--debug-addr=-", "--log-level=error"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            break
        except OSError:
            time.sleep(0.1)
    return server, port


def run(runner_dir, work, code):
    module = os.path.join(work, "example.js")
    with open(module, "w", encoding="utf-8") as f:
        f.write(code + "\nfunction doc_example_end() {}\n")
    out = subprocess.run([os.path.join(runner_dir, "runner"), "-e", "doc_example_end()", "example.js"],
                         cwd=work, capture_output=True, timeout=60)
    lines = []
    for line in out.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("ERROR  "):  # the journal's copy of an error line
            continue
        lines.append(line[4:] if line.startswith("(L) ") else line)
    return "\n".join(lines).strip("\n")


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    runner, documents = os.path.abspath(sys.argv[1]), sys.argv[2:]
    work = tempfile.mkdtemp(prefix="tolv-doc-")
    server = None
    failures = checked = 0
    try:
        # The runner reads the TOLV.config beside it: run a copy in a directory of its own.
        runner_dir = os.path.join(work, "bin")
        os.mkdir(runner_dir)
        shutil.copy(runner, os.path.join(runner_dir, "runner"))
        with open(os.path.join(runner_dir, "TOLV.config"), "w") as f:
            f.write(f"LOGFILE={work}/journal.log\n")
        uri = None
        if any(d.endswith("database.md") for d in documents):
            server, port = start_ferretdb(work)
            if server is None:
                print("SKIP: FerretDB is missing (tools/ferretdb.sh builds it)")
                return 77
            uri = f"mongodb://127.0.0.1:{port}/docs"
        for document in documents:
            for line, code, expected in examples(document):
                if uri:
                    code = code.replace("@MONGODB_URI@", uri)
                got = run(runner_dir, work, code)
                checked += 1
                if got != expected.strip("\n"):
                    failures += 1
                    print(f"{document}:{line}: the example prints\n{got}\n--- the document says\n{expected}")
        print(f"{checked} examples, {failures} differences")
        return 1 if failures or not checked else 0
    finally:
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
