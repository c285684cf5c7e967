#!/usr/bin/env bash
# Times `pulsewell interfaces` against net-snmp's snmpbulkwalk -Cr20 of ifName and then of
# ifOperStatus (the same two columns, two processes), on the same agent with a 2048-row
# interface table, in alternation after one warm-up of each. Agents:
#   simulator  the simulator agent serving a generated 2048-row table file
#   snmpd      net-snmp's snmpd in a private network namespace holding 2047 bridges and
#              lo (needs root and unshare; skipped with the reason otherwise)
# Prints one line per agent, times in milliseconds (medians over the runs):
#   AGENT pulsewell MS reference MS ratio R startup MS their-startup MS at-target R
# where ratio is the median of the runs' pulsewell/reference ratios, startup is
# `pulsewell --version` (the part of pulsewell's time that is starting the process),
# their-startup is `snmpbulkwalk -V`, and at-target is the ratio pulsewell would have with
# its start-up at the terminal commands' target, 1.5 times their-startup.
# Usage: bench/interfaces_vs_bulkwalk.sh BIN_DIR [RUNS]   (BIN_DIR e.g. build/release)
set -euo pipefail
export LC_ALL=C
bin=$(cd "$1" && pwd)
runs=${2:-10}
rows=2048
community=bench
pulsewell=$bin/src/app/pulsewell
ifName=1.3.6.1.2.1.31.1.1.1.1
ifOperStatus=1.3.6.1.2.1.2.2.1.8

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config PULSEWELL_SECRET_STORE=file PULSEWELL_COMMUNITY=$community
# No MIB files for the net-snmp tools: numeric OIDs, the quickest start they have.
export MIBS='' MIBDIRS=/nonexistent SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Microseconds one run of the command takes, its output thrown away.
elapsed() {
  local start=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  echo $((${EPOCHREALTIME/./} - start))
}

bulkwalk() { snmpbulkwalk -v2c -c "$community" -Cr20 -On "127.0.0.1:$1" "$2"; }

# Checks that both sides see every row, then times them in turn.
compare() {
  local name=$1 port=$2 listed walked
  listed=$("$pulsewell" interfaces --host 127.0.0.1 --port "$port" | wc -l)
  walked=$(bulkwalk "$port" "$ifName" 2>/dev/null | grep -c STRING || true)
  if [ "$listed" -ne "$rows" ] || [ "$walked" -ne "$rows" ]; then
    echo "$name: expected $rows rows, pulsewell listed $listed, snmpbulkwalk walked $walked" >&2
    return 1
  fi
  local ours=() theirs=() ratios=() startups=() theirStartups=() projected=() i a b s t
  for ((i = 0; i <= runs; i++)); do
    a=$(elapsed "$pulsewell" interfaces --host 127.0.0.1 --port "$port")
    b=$(($(elapsed bulkwalk "$port" "$ifName") + $(elapsed bulkwalk "$port" "$ifOperStatus")))
    s=$(elapsed "$pulsewell" --version)
    t=$(elapsed snmpbulkwalk -V)
    [ "$i" -eq 0 ] && continue  # the warm-up
    ours+=("$a") theirs+=("$b") startups+=("$s") theirStartups+=("$t")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { print a / b }')")
    projected+=("$(awk -v a="$a" -v b="$b" -v s="$s" -v t="$t" 'BEGIN { print (a - s + 1.5 * t) / b }')")
  done
  ms() { printf '%s\n' "$@" | median | awk '{ print $1 / 1000 }'; }
  printf '%s pulsewell %.1f reference %.1f ratio %.2f startup %.1f their-startup %.1f at-target %.2f\n' \
    "$name" "$(ms "${ours[@]}")" "$(ms "${theirs[@]}")" "$(printf '%s\n' "${ratios[@]}" | median)" \
    "$(ms "${startups[@]}")" "$(ms "${theirStartups[@]}")" \
    "$(printf '%s\n' "${projected[@]}" | median)"
}

wait_for_port() {
  local file=$1
  for _ in $(seq 200); do
    [ -s "$file" ] && return 0
    sleep 0.05
  done
  return 1
}

simulator() {
  # ifName, ifHCInOctets, ifHCOutOctets and ifOperStatus for every row: after the last name
  # comes another column, as on a device.
  awk -v n="$rows" 'BEGIN {
    for (i = 1; i <= n; i++) {
      printf "1.3.6.1.2.1.31.1.1.1.1.%d string port%d\n", i, i
      printf "1.3.6.1.2.1.31.1.1.1.6.%d counter64 %d\n", i, i * 1000003
      printf "1.3.6.1.2.1.31.1.1.1.10.%d counter64 %d\n", i, i * 7919
      printf "1.3.6.1.2.1.2.2.1.8.%d integer %d\n", i, (i % 3 == 0) ? 2 : 1
    }
  }' >"$work/table"
  "$bin/tools/pulsewell-agent" --table "$work/table" --port 0 --port-file "$work/agent-port" \
    --community "$community" &
  pids+=($!)
  wait_for_port "$work/agent-port" || { echo "simulator: the agent did not start" >&2; return 1; }
  compare simulator "$(cat "$work/agent-port")"
}

snmpd_in_namespace() {
  ip link set lo up
  for ((i = 1; i < rows; i++)); do echo "link add br$i type bridge"; done | ip -batch -
  local port=16161
  printf 'agentaddress udp:127.0.0.1:%s\nrocommunity %s 127.0.0.1\n' "$port" "$community" \
    >"$work/snmpd.conf"
  /usr/sbin/snmpd -f -r -C -c "$work/snmpd.conf" -Lf /dev/null -p "$work/snmpd.pid" \
    >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do
    snmpget -v2c -c "$community" -t 0.2 -r 0 "127.0.0.1:$port" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 &&
      break
  done
  compare snmpd "$port"
}

if [ "${3:-}" = --snmpd-in-namespace ]; then
  snmpd_in_namespace
  exit
fi

simulator
if [ "$(id -u)" -ne 0 ] || ! unshare -n true 2>/dev/null; then
  echo "snmpd skipped: serving $rows rows takes a private network namespace of $rows interfaces (root and unshare -n)"
elif [ ! -x /usr/sbin/snmpd ]; then
  echo "snmpd skipped: /usr/sbin/snmpd is not installed"
else
  unshare -n "$0" "$bin" "$runs" --snmpd-in-namespace
fi
