#!/usr/bin/env python3
"""Terminal debugger for runner-debug.

Listens on DEBUG_PORT (default 8777) for the connection runner-debug makes back
to the machine that sent the request, serves the request's modules from a
local directory (so edits are seen without deploying), shows the source
around each stop and takes commands in the manner of gdb or pdb.

    tools/debugger.py --modules ./app [--port 8777] [--listen 0.0.0.0]

Commands are read from standard input, one a line, so a session can be
scripted: `printf 'break app.js:12\\nrun\\nprint x\\ncontinue\\n' | tools/debugger.py ...`
Type `help` for the list.
"""

import argparse
import base64
import os
import re
import select
import socket
import sys

HELP = """\
Before a request connects:
  break FILE:LINE [if COND]   stop at LINE of module FILE (when COND is true)
  clear FILE:LINE             remove the breakpoint (and its condition)
  trace FILE:LINE NAME        report calls and returns of the function around LINE as NAME
  untrace FILE:LINE           remove the trace point
  info                        list breakpoints and trace points
  run | wait                  wait for runner-debug to connect and serve it
  quit                        leave the debugger
While stopped, also:
  step | s                    next line, into called functions
  next | n                    next line, calls run through
  finish | f                  run until the current function returns
  continue | c                run to the next breakpoint
  print EXPR | p EXPR         evaluate EXPR in the selected frame (no calls, no declarations)
  backtrace | bt | where      the call stack, innermost first (#0)
  frame N | up | down         select the frame that print evaluates in
  list | l                    the source around the stop
  quit | q                    end the request (runner-debug answers with error 1855) and leave
  help                        this text
"""

STACK_FRAME = r"[^;]*:[^:;]*:\d+:\d+"
STACK_RE = re.compile(r"^%s(;%s)*$" % (STACK_FRAME, STACK_FRAME))
POSITION_RE = re.compile(r"^B(.*):(\d+):(\d+)$")


