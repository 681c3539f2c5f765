#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests: initdb into a temporary
# directory, listening only on a Unix socket in that directory (no TCP port
# at all), owned by the postgres user when run as root (the server refuses
# to run as root).
#
#   scripts/pg-test-server.sh start   prints the target: TESSALY_PG_TARGET=...
#   scripts/pg-test-server.sh start --pooler
#                                     prints it, then a second target through a
#                                     connection pooler in transaction mode:
#                                     TESSALY_PG_POOLED_TARGET=...
#                                     and, where the pooler keeps track of
#                                     statements prepared by name, a third
#                                     line: TESSALY_PG_POOLED_STATEMENTS=named
#   scripts/pg-test-server.sh stop DIR
#
# The target names the database "tessaly" and the socket directory; export
# it as TESSALY_PG_TARGET (the database layer's contract suite) and set
# TESSALY_TEST_ENGINE=postgres to run the class tests on it too.
#
# The pooler (pgbouncer) listens on a socket of the same directory (port
# 6432), hands each transaction to one of at most 4 server sessions per
# database and user, and trusts every user the server knows (it looks them up
# as tessaly). It carries no "options" to the server: a test process reaches
# its own schema through the pooler as a role named like the schema (the
# server's search path starts with "$user").
#
# The pooler is $PGBOUNCER, else the one scripts/pgbouncer.sh names (which
# scripts/deps.sh builds when the system's is older than 1.21). From 1.21 on it
# keeps track of the statements each client prepares by name at the
# protocol's level (up to max_prepared_statements of them on each server
# session, preparing them again where its client's transaction lands), so a
# target with tessaly_statements=named works through it: the third line says
# so.
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
    if [ "${2:-}" = "--pooler" ]; then
      pgbouncer=${PGBOUNCER:-$(bash "$(dirname "$0")/pgbouncer.sh" path)}
      [ -x "$pgbouncer" ] || { echo "pg-test-server: no pgbouncer found" >&2; exit 1; }
      version=$("$pgbouncer" --version 2>/dev/null | sed -n '1s/^PgBouncer \([0-9.]*\).*/\1/p' || true)
      tracked=
      dpkg --compare-versions "${version:-0}" ge 1.21 2>/dev/null && tracked=1
      echo '"tessaly" ""' >"$dir/pgbouncer.users"
      printf '%s\n' "[databases]" "* = host=$dir port=5432" "[pgbouncer]" \
        "listen_addr =" "listen_port = 6432" "unix_socket_dir = $dir" \
        "auth_type = trust" "auth_file = $dir/pgbouncer.users" \
        "pool_mode = transaction" "default_pool_size = 4" "max_client_conn = 1000" \
        "max_db_connections = 40" "server_idle_timeout = 5" \
        "ignore_startup_parameters = extra_float_digits" "auth_user = tessaly" \
        "log_connections = 0" "log_disconnections = 0" \
        "logfile = $dir/pgbouncer.log" "pidfile = $dir/pgbouncer.pid" \
        ${tracked:+"max_prepared_statements = 200"} >"$dir/pgbouncer.ini"
      [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/pgbouncer.ini" "$dir/pgbouncer.users"
      as_owner "$pgbouncer" -d "$dir/pgbouncer.ini" >/dev/null 2>&1 ||
        { cat "$dir/pgbouncer.log" >&2; exit 1; }
      echo "TESSALY_PG_POOLED_TARGET=postgresql:///tessaly?host=$dir&port=6432&user=tessaly"
      [ -z "$tracked" ] || echo "TESSALY_PG_POOLED_STATEMENTS=named"
    fi
    ;;
  stop)
    dir=${2:?usage: pg-test-server.sh stop DIR}
    case "$dir" in /tmp/tessaly-pg-*) ;; *) echo "pg-test-server: not a test server: $dir" >&2; exit 1;; esac
    if [ -f "$dir/pgbouncer.pid" ]; then kill "$(cat "$dir/pgbouncer.pid")" 2>/dev/null || true; fi
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start [--pooler] | stop DIR" >&2
    exit 2
    ;;
esac
