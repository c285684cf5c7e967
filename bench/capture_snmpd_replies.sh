#!/usr/bin/env bash
# Captures the replies the codec benchmarks decode from net-snmp's snmpd on loopback, into
# bench/data/ (run as root; the captured files are committed, so this runs only to renew
# them):
#   snmpd_counter_reply.bin  the counter read of this machine's default-route interface
#                            (ifName, ifHCInOctets, ifHCOutOctets, ifOperStatus)
#   snmpd_bulk_reply.bin     a GetBulk of 20 ifName rows, from a private network namespace
#                            holding enough interfaces (bridges) for 20 rows
# Usage: bench/capture_snmpd_replies.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/data
mkdir -p "$out"

if [ "${1:-}" = --in-namespace ]; then
  ip link set lo up
  for i in $(seq 1 22); do echo "link add br$i type bridge"; done | ip -batch -
  shift
fi

work=$(mktemp -d)
snmpd_pid=
cleanup() {
  [ -n "$snmpd_pid" ] && kill "$snmpd_pid" 2>/dev/null && wait "$snmpd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port=16161
printf 'agentaddress udp:127.0.0.1:%s\nrocommunity public 127.0.0.1\n' "$port" >"$work/snmpd.conf"
export MIBS='' SNMP_PERSISTENT_DIR=$work SNMPCONFPATH=$work
/usr/sbin/snmpd -f -r -C -c "$work/snmpd.conf" -Lf /dev/null -p "$work/pid" &
snmpd_pid=$!
for _ in $(seq 100); do
  snmpget -v2c -c public -t 0.1 -r 0 "127.0.0.1:$port" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 && break
done

# The datagram that `-d` dumps (on standard error) as received, as raw bytes.
received() {
  perl -ne 'if (/^Received/) { $on = 1; next } exit if $on && /^\s*$/;
            print pack("H*", join "", substr($_, 6, 51) =~ /([0-9A-F]{2})/g) if $on'
}

if [ "${1:-}" = bulk ]; then
  snmpbulkget -d -v2c -c public -Cr20 "127.0.0.1:$port" 1.3.6.1.2.1.31.1.1.1.1 2>&1 >/dev/null |
    received >"$out/snmpd_bulk_reply.bin"
  exit 0
fi

device=$(ip route show default | awk '{ for (i = 1; i < NF; i++) if ($i == "dev") print $(i + 1); exit }')
index=$(cat "/sys/class/net/${device:-lo}/ifindex")
snmpget -d -v2c -c public "127.0.0.1:$port" 1.3.6.1.2.1.31.1.1.1.1."$index" \
  1.3.6.1.2.1.31.1.1.1.6."$index" 1.3.6.1.2.1.31.1.1.1.10."$index" \
  1.3.6.1.2.1.2.2.1.8."$index" 2>&1 >/dev/null | received >"$out/snmpd_counter_reply.bin"
cleanup
trap - EXIT
unshare -n "$0" --in-namespace bulk
ls -l "$out"
