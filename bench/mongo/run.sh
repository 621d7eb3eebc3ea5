#!/usr/bin/env bash
# The database benchmark: mongo_find of 10,000 documents through the runner
# against the same find through libmongoc directly (a small C program that
# builds nothing), mongo_aggregate against the server's own $group, and
# 10,000 inserts (one mongo_insert of many, and one at a time) against the
# same inserts through the driver, on one FerretDB server in one run. Prints the median of several runs of each
# (whole processes, connection included) and the ratio runner / driver.
# Usage: bench/mongo/run.sh [runner-path] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
runner="${1:-$root/build/release/runner}"
runs="${2:-7}"
documents=10000
[ -x "$runner" ] || { cmake --preset release -S "$root" >/dev/null && cmake --build "$root/build/release" -j2 --target runner >/dev/null; }
[ -f "$(dirname "$runner")/TOLV.config" ] || [ -f "$(dirname "$runner")/mongoTOLV.config" ] ||
    : > "$(dirname "$runner")/TOLV.config"

work="$(mktemp -d)"
ferretdb="$("$root/tools/ferretdb.sh")"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$ferretdb" --listen-addr=127.0.0.1:$port --handler=sqlite --sqlite-url="file:$work/" --state-dir="$work" \
    --telemetry=disable --debug-addr=- --log-level=error &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
uri="mongodb://127.0.0.1:$port/bench"

cc -O2 -o "$work/driver_loop" "$here/driver_loop.c" $(pkg-config --cflags --libs libmongoc-1.0)
/usr/bin/python3 - "$uri" "$documents" <<'PY'
import sys, time
import pymongo
client = pymongo.MongoClient(sys.argv[1], serverSelectionTimeoutMS=20000)
for _ in range(100):
    try:
        client.admin.command("ping")
        break
    except pymongo.errors.PyMongoError:
        time.sleep(0.1)
docs = [{"_id": i, "k": "key%02d" % (i % 50), "a": i, "b": "text %d" % i, "c": i * 0.5, "v": i % 97}
        for i in range(int(sys.argv[2]))]
client.bench.docs.drop()
client.bench.docs.insert_many(docs)
PY

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Seconds for one run of a command, its output checked against `expect`.
timed() {
    local expect="$1"; shift
    local start end out
    start=$(date +%s.%N)
    out="$("$@" 2>/dev/null)"
    end=$(date +%s.%N)
    [ "$out" = "$expect" ] || { echo "unexpected output from $*: $out" >&2; exit 1; }
    awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}
measure() {
    local expect="$1"; shift
    for _ in $(seq "$runs"); do timed "$expect" "$@"; done | median
}

runner_find=$(measure "(L) $documents" "$runner" -e "main('$uri', 'docs')" "$here/find.js")
driver_find=$(measure "$documents" "$work/driver_loop" "$uri" docs find)
runner_group=$(measure "(L) 50" "$runner" -e "main('$uri', 'docs')" "$here/aggregate.js")
driver_group=$(measure "50" "$work/driver_loop" "$uri" docs group)

# Inserts go to a fresh collection each run.
drop() { /usr/bin/python3 -c 'import sys, pymongo; pymongo.MongoClient(sys.argv[1]).bench.drop_collection(sys.argv[2])' "$uri" "$1"; }
measure_insert() {
    local expect="$1"; shift
    for _ in $(seq "$runs"); do drop fresh; timed "$expect" "$@"; done | median
}
runner_many=$(measure_insert "(L) $documents" "$runner" -e "main('$uri', 'fresh', $documents, false)" "$here/insert.js")
driver_many=$(measure_insert "$documents" "$work/driver_loop" "$uri" fresh insert "$documents")
runner_each=$(measure_insert "(L) $documents" "$runner" -e "main('$uri', 'fresh', $documents, true)" "$here/insert.js")
driver_each=$(measure_insert "$documents" "$work/driver_loop" "$uri" fresh insert1 "$documents")

printf '%-44s %10s %10s %7s\n' "benchmark ($runs runs, median, seconds)" runner driver ratio
printf '%-44s %10.4f %10.4f %7.2f\n' "mongo_find of $documents documents" "$runner_find" "$driver_find" \
    "$(awk -v a="$runner_find" -v b="$driver_find" 'BEGIN {print a / b}')"
printf '%-44s %10.4f %10.4f %7.2f\n' "mongo_aggregate vs \$group ($documents documents)" "$runner_group" "$driver_group" \
    "$(awk -v a="$runner_group" -v b="$driver_group" 'BEGIN {print a / b}')"
printf '%-44s %10.4f %10.4f %7.2f\n' "mongo_insert of $documents documents at once" "$runner_many" "$driver_many" \
    "$(awk -v a="$runner_many" -v b="$driver_many" 'BEGIN {print a / b}')"
printf '%-44s %10.4f %10.4f %7.2f\n' "mongo_insert of $documents, one at a time" "$runner_each" "$driver_each" \
    "$(awk -v a="$runner_each" -v b="$driver_each" 'BEGIN {print a / b}')"
