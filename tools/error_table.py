#!/usr/bin/env python3
"""Rewrites raise sites that spell out a code and a message into raises by
name from the error table (src/runtime/error_table.def), and lists the sites
it cannot rewrite.

    tools/error_table.py [--root DIR] [--dry-run] [--propose]

The table is the source of truth: a site `eval_fail(2330, "...")` becomes
`raise(Error::DIVISION_BY_ZERO)` when the table has a row with code 2330 and
that very message. Files are found by content, not by path, so the script
runs on any later layout of src/. Sites without a row are listed; --propose
prints rows for them (named CODE_<code>, to be renamed by hand)."""
import argparse
import collections
import pathlib
import re
import sys

# Raising function -> the by-name form it becomes.
FORMS = {
    "eval_fail": "raise",
    "parse_fail": "raise_parse",
    "syntax_fail": "raise_syntax",
    "raise_limit": "raise_limit",
    "raise_with": "raise_with",  # first argument: the raise function
}
CALL = re.compile(r"\b(eval_fail|parse_fail|syntax_fail|raise_limit|raise_with)\s*\(")
STRING = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
TABLE_ROW = re.compile(r"^\s*([TE])\((.*)\)\s*$")


def decode(raw):
    """The bytes a C string literal's body stands for."""
    out = bytearray()
    i = 0
    simple = {"n": 10, "t": 9, "r": 13, "0": 0, "\\": 92, '"': 34, "'": 39, "a": 7, "b": 8, "f": 12, "v": 11, "?": 63}
    data = raw.encode()
    while i < len(data):
        c = data[i]
        if c != 92:
            out.append(c)
            i += 1
            continue
        e = chr(data[i + 1])
        if e == "x":
            m = re.match(rb"[0-9a-fA-F]+", data[i + 2:])
            out.append(int(m.group(0), 16) & 0xFF)
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(rb"[0-7]{1,3}", data[i + 1:])
            out.append(int(m.group(0), 8) & 0xFF)
            i += 1 + len(m.group(0))
        else:
            out.append(simple[e])
            i += 2
    return bytes(out)


def skip_literal(text, i):
    """Index past the string or character literal that starts at i."""
    quote = text[i]
    i += 1
    while text[i] != quote:
        i += 2 if text[i] == "\\" else 1
    return i + 1


def call_arguments(text, open_paren):
    """Top-level arguments of the call whose '(' is at open_paren, as
    (start, end) spans, and the index of its ')'."""
    depth = 0
    spans = []
    start = open_paren + 1
    i = open_paren
    while i < len(text):
        c = text[i]
        if c in "\"'":
            i = skip_literal(text, i)
            continue
        if text.startswith("//", i):
            i = text.index("\n", i)
            continue
        if text.startswith("/*", i):
            i = text.index("*/", i) + 2
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                spans.append((start, i))
                return spans, i
        elif c == "," and depth == 1:
            spans.append((start, i))
            start = i + 1
        i += 1
    raise ValueError("unbalanced call")


def literal_body(arg):
    """The joined bodies of an argument made only of string literals, else None."""
    if not re.fullmatch(r'\s*(?:"(?:[^"\\\n]|\\.)*"\s*)+', arg):
        return None
    return "".join(STRING.findall(arg))


def named_constant(text, name):
    """The literal a file-level `const char NAME[] = "..."` holds, and its line."""
    m = re.search(r'^[ \t]*(?:static\s+)?(?:constexpr\s+|const\s+)+char\s*(?:\*\s*(?:const\s+)?)?' + re.escape(name) +
                  r'\s*(?:\[\s*\])?\s*=\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+);[ \t]*\n', text, re.M)
    if not m:
        return None, None
    return "".join(STRING.findall(m.group(1))), m


class Site:
    def __init__(self, path, text, m):
        self.path = path
        self.fn = m.group(1)
        self.start = m.start()
        self.line = text.count("\n", 0, m.start()) + 1
        self.spans, self.close = call_arguments(text, m.end() - 1)
        self.args = [text[a:b] for a, b in self.spans]
        self.code = None
        self.body = None          # message literal body, as written
        self.rest_from = None     # where the kept arguments begin
        self.constant = None      # the named constant the message came from
        self.problem = None
        self.by_name = False      # already raised by name
        self.code_constant = None  # the named constant the code came from
        self.parse(text)

    def parse(self, text):
        args = self.args
        first = 1 if self.fn == "raise_with" else 0
        if len(args) > first and args[first].strip().startswith("Error::"):
            self.by_name = True
            return
        if len(args) < first + 2:
            self.problem = "too few arguments"
            return
        code = args[first].strip()
        if re.fullmatch(r"[A-Z_][A-Z0-9_]*", code):
            m = re.search(r"^[ \t]*(?:static\s+)?(?:constexpr|const)\s+int\s+" + code + r"\s*=\s*(\d+);[ \t]*\n",
                          text, re.M)
            if m:
                self.code_constant = code
                code = m.group(1)
        if not re.fullmatch(r"\d+", code):
            self.problem = "variable code: " + " ".join(code.split())
            return
        self.code = int(code)
        body = literal_body(args[first + 1])
        rest = first + 2
        if body == "%s" and len(args) > rest:
            kept = args[rest].strip()
            inner = literal_body(kept)
            if inner is None and re.fullmatch(r"[A-Za-z_]\w*", kept):
                inner, _ = named_constant(text, kept)
                if inner is not None:
                    self.constant = kept
            if inner is not None and "%" not in inner:
                body = inner
                rest += 1
            else:
                body = None
        if body is None:
            self.problem = "variable message: " + " ".join(args[first + 1].split())
            return
        self.body = body
        self.rest_from = self.spans[rest][0] - 1 if rest < len(args) else self.close

    @property
    def where(self):
        return f"{self.path}:{self.line}"


