#!/usr/bin/env bash
# Measures what Pulsewell costs while it runs: the micro-benchmarks of the per-sample
# work, then the real program polling the simulator agent over loopback, with its peak
# memory and CPU time per sample, and the table of the performance targets, each figure
# beside its reference measured in the same run.
# Usage: scripts/bench.sh [samples]   (default 200, polled every 50 ms)
#   BENCH_TRAY_HOUR=1 adds the hour-long run of the tray program at its normal interval.
set -euo pipefail
cd "$(dirname "$0")/.."
samples=${1:-200}

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target pulsewell pulsewell-agent pulsewell_bench \
  pulsewell-fast-polling bare-tray-app >/dev/null
bin=build/release

"$bin/bench/pulsewell_bench" --benchmark_min_time=0.5

# shellcheck source=scripts/lib/agent.sh
. scripts/lib/agent.sh
start_agent "$bin" bench

export XDG_CONFIG_HOME=$work_dir/config PULSEWELL_SECRET_STORE=file PULSEWELL_COMMUNITY=bench
/usr/bin/time -f '%M %U %S %e' -o "$work_dir/time" \
  "$bin/src/app/pulsewell" watch --host 127.0.0.1 --port "$agent_port" --interface lo \
  --count "$samples" --interval 0.05 >/dev/null
read -r rss user sys wall <"$work_dir/time"
awk -v n="$samples" -v rss="$rss" -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN {
  printf "pulsewell watch, %d samples in %.1f s: peak RSS %.1f MiB, CPU %.0f us per sample\n",
    n, w, rss / 1024, (u + s) * 1e6 / n }'

# --- The table: what | reference | Pulsewell | target -----------------------------------
row() { printf '| %s | %s | %s | %s |\n' "$@"; }

# Starting a process: the terminal command loads neither Qt nor libsecret.
row_start_version() {
  local ours theirs ratio
  read -r ours theirs ratio < <(bench/startup.sh 30 "$bin/src/app/pulsewell --version" "snmpget -V")
  row '`pulsewell --version` vs `snmpget -V`' "$theirs ms" "$ours ms (${ratio}×)" '≤ 1.5×'
}

# One sample against the same agent: `pulsewell watch --count 1` finds the interface and
# reads its four values; snmpget reads the same four.
row_watch_once() {
  local index oids ours theirs ratio
  index=$(snmpbulkwalk -v2c -c bench -On "127.0.0.1:$agent_port" 1.3.6.1.2.1.31.1.1.1.1 |
    sed -n 's/^\.1\.3\.6\.1\.2\.1\.31\.1\.1\.1\.1\.\([0-9]*\) = STRING: "lo"$/\1/p')
  oids="1.3.6.1.2.1.31.1.1.1.1.$index 1.3.6.1.2.1.31.1.1.1.6.$index"
  oids+=" 1.3.6.1.2.1.31.1.1.1.10.$index 1.3.6.1.2.1.2.2.1.8.$index"
  read -r ours theirs ratio < <(bench/startup.sh 30 \
    "$bin/src/app/pulsewell watch --count 1 --host 127.0.0.1 --port $agent_port --interface lo" \
    "snmpget -v2c -c bench -On 127.0.0.1:$agent_port $oids")
  row '`pulsewell watch --count 1` vs `snmpget` of the same 4 OIDs' "$theirs ms" \
    "$ours ms (${ratio}×)" '≤ 1.5×'
}

# The tray program beside a bare Qt tray program under Xvfb with xfce4-panel: RSS and
# wakeups at the normal interval, and RSS over 1800 samples (an hour's worth) polled every
# 100 ms; with BENCH_TRAY_HOUR=1 also over a real hour.
tray_line() { grep "^after $1 samples:" "$2"; }
tray_field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p"; }
row_tray() {
  local normal=$work_dir/tray-normal fast=$work_dir/tray-fast hour=$work_dir/tray-hour
  bench/tray_memory.sh "$bin/src/app/pulsewell" "$bin/tools/pulsewell-agent" \
    "$bin/bench/bare-tray-app" 60 >"$normal" 2>&1
  bench/tray_memory.sh --fast 100 "$bin/bench/pulsewell-fast-polling" \
    "$bin/tools/pulsewell-agent" "$bin/bench/bare-tray-app" 150 1800 >"$fast" 2>&1
  local line rss bare ratio main all early late
  line=$(tray_line 60 "$normal")
  rss=$(tray_field 'RSS' <<<"$line")
  bare=$(tray_field 'bare app' <<<"$line")
  ratio=$(sed -n 's/.* \([0-9.]*\)x;.*/\1/p' <<<"$line")
  main=$(tray_field 'main thread' <<<"$line")
  all=$(tray_field 'all threads' <<<"$line")
  row 'tray process RSS vs a bare Qt Widgets tray app (2 min)' "$bare MiB" \
    "$rss MiB (${ratio}×)" '≤ 1.25×'
  early=$(tray_line 150 "$fast" | tray_field 'RSS')
  late=$(tray_line 1800 "$fast" | tray_field 'RSS')
  row 'tray RSS after 1800 samples vs after 150, polled every 100 ms' "$early MiB" \
    "$late MiB" 'within 1 MiB'
  if [ "${BENCH_TRAY_HOUR:-}" = 1 ]; then
    bench/tray_memory.sh "$bin/src/app/pulsewell" "$bin/tools/pulsewell-agent" \
      "$bin/bench/bare-tray-app" 150 1800 >"$hour" 2>&1
    early=$(tray_line 150 "$hour" | tray_field 'RSS')
    late=$(tray_line 1800 "$hour" | tray_field 'RSS')
    row 'tray RSS after 60 min vs after 5 min, every 2 s' "$early MiB" "$late MiB" 'within 1 MiB'
  fi
  row 'tray wakeups (voluntary context switches) per sample, main thread' 'bare app: 0' \
    "$main (all threads: $all)" '≤ 4'
}

echo
echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
echo '| what | reference | Pulsewell | target |'
echo '|---|---|---|---|'
row_start_version
row_watch_once
row_tray
