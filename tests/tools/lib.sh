# What the command's end-to-end scripts share: a scratch directory removed at
# exit, and checks of a run's status, standard output and standard error.
# Sourced; TESSALY names the command.
: "${TESSALY:?path of the tessaly command}"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0
failed=0
check() {  # name expected actual
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"; fi
}
# run ARGS...: runs the tool; its status, output and errors land in rc, out, err.
run() {
  out=$("$TESSALY" "$@" 2>"$dir/stderr"); rc=$?; err=$(cat "$dir/stderr")
}
# expect NAME STATUS STDOUT STDERR: the last run's three results.
expect() {
  check "$1: status" "$2" "$rc"; check "$1: stdout" "$3" "$out"; check "$1: stderr" "$4" "$err"
}
# The count of checks, and the script's status: failed when any check failed.
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
