#!/usr/bin/env bash
# Serves the task list example (examples/tasks) until it is stopped: a
# FerretDB with its data in a temporary directory, and lighttpd with mod_cgi
# on a loopback port laid out as deploy/lighttpd lays a site out (the program,
# its configuration and the journal outside the document root, which holds
# the page and the client library only).
#
#   tools/tasks_site.sh RUNNER [PASSWORD]
#
# Prints "url http://127.0.0.1:PORT/", "password ..." and "journal PATH" on
# standard output once the site answers, then waits; SIGTERM or SIGINT stops
# both servers and removes the site.
set -euo pipefail
cd "$(dirname "$0")/.."

runner=$1
password=${2:-$(head -c 12 /dev/urandom | base64 | tr -d '/+=')}
ferretdb=$(tools/ferretdb.sh)

site=$(mktemp -d)
chmod 755 "$site"
ferret_pid="" sleeper=""
cleanup() {
  [ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null || true
  [ -f "$site/run/lighttpd.pid" ] && kill "$(cat "$site/run/lighttpd.pid")" 2>/dev/null || true
  [ -n "$ferret_pid" ] && kill "$ferret_pid" 2>/dev/null && wait "$ferret_pid" 2>/dev/null || true
  rm -rf "$site"
}
trap cleanup EXIT
trap 'exit 0' TERM INT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

mkdir -p "$site/bin" "$site/modules" "$site/log" "$site/public" "$site/run" "$site/data"
db_port=$(free_port)
"$ferretdb" --listen-addr="127.0.0.1:$db_port" --handler=sqlite --sqlite-url="file:$site/data/" \
  --state-dir="$site/data" --telemetry=disable --debug-addr=- --log-level=error >"$site/run/ferretdb.log" 2>&1 &
ferret_pid=$!

cp "$runner" "$site/bin/runner"
cp examples/tasks/tasks.js "$site/modules/"
cp examples/tasks/public/* clients/js/tolv.mjs "$site/public/"
# A random key per site: tokens of another site (or an earlier run) are refused.
key=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
{
  cat examples/tasks/TOLV.config
  echo "MODULE_DIR=$site/modules"
  echo "LOGFILE=$site/log/journal.log"
  echo "TOKEN_KEY='$key'"
  echo "VAR='tasks_db':'mongodb://127.0.0.1:$db_port/tasks?serverSelectionTimeoutMS=3000'"
  echo "VAR='team_password':'$password'"
} >"$site/bin/TOLV.config"
chmod 600 "$site/bin/TOLV.config"

# Started as root, lighttpd runs as nobody, who reads the configuration and
# writes its logs and the journal.
user=$(id -un) group=$(id -gn)
if [ "$(id -u)" -eq 0 ]; then
  user=nobody group=nogroup
  chown "$user:$group" "$site/log" "$site/run" "$site/bin/TOLV.config"
fi
port=$(free_port)
sed -e "s|@BIN@|$site/bin|g" -e "s|@PUBLIC@|$site/public|g" -e "s|@RUN@|$site/run|g" \
    -e "s|@ADDRESS@|127.0.0.1|g" -e "s|@PORT@|$port|g" -e "s|@USER@|$user|g" -e "s|@GROUP@|$group|g" \
    deploy/lighttpd/lighttpd.conf >"$site/run/lighttpd.conf"
/usr/sbin/lighttpd -f "$site/run/lighttpd.conf" </dev/null >/dev/null 2>>"$site/run/lighttpd-start.log"

for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && python3 -c "import socket; socket.create_connection(('127.0.0.1', $db_port), 1)" 2>/dev/null && break
  sleep 0.1
done
echo "url http://127.0.0.1:$port/"
echo "password $password"
echo "journal $site/log/journal.log"
# Waits in the background so that a signal ends the wait at once; the sleep
# holds none of the caller's pipes open.
sleep infinity </dev/null >/dev/null 2>&1 &
sleeper=$!
wait "$sleeper" || true
