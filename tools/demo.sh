#!/usr/bin/env bash
# Builds the runner and serves the shop example through a real web server
# (lighttpd with mod_cgi on a loopback port, configured by the recipe in
# deploy/lighttpd), then sends it two requests with curl and shows the
# answers: an order, and an order of an unknown item.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target runner | tail -n 3

# The site as deploy/lighttpd lays it out: the program, its configuration and
# the journal outside the document root, which holds static files only.
site=$(mktemp -d)
chmod 755 "$site"
cleanup() {
  [ -f "$site/run/lighttpd.pid" ] && kill "$(cat "$site/run/lighttpd.pid")" 2>/dev/null || true
  rm -rf "$site"
}
trap cleanup EXIT

mkdir -p "$site/bin" "$site/modules" "$site/log" "$site/public" "$site/run"
cp build/release/runner "$site/bin/"
cp examples/shop/*.js "$site/modules/"
echo '<!doctype html><title>shop</title>' > "$site/public/index.html"
{
  cat examples/shop/TOLV.config
  echo "MODULE_DIR=$site/modules"
  echo "LOGFILE=$site/log/journal.log"
} > "$site/bin/TOLV.config"
# Started as root, lighttpd runs as nobody, who writes its logs and the journal.
user=$(id -un) group=$(id -gn)
if [ "$(id -u)" -eq 0 ]; then
  user=nobody group=nogroup
  chown "$user:$group" "$site/log" "$site/run"
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -e "s|@BIN@|$site/bin|g" -e "s|@PUBLIC@|$site/public|g" -e "s|@RUN@|$site/run|g" \
    -e "s|@ADDRESS@|127.0.0.1|g" -e "s|@PORT@|$port|g" -e "s|@USER@|$user|g" -e "s|@GROUP@|$group|g" \
    deploy/lighttpd/lighttpd.conf > "$site/run/lighttpd.conf"
/usr/sbin/lighttpd -f "$site/run/lighttpd.conf"
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
echo "== the configuration, the journal and a module are not on the web:"
for path in /bin/TOLV.config /log/journal.log /modules/order.js /runner/../bin/TOLV.config; do
  echo "   GET $path -> $(curl -s --path-as-is -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$path")"
done
echo
echo "== journal ($site/log/journal.log)"
# The runner writes its journal after the answer is complete.
for _ in $(seq 50); do [ "$(grep -c '=====  end' "$site/log/journal.log" 2>/dev/null)" = 2 ] && break; sleep 0.1; done
cat "$site/log/journal.log"
