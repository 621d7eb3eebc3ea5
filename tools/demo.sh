#!/usr/bin/env bash
# Builds the runner and answers one real CGI request for the hello example,
# exactly as a web server would start it: CONTENT_LENGTH, the body on
# standard input, the answer on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target runner >/dev/null

site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
cp build/release/runner "$site/"
sed "s|^LOGFILE=.*|LOGFILE=$site/journal.log|" examples/hello/TOLV.config > "$site/TOLV.config"
echo "MODULE_DIR=$root/examples/hello" >> "$site/TOLV.config"

# Request records: the top program, one module, one string variable.
cnum() { printf '%s%s' "${#1}" "$1"; }          # counted number
ctext() { cnum "${#1}"; printf '%s' "$1"; }      # counted text (plain bytes)
paths=$(ctext hello.js)
vars="$(ctext who)$(ctext world)"
body="P$(ctext 'main(who)')M$(cnum 1)$(cnum ${#paths})${paths}S$(cnum 1)$(cnum ${#vars})${vars}"

echo "request body: $body"
echo "---- answer ----"
printf '%s' "$body" | env -i PATH=/usr/bin:/bin REMOTE_ADDR=127.0.0.1 CONTENT_LENGTH=${#body} "$site/runner"
echo
echo "---- journal ----"
cat "$site/journal.log" 2>/dev/null || echo "(empty)"