def decode(data):
    """Texts are UTF-8 except a few fixed messages of runner-debug in Shift_JIS."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp932", errors="replace")


def has_separator(expression):
    """Whether a ';' outside quotes makes the text several statements."""
    quote = None
    escaped = False
    for c in expression:
        if escaped:
            escaped = False
        elif c == "\\":
            escaped = True
        elif quote:
            if c == quote:
                quote = None
        elif c in "'\"`":
            quote = c
        elif c == ";":
            return True
    return False


class Closed(Exception):
    pass


class Wire:
    """Counted payloads: 'A' + digit count, the digits, the bytes; each one
    acknowledged by a header carrying the count received."""

    def __init__(self, conn):
        self.conn = conn
        self.buffer = b""

    def _read(self, n, timeout=None):
        while len(self.buffer) < n:
            if timeout is not None:
                ready, _, _ = select.select([self.conn], [], [], timeout)
                if not ready:
                    return None
            chunk = self.conn.recv(65536)
            if not chunk:
                raise Closed()
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def _header(self, timeout=None):
        mark = self._read(1, timeout)
        if mark is None:
            return None
        digits = mark[0] - ord("A")
        if digits < 1 or digits > 10:
            raise Closed()
        return int(self._read(digits))

    @staticmethod
    def header(n):
        text = str(n).encode()
        return bytes([ord("A") + len(text)]) + text

    def pending(self):
        return bool(self.buffer)

    def receive(self, timeout=None):
        """One payload, acknowledged; None when nothing came within timeout."""
        length = self._header(timeout)
        if length is None:
            return None
        data = self._read(length)
        self.conn.sendall(self.header(length))
        return data

    def send(self, payload):
        if isinstance(payload, str):
            payload = payload.encode("utf-8")
        self.conn.sendall(self.header(len(payload)) + payload)
        if self._header(30) != len(payload):
            raise Closed()


class Debugger:
    def __init__(self, modules_dir, out):
        self.modules_dir = modules_dir
        self.out = out
        self.breaks = {}      # path -> {line: condition or None}
        self.traces = {}      # path -> {line: name}
        self.wire = None
        self.stack = []       # [(path, function, line, column)], bottom first
        self.selected = 0
        self.position = None  # (path, line, column)

    # ---- output ---------------------------------------------------------

    def say(self, text):
        self.out.write(text + "\n")
        self.out.flush()

    # ---- commands -------------------------------------------------------

    def read_command(self, prompt):
        if sys.stdin.isatty():
            try:
                return input(prompt)
            except EOFError:
                return None
        line = sys.stdin.readline()
        if not line:
            return None
        line = line.rstrip("\n")
        self.say(prompt + line)
        return line

    @staticmethod
    def split_location(text):
        path, _, line = text.rpartition(":")
        if not path or not line.isdigit():
            raise ValueError("expected FILE:LINE, got %r" % text)
        return path, int(line)

    def table_command(self, words, rest):
        """break / clear / trace / untrace; true when it was one of them."""
        name = words[0]
        if name in ("break", "b"):
            if len(words) < 2:
                self.say("usage: break FILE:LINE [if COND]")
                return True
            path, line = self.split_location(words[1])
            condition = None
            m = re.match(r"^\S+\s+\S+\s+if\s+(.*)$", rest)
            if m:
                condition = m.group(1).strip()
            self.breaks.setdefault(path, {})[line] = condition
            self.say("breakpoint at %s:%d%s" % (path, line, " if " + condition if condition else ""))
            self.push_tables(path)
            return True
        if name in ("clear", "delete"):
            path, line = self.split_location(words[1])
            self.breaks.get(path, {}).pop(line, None)
            self.say("cleared %s:%d" % (path, line))
            self.push_tables(path)
            return True
        if name == "trace":
            if len(words) < 3:
                self.say("usage: trace FILE:LINE NAME")
                return True
            path, line = self.split_location(words[1])
            self.traces.setdefault(path, {})[line] = words[2]
            self.say("trace point at %s:%d as %s" % (path, line, words[2]))
            self.push_tables(path)
            return True
        if name == "untrace":
            path, line = self.split_location(words[1])
            self.traces.get(path, {}).pop(line, None)
            self.push_tables(path)
            return True
        if name == "info":
            for path in sorted(self.breaks):
                for line, cond in sorted(self.breaks[path].items()):
                    self.say("break %s:%d%s" % (path, line, " if " + cond if cond else ""))
            for path in sorted(self.traces):
                for line, tname in sorted(self.traces[path].items()):
                    self.say("trace %s:%d %s" % (path, line, tname))
            return True
        return False

    # Texts of the lists, as commands and as the tables sent with a module.
    def line_list(self, path):
        return "".join("%d:" % l for l, c in sorted(self.breaks.get(path, {}).items()) if c is None)

    def condition_list(self, path):
        return "".join("%d:%s; " % (l, c) for l, c in sorted(self.breaks.get(path, {}).items()) if c)

    def trace_list(self, path):
        return "".join("%d:%s; " % (l, n) for l, n in sorted(self.traces.get(path, {}).items()))

    def push_tables(self, path):
        """While stopped, the runner takes new tables at once."""
        if self.wire is None or self.position is None:
            return
        self.wire.send("B%s:%s" % (path, self.line_list(path)))
        self.wire.send("b%s:%s" % (path, self.condition_list(path)))
        self.wire.send("T%s:%s" % (path, self.trace_list(path)))
        self.drain_messages()

    def module_tables(self, path):
        def listed(text):
            return " " + text if text else ""
        return listed(self.trace_list(path)) + "###" + listed(self.line_list(path)) + "$$$" + \
            listed(self.condition_list(path))

    # ---- module supply --------------------------------------------------

    def local_file(self, path):
        if not self.modules_dir:
            return None
        name = os.path.normpath(os.path.join(self.modules_dir, path.replace("\\", "/")))
        return name if os.path.isfile(name) else None

    def serve_module(self, path):
        name = self.local_file(path)
        if name is None:
            self.say("module %s: no local copy, the runner reads its own" % path)
            self.wire.send("&&&&")
        elif name.endswith(".jo"):
            with open(name, "rb") as f:
                self.wire.send(b"o" + base64.b64encode(f.read()))
            self.say("module %s: image served from %s" % (path, name))
        else:
            with open(name, "rb") as f:
                self.wire.send(b"s" + f.read())
            self.say("module %s: served from %s" % (path, name))
        self.wire.send(self.module_tables(path))

    # ---- the session ----------------------------------------------------

    def drain_messages(self):
        """Messages the runner sends without being asked (D lines for conditions)."""
        while True:
            data = self.wire.receive(timeout=0.05)
            if data is None:
                return
            self.show_message(decode(data))

    def show_message(self, text):
        kind, body = text[:1], text[1:]
        if kind == "D":
            self.say("error: " + body)
        elif kind == "L":
            self.say("log: " + body)
        elif kind == "E":
            self.say("console.error: " + body)
        elif kind == "A":
            self.say("call: " + body)
        elif kind == "R":
            self.say("return: " + body)
        elif kind == "#":
            self.say("condition failed: " + body)
        else:
            self.say("runner: " + text)

    def serve(self, conn):
        """Serves one runner until it ends the session; false when the user quit."""
        self.wire = Wire(conn)
        self.position = None
        self.say("runner connected")
        held = None  # a payload that may be the call stack before a stop
        try:
            while True:
                if held is not None:
                    data = self.wire.receive(timeout=1.0)
                    if data is None:
                        text, held = held, None
                        if not self.dispatch(text):
                            return False
                        continue
                    text = decode(data)
                    m = POSITION_RE.match(text)
                    if m and text != "B1X":
                        stack, held = held, None
                        if not self.stopped(stack, m):
                            return False
                        continue
                    pending, held = held, None
                    if not self.dispatch(pending):
                        return False
                else:
                    data = self.wire.receive()
                    text = decode(data)
                if STACK_RE.match(text):
                    held = text
                    continue
                if not self.dispatch(text):
                    return False
                if text == "B1X":
                    return True
        except (Closed, ConnectionError):
            self.say("connection closed by the runner")
            return True
        finally:
            conn.close()
            self.wire = None
            self.position = None

    def dispatch(self, text):
        if text == "B1X":
            self.say("session ended")
            return True
        if text.startswith("M"):
            self.serve_module(text[1:])
            return True
        self.show_message(text)
        return True

    # ---- stops ----------------------------------------------------------

    def stopped(self, stack_text, position, auto=None):
        """A stop: show it, or keep stepping while a line-wise step is unfinished."""
        frames = []
        for frame in stack_text.split(";"):
            rest, column = frame.rsplit(":", 1)
            rest, line = rest.rsplit(":", 1)
            path, function = rest.rsplit(":", 1)
            frames.append((path, function, int(line), int(column)))
        self.stack = frames
        self.selected = len(frames) - 1
        self.position = (position.group(1), int(position.group(2)), int(position.group(3)))
        if self.stepping is not None:
            mode, start_path, start_line, start_depth = self.stepping
            depth = len(frames)
            same_line = (self.position[0], self.position[1]) == (start_path, start_line)
            if same_line and depth == start_depth:
                self.wire.send("STEP" + mode)
                return True
        self.stepping = None
        self.show_stop()
        return self.command_loop()

    stepping = None  # (mode, path, line, depth) of a line-wise step under way

    def show_stop(self):
        path, line, column = self.position
        function = self.stack[-1][1] if self.stack else ""
        self.say("stopped at %s:%d:%d%s" % (path, line, column, " in " + function if function else ""))
        self.show_source(path, line, 1)

    def show_source(self, path, line, around):
        name = self.local_file(path)
        if name is None:
            self.say("  (no local source for %s)" % path)
            return
        with open(name, "r", encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        for n in range(max(1, line - around), min(len(lines), line + around) + 1):
            self.say("%s %4d  %s" % ("=>" if n == line else "  ", n, lines[n - 1]))

    def command_loop(self):
        while True:
            command = self.read_command("(tolvdb) ")
            if command is None:
                command = "continue"
            words = command.split()
            if not words:
                continue
            name = words[0]
            try:
                if self.table_command(words, command.strip()):
                    continue
            except ValueError as e:
                self.say(str(e))
                continue
            depth = len(self.stack)
            here = self.position
            if name in ("step", "s"):
                self.stepping = ("2", here[0], here[1], depth)
                self.wire.send("STEP2")
                return True
            if name in ("next", "n"):
                self.stepping = ("3", here[0], here[1], depth)
                self.wire.send("STEP3")
                return True
            if name in ("finish", "f"):
                self.wire.send("STEP4")
                return True
            if name in ("continue", "c", "run"):
                self.wire.send("STEP1")
                return True
            if name in ("quit", "q"):
                self.wire.send("STEP0")
                self.quitting = True
                return True
            if name in ("print", "p"):
                self.evaluate(command.split(None, 1)[1] if len(words) > 1 else "")
            elif name in ("backtrace", "bt", "where"):
                for i in range(len(self.stack) - 1, -1, -1):
                    path, function, line, column = self.stack[i]
                    mark = "*" if i == self.selected else " "
                    self.say("%s#%d %s at %s:%d:%d" % (mark, len(self.stack) - 1 - i, function or "(top level)",
                                                       path, line, column))
            elif name == "frame" and len(words) == 2 and words[1].isdigit():
                self.select(len(self.stack) - 1 - int(words[1]))
            elif name == "up":
                self.select(self.selected - 1)
            elif name == "down":
                self.select(self.selected + 1)
            elif name in ("list", "l"):
                path, line, _ = self.position
                self.show_source(path, line, 5)
            elif name in ("help", "h"):
                self.say(HELP.rstrip())
            else:
                self.say("unknown command %r; try help" % name)

    quitting = False

    def select(self, index):
        if not self.stack or index < 0 or index >= len(self.stack):
            self.say("no such frame")
            return
        self.selected = index
        path, function, line, column = self.stack[index]
        self.say("#%d %s at %s:%d:%d" % (len(self.stack) - 1 - index, function or "(top level)", path, line, column))

    def evaluate(self, expression):
        if self.stack:
            path, function, line, column = self.stack[self.selected]
        else:
            path, function, line, column = self.position[0], "", self.position[1], self.position[2]
        # runner-debug answers with a value's plain text, where a String's
        # blanks cannot be seen. As the one element of an array the value comes
        # back in the runner's display form (Strings quoted), and the brackets
        # go again. Several statements (";") are sent as they are.
        wrapped = not has_separator(expression) and expression.strip() != ""
        sent = "[%s]" % expression if wrapped else expression
        self.wire.send("E%s:%s:%d:%d;%s" % (path, function, line, column, sent))
        while True:
            text = decode(self.wire.receive())
            if text.startswith("="):
                value = text[1:]
                if wrapped and value.startswith("[") and value.endswith("]"):
                    value = value[1:-1]
                self.say("$ = " + value)
                return
            if text.startswith("#"):
                self.say("error: " + text[1:])
                return
            self.show_message(text)


def main():
    parser = argparse.ArgumentParser(description="Terminal debugger for runner-debug.",
                                     epilog=HELP, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=8777, help="DEBUG_PORT of the runner's TOLV.config")
    parser.add_argument("--listen", default="0.0.0.0", help="address to listen on")
    parser.add_argument("--modules", default=None, help="local copy of the module directory")
    parser.add_argument("--wait", action="store_true", help="wait for a runner at once, without a command")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.listen, args.port))
    listener.listen(4)
    debugger = Debugger(args.modules, sys.stdout)
    debugger.say("listening on %s:%d" % (args.listen, listener.getsockname()[1]))
    waiting = args.wait
    while True:
        if not waiting:
            command = debugger.read_command("(tolvdb) ")
            if command is None:
                return 0
            words = command.split()
            if not words:
                continue
            if words[0] in ("quit", "q"):
                return 0
            if words[0] in ("help", "h"):
                debugger.say(HELP.rstrip())
                continue
            if words[0] in ("run", "wait", "continue", "c", "r"):
                waiting = True
            else:
                try:
                    if not debugger.table_command(words, command.strip()):
                        debugger.say("not running; set breakpoints, then 'run' to wait for runner-debug")
                except ValueError as e:
                    debugger.say(str(e))
                continue
        conn, peer = listener.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        debugger.say("connection from %s" % peer[0])
        debugger.serve(conn)
        waiting = False
        if debugger.quitting:
            return 0


if __name__ == "__main__":
    sys.exit(main())
