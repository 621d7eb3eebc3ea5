#!/usr/bin/env bash
# Builds the runner and serves the task list example (examples/tasks: a page,
# the JavaScript client and tasks.js on a FerretDB database) through a real
# web server (lighttpd with mod_cgi on a loopback port, laid out by the recipe
# in deploy/lighttpd), then drives it end to end as the page does: calls
# without a token and with a wrong password refused, sign-in, two tasks added
# and an empty one refused, one marked done, one deleted. Each request and
# answer is shown raw and decoded, then that the configuration, the journal
# and a module are not on the web, then the journal.
#
#   ./tools/demo.sh           the run above
#   ./tools/demo.sh --serve   keeps the site running and prints the URL to open
set -euo pipefail
cd "$(dirname "$0")/.."

serve=no
[ "${1:-}" = "--serve" ] && serve=yes

tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target runner | tail -n 3

if [ "$serve" = yes ]; then
  password=$(head -c 9 /dev/urandom | base64 | tr -d '/+=')
  tools/tasks_site.sh build/release/runner "$password" | while read -r key value; do
    case $key in
      url) echo "Open $value in a browser; sign in with any name and the password below. Ctrl-C stops." ;;
      password) echo "password: $value" ;;
      journal) echo "journal:  $value" ;;
    esac
  done
  exit 0
fi

out=$(mktemp)
tools/tasks_site.sh build/release/runner "demo password" >"$out" &
site=$!
trap 'kill "$site" 2>/dev/null; wait "$site" 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 300); do grep -q '^journal ' "$out" && break; sleep 0.1; done
url=$(sed -n 's/^url //p' "$out")
journal=$(sed -n 's/^journal //p' "$out")
[ -n "$url" ] || { echo "demo: the site did not start" >&2; exit 1; }
echo "== the site: $url (lighttpd, the runner as CGI at /runner, FerretDB)"
echo

node tools/tasks_demo.mjs "$url" "demo password"

echo "== the configuration, the journal and a module are not on the web:"
for path in /bin/TOLV.config /log/journal.log /modules/tasks.js /runner/../bin/TOLV.config; do
  echo "   GET $path -> $(curl -s --path-as-is -o /dev/null -w '%{http_code}' "${url%/}$path")"
done
echo
echo "== journal (the end of $journal)"
# The runner writes its journal after the answer is complete.
sleep 0.3
tail -n 12 "$journal"
