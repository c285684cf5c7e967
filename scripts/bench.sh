#!/usr/bin/env bash
# Measures Pulsewell beside its references and prints one table:
#   what | reference | Pulsewell | ratio | target | met?
# Each row is a function below (row_...), listed in `rows`; a row measures its own
# figures (or reads those the benchmark binary measured once) and prints one line. Then the
# real program polling the simulator agent over loopback: peak memory and CPU per sample.
# Usage: scripts/bench.sh [samples]   (default 200, polled every 50 ms)
#   BENCH_TRAY_HOUR=1 adds the hour-long run of the tray program at its normal interval.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C
samples=${1:-200}

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target pulsewell pulsewell-agent pulsewell_bench \
  pulsewell-fast-polling bare-tray-app >/dev/null
bin=build/release
# shellcheck source=scripts/lib/agent.sh
. scripts/lib/agent.sh
start_agent "$bin" bench
scratch=$work_dir
export XDG_CONFIG_HOME=$work_dir/config PULSEWELL_SECRET_STORE=file PULSEWELL_COMMUNITY=bench

row() { printf '| %s | %s | %s | %s | %s | %s |\n' "$@"; }
# yes when `test` (an awk condition on r) holds for the ratio r.
met() { awk -v r="$1" "BEGIN { print ($2) ? \"yes\" : \"no\" }"; }

# ---- micro-benchmarks: the codec beside net-snmp, and the sampler's steady turn ----
# Repetitions interleaved at random, so both sides of a pair see the same machine; CPU
# time per operation, the median of the repetitions.
micro=$scratch/micro.csv
"$bin/bench/pulsewell_bench" --benchmark_filter='^(decode|encode|samplerTurn)' \
  --benchmark_repetitions=15 --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >"$micro"

# FIELD (cpu_time or allocs) of the benchmark's median.
micro_value() {
  awk -F, -v name="\"$1_median\"" -v field="$2" '
    NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); column[$i] = i }; next }
    $1 == name { print $(column[field]); exit }' "$micro"
}

# A decode or encode pair: Pulsewell's time against net-snmp's, and Pulsewell's allocations.
codec_row() {
  local what=$1 benchmark=$2 target=$3 least=$4
  local ours theirs ours_allocs theirs_allocs ratio
  ours=$(micro_value "${benchmark}Pulsewell" cpu_time)
  theirs=$(micro_value "${benchmark}NetSnmp" cpu_time)
  ours_allocs=$(micro_value "${benchmark}Pulsewell" allocs)
  theirs_allocs=$(micro_value "${benchmark}NetSnmp" allocs)
  ratio=$(awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "%.1f", a / b }')
  row "$what" "$(printf '%.0f ns, %.0f allocations' "$theirs" "$theirs_allocs")" \
    "$(printf '%.0f ns, %.0f allocations' "$ours" "$ours_allocs")" "${ratio}x faster" \
    "$target" "$(met "$ratio" "r >= $least && $ours_allocs < 0.5")"
}

row_decode_counter_reply() {
  codec_row "decode the counter reply (4 bindings, captured from snmpd), net-snmp snmp_parse" \
    decodeCounterReply ">= 5x faster, no allocation per binding" 5
}

row_decode_bulk_reply() {
  codec_row "decode a GetBulk reply of 20 ifName rows (captured from snmpd)" \
    decodeBulkReply ">= 5x faster" 5
}

row_encode_get() {
  codec_row "encode the 4-OID GetRequest, net-snmp create+build" encodeCounterRead \
    ">= 2x faster" 2
}

row_sampler_turn() {
  local allocs
  allocs=$(micro_value samplerTurn/real_time allocs)
  row "sampler steady turn (counter read over loopback)" "-" \
    "$(printf '%.0f allocations' "$allocs")" "-" "<= 10 allocations" \
    "$(met "$allocs" "r <= 10")"
}

# ---- pulsewell interfaces beside snmpbulkwalk, on the same 2048-row agents ----
listing=$scratch/interfaces.txt
bench/interfaces_vs_bulkwalk.sh "$bin" 15 >"$listing"

row_interfaces() {
  local agent line
  for agent in simulator snmpd; do
    line=$(grep "^$agent " "$listing" || true)
    if [ -z "$line" ]; then
      row "pulsewell interfaces, 2048 rows, $agent" "-" "-" "-" "<= 0.6x" \
        "not measured: $(grep "^$agent skipped" "$listing" | cut -d: -f2-)"
      continue
    fi
    local ours theirs ratio startup theirStartup atTarget
    read -r _ _ ours _ theirs _ ratio _ startup _ theirStartup _ atTarget <<<"$line"
    row "pulsewell interfaces vs snmpbulkwalk -Cr20 ifName, then ifOperStatus; 2048 rows, $agent" \
      "$theirs ms" "$ours ms, of which $startup ms starting the process" \
      "${ratio}x; ${atTarget}x with start-up at its target (1.5 x snmpbulkwalk -V, $theirStartup ms)" \
      "<= 0.6x" "$(met "$ratio" "r <= 0.6")"
  done
}

# ---- starting a process: the terminal command loads neither Qt nor libsecret ----
# RATIO of `bench/startup.sh` as a table row against the ≤ 1.5x target.
startup_row() {
  local what=$1 ours theirs ratio
  read -r ours theirs ratio < <(bench/startup.sh 30 "$2" "$3")
  row "$what" "$theirs ms" "$ours ms" "${ratio}x" "<= 1.5x" "$(met "$ratio" "r <= 1.5")"
}

