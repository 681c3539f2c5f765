# shellcheck shell=bash disable=SC2034  # the sourcing script reads rows and tessaly
# The shared part of the command benchmarks, sourced by them: their
# arguments [BUILD_DIR] [ROWS] [RUNS], a scratch directory removed on exit,
# and the timing of a command by the best of RUNS runs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
rows=${2:-1000000}
runs=${3:-3}
tessaly=$build/bin/tessaly
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# measure cpu|wall NAME COMMAND...: the best of $runs runs by processor
# seconds (user + system, steadier than the clock on a shared machine) or by
# the clock (where a server's work, out of the client's processor time, is
# most of it). The output goes to $work/out; the run's line goes to standard
# error, and the best figure is printed.
measure() {
  local by=$1 name=$2
  shift 2
  local best="" best_line="" wall user system kb cpu figure
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >"$work/out"
    read -r wall user system kb <"$work/time"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    figure=$cpu
    [ "$by" = cpu ] || figure=$wall
    if [ -z "$best" ] || awk -v a="$figure" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$figure
      best_line=$(printf '%-26s %7.2f s cpu %7.2f s wall %9d KB' "$name" "$cpu" "$wall" "$kb")
    fi
  done
  echo "$best_line" >&2
  echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
