#!/usr/bin/env bash
# Throughput of the runner's two modes against php-fpm, in one run, through
# one nginx: CGI mode (fcgiwrap starts the runner per request), FastCGI mode
# (`runner --fastcgi`, a fresh process per request forked from a prepared
# server) and php-fpm (Debian's, a persistent runtime) answering a hello.
# ApacheBench sends each case at a concurrency of 20; the table gives
# requests/s, failures and the CPU time each request cost the server behind
# nginx (its processes and the children they reaped) and nginx itself, and
# the journal is checked block by block.
# Not part of the test suite: numbers depend on the machine.
# Usage: bench/throughput.sh [requests per case, default 3000] [runner-path]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
requests="${1:-3000}"
runner="${2:-}"
concurrency=20

if [ -z "$runner" ]; then
    runner="$root/build/release/runner"
    cmake --preset release -S "$root" >/dev/null
    cmake --build "$root/build/release" -j2 --target runner >/dev/null
fi
install() {  # program, Debian package
    command -v "$1" >/dev/null && return
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >/dev/null 2>&1 || true
    fi
    command -v "$1" >/dev/null || { echo "$1 ($2) is needed" >&2; exit 1; }
}
export PATH="$PATH:/usr/sbin"
install ab apache2-utils
install nginx nginx
install fcgiwrap fcgiwrap
php_fpm=$(ls /usr/sbin/php-fpm* 2>/dev/null | head -n 1 || true)
if [ -z "$php_fpm" ]; then install php-fpm php-fpm 2>/dev/null || true; php_fpm=$(ls /usr/sbin/php-fpm* | head -n 1); fi

site=$(mktemp -d)
chmod 755 "$site"
pids=()
cleanup() {
    # Each server was started in a process group of its own: fcgiwrap's
    # workers and the runner's request processes go with it.
    for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
    [ -f "$site/nginx.pid" ] && kill "$(cat "$site/nginx.pid")" 2>/dev/null || true
    [ -f "$site/php-fpm.pid" ] && kill "$(cat "$site/php-fpm.pid")" 2>/dev/null || true
    sleep 0.5
    rm -rf "$site"
}
trap cleanup EXIT

