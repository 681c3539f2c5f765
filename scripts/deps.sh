#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libsqlite3-dev sqlite3
          libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          libedit-dev nlohmann-json3-dev
          libpq-dev postgresql postgresql-contrib pgbouncer
          mdbtools mdbtools-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

# A pooler that follows statements prepared by name, for the pooled test
# runs that use them. Not having one only leaves those runs out.
bash "$(dirname "$0")/pgbouncer.sh" build ||
  echo "deps: no pooler that follows statements prepared by name could be built;" \
    "the pooled test runs keep to unnamed statements" >&2
