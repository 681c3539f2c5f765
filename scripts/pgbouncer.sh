#!/usr/bin/env bash
# The connection pooler of the pooled test runs.
#
#   scripts/pgbouncer.sh path    prints the pooler to start
#   scripts/pgbouncer.sh build   builds one that follows prepared statements,
#                                when the system's does not (scripts/deps.sh)
set -euo pipefail
# A pooler in transaction mode passes statements prepared by name at the
# protocol's level (tessaly_statements=named) only from PgBouncer 1.21 on,
# which keeps track of them per client; bookworm's is older. Then Debian's
# source of a later one (trixie's, with its patches) is built once, the
# binary alone, into a prefix of its own outside any checkout, which "path"
# then names to scripts/pg-test-server.sh.
pgbouncer_version=1.24.1
pgbouncer_prefix=/opt/tessaly-pgbouncer-$pgbouncer_version
pgbouncer_pool=http://deb.debian.org/debian/pool/main/p/pgbouncer
pgbouncer_orig=pgbouncer_$pgbouncer_version.orig.tar.gz
pgbouncer_orig_sha256=da72a3aba13072876d055a3e58dd4aba4a5de4ed6148e73033185245598fd3e0
pgbouncer_debian=pgbouncer_$pgbouncer_version-1+deb13u2.debian.tar.xz
pgbouncer_debian_sha256=2325bcaa2e71919d399b9e5aef5b94ff988fc1f1d296908c3937b682b7be5cbb
system_pgbouncer=$(command -v pgbouncer || echo /usr/sbin/pgbouncer)
system_version=$("$system_pgbouncer" --version 2>/dev/null | sed -n '1s/^PgBouncer \([0-9.]*\).*/\1/p' || true)
case "${1:-}" in
  path)
    # The pooler the test server starts: this one once built, else the
    # system's.
    if [ -x "$pgbouncer_prefix/bin/pgbouncer" ]; then echo "$pgbouncer_prefix/bin/pgbouncer"
    else echo "$system_pgbouncer"; fi
    exit 0
    ;;
  build) ;;
  *) echo "usage: pgbouncer.sh path|build" >&2; exit 2 ;;
esac
if [ ! -x "$pgbouncer_prefix/bin/pgbouncer" ] &&
   ! dpkg --compare-versions "${system_version:-0}" ge 1.21; then
  echo "building pgbouncer $pgbouncer_version into $pgbouncer_prefix (found ${system_version:-none})"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  build_packages=(curl xz-utils patch make gcc pkg-config libevent-dev libc-ares-dev libssl-dev)
  missing=()
  for p in "${build_packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  work=$(mktemp -d /tmp/tessaly-pgbouncer-build-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  (
    cd "$work"
    for f in "$pgbouncer_orig" "$pgbouncer_debian"; do
      curl -fsS --retry 3 -o "$f" "$pgbouncer_pool/$f"
    done
    sha256sum -c --quiet - <<SUMS
$pgbouncer_orig_sha256  $pgbouncer_orig
$pgbouncer_debian_sha256  $pgbouncer_debian
SUMS
    tar xzf "$pgbouncer_orig"
    cd "pgbouncer-$pgbouncer_version"
    tar xJf "../$pgbouncer_debian"
    while read -r p; do
      case "$p" in ''|'#'*) continue;; esac
      patch -s -p1 <"debian/patches/$p"
    done <debian/patches/series
    { ./configure --prefix="$pgbouncer_prefix" --with-cares --without-pam &&
      make -j "$(nproc)" pgbouncer; } >"$work/build.log" 2>&1 ||
      { tail -n 30 "$work/build.log" >&2; exit 1; }
    # Installed under a temporary name and renamed, so that a build cut
    # short never leaves a binary the next run would take as done.
    $sudo_cmd install -D -m 755 pgbouncer "$pgbouncer_prefix/bin/pgbouncer.new"
    $sudo_cmd mv "$pgbouncer_prefix/bin/pgbouncer.new" "$pgbouncer_prefix/bin/pgbouncer"
  )
  rm -rf "$work"
  trap - EXIT
  "$pgbouncer_prefix/bin/pgbouncer" --version | sed -n 1p
fi
