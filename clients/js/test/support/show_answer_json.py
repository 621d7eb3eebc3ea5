#!/usr/bin/env python3
"""The project's own answer decoder (tools/show_answer.py) as a differential
peer: reads a JSON list of base64 answers on stdin and prints, for each, its
records as JSON in the shape of tolv.mjs's decodeRecords. Floats go as the hex
of their IEEE bits, so that NaN, infinities and -0 compare exactly."""
import base64
import json
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../../tools"))
from show_answer import Reader  # noqa: E402


def element(reader):
    value = reader.element()
    if isinstance(value, int):
        return ["integer", value]
    if isinstance(value, float):
        return ["float", struct.pack(">d", value).hex()]
    return ["text", value]


def records(data):
    header = b"Content-type: text/plane;charset=UTF-8\n\n"
    if data.startswith(header):
        data = data[len(header):]
    r = Reader(data)
    out = []
    while r.at < len(data):
        letter = r.char()
        if letter == "s":
            out.append(["s", r.text(), element(r)])
        elif letter == "A":
            count, name = r.number(), r.text()
            out.append(["A", name, [element(r) for _ in range(count)]])
        elif letter == "H":
            count, name = r.number(), r.text()
            out.append(["H", name, [[r.text(), element(r)] for _ in range(count)]])
        elif letter == "S":
            out.append(["S", r.text(), r.text()])
        elif letter == "C":
            out.append(["C", [r.number() for _ in range(4)]])
        elif letter == "X":
            out.append(["X", r.text(), r.text()])
        else:
            out.append(["?", letter])
            break
    return out


def main():
    answers = json.load(sys.stdin)
    json.dump([records(base64.b64decode(a)) for a in answers], sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