row_start_version() {
  startup_row "pulsewell --version vs snmpget -V (the cost of starting a process)" \
    "$bin/src/app/pulsewell --version" "snmpget -V"
}

# One sample against the same agent: `pulsewell watch --count 1` finds the interface and
# reads its four values; snmpget reads the same four.
row_watch_once() {
  local index oids
  index=$(snmpbulkwalk -v2c -c bench -On "127.0.0.1:$agent_port" 1.3.6.1.2.1.31.1.1.1.1 |
    sed -n 's/^\.1\.3\.6\.1\.2\.1\.31\.1\.1\.1\.1\.\([0-9]*\) = STRING: "lo"$/\1/p')
  oids="1.3.6.1.2.1.31.1.1.1.1.$index 1.3.6.1.2.1.31.1.1.1.6.$index"
  oids+=" 1.3.6.1.2.1.31.1.1.1.10.$index 1.3.6.1.2.1.2.2.1.8.$index"
  startup_row "pulsewell watch --count 1 vs snmpget of the same 4 OIDs" \
    "$bin/src/app/pulsewell watch --count 1 --host 127.0.0.1 --port $agent_port --interface lo" \
    "snmpget -v2c -c bench -On 127.0.0.1:$agent_port $oids"
}

# ---- the tray program beside a bare Qt tray program under Xvfb with xfce4-panel ----
# RSS and wakeups at the normal interval, and RSS over 1800 samples (an hour's worth)
# polled every 100 ms; with BENCH_TRAY_HOUR=1 also over a real hour.
tray_line() { grep "^after $1 samples:" "$2"; }
tray_field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p"; }

# The RSS after 1800 samples against the RSS after 150, from the marks in FILE.
growth_row() {
  local what=$1 early late growth
  early=$(tray_line 150 "$2" | tray_field 'RSS')
  late=$(tray_line 1800 "$2" | tray_field 'RSS')
  growth=$(awk -v a="$early" -v b="$late" 'BEGIN { printf "%+.1f", b - a }')
  row "$what" "$early MiB" "$late MiB" "$growth MiB" "within 1 MiB" \
    "$(met "$growth" "r <= 1 && r >= -1")"
}

row_tray() {
  local normal=$scratch/tray-normal fast=$scratch/tray-fast hour=$scratch/tray-hour
  bench/tray_memory.sh "$bin/src/app/pulsewell" "$bin/tools/pulsewell-agent" \
    "$bin/bench/bare-tray-app" 60 >"$normal" 2>&1
  bench/tray_memory.sh --fast 100 "$bin/bench/pulsewell-fast-polling" \
    "$bin/tools/pulsewell-agent" "$bin/bench/bare-tray-app" 150 1800 >"$fast" 2>&1
  local line rss bare ratio main all
  line=$(tray_line 60 "$normal")
  rss=$(tray_field 'RSS' <<<"$line")
  bare=$(tray_field 'bare app' <<<"$line")
  ratio=$(sed -n 's/.* \([0-9.]*\)x;.*/\1/p' <<<"$line")
  main=$(tray_field 'main thread' <<<"$line")
  all=$(tray_field 'all threads' <<<"$line")
  row "tray process RSS vs a bare Qt Widgets tray app under the same Xvfb (2 min)" "$bare MiB" \
    "$rss MiB" "${ratio}x" "<= 1.25x" "$(met "$ratio" "r <= 1.25")"
  growth_row "tray RSS after 1800 samples vs after 150, polled every 100 ms" "$fast"
  if [ "${BENCH_TRAY_HOUR:-}" = 1 ]; then
    bench/tray_memory.sh "$bin/src/app/pulsewell" "$bin/tools/pulsewell-agent" \
      "$bin/bench/bare-tray-app" 150 1800 >"$hour" 2>&1
    growth_row "tray RSS after 60 min vs after 5 min, every 2 s" "$hour"
  fi
  row "tray wakeups (voluntary context switches) per sample, main thread" "bare app: 0" \
    "$main (all threads: $all)" "-" "<= 4" "$(met "$main" "r <= 4")"
}

# The rows of the table, in order; a new measurement is one more function here.
rows=(
  row_decode_counter_reply
  row_decode_bulk_reply
  row_encode_get
  row_sampler_turn
  row_start_version
  row_interfaces
  row_watch_once
  row_tray
)

echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores; load: $(cut -d' ' -f1-3 /proc/loadavg)"
row what reference Pulsewell ratio target met?
row --- --- --- --- --- ---
for measure in "${rows[@]}"; do "$measure"; done
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# ---- the real program polling over loopback ----
/usr/bin/time -f '%M %U %S %e' -o "$work_dir/time" \
  "$bin/src/app/pulsewell" watch --host 127.0.0.1 --port "$agent_port" --interface lo \
  --count "$samples" --interval 0.05 >/dev/null
read -r rss user sys wall <"$work_dir/time"
awk -v n="$samples" -v rss="$rss" -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN {
  printf "pulsewell watch, %d samples in %.1f s: peak RSS %.1f MiB, CPU %.0f us per sample\n",
    n, w, rss / 1024, (u + s) * 1e6 / n }'
