#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian).
set -euo pipefail

# The deployment tests start lighttpd, nginx with fcgiwrap, Apache (the server
# program and its modules only: apache2-bin) and haproxy themselves, on free
# loopback ports; services that a package may start on port 80 are not used.
# The browser test drives headless Chromium with Debian's Selenium for Python.
packages=(cmake ninja-build g++ libgtest-dev libssl-dev clang libclang-rt-14-dev curl lighttpd python3 tzdata
  libmongoc-1.0-0 libbson-1.0-0 libmongoc-dev python3-pymongo
  nginx fcgiwrap apache2-bin haproxy
  chromium chromium-driver python3-selenium)
missing=()
for p in "${packages[@]}"; do
  # "deinstall ok config-files" (removed, configuration kept) counts as missing.
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# node is the differential tests' peer; Debian's nodejs when none is on the PATH.
command -v node >/dev/null || command -v nodejs >/dev/null || missing+=(nodejs)
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The database tests' server, built once and cached.
"$(dirname "$0")/ferretdb.sh" >/dev/null
