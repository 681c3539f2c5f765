#!/usr/bin/env bash
# Builds Tessaly and runs every test on both engines: once on SQLite, with the
# database contract suite on a PostgreSQL server as well, then once more with
# the server as every class test's engine, and once more through a pooler in
# transaction mode (TESSALY_PG_POOLED_TARGET) where there is one, and, where
# that pooler keeps track of statements prepared by name
# (TESSALY_PG_POOLED_STATEMENTS=named), once more through it with the class
# tests' sessions preparing theirs so (TESSALY_PG_STATEMENTS=named). The server
# is the one TESSALY_PG_TARGET names, else a throw-away one of this run's own
# with its pooler (scripts/pg-test-server.sh start --pooler), stopped however
# the run ends. Where no server
# can be started the server's tests are skipped, and the run says so.
# With --sanitize, the same in a separate build directory under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DTESSALY_SANITIZE=ON -DTESSALY_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"

server_dir=
stop_server() {
  if [ -n "$server_dir" ]; then bash scripts/pg-test-server.sh stop "$server_dir"; fi
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
no_server=
if [ -z "${TESSALY_PG_TARGET:-}" ]; then
  if targets=$(bash scripts/pg-test-server.sh start --pooler 2>"$build/pg-test-server.log"); then
    while read -r target; do export "$target"; done <<<"$targets"
    server_dir=$(sed 's/.*host=\([^&]*\).*/\1/' <<<"$TESSALY_PG_TARGET")
  else
    no_server="no PostgreSQL server could be started here ($(tail -n 1 "$build/pg-test-server.log")):
the tests on the server are SKIPPED, and this run checks SQLite alone.
Install the server (scripts/deps.sh does) or point TESSALY_PG_TARGET at one."
    echo "test.sh: $no_server" >&2
  fi
fi

ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
if [ -n "${TESSALY_PG_TARGET:-}" ]; then
  # The tests that do not take their engine from TESSALY_TEST_ENGINE stay
  # out: they would only run again as they just did.
  same='install_check|cli_tests|cli_terminal_tests|import_cli_tests|import_terminal_tests|ctypes_lookup|fuzz_corpus_replay'
  TESSALY_TEST_ENGINE=postgres ctest --test-dir "$build" --output-on-failure -j "$(nproc)" \
    -E "^($same)\$"
  if [ -n "${TESSALY_PG_POOLED_TARGET:-}" ]; then
    # The class tests and the server's share of the corpus through the
    # pooler; the engine's own tests (which end sessions by their server
    # process and check passwords the pooler does not) ran directly above.
    TESSALY_PG_TARGET=$TESSALY_PG_POOLED_TARGET TESSALY_PG_POOLED=1 TESSALY_TEST_ENGINE=postgres \
      ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -E "^($same)\$|^(Server|Functions|Pooled)\."
    # The same with statements prepared by name, where the pooler can follow
    # them. In the plain build alone: the sanitized build already sends named
    # statements through the pooler in pg_server_tests (Pooled.*), and a
    # second whole pooled run under the sanitizers would cost as much as the
    # first for little more.
    if [ "${TESSALY_PG_POOLED_STATEMENTS:-}" = named ] && [ "$build" = build ]; then
      TESSALY_PG_TARGET=$TESSALY_PG_POOLED_TARGET TESSALY_PG_POOLED=1 TESSALY_TEST_ENGINE=postgres \
        TESSALY_PG_STATEMENTS=named \
        ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -E "^($same)\$|^(Server|Functions|Pooled)\."
    fi
  fi
else
  echo "test.sh: $no_server" >&2
fi
