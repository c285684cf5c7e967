#!/usr/bin/env bash
# The demo: installs what is needed, builds, starts the simulator agent on a free loopback
# port serving this machine's own interfaces, and shows their live traffic through the
# whole SNMP path: in the panel when a desktop is running, otherwise in the terminal.
# The user's own settings and keyring are left alone. Ctrl+C ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The debug build is the one the tests use too, so the two quick-start commands share it.
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)" --target pulsewell pulsewell-agent >/dev/null

bin=build/debug
# shellcheck source=scripts/lib/agent.sh
. scripts/lib/agent.sh
trap 'exit 130' INT TERM

community=demo-$RANDOM$RANDOM
start_agent "$bin" "$community"

# The interface that carries the default route, else the first one that is up, else lo.
iface=$(awk '$2 == "00000000" { print $1; exit }' /proc/net/route)
if [ -z "$iface" ]; then
  for dev in /sys/class/net/*; do
    name=${dev##*/}
    [ "$name" != lo ] && [ "$(cat "$dev/operstate" 2>/dev/null)" = up ] && { iface=$name; break; }
  done
fi
iface=${iface:-lo}

# A configuration of its own, with the community in a private file instead of the keyring.
export XDG_CONFIG_HOME=$work_dir/config
export PULSEWELL_SECRET_STORE=file
mkdir -p -m 700 "$XDG_CONFIG_HOME/pulsewell"
printf '{"routerHost": "127.0.0.1", "routerPort": %s, "routerInterface": "%s"}\n' \
  "$agent_port" "$iface" >"$XDG_CONFIG_HOME/pulsewell/settings.json"
(umask 077 && printf '%s' "$community" >"$XDG_CONFIG_HOME/pulsewell/community")

echo "Simulator agent on 127.0.0.1:$agent_port, watching $iface."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Pulsewell is in the panel; quit it from its menu (right click)."
  "$bin/src/app/pulsewell"
elif [ -t 1 ]; then
  "$bin/src/app/pulsewell" watch
else
  "$bin/src/app/pulsewell" watch --count 5
fi
