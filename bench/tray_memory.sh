#!/usr/bin/env bash
# The desktop program's memory over a long run at its normal 2-second polling, on a real
# StatusNotifier host (xfce4-panel under Xvfb) with the simulator agent as the router: RSS
# after each of the given minutes, and the context switches per sample. Nothing but
# loopback traffic.
# Usage: bench/tray_memory.sh PULSEWELL PULSEWELL_AGENT MINUTES...   (e.g. 5 60)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tests/e2e/lib/host.sh"
source "$here/tests/e2e/lib/xfce.sh"

pulsewell=$1
agent=$2
shift 2
need_tools Xvfb xfce4-panel xfwm4 dbus-daemon busctl
e2e_init tray-memory "$pulsewell" "$agent" "$(mktemp -d)"
start_xvfb
private_session
start_xfce_panel
wait_for 60 host_registered || fail "the panel's StatusNotifier host did not register"
start_router
start_pulsewell
wait_for 60 our_item_registered || fail "pulsewell's item never registered"
wait_for_rates

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$pulsewell_pid/status"; }
switches() {
  awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += $2 } END { print n }' \
    "/proc/$pulsewell_pid/status"
}
started=$SECONDS
first_switches=$(switches)
for minutes in "$@"; do
  while [ $((SECONDS - started)) -lt $((minutes * 60)) ]; do sleep 5; done
  alive "$pulsewell_pid" || fail "pulsewell ended"
  samples=$(((SECONDS - started) / 2))
  awk -v m="$minutes" -v rss="$(rss_kib)" -v cs="$(($(switches) - first_switches))" \
    -v n="$samples" 'BEGIN {
      printf "after %d min: RSS %.1f MiB, %.1f context switches per sample\n",
        m, rss / 1024, cs / n }'
done
