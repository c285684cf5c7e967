#!/usr/bin/env bash
# The desktop program against a bare Qt tray program, both in the tray of a real
# StatusNotifier host (xfce4-panel under Xvfb), with the simulator agent as the router:
# their memory (RSS) after each mark, and the wakeups per sample (voluntary context
# switches) of pulsewell's main thread and of all its threads, counted from the moment the
# rates show. Nothing but loopback traffic.
#
# Usage: bench/tray_memory.sh [--fast MS] PULSEWELL PULSEWELL_AGENT BARE_TRAY_APP SAMPLES...
#   SAMPLES: marks, counted in samples from pulsewell's start (at 2 s a sample, 150 is 5 min
#            and 1800 an hour); one line for each.
#   --fast MS: PULSEWELL is bench's pulsewell-fast-polling, polling every MS milliseconds: the
#            accelerated run, with the same marks reached in a fraction of the time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tests/e2e/lib/host.sh"
source "$here/tests/e2e/lib/xfce.sh"

interval_ms=2000
program=()
if [ "${1:-}" = --fast ]; then
  interval_ms=$2
  shift 2
  program=("$interval_ms")
fi
[ $# -ge 4 ] || { echo "usage: $0 [--fast MS] PULSEWELL AGENT BARE_TRAY_APP SAMPLES..." >&2; exit 2; }
bare=$3
program=("$1" "${program[@]}")
need_tools Xvfb xfce4-panel xfwm4 dbus-daemon busctl
e2e_init tray-memory "$1" "$2" "$(mktemp -d)"
shift 3
# The status comes from the program under test, whichever it is.
status() { "${program[@]}" --status 2>/dev/null; }

start_xvfb
private_session
start_xfce_panel
wait_for 60 host_registered || fail "the panel's StatusNotifier host did not register"
start_router

# Sets `item` to the bus name of the item that process `$1` registered.
item_of() {
  local name
  for name in $(watcher_items | grep -o '"[^"]*"' | tr -d '"'); do
    name=${name%%/*}
    if [ "$(bus call org.freedesktop.DBus / org.freedesktop.DBus \
      GetConnectionUnixProcessID s "$name" 2>/dev/null | awk '{print $2}')" = "$1" ]; then
      item=$name
      return 0
    fi
  done
  return 1
}
spawn bare "$bare"
bare_pid=$spawned
wait_for 60 item_of "$bare_pid" || fail "the bare tray app's item never registered"

spawn pulsewell "${program[@]}"
pulsewell_pid=$spawned
started=$(date +%s.%N)
wait_for 60 item_of "$pulsewell_pid" || fail "pulsewell's item never registered"
wait_for_rates

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# Voluntary context switches (the thread went to sleep and was woken again) of the main
# thread (`main`) or of every thread; `nonvoluntary` counts preemptions instead, which
# follow the machine's load rather than the program.
switches() {
  local files=("/proc/$1/status")
  [ "$2" = all ] && files=("/proc/$1"/task/*/status)
  cat "${files[@]}" 2>/dev/null | awk -v kind="${3:-voluntary}" '
    $1 == kind "_ctxt_switches:" { n += $2 } END { print n + 0 }'
}
elapsed() { awk -v s="$started" -v now="$(date +%s.%N)" 'BEGIN { print now - s }'; }
samples_at() { awk -v t="$1" -v ms="$interval_ms" 'BEGIN { printf "%d", t * 1000 / ms }'; }

# Counted from here, once the rates show: the steady state.
from_time=$(elapsed)
from_main=$(switches "$pulsewell_pid" main)
from_all=$(switches "$pulsewell_pid" all)
from_preempted=$(switches "$pulsewell_pid" all nonvoluntary)
from_bare=$(switches "$bare_pid" all)
for mark in "$@"; do
  while [ "$(samples_at "$(elapsed)")" -lt "$mark" ]; do sleep 0.5; done
  alive "$pulsewell_pid" || fail "pulsewell ended"
  alive "$bare_pid" || fail "the bare tray app ended"
  counted=$(samples_at "$(awk -v now="$(elapsed)" -v from="$from_time" 'BEGIN { print now - from }')")
  awk -v mark="$mark" -v rss="$(rss_kib "$pulsewell_pid")" -v bare="$(rss_kib "$bare_pid")" \
    -v n="$counted" -v main="$(($(switches "$pulsewell_pid" main) - from_main))" \
    -v all="$(($(switches "$pulsewell_pid" all) - from_all))" \
    -v preempted="$(($(switches "$pulsewell_pid" all nonvoluntary) - from_preempted))" \
    -v bare_all="$(($(switches "$bare_pid" all) - from_bare))" 'BEGIN {
      printf "after %d samples: RSS %.1f MiB, bare app %.1f MiB, %.2fx;", \
        mark, rss / 1024, bare / 1024, rss / bare
      printf " wakeups per sample: main thread %.1f, all threads %.1f, bare tray app %.1f", \
        main / n, all / n, bare_all / n
      printf " (preempted %.1f times per sample)\n", preempted / n }'
done