def is_declaration(text, site):
    before = text[max(0, site.start - 40):site.start]
    return re.search(r"(?:void|\bauto)\s*$", before) is not None or not site.args or \
        re.match(r"\s*(?:int|RaiseFunction)\s", site.args[0]) is not None


def collect(root):
    sites = []
    for path in sorted(root.joinpath("src").rglob("*")):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        text = path.read_text()
        for m in CALL.finditer(text):
            line_start = text.rfind("\n", 0, m.start()) + 1
            if text[line_start:m.start()].lstrip().startswith(("//", "*")):
                continue
            try:
                site = Site(path.relative_to(root), text, m)
            except ValueError:
                continue
            if not site.by_name and not is_declaration(text, site):
                sites.append(site)
    return sites


class Table:
    def __init__(self, path):
        self.path = path
        self.texts = {}   # T name -> body
        self.rows = {}    # E name -> (code, body, text name or None)
        self.by_key = {}  # (code, decoded message) -> E name
        for n, line in enumerate(path.read_text().splitlines(), 1):
            m = TABLE_ROW.match(line)
            if not m:
                continue
            kind, inner = m.groups()
            name, rest = inner.split(",", 1)
            name = name.strip()
            if kind == "T":
                body = literal_body(rest)
                if body is None:
                    sys.exit(f"{path}:{n}: a text row needs a literal")
                self.add(self.texts, name, body, path, n)
            else:
                code, message = rest.split(",", 1)
                body = literal_body(message)
                ref = None if body is not None else message.strip()
                self.add(self.rows, name, (int(code), body, ref), path, n)
        for name, (code, body, ref) in self.rows.items():
            if ref is not None and ref not in self.texts:
                sys.exit(f"{path}: row {name} names an unknown text {ref}")
            key = (code, decode(self.message(name)))
            if key in self.by_key:
                sys.exit(f"{path}: rows {self.by_key[key]} and {name} are the same error")
            self.by_key[key] = name

    @staticmethod
    def add(rows, name, value, path, n):
        if name in rows:
            sys.exit(f"{path}:{n}: {name} is named twice")
        rows[name] = value

    def message(self, name):
        code, body, ref = self.rows[name]
        return body if ref is None else self.texts[ref]


def find_table(root):
    found = list(root.joinpath("src").rglob("error_table.def"))
    if len(found) != 1:
        sys.exit(f"expected one error_table.def under {root / 'src'}, found {len(found)}")
    return found[0]


def rewrite(root, sites, table, dry_run):
    by_file = collections.defaultdict(list)
    for s in sites:
        by_file[s.path].append(s)
    done = collections.Counter()
    missing = []
    for path, file_sites in by_file.items():
        text = root.joinpath(path).read_text()
        constants = set()
        code_constants = set()
        for s in sorted(file_sites, key=lambda s: -s.start):
            if s.problem:
                continue
            name = table.by_key.get((s.code, decode(s.body)))
            if name is None:
                missing.append(s)
                continue
            head = FORMS[s.fn] + "(" + (s.args[0].strip() + ", " if s.fn == "raise_with" else "")
            text = text[:s.start] + head + "Error::" + name + text[s.rest_from:]
            done[path] += 1
            if s.constant:
                constants.add(s.constant)
            if s.code_constant:
                code_constants.add(s.code_constant)
        for name in constants:
            if len(re.findall(r"\b" + re.escape(name) + r"\b", text)) == 1:
                _, m = named_constant(text, name)
                text = text[:m.start()] + text[m.end():]
        for name in code_constants:
            if len(re.findall(r"\b" + re.escape(name) + r"\b", text)) == 1:
                text = re.sub(r"^[ \t]*(?:static\s+)?(?:constexpr|const)\s+int\s+" + name + r"\s*=\s*\d+;[ \t]*\n", "",
                              text, count=1, flags=re.M)
        if done[path] and not dry_run:
            root.joinpath(path).write_text(text)
    return done, missing


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--root", default=".", help="source root (holds src/)")
    ap.add_argument("--dry-run", action="store_true", help="report only, change no file")
    ap.add_argument("--propose", action="store_true", help="print rows for literal sites the table lacks")
    opts = ap.parse_args()
    root = pathlib.Path(opts.root)
    table = Table(find_table(root))
    sites = collect(root)
    done, missing = rewrite(root, sites, table, opts.dry_run)

    print(f"rewrote {sum(done.values())} sites in {len(done)} files" + (" (dry run)" if opts.dry_run else ""))
    for path, n in sorted(done.items()):
        print(f"  {path}: {n}")
    by_hand = [s for s in sites if s.problem]
    if by_hand:
        print(f"\n{len(by_hand)} sites to raise by hand (no literal code and message):")
        for s in by_hand:
            print(f"  {s.where}: {s.fn}: {s.problem}")
    if missing:
        print(f"\n{len(missing)} sites whose code and message have no row:")
        for s in missing:
            print(f'  {s.where}: {s.code} "{s.body}"')
    if opts.propose and missing:
        print("\nproposed rows:")
        seen = set()
        for s in sorted(missing, key=lambda s: s.code):
            key = (s.code, decode(s.body))
            if key not in seen:
                seen.add(key)
                print(f'E(CODE_{s.code}, {s.code}, "{s.body}")')
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
