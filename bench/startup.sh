#!/usr/bin/env bash
# Times two commands as whole processes, in alternation (A B A B …, after one warm-up run
# of each), so that a drift of the machine's speed touches both alike; prints the median
# wall times of A and B in milliseconds and the ratio of the medians, A over B, on one line.
# Usage: bench/startup.sh RUNS 'COMMAND A' 'COMMAND B'   (each command split into words)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 RUNS 'COMMAND A' 'COMMAND B'" >&2; exit 2; }
runs=$1
read -ra a <<<"$2"
read -ra b <<<"$3"

# Microseconds the command takes, from fork to exit, its output thrown away.
took() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  echo $(((${end/./} - ${start/./})))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

took "${a[@]}" >/dev/null
took "${b[@]}" >/dev/null
times_a=()
times_b=()
for ((i = 0; i < runs; i++)); do
  times_a+=("$(took "${a[@]}")")
  times_b+=("$(took "${b[@]}")")
done
median_a=$(printf '%s\n' "${times_a[@]}" | median)
median_b=$(printf '%s\n' "${times_b[@]}" | median)
awk -v a="$median_a" -v b="$median_b" 'BEGIN { printf "%.2f %.2f %.2f\n", a / 1000, b / 1000, a / b }'
