# shellcheck shell=bash disable=SC2034 # the variables set here are read by the sourcing script
# Sourced by the scripts that run the simulator agent on this machine's own interfaces.
#   start_agent BIN_DIR COMMUNITY
# starts it on a free loopback port and waits until it listens. It sets
#   work_dir    a scratch folder, removed together with the agent when the script exits
#   agent_port  the port the agent took on 127.0.0.1
# and takes the EXIT trap for the clean-up.

agent_pid=
work_dir=
agent_port=

stop_agent() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  fi
  agent_pid=
  if [ -n "$work_dir" ]; then rm -rf "$work_dir"; fi
  work_dir=
}

start_agent() {
  local bin=$1 community=$2
  work_dir=$(mktemp -d)
  trap stop_agent EXIT
  "$bin/tools/pulsewell-agent" --live --port 0 --port-file "$work_dir/port" \
    --community "$community" &
  agent_pid=$!
  for _ in $(seq 100); do
    [ -s "$work_dir/port" ] && break
    kill -0 "$agent_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$work_dir/port" ]; then
    echo "The simulator agent did not start." >&2
    return 1
  fi
  agent_port=$(cat "$work_dir/port")
}
