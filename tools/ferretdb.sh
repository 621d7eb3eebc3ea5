#!/usr/bin/env bash
# Builds FerretDB (the MongoDB-compatible server the database tests start)
# once into a versioned cache directory and prints the binary's path; later
# calls find it there. $TOLV_FERRETDB names another place for the binary.
#
# The module as published lacks the generated build/version/version.txt that
# its version package embeds (a plain `go install` gives a binary that panics
# at start-up), so the module is copied and the file written before building.
set -euo pipefail

version=v1.24.2
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tolv/ferretdb-$version"
binary="${TOLV_FERRETDB:-$cache/ferretdb}"
if [ -x "$binary" ]; then
  echo "$binary"
  exit 0
fi

[ -d /usr/local/go/bin ] && PATH="$PATH:/usr/local/go/bin"
if ! command -v go >/dev/null; then
  echo "ferretdb.sh: the Go toolchain is needed to build FerretDB" >&2
  exit 1
fi

start=$(date +%s)
module_dir=$(GOFLAGS=-mod=mod go mod download -json "github.com/FerretDB/FerretDB@$version" |
  sed -n 's/^[[:space:]]*"Dir": "\(.*\)",$/\1/p')
[ -d "$module_dir" ] || { echo "ferretdb.sh: module download failed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$module_dir" "$work/src"
chmod -R u+w "$work/src"
printf '%s' "$version" > "$work/src/build/version/version.txt"
mkdir -p "$(dirname "$binary")"
(cd "$work/src" && go build -o "$binary.tmp" ./cmd/ferretdb)
"$binary.tmp" --version | grep -q "version: $version"
mv "$binary.tmp" "$binary"
echo "ferretdb.sh: built FerretDB $version in $(( $(date +%s) - start )) s" >&2
echo "$binary"
