#!/usr/bin/env bash
# Runs a command against a fresh, unlocked gnome-keyring on the current session bus, with a
# throwaway HOME and XDG folders so that the user's own keyring is never touched. Meant to
# run inside a private bus:  dbus-run-session -- scripts/with-keyring.sh <command> [args...]
# Without what it needs it skips (exit 77), or fails when CI=true.
set -euo pipefail

unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "with-keyring: $1" >&2
    exit 1
  fi
  echo "with-keyring: skipped: $1" >&2
  exit 77
}

[ $# -ge 1 ] || { echo "usage: $0 <command> [args...]" >&2; exit 2; }
[ "${1:-}" = --no-session ] && unavailable "dbus-run-session was not found"
command -v gnome-keyring-daemon >/dev/null || unavailable "gnome-keyring-daemon was not found"
command -v dbus-send >/dev/null || unavailable "dbus-send was not found"
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || unavailable "no session bus; run inside dbus-run-session"

bus_call() {
  dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    "org.freedesktop.DBus.$1" "${@:2}" 2>/dev/null
}

# A Secret Service already on this bus is somebody's real keyring: never touch it.
if bus_call NameHasOwner string:org.freedesktop.secrets | grep -q true; then
  unavailable "a Secret Service already runs on this bus; use a private one (dbus-run-session)"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/pulsewell-keyring.XXXXXX")
daemon_pid=
cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

export HOME=$scratch/home
export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# An empty password line creates and unlocks the login keyring, which becomes the default
# collection. The daemon prints the variables its clients need.
if ! daemon_env=$(printf '\n' | gnome-keyring-daemon --unlock --components=secrets); then
  unavailable "gnome-keyring-daemon did not start"
fi
while IFS= read -r line; do
  [ -n "$line" ] && export "${line?}"
done <<<"$daemon_env"

# The daemon claims its bus name shortly after it forks; wait for it (at most 5 s).
for _ in $(seq 50); do
  daemon_pid=$(bus_call GetConnectionUnixProcessID string:org.freedesktop.secrets |
    awk '{print $2}') || true
  [ -n "$daemon_pid" ] && break
  sleep 0.1
done
[ -n "$daemon_pid" ] || unavailable "gnome-keyring-daemon did not take the Secret Service name"

export PULSEWELL_TEST_KEYRING=1
"$@"
