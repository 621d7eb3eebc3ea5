#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian).
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libssl-dev clang libclang-rt-14-dev curl lighttpd)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
