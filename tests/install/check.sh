#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a host program outside
# the tree against it: through find_package and through pkg-config, against
# the shared library (which must carry its version and export the public API
# only) and against the static one.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/tessaly/tessaly.h"
test -f "$work/prefix/include/tessaly/tessaly_c.h"
libdir=$work/prefix/lib
test -f "$libdir/libtessaly.a"
test -f "$libdir/libtessaly_migrate.a"
test -f "$work/prefix/include/tessaly/migrate/Migrate.h"
fixture=$source_dir/../fixtures/access/indexTestV2003.mdb

# The shared library: named by its major version, and nothing of the
# database layer's internal parts (engine, translator, result storage) exported.
soname=$(readelf -d "$libdir/libtessaly.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
test "$soname" = libtessaly.so.0
test -e "$libdir/$soname"
if nm -D --defined-only -C "$libdir/libtessaly.so" | cut -d' ' -f3- |
    grep -E '^([a-zA-Z -]+ (for|to) )?(tessaly::db::(internal|jet|sqlite|postgres|jeterr)::|tessaly::vb::internal::|sqlite3_)'; then
  echo "libtessaly.so exports internal symbols" >&2
  exit 1
fi

# Depends on the shared library, and runs.
needs_shared() { readelf -d "$1" | grep -q "NEEDED.*\[$soname\]"; }
# (a function, since a command inverted with ! never stops set -e)
stands_alone() { ! needs_shared "$1"; }

# A host that uses every published class, built against each library.
cmake -S "$source_dir" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >"$work/cmake-build.log" 2>&1 ||
  { cat "$work/cmake-build.log" >&2; exit 1; }
needs_shared "$work/cmake-build/consumer"
"$work/cmake-build/consumer"
stands_alone "$work/cmake-build/consumer_static"
"$work/cmake-build/consumer_static"
# A host that migrates, linked against the static libraries.
stands_alone "$work/cmake-build/migrate_host"
test "$("$work/cmake-build/migrate_host" "$fixture")" = "3 tables, 11 rows"

# pkg-config, with the link lines the README shows.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
test "$(pkg-config --variable=libdir tessaly)" -ef "$libdir"
cd "$work"
cp "$source_dir/consumer.cpp" app.cpp
c++ -o pc-shared app.cpp $(pkg-config --cflags --libs tessaly)
needs_shared pc-shared
LD_LIBRARY_PATH="$libdir" ./pc-shared
# The static library, with the engines' client libraries shared: Debian
# ships libpq's own dependencies (Kerberos, LDAP) as shared libraries only.
c++ -o pc-static app.cpp $(pkg-config --cflags --libs tessaly-static) 2>static.log ||
  { cat static.log >&2; exit 1; }
stands_alone pc-static
./pc-static
cp "$source_dir/migrate_host.cpp" migrate.cpp
c++ -o pc-migrate migrate.cpp $(pkg-config --cflags --libs tessaly-migrate) 2>migrate.log ||
  { cat migrate.log >&2; exit 1; }
test "$(./pc-migrate "$fixture")" = "3 tables, 11 rows"
# A host in C: the C boundary alone, through pkg-config, against the shared
# library, which exports the server functions by their plain names.
cat >"$work/host.c" <<'C'
#include <tessaly/tessaly_c.h>
int main(void) {
  tessaly_object* kq = 0;
  if (tessaly_create("Tessaly.clsKQ", &kq) != TESSALY_S_OK) return 1;
  if (DllCanUnloadNow() != TESSALY_S_FALSE) return 2;
  if (tessaly_release(kq) != 0) return 3;
  return DllCanUnloadNow() == TESSALY_S_OK ? 0 : 4;
}
C
# (the package's compile flags name the C++ standard; a C host takes its -I alone)
cc -std=c99 -Wall -Werror -o "$work/c-host" "$work/host.c" $(pkg-config --cflags-only-I tessaly) \
    $(pkg-config --libs tessaly)
needs_shared "$work/c-host"
LD_LIBRARY_PATH="$libdir" "$work/c-host"
echo "install check passed"
