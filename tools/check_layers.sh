#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a room above its own.
# Rooms, lowest first; rooms of one rank never include each other:
#   platform < runtime < regexp < lang < eval < {lib, db, debugger, protocol, image} < host
# A room is the first folder under src/; its subfolders belong to it.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 - "$@" <<'PY'
import pathlib, re, sys

RANK = {"platform": 0, "runtime": 1, "regexp": 2, "lang": 3, "eval": 4,
        "lib": 5, "db": 5, "debugger": 5, "protocol": 5, "image": 5, "host": 6}
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')
faults = []
for path in sorted(pathlib.Path("src").rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    room = path.relative_to("src").parts[0]
    if room not in RANK:
        faults.append(f"{path}: room '{room}' has no place in the layer order")
        continue
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        m = include.match(line)
        if not m:
            continue
        target = m.group(1)
        if target not in RANK:
            faults.append(f"{path}:{number}: includes \"{m.group(0).split(chr(34))[1]}\" from unknown room '{target}'")
        elif target != room and RANK[target] >= RANK[room]:
            faults.append(f"{path}:{number}: {room} must not include {target} "
                          f"(\"{line.split(chr(34))[1]}\")")
for fault in faults:
    print(fault)
if faults:
    print(f"check_layers: {len(faults)} include(s) against the layer order", file=sys.stderr)
    sys.exit(1)
print("check_layers: every include runs downward")
PY
