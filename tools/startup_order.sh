#!/usr/bin/env bash
# Writes tools/startup_order.txt: the functions a small request runs, which
# the release link places side by side (gold's section ordering) so that
# starting a request maps a few pages of code instead of pieces of most of
# the program. Run it after changes to the request path, then rebuild;
# a stale list only costs start-up memory, never correctness.
# Needs valgrind. Usage: tools/startup_order.sh [build-dir, default build/release]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }
cmake --build "$build" --target runner >/dev/null

site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
cp "$build/runner" "$site/runner"
mkdir "$site/app" "$site/log"
cat > "$site/app/app.js" <<'JS'
function main(name) {
    var total = 0;
    for (var i = 0; i < 3; i++) total += i;
    sendToFront("greeting", "hello " + name + " " + total);
}
JS
{
    echo "MODULE_DIR=$site/app"
    echo "VAR='greeting':'hello'"
    echo "LOGFILE=$site/log/journal.log"
} > "$site/TOLV.config"
printf 'P213main("world")M111816app.js' > "$site/body"

CONTENT_LENGTH=$(stat -c %s "$site/body") REMOTE_ADDR=127.0.0.1 \
    valgrind -q --tool=callgrind --dump-instr=yes --compress-pos=no --compress-strings=no \
    --callgrind-out-file="$site/profile" "$site/runner" < "$site/body" > "$site/answer"
grep -q 'C10101110$' "$site/answer" || { echo "the request failed: $(cat "$site/answer")" >&2; exit 1; }

nm -S --defined-only "$site/runner" > "$site/symbols"
python3 - "$site/profile" "$site/symbols" "$root/tools/startup_order.txt" <<'PY'
import bisect, sys
profile, symbols, out = sys.argv[1:4]
addresses, in_runner = set(), False
for line in open(profile):
    if line.startswith("ob="):
        in_runner = line.rstrip().endswith("/runner")
    elif in_runner and line.startswith("0x"):
        addresses.add(int(line.split()[0], 16))
functions = []
for line in open(symbols):
    parts = line.split()
    if len(parts) == 4 and parts[2] in "tTwW":
        functions.append((int(parts[0], 16), int(parts[1], 16), parts[3]))
functions.sort()
starts = [f[0] for f in functions]
ran = set()
for a in addresses:
    i = bisect.bisect_right(starts, a) - 1
    if i >= 0 and a < functions[i][0] + functions[i][1]:
        ran.add(functions[i][2])
with open(out, "w") as f:
    for name in sorted(ran):
        f.write(".text.%s\n.text.startup.%s\n" % (name, name))
print("%d functions written to %s" % (len(ran), out))
PY
