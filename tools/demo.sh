#!/usr/bin/env bash
# Builds the runner and serves the shop example through a real web server
# (lighttpd with mod_cgi on a loopback port), then sends it two requests with
# curl and shows the answers: an order, and an order of an unknown item.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target runner | tail -n 3

site=$(mktemp -d)
cleanup() {
  [ -f "$site/lighttpd.pid" ] && kill "$(cat "$site/lighttpd.pid")" 2>/dev/null || true
  rm -rf "$site"
}
trap cleanup EXIT

cp build/release/runner "$site/"
# The journal lives in a directory of its own, away from the program and its configuration.
mkdir "$site/log"
{
  cat examples/shop/TOLV.config
  echo "MODULE_DIR=$root/examples/shop"
  echo "LOGFILE=$site/log/journal.log"
} > "$site/TOLV.config"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$site/lighttpd.conf" <<CONF
server.document-root = "$site"
server.bind = "127.0.0.1"
server.port = $port
server.pid-file = "$site/lighttpd.pid"
server.errorlog = "$site/lighttpd-error.log"
server.modules = ("mod_cgi")
cgi.assign = ("/runner" => "")
CONF
/usr/sbin/lighttpd -f "$site/lighttpd.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

# Request records: counted numbers ('0' + digit count, digits) and texts.
cnum() { printf '%s%s' "${#1}" "$1"; }
ctext() { cnum "${#1}"; printf '%s' "$1"; }
record() { printf '%s%s%s%s' "$1" "$(cnum "$2")" "$(cnum "${#3}")" "$3"; }  # letter, count, contents
request() {  # top program, then the codes of the items
  local top=$1; shift
  local items="" n=0
  for code in "$@"; do items+=$(ctext "$code"); n=$((n + 1)); done
  printf 'P%s' "$(ctext "$top")"
  record M 1 "$(ctext order.js)"
  record S 1 "$(ctext customer)$(ctext Ann)"
  record I 1 "$(ctext quantity)$(cnum 10)"
  record A 1 "A$(cnum $n)$(ctext codes)$items"
}
ask() {
  local body
  body=$(request 'order(customer, codes, quantity)' "$@")
  echo "== POST http://127.0.0.1:$port/runner  items: $*"
  echo "request:  $body"
  local answer
  answer=$(curl -s -X POST --data-binary "$body" "http://127.0.0.1:$port/runner")
  echo "answer:   $answer"
  printf '%s' "$answer" | python3 tools/show_answer.py | sed 's/^/          /'
  echo
}
ask tea cup
ask tea teapot
echo "== journal"
# The runner writes its journal after the answer is complete.
for _ in $(seq 50); do [ "$(grep -c '=====  end' "$site/log/journal.log" 2>/dev/null)" = 2 ] && break; sleep 0.1; done
cat "$site/log/journal.log"
