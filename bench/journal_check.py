#!/usr/bin/env python3
"""Checks that a journal holds exactly N intact blocks: journal_check.py JOURNAL N [WHAT]"""
import re
import sys

text = open(sys.argv[1], encoding="utf-8").read()
want = int(sys.argv[2])
what = sys.argv[3] if len(sys.argv) > 3 else "requests"
block = re.compile(r"-----  start : \d{4}/\d\d/\d\d \d\d:\d\d:\d\d  -----\n"
                   r"((?:(?!-----  start : |=====  end : ).)*)"
                   r"\n=====  end : \d{4}/\d\d/\d\d \d\d:\d\d:\d\d  ===== \n", re.S)
at = blocks = 0
while at < len(text):
    m = block.match(text, at)
    if not m:
        print("journal: damaged block at byte %d: %r" % (at, text[at:at + 120]))
        sys.exit(1)
    blocks += 1
    at = m.end()
print("journal: %d intact blocks for %d %s" % (blocks, want, what))
sys.exit(0 if blocks == want else 1)
