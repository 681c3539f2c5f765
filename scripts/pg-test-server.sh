#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests: initdb into a temporary
# directory, listening only on a Unix socket in that directory (no TCP port
# at all), owned by the postgres user when run as root (the server refuses
# to run as root).
#
#   scripts/pg-test-server.sh start   prints the target: TESSALY_PG_TARGET=...
#   scripts/pg-test-server.sh stop DIR
#
# The target names the database "tessaly" and the socket directory; export
# it as TESSALY_PG_TARGET (the database layer's contract suite) and set
# TESSALY_TEST_ENGINE=postgres to run the class tests on it too.
set -euo pipefail

bindir=${PG_BINDIR:-}
if [ -z "$bindir" ]; then
  for d in /usr/lib/postgresql/*/bin; do [ -x "$d/initdb" ] && bindir=$d; done
fi
[ -x "$bindir/initdb" ] || { echo "pg-test-server: no PostgreSQL server binaries found" >&2; exit 1; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "${1:-}" in
  start)
    dir=$(mktemp -d /tmp/tessaly-pg-XXXXXX)
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U tessaly --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # Every user is trusted on the socket except tessaly_pw, whose password
    # is checked: the tests of a wrong password need one that is.
    hba="$dir/data/pg_hba.conf"
    { echo "local all tessaly_pw scram-sha-256"; cat "$hba"; } >"$hba.new"
    mv "$hba.new" "$hba"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$hba"
    # Many tests run side by side, each with a few connections.
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c max_connections=200 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$bindir/createdb" -h "$dir" -U tessaly tessaly
    echo "TESSALY_PG_TARGET=postgresql:///tessaly?host=$dir&user=tessaly"
    ;;
  stop)
    dir=${2:?usage: pg-test-server.sh stop DIR}
    case "$dir" in /tmp/tessaly-pg-*) ;; *) echo "pg-test-server: not a test server: $dir" >&2; exit 1;; esac
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start | stop DIR" >&2
    exit 2
    ;;
esac
