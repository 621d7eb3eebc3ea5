#!/usr/bin/env python3
"""Prints a runner answer (the record stream after the CGI header) one record a line."""
import sys
from urllib.parse import unquote_to_bytes


class Reader:
    def __init__(self, data: bytes):
        self.data, self.at = data, 0

    def take(self, n: int) -> bytes:
        chunk = self.data[self.at:self.at + n]
        self.at += n
        return chunk

    def char(self) -> str:
        return self.take(1).decode("latin-1")

    def number(self) -> int:
        digits = ord(self.char()) - ord("0")
        return int(self.take(digits) or b"0")

    def text(self, marker: str = None) -> str:
        marker = marker or self.char()
        escaped = "A" <= marker <= "M"
        length = int(self.take(ord(marker) - ord("A" if escaped else "0")) or b"0")
        raw = self.take(length)
        return (unquote_to_bytes(raw) if escaped else raw).decode("utf-8", "replace")

    def element(self):
        marker = self.char()
        if "N" <= marker <= "`":
            return int(self.take(ord(marker) - ord("N")))
        if "a" <= marker <= "z":
            return float(self.take(ord(marker) - ord("a")))
        return self.text(marker)


def main() -> None:
    data = sys.stdin.buffer.read()
    header = b"Content-type: text/plane;charset=UTF-8\n\n"
    if data.startswith(header):
        data = data[len(header):]
    r = Reader(data)
    while r.at < len(data):
        letter = r.char()
        if letter == "s":
            print(f"s  {r.text()} = {r.element()!r}")
        elif letter == "A":
            count, name = r.number(), r.text()
            print(f"A  {name} = {[r.element() for _ in range(count)]!r}")
        elif letter == "H":
            count, name = r.number(), r.text()
            print(f"H  {name} = {dict((r.text(), r.element()) for _ in range(count))!r}")
        elif letter == "S":
            print(f"S  error {r.text()}: {r.text()}")
        elif letter == "C":
            print(f"C  done: {r.number()} arrays, {r.number()} hashes, {r.number()} values, {r.number()}")
        elif letter == "X":
            print(f"X  token {r.text()} {r.text()}")
        else:
            print(f"?  {data[r.at - 1:].decode('utf-8', 'replace')}")
            break


if __name__ == "__main__":
    main()
