#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet
# (one apt-get update first, only when something is missing). Run as root.
# --no-recommends: without the packages they only recommend (ansible-core
# recommends the whole ansible collection set, some hundreds of megabytes).
set -euo pipefail
options=()
if [ "${1:-}" = --no-recommends ]; then
  options+=(--no-install-recommends)
  shift
fi
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
fi
