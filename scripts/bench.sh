#!/usr/bin/env bash
# Measures what Pulsewell costs while it runs: the micro-benchmarks of the per-sample
# work, then the real program polling the simulator agent over loopback, with its peak
# memory and CPU time per sample.
# Usage: scripts/bench.sh [samples]   (default 200, polled every 50 ms)
set -euo pipefail
cd "$(dirname "$0")/.."
samples=${1:-200}

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target pulsewell pulsewell-agent pulsewell_bench >/dev/null
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
