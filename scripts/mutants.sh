#!/usr/bin/env bash
# Puts small faults into the code one at a time and says which of them the
# tests let through. Each fault is one entry of scripts/mutants.txt (a file,
# the text it holds exactly once, and the faulty text). For each: the file is
# changed, the build directory of this script's own (build-mutants, with
# ccache) is rebuilt incrementally, the SQLite suite runs with a bounded time
# per test (a fault that makes a test hang is caught by that time-out), and
# the file is restored. Three tests stay out: the install check and the
# ctypes example build or load a copy of the library and check packaging, and
# the ten-thousand-term chains check the translator's depth, which no fault
# here touches; together they would double the time of each run.
#
#   bash scripts/mutants.sh [LIST] [FIRST [LAST]]   entries FIRST..LAST (1-based)
#
# MUTANTS_BUILD names the build directory, MUTANTS_TIMEOUT the seconds a test
# may take (default 60). The file is restored however the run ends, and a run
# killed outright is repaired by the next one before it starts.
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-scripts/mutants.txt}
first=${2:-1}
last=${3:-1000000}
build=${MUTANTS_BUILD:-build-mutants}
per_test=${MUTANTS_TIMEOUT:-60}
excluded='^(install_check|ctypes_example|Engines/Nesting.ChainsOfTenThousandTermsRun/.*)$'

saved="$build/mutant.saved"
saved_path="$build/mutant.path"
restore() {
  if [ -f "$saved_path" ]; then
    # A fresh time stamp, so the next build compiles the file again.
    cat "$saved" >"$(cat "$saved_path")"
    rm -f "$saved" "$saved_path"
  fi
}
mkdir -p "$build"
restore
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Reads LIST into parallel arrays: an entry is a file line, a "- " line with
# the text as it is, a "+ " line with the faulty text, and a blank line. A
# "#: " line before an entry is its note (printed when it survives); other
# lines starting with # are comments.
files=() olds=() news=() notes=()
note=
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    '#: '*) note=${line#\#: } ;;
    '- '*) olds+=("${line#- }") ;;
    '+ '*) news+=("${line#+ }") ;;
    '' | '#'*) ;;
    *) files+=("$line"); notes+=("$note"); note= ;;
  esac
done <"$list"
if [ ${#files[@]} -ne ${#olds[@]} ] || [ ${#files[@]} -ne ${#news[@]} ]; then
  echo "mutants: $list: each entry needs a file, a '- ' and a '+ ' line" >&2
  exit 2
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DTESSALY_BUILD_BENCHMARKS=OFF >/dev/null
fi
run_tests() {
  cmake --build "$build" -j2 >"$build/mutant.build.log" 2>&1 || return 2
  ctest --test-dir "$build" -j2 --timeout "$per_test" --stop-on-failure -E "$excluded" \
    >"$build/mutant.test.log" 2>&1 || return 1
}
echo "mutants: the tests without faults" >&2
if ! run_tests; then
  echo "mutants: the tree does not build or its tests fail as it is; see $build/mutant.*.log" >&2
  exit 2
fi

killed=0 survived=0 unusable=0
survivors=()
for i in "${!files[@]}"; do
  n=$((i + 1))
  if [ "$n" -lt "$first" ] || [ "$n" -gt "$last" ]; then continue; fi
  file=${files[$i]} old=${olds[$i]} new=${news[$i]}
  label="$n $file: '$old' -> '$new'"
  if [ ! -f "$file" ] || [ "$(grep -cF -- "$old" "$file")" -ne 1 ]; then
    echo "UNUSABLE $label (the text is not in the file exactly once)"
    unusable=$((unusable + 1))
    continue
  fi
  cp "$file" "$saved"
  echo "$file" >"$saved_path"
  OLD=$old NEW=$new python3 -c '
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace(os.environ["OLD"], os.environ["NEW"], 1))
' "$file"
  start=$SECONDS
  status=0
  run_tests || status=$?
  restore
  case $status in
    0)
      echo "SURVIVED $label${notes[$i]:+ (${notes[$i]})}"
      survived=$((survived + 1))
      survivors+=("$label")
      ;;
    1)
      echo "killed   $label [$(sed -n '/tests FAILED/{n;s/^[[:space:]]*//;p;q}' "$build/mutant.test.log")] $((SECONDS - start))s"
      killed=$((killed + 1))
      ;;
    *)
      echo "UNUSABLE $label (does not build)"
      unusable=$((unusable + 1))
      ;;
  esac
done

total=$((killed + survived))
echo
echo "mutants: $killed of $total killed ($((total > 0 ? 100 * killed / total : 0))%), $unusable unusable"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
