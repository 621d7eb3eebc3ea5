#!/usr/bin/env bash
# Load through a real web server: lighttpd runs the runner as a CGI program
# for the shop example while ApacheBench sends a bounded number of order
# requests at a concurrency of 20. Prints requests/s for the runner and for
# a trivial shell CGI on the same server, the failed requests, and checks
# that the journal holds one intact block per request.
# Usage: bench/load.sh [requests, default 2000] [runner-path]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
requests="${1:-2000}"
runner="${2:-}"
concurrency=20

if [ -z "$runner" ]; then
    runner="$root/build/release/runner"
    cmake --preset release -S "$root" >/dev/null
    cmake --build "$root/build/release" -j2 --target runner >/dev/null
fi
if ! command -v ab >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq apache2-utils >/dev/null 2>&1 || true
    fi
fi
command -v ab >/dev/null || { echo "ab (apache2-utils) is needed" >&2; exit 1; }
[ -x /usr/sbin/lighttpd ] || "$root/tools/setup.sh"

site=$(mktemp -d)
cleanup() {
    [ -f "$site/lighttpd.pid" ] && kill "$(cat "$site/lighttpd.pid")" 2>/dev/null || true
    rm -rf "$site"
}
trap cleanup EXIT

cp "$runner" "$site/runner"
mkdir "$site/log"
{
    cat "$root/examples/shop/TOLV.config"
    echo "MODULE_DIR=$root/examples/shop"
    echo "LOGFILE=$site/log/journal.log"
} > "$site/TOLV.config"
printf '#!/bin/sh\nprintf "Content-type: text/plain\\n\\nok"\n' > "$site/trivial"
chmod +x "$site/trivial"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$site/lighttpd.conf" <<CONF
server.document-root = "$site"
server.bind = "127.0.0.1"
server.port = $port
server.pid-file = "$site/lighttpd.pid"
server.errorlog = "$site/lighttpd-error.log"
server.modules = ("mod_cgi")
server.max-connections = 256
cgi.assign = ("/runner" => "", "/trivial" => "")
CONF
/usr/sbin/lighttpd -f "$site/lighttpd.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

# One order: customer, two items, quantity (counted records, as tools/demo.sh builds them).
printf 'P232order(customer, codes, quantity)M1121018order.jsS1121518customer13AnnI1121318quantity210A11220A1215codes13tea13cup' > "$site/body"
expected=$(curl -s -X POST --data-binary "@$site/body" "http://127.0.0.1:$port/runner")
case "$expected" in
    *C11131110) ;;
    *) echo "the order was not answered: $expected" >&2; exit 1 ;;
esac
# Its journal block comes after the answer: wait for it, then start afresh.
for _ in $(seq 100); do grep -q '^=====  end : ' "$site/log/journal.log" 2>/dev/null && break; sleep 0.05; done
: > "$site/log/journal.log"

run_ab() {  # name, url, extra ab options...
    local name=$1 url=$2
    shift 2
    ab -q -n "$requests" -c "$concurrency" "$@" "$url" > "$site/ab.txt" 2>&1 || { cat "$site/ab.txt"; exit 1; }
    local rate failed non2xx
    rate=$(awk '/^Requests per second/ {print $4}' "$site/ab.txt")
    failed=$(awk '/^Failed requests/ {print $3}' "$site/ab.txt")
    non2xx=$(awk '/^Non-2xx responses/ {print $3}' "$site/ab.txt")
    printf '%-14s %6d requests, concurrency %d: %8s requests/s, %s failed, %s non-2xx\n' \
        "$name" "$requests" "$concurrency" "$rate" "$failed" "${non2xx:-0}"
    [ "$failed" = 0 ] && [ -z "$non2xx" ]
}

status=0
run_ab "runner" "http://127.0.0.1:$port/runner" -p "$site/body" -T application/octet-stream || status=1
run_ab "trivial CGI" "http://127.0.0.1:$port/trivial" || status=1

# The runner writes its journal after closing the answer: wait for the last blocks.
for _ in $(seq 100); do
    [ "$(grep -c '^=====  end : ' "$site/log/journal.log")" -ge "$requests" ] && break
    sleep 0.1
done
python3 "$here/journal_check.py" "$site/log/journal.log" "$requests" || status=1
exit $status