mkdir -p "$site/bin" "$site/modules" "$site/log" "$site/public" "$site/run"
cp "$runner" "$site/bin/runner"
cp "$root"/examples/shop/*.js "$site/modules/"
echo 'function hello() { sendToFront("greeting", "hello"); }' > "$site/modules/hello.js"
echo '<?php echo "hello";' > "$site/public/hello.php"
{
    cat "$root/examples/shop/TOLV.config"
    echo "MODULE_DIR=$site/modules"
    echo "LOGFILE=$site/log/journal.log"
} > "$site/bin/TOLV.config"

# Started as root, every server's worker runs as nobody.
user=$(id -un) group=$(id -gn) as_user=()
if [ "$(id -u)" = 0 ]; then
    user=nobody group=nogroup as_user=(runuser -u nobody --)
    chown nobody:nogroup "$site/log" "$site/run"
fi

setsid "${as_user[@]}" /usr/sbin/fcgiwrap -f -c "$concurrency" -s "unix:$site/run/fcgiwrap.sock" -p "$site/bin/runner" \
    > "$site/fcgiwrap.log" 2>&1 &
pids+=($!)
setsid "${as_user[@]}" "$site/bin/runner" --fastcgi "$site/run/runner.sock" --children "$concurrency" --time-limit 30 \
    > "$site/runner.log" 2>&1 &
pids+=($!)
cat > "$site/php-fpm.conf" <<CONF
[global]
pid = $site/php-fpm.pid
error_log = $site/php-fpm.log
daemonize = no
[hello]
user = $user
group = $group
listen = $site/run/php.sock
listen.owner = $user
listen.group = $group
pm = static
pm.max_children = $concurrency
CONF
setsid "$php_fpm" -y "$site/php-fpm.conf" -R -F > "$site/php-fpm.out" 2>&1 &
pids+=($!)

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
params='
      fastcgi_param GATEWAY_INTERFACE CGI/1.1;
      fastcgi_param SERVER_PROTOCOL   $server_protocol;
      fastcgi_param REQUEST_METHOD    $request_method;
      fastcgi_param QUERY_STRING      $query_string;
      fastcgi_param CONTENT_TYPE      $content_type;
      fastcgi_param CONTENT_LENGTH    $content_length;
      fastcgi_param REMOTE_ADDR       $remote_addr;'
cat > "$site/nginx.conf" <<CONF
user $user $group;
worker_processes 1;
pid $site/nginx.pid;
error_log $site/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $site/run/client_body;
  fastcgi_temp_path $site/run/fastcgi;
  proxy_temp_path $site/run/proxy;
  uwsgi_temp_path $site/run/uwsgi;
  scgi_temp_path $site/run/scgi;
  server {
    listen 127.0.0.1:$port;
    root $site/public;
    location = /cgi {
      fastcgi_pass unix:$site/run/fcgiwrap.sock;
      fastcgi_param SCRIPT_FILENAME $site/bin/runner;$params
    }
    location = /fastcgi {
      fastcgi_pass unix:$site/run/runner.sock;$params
    }
    location = /hello.php {
      fastcgi_pass unix:$site/run/php.sock;
      fastcgi_param SCRIPT_FILENAME $site/public/hello.php;$params
    }
  }
}
CONF
for _ in $(seq 100); do
    [ -S "$site/run/fcgiwrap.sock" ] && [ -S "$site/run/runner.sock" ] && [ -S "$site/run/php.sock" ] && break
    sleep 0.05
done
/usr/sbin/nginx -c "$site/nginx.conf" -e "$site/nginx-error.log"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

# Request records, as tools/demo.sh builds them.
printf 'P17hello()M1121018hello.js' > "$site/hello"
printf 'P232order(customer, codes, quantity)M1121018order.jsS1121518customer13AnnI1121318quantity210A11220A1215codes13tea13cup' > "$site/order"
check() {  # path, body file, expected ending
    local got
    got=$(curl -s -X POST --data-binary "@$2" "http://127.0.0.1:$port$1")
    case "$got" in
        *"$3") ;;
        *) echo "$1 did not answer as expected: $got" >&2; cat "$site"/*.log >&2; exit 1 ;;
    esac
}
check /cgi "$site/hello" C10101110
check /fastcgi "$site/hello" C10101110
check /cgi "$site/order" C11131110
check /fastcgi "$site/order" C11131110
[ "$(curl -s "http://127.0.0.1:$port/hello.php")" = hello ] || { echo "php-fpm did not answer" >&2; exit 1; }
sent=4

rows=()
status=0
ticks() {  # CPU clock ticks of the processes and of the children they reaped
    local total=0 pid
    for pid in "$@"; do
        [ -r "/proc/$pid/stat" ] && total=$((total + $(awk '{print $14 + $15 + $16 + $17}' "/proc/$pid/stat")))
    done
    echo "$total"
}
per_request() {  # ticks before, ticks after
    awk -v a="$1" -v b="$2" -v n="$requests" -v hz="$(getconf CLK_TCK)" 'BEGIN {printf "%.3f", (b - a) * 1000 / hz / n}'
}
run_ab() {  # label, path, body file ("" for a GET), session of the server behind
    local label=$1 path=$2 body=$3 session=$4 options=()
    [ -n "$body" ] && options=(-p "$body" -T application/octet-stream)
    local nginx_pids server_before nginx_before
    nginx_pids="$(cat "$site/nginx.pid") $(pgrep -P "$(cat "$site/nginx.pid")" | tr '\n' ' ')"
    server_before=$(ticks $(pgrep -s "$session")) nginx_before=$(ticks $nginx_pids)
    ab -q -n "$requests" -c "$concurrency" "${options[@]}" "http://127.0.0.1:$port$path" > "$site/ab.txt" 2>&1 ||
        { cat "$site/ab.txt"; exit 1; }
    sleep 0.3  # the last children reaped
    local server_ms nginx_ms
    server_ms=$(per_request "$server_before" "$(ticks $(pgrep -s "$session"))")
    nginx_ms=$(per_request "$nginx_before" "$(ticks $nginx_pids)")
    local rate failed non2xx
    rate=$(awk '/^Requests per second/ {print $4}' "$site/ab.txt")
    failed=$(awk '/^Failed requests/ {print $3}' "$site/ab.txt")
    non2xx=$(awk '/^Non-2xx responses/ {print $3}' "$site/ab.txt")
    rows+=("$(printf '| %-26s | %9s | %6s | %7s | %13s | %12s |' "$label" "$rate" "$failed" "${non2xx:-0}" "$server_ms" "$nginx_ms")")
    { [ "$failed" = 0 ] && [ -z "$non2xx" ]; } || status=1
}
run_ab "runner CGI, hello" /cgi "$site/hello" "${pids[0]}"
run_ab "runner FastCGI, hello" /fastcgi "$site/hello" "${pids[1]}"
run_ab "php-fpm, hello" /hello.php "" "${pids[2]}"
run_ab "runner CGI, shop order" /cgi "$site/order" "${pids[0]}"
run_ab "runner FastCGI, shop order" /fastcgi "$site/order" "${pids[1]}"
sent=$((sent + 4 * requests))

echo "nginx, ab -c $concurrency, $requests requests per case, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| what                       |     req/s | failed | non-2xx | server ms/req | nginx ms/req |"
echo "|----------------------------|-----------|--------|---------|---------------|--------------|"
printf '%s\n' "${rows[@]}"

# Each journal block is written after its answer: wait for the last ones.
for _ in $(seq 100); do
    [ "$(grep -c '^=====  end : ' "$site/log/journal.log")" -ge "$sent" ] && break
    sleep 0.1
done
python3 "$here/journal_check.py" "$site/log/journal.log" "$sent" "runner requests" || status=1
exit $status
