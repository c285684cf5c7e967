# Shared steps of the end-to-end tests that run pulsewell on a real panel host: a private
# session (bus, runtime and config folders), the simulator agent as the router, the
# program itself, screenshots, finding our colours on the panel, clicks, and cleanup of
# every process started. Sourced by tests/e2e/host_*.sh after `set -euo pipefail`.
#
# A host script calls `e2e_init HOST PULSEWELL AGENT ARTIFACTS_ROOT` first; screenshots go
# to ARTIFACTS_ROOT/HOST. Exit status 77 means skipped (a tool is missing, CI is not true).

e2e_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source=tests/support/skip.sh
source "$e2e_lib_dir/../../support/skip.sh"
fail() {
  echo "FAIL [$e2e_host]: $*" >&2
  if [ -n "${work:-}" ] && [ -d "$work" ]; then
    local log
    for log in "$work"/*.log "$work"/*.err; do
      [ -s "$log" ] || continue
      echo "--- $(basename "$log") (last lines)" >&2
      tail -n 15 "$log" >&2
    done
  fi
  exit 1
}
# Elapsed time of the run, for the log.
step() { echo "[$e2e_host +$((SECONDS - e2e_started))s] $*"; }

# Polls `$@` every 0.2 s until it succeeds or `limit` seconds pass.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# Process groups started by `spawn`, stopped in reverse order by cleanup.
e2e_groups=()
e2e_cleanups=()
e2e_cleanup() {
  local status=$? i pid
  trap - EXIT
  for ((i = ${#e2e_cleanups[@]} - 1; i >= 0; i--)); do eval "${e2e_cleanups[$i]}" || true; done
  for ((i = ${#e2e_groups[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${e2e_groups[$i]}" 2>/dev/null || true
  done
  # Whatever ignored the polite request (or is still in its handler) gets a firmer one.
  for pid in "${e2e_groups[@]}"; do
    wait_for 10 e2e_group_gone "$pid" || kill -KILL -- "-$pid" 2>/dev/null || true
  done
  for pid in "${e2e_groups[@]}"; do wait "$pid" 2>/dev/null || true; done
  # E2E_KEEP=1 keeps the work folder (logs, configs) for a look after a failure.
  [ -n "${work:-}" ] && [ -z "${E2E_KEEP:-}" ] && rm -rf "$work"
  exit "$status"
}
e2e_group_gone() { ! kill -0 -- "-$1" 2>/dev/null; }
# Runs `$*` (a shell command) at cleanup, before the process groups are stopped.
on_cleanup() { e2e_cleanups+=("$*"); }

# Starts `$@` in a process group of its own (so its children stop with it), output to
# $work/NAME.log; sets `spawned` to its pid.
spawn() {
  local name=$1
  shift
  setsid "$@" >"$work/$name.log" 2>&1 </dev/null &
  spawned=$!
  e2e_groups+=("$spawned")
}
alive() { kill -0 "$1" 2>/dev/null; }

e2e_init() {
  e2e_host=$1
  pulsewell=$2
  agent=$3
  artifacts=$4/$1
  e2e_started=$SECONDS
  [ -x "$pulsewell" ] || fail "no program at $pulsewell"
  [ -x "$agent" ] || fail "no simulator agent at $agent"
  mkdir -p "$artifacts"
  rm -f "$artifacts"/*.png
  # Short, in /tmp: sockets in the runtime folder must fit a socket address (108 bytes).
  work=$(mktemp -d "/tmp/pw-$1.XXXXXX")
  chmod 755 "$work"
  trap e2e_cleanup EXIT
  trap 'echo "FAIL [$e2e_host]: line $LINENO: $BASH_COMMAND" >&2' ERR
}

# Nothing of the user's own session may leak in: home, settings, runtime folder and buses
# all live in the work folder. Starts the session bus afterwards so that D-Bus activated
# services (xfconfd, dconf) inherit these folders; `private_session without-bus` gives an
# address where no bus answers instead.
private_session() {
  unset WAYLAND_DISPLAY DBUS_SYSTEM_BUS_ADDRESS SWAYSOCK I3SOCK SESSION_MANAGER
  export HOME="$work/home"
  export XDG_RUNTIME_DIR="$work/run"
  export XDG_CONFIG_HOME="$work/config"
  export XDG_DATA_HOME="$work/data"
  export XDG_CACHE_HOME="$work/cache"
  export XDG_STATE_HOME="$work/state"
  export PULSEWELL_SECRET_STORE=file
  export LANGUAGE= LANG=C.UTF-8 LC_ALL=C.UTF-8
  export NO_AT_BRIDGE=1
  mkdir -p -m 700 "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" \
    "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME/pulsewell"
  if [ "${1:-}" = without-bus ]; then
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
    return
  fi
  start_bus session
  export DBUS_SESSION_BUS_ADDRESS=$bus_address
}

# A private dbus-daemon with the session configuration; sets `bus_address`.
start_bus() {
  local socket="$work/run/$1-bus"
  spawn "$1-bus" dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket"
  wait_for 20 test -S "$socket" || fail "the $1 bus did not start"
  bus_address="unix:path=$socket"
}
bus() { busctl --address="$DBUS_SESSION_BUS_ADDRESS" "$@"; }

# A private X display (Xvfb) on whatever number is free; exports DISPLAY.
start_xvfb() {
  spawn xvfb Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display"
  wait_for 30 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
}

# --- the router ---------------------------------------------------------------------------

# The simulator agent with one interface, wan0, whose counters grow at a steady rate, and
# the program's settings and community pointing at it.
start_router() {
  cat >"$work/table.txt" <<'TABLE'
# One interface, wan0, up, with 64-bit counters.
1.3.6.1.2.1.2.2.1.1.7      integer    7
1.3.6.1.2.1.2.2.1.2.7      string     wan0
1.3.6.1.2.1.2.2.1.8.7      integer    1
1.3.6.1.2.1.31.1.1.1.1.7   string     wan0
1.3.6.1.2.1.31.1.1.1.6.7   counter64  123456789
1.3.6.1.2.1.31.1.1.1.10.7  counter64  98765432
TABLE
  local community="e2e-$RANDOM$RANDOM" grow=()
  # Counters that grow make real rates appear; older agents serve them fixed.
  "$agent" --help | grep -q -- '--grow' && grow=(--grow "$e2e_down_rate,$e2e_up_rate")
  spawn agent "$agent" --table "$work/table.txt" "${grow[@]}" --port 0 \
    --port-file "$work/port" --community "$community"
  agent_pid=$spawned
  wait_for 20 test -s "$work/port" || fail "agent did not start"
  printf '{"routerHost": "127.0.0.1", "routerPort": %s, "routerInterface": "wan0"%s}\n' \
    "$(cat "$work/port")" "${e2e_extra_settings:-}" >"$XDG_CONFIG_HOME/pulsewell/settings.json"
  (umask 077 && printf '%s' "$community" >"$XDG_CONFIG_HOME/pulsewell/community")
}
# The router goes silent: pulsewell's requests go unanswered from now on.
stop_router() {
  kill -TERM "$agent_pid"
  wait "$agent_pid" 2>/dev/null || true
}
rates_gone() { status | grep -q . && ! label_has_rates; }
# 1.2 MB/s down and 80 KB/s up, as bytes per second.
e2e_down_rate=1200000
e2e_up_rate=80000

# --- the program ---------------------------------------------------------------------------

start_pulsewell() {
  spawn pulsewell "$pulsewell"
  pulsewell_pid=$spawned
  wait_for 30 status >/dev/null || fail "pulsewell did not start"
}
status() { "$pulsewell" --status 2>/dev/null; }
rate_pattern='[0-9]+([.,][0-9]+)? [KMG]?B/s'
label_has_rates() {
  status | grep -Eq "^Pulsewell: Download $rate_pattern, Upload $rate_pattern\$"
}
# Waits for the rates, non-zero where the agent's counters grow.
wait_for_rates() {
  wait_for 60 label_has_rates || fail "the label never showed rates; last: '$(status)'"
  if "$agent" --help | grep -q -- '--grow'; then
    wait_for 30 rates_are_steady || fail "the rates are not the router's; last: '$(status)'"
  fi
}
rates_are_steady() { [ "$(status)" = "Pulsewell: Download 1.2 MB/s, Upload 80 KB/s" ]; }
pulsewell_ended() { ! alive "$pulsewell_pid"; }
# Waits for pulsewell to end and checks its exit status is 0.
expect_clean_exit() {
  wait_for 30 pulsewell_ended || fail "pulsewell did not quit"
  local code=0
  wait "$pulsewell_pid" || code=$?
  [ "$code" -eq 0 ] || fail "pulsewell quit with status $code"
}

# --- StatusNotifierItem -------------------------------------------------------------------

watcher_items() {
  bus get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null
}
host_registered() {
  bus get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
}
# Sets `item` to the bus name of pulsewell's item as the watcher lists it.
our_item_registered() {
  local name
  for name in $(watcher_items | grep -o '"[^"]*"' | tr -d '"'); do
    name=${name%%/*}
    if [ "$(bus call org.freedesktop.DBus / org.freedesktop.DBus \
      GetConnectionUnixProcessID s "$name" 2>/dev/null | awk '{print $2}')" = "$pulsewell_pid" ]; then
      item=$name
      return 0
    fi
  done
  return 1
}
item_property() {
  bus get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem "$1"
}
# A text property of the item as it is (busctl's plain output escapes non-ASCII).
item_text() {
  bus --json=short get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem "$1" |
    python3 -c 'import json, sys; print(json.load(sys.stdin)["data"])'
}
# The sizes of the item's IconPixmap, "WxH" one a line.
icon_sizes() {
  bus --json=short get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem \
    IconPixmap | python3 -c '
import json, sys
for w, h, _ in json.load(sys.stdin)["data"]:
    print(f"{w}x{h}")'
}
# The item's bus name follows the naming rule of StatusNotifierItem hosts.
item_name_is_conventional() {
  [[ "$item" =~ ^org\.kde\.StatusNotifierItem-${pulsewell_pid}-[0-9]+$ ]]
}
# Once the host (named by $1, e.g. "the panel") has started: its watcher comes up, our item
# registers there under the conventional name and shows the router's rates; waits up to
# $2 seconds (default 60) for each.
expect_item_with_rates() {
  local host=$1 patience=${2:-60}
  wait_for "$patience" host_registered || fail "$host registered no StatusNotifier host"
  step "$host's watcher is up"
  wait_for "$patience" our_item_registered || fail "pulsewell's item never registered: $(watcher_items)"
  item_name_is_conventional || fail "unexpected item name $item"
  step "registered as $item"
  wait_for_rates
}

# --- pictures -------------------------------------------------------------------------------

# Saves a screenshot as NN-what.png; X11 by default, `e2e_screenshot` overrides it.
shot() {
  local file="$artifacts/$1.png"
  if declare -F e2e_screenshot >/dev/null; then
    e2e_screenshot "$file"
  else
    import -window root "$file"
  fi
  last_shot=$file
}

# Finds pulsewell's orange and green (any shade) inside a box of `image` and prints
# "x y w h count": the bounding box of those pixels in image coordinates.
# Usage: find_colours IMAGE X Y W H [orange|green|both]
find_colours() {
  local image=$1 x=$2 y=$3 w=$4 h=$5 which=${6:-both}
  convert "$image" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- 2>/dev/null |
    awk -v ox="$x" -v oy="$y" -v which="$which" -F'[,:() ]+' '
      /^#/ { next }
      {
        px = $1; py = $2; r = $3; g = $4; b = $5
        # By hue, so that the bright graph colours, the darker text colours for light bars
        # and their anti-aliased edges all count; greys and faint edges do not.
        max = r; if (g > max) max = g; if (b > max) max = b
        min = r; if (g < min) min = g; if (b < min) min = b
        delta = max - min
        if (delta < 60) next
        if (max == r) hue = 60 * (g - b) / delta
        else if (max == g) hue = 60 * ((b - r) / delta + 2)
        else hue = 60 * ((r - g) / delta + 4)
        if (hue < 0) hue += 360
        orange = (hue >= 15 && hue <= 50)
        green = (hue >= 100 && hue <= 160)
        hit = (which == "orange" && orange) || (which == "green" && green) ||
              (which == "both" && (orange || green))
        if (!hit) next
        n++
        if (n == 1 || px < x0) x0 = px; if (n == 1 || px > x1) x1 = px
        if (n == 1 || py < y0) y0 = py; if (n == 1 || py > y1) y1 = py
      }
      END {
        if (n < 3) exit 1
        printf "%d %d %d %d %d\n", x0 + ox, y0 + oy, x1 - x0 + 1, y1 - y0 + 1, n
      }'
}
