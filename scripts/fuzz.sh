#!/usr/bin/env bash
# Builds the fuzz preset, replays the committed seed corpus through the reply decoder, then
# fuzzes it for the given number of seconds (default 60) in a temporary copy of the corpus,
# so the committed corpus never grows. Quiet on success apart from one summary line; on a
# crash it prints the fuzzer's report, keeps the crashing input and exits non-zero.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [seconds]   (a whole number above 0)" >&2
  exit 2
fi

build=build/fuzz
corpus=fuzz/corpus/decode_response
work=$(mktemp -d "${TMPDIR:-/tmp}/pulsewell-fuzz.XXXXXX")
keep=false
cleanup() { $keep || rm -rf "$work"; }
trap cleanup EXIT

fail() {
  keep=true
  echo "fuzz: $1 (log: $work/log)" >&2
  tail -n 60 "$work/log" >&2
  exit 1
}

{
  cmake --preset fuzz &&
    cmake --build "$build" --target fuzz_decode_response fuzz_decode_response_replay \
      -j "$(nproc)"
} >"$work/log" 2>&1 || fail "build failed"

seeds=$(find "$corpus" -type f | wc -l)
"$build/fuzz/fuzz_decode_response_replay" "$corpus" >"$work/log" 2>&1 ||
  fail "replaying the seed corpus failed"

mkdir "$work/corpus" "$work/artifacts"
cp "$corpus"/* "$work/corpus/"
"$build/fuzz/fuzz_decode_response" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1 ||
  fail "the fuzzer found a fault; inputs in $work/artifacts"

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
echo "fuzz: $seeds seeds replayed, ${runs:-?} inputs fuzzed in ${seconds}s, no faults"
