#!/usr/bin/env bash
# How the Python example finds the library when run as anyone would type it:
# from a checkout with the library built in its build/, or with none to be
# found, where it says so in one line instead of a traceback.
# Usage: ctypes_lookup_test.sh EXAMPLE LIBRARY
set -euo pipefail
example=$1
library=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A checkout of its own: the script in examples/, the library in build/.
mkdir -p "$work/repo/examples" "$work/repo/build"
cp "$example" "$work/repo/examples/"
ln -s "$library" "$work/repo/build/libtessaly.so.0"
cd "$work"
env -u TESSALY_LIBRARY python3 repo/examples/ctypes_day.py >out 2>err ||
  fail "the build folder's library was not used: $(cat err)"
grep -q "a day added" out || fail "no day added: $(cat out)"

# A named library that does not load is not replaced by another.
status=0
TESSALY_LIBRARY=$work/none.so python3 repo/examples/ctypes_day.py >out 2>err || status=$?
test "$status" -ne 0 || fail "a missing TESSALY_LIBRARY passed"
test "$(wc -l <err)" -eq 1 || fail "not one line: $(cat err)"
grep -q "^ctypes_day.py: cannot load $work/none.so" err || fail "unclear: $(cat err)"

# Nothing built and nothing installed (unless this machine has it installed).
rm "$work/repo/build/libtessaly.so.0"
if ! ldconfig -p 2>/dev/null | grep -q 'libtessaly\.so\.0 '; then
  status=0
  env -u TESSALY_LIBRARY python3 repo/examples/ctypes_day.py >out 2>err || status=$?
  test "$status" -eq 2 || fail "exit status $status without a library"
  test "$(wc -l <err)" -eq 1 || fail "not one line: $(cat err)"
  grep -q "libtessaly.so.0 is not installed" err || fail "unclear: $(cat err)"
fi
echo "ctypes lookup passed"
