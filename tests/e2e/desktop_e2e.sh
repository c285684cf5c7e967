#!/usr/bin/env bash
# The desktop program end to end, as a user meets it: a private X display (Xvfb) with a
# plain XEmbed tray (trayer), the simulator agent as the router, and pulsewell started
# before the tray exists. It checks the entry's label, the popover on a left click, the
# menu on a right click, the settings window from the menu, that a second start hands
# over to the first, and that Quit ends the program. Screenshots go to the artifacts
# folder for a person to look at.
#
# Usage: desktop_e2e.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_DIR
# Exit status 77 means skipped (a tool is missing and CI is not "true").
set -euo pipefail

pulsewell=$1
agent=$2
artifacts=$3

# shellcheck source=tests/support/skip.sh
source "$(dirname "$0")/../support/skip.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in Xvfb trayer xdotool xwininfo import; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x "$pulsewell" ] || fail "no program at $pulsewell"
[ -x "$agent" ] || fail "no simulator agent at $agent"

work=$(mktemp -d)
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

# Polls `$@` every 0.1 s until it succeeds or `limit` seconds pass.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# --- a display of our own, on whatever number is free ---------------------------------
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

# Nothing of the user's own session may leak in: no Wayland, no session bus (a
# StatusNotifier host there would take the entry), settings and sockets in the work folder.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
export XDG_RUNTIME_DIR="$work/run"
export XDG_CONFIG_HOME="$work/config"
export PULSEWELL_SECRET_STORE=file
export LANGUAGE= LC_ALL=C.UTF-8
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_CONFIG_HOME/pulsewell"

# --- the router --------------------------------------------------------------------------
cat >"$work/table.txt" <<'TABLE'
# One interface, wan0, up, with 64-bit counters.
1.3.6.1.2.1.2.2.1.1.7      integer    7
1.3.6.1.2.1.2.2.1.2.7      string     wan0
1.3.6.1.2.1.2.2.1.8.7      integer    1
1.3.6.1.2.1.31.1.1.1.1.7   string     wan0
1.3.6.1.2.1.31.1.1.1.6.7   counter64  123456789
1.3.6.1.2.1.31.1.1.1.10.7  counter64  98765432
TABLE
community="e2e-$RANDOM$RANDOM"
"$agent" --table "$work/table.txt" --port 0 --port-file "$work/port" --community "$community" \
  2>"$work/agent.log" &
pids+=($!)
wait_for 10 test -s "$work/port" || fail "agent did not start: $(cat "$work/agent.log")"

printf '{"routerHost": "127.0.0.1", "routerPort": %s, "routerInterface": "wan0"}\n' \
  "$(cat "$work/port")" >"$XDG_CONFIG_HOME/pulsewell/settings.json"
(umask 077 && printf '%s' "$community" >"$XDG_CONFIG_HOME/pulsewell/community")

# --- the program, before any tray exists ---------------------------------------------------
"$pulsewell" >"$work/pulsewell.out" 2>"$work/pulsewell.err" &
pulsewell_pid=$!
pids+=($pulsewell_pid)

status() { "$pulsewell" --status 2>/dev/null; }
wait_for 20 status >/dev/null || fail "pulsewell did not start: $(cat "$work/pulsewell.err")"

trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
  --transparent false 2>"$work/trayer.log" &
pids+=($!)

# Windows of ours as xwininfo lists them: "id width height x y", absolute positions.
our_windows() {
  xwininfo -root -tree 2>/dev/null |
    awk '/\("pulsewell" "Pulsewell"\)/ {
      for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[+-]/) {
        split($i, size, /[x+-]/); split($(i + 1), at, /[+]/)
        print $1, size[1], size[2], at[2], at[3]
      }
    }'
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# The first viewable window of ours for which `test` (an awk condition over w and h) holds.
find_window() {
  local id w h x y
  while read -r id w h x y; do
    if viewable "$id" && awk -v w="$w" -v h="$h" "BEGIN { exit !($1) }"; then
      echo "$id $w $h $x $y"
      return 0
    fi
  done < <(our_windows)
  return 1
}

# The tray icon: a small square of ours, embedded by the tray host that came later. The
# host may still move it while it lays out its cells, so its place counts once it stays.
tray_found() { find_window 'w <= 64 && h <= 64 && w > 4' >"$work/tray"; }
tray_settled() {
  tray_found || return 1
  cp "$work/tray" "$work/tray.before"
  sleep 0.3
  tray_found && cmp -s "$work/tray" "$work/tray.before"
}
wait_for 30 tray_settled || fail "no tray icon appeared; windows: $(our_windows | tr '\n' ';')"
# Clicks `button` on the icon where it is now.
click_icon() {
  local tray_w tray_h tray_x tray_y
  tray_found || return 1
  read -r _ tray_w tray_h tray_x tray_y <"$work/tray"
  xdotool mousemove $((tray_x + tray_w / 2)) $((tray_y + tray_h / 2)) click "$1"
}
# Clicks until `check` holds: a click that arrives while the host is busy can be lost.
click_until() {
  local button=$1 check=$2 attempt
  for attempt in 1 2 3; do
    click_icon "$button"
    wait_for 4 "$check" && return 0
  done
  return 1
}
read -r _ tray_w tray_h tray_x tray_y <"$work/tray"

# The accessibility label, which the entry shows as its tooltip.
rate='[0-9]+([.,][0-9])? [KMG]?B/s'
label_has_rates() { status | grep -Eq "^Pulsewell: Download $rate, Upload $rate\$"; }
wait_for 30 label_has_rates || fail "label never showed rates; last: '$(status)'"
echo "label: $(status)"
import -window root "$artifacts/01-tray.png"

# --- left click: the popover ---------------------------------------------------------------
popover_open() { find_window 'w == 280' >"$work/popover"; }
click_until 1 popover_open || fail "no popover after a left click"
read -r _ _ pop_h pop_x pop_y <"$work/popover"
[ "$pop_y" -ge $((tray_y + tray_h)) ] || fail "popover not below the entry (y $pop_y)"
sleep 0.3 # one more sample drawn before the picture
import -window root "$artifacts/02-popover.png"

# A click elsewhere closes it.
xdotool mousemove 300 600 click 1
popover_closed() { ! viewable "$(cut -d' ' -f1 "$work/popover")"; }
wait_for 10 popover_closed ||
  fail "popover stayed open after a click elsewhere"

# A left click on the entry while the popover is open only closes it.
click_until 1 popover_open || fail "no popover after another left click"
click_icon 1
wait_for 10 popover_closed || fail "a left click on the entry left the popover open"
sleep 0.5
! popover_open || fail "the popover opened again after closing"

# --- right click: the menu, and Settings from it -----------------------------------------
menu_open() { find_window 'w > 64 && w < 400 && h > 40 && h < 200' >"$work/menu"; }
click_until 3 menu_open || fail "no menu after a right click"
import -window root "$artifacts/03-menu.png"
# About, a separator, Settings …, Quit: the second entry that can be chosen is Settings.
xdotool key Down Down Return

settings_open() { find_window 'w == 420 && h == 680' >"$work/settings"; }
wait_for 10 settings_open || fail "no settings window from the menu"
settings_id=$(cut -d' ' -f1 "$work/settings")
xwininfo -id "$settings_id" | grep -q '"Pulsewell"' || fail "the settings window is not titled Pulsewell"
import -window root "$artifacts/04-settings.png"

# --- a second start hands over to the first --------------------------------------------------
timeout 20 "$pulsewell" || fail "a second start did not end with status 0"
count=0
while read -r id w h _ _; do
  if [ "$w" = 420 ] && [ "$h" = 680 ] && viewable "$id"; then count=$((count + 1)); fi
done < <(our_windows)
[ "$count" -eq 1 ] || fail "expected one settings window, found $count"

# --- Quit from the menu ends the program -----------------------------------------------------
click_until 3 menu_open || fail "no menu for Quit"
xdotool key Up Return
ended() { ! kill -0 "$pulsewell_pid" 2>/dev/null; }
wait_for 15 ended || fail "pulsewell did not quit"
wait "$pulsewell_pid" || fail "pulsewell quit with status $?"
[ ! -s "$work/pulsewell.out" ] || fail "pulsewell printed: $(cat "$work/pulsewell.out")"

# --- logout while a request waits for its reply ------------------------------------------
# A profile of its own (so an instance of its own) whose community the device ignores:
# every sample sits in the 1 s timeout and its retry. SIGTERM must still end it at once
# and cleanly.
silent="$work/silent-config"
mkdir -p -m 700 "$silent/pulsewell"
cp "$XDG_CONFIG_HOME/pulsewell/settings.json" "$silent/pulsewell/"
(umask 077 && printf 'not-the-community' >"$silent/pulsewell/community")
XDG_CONFIG_HOME=$silent "$pulsewell" >"$work/silent.out" 2>"$work/silent.err" &
silent_pid=$!
pids+=($silent_pid)
connecting() { [ "$(XDG_CONFIG_HOME=$silent "$pulsewell" --status 2>/dev/null)" = "Pulsewell: Connecting …" ]; }
wait_for 20 connecting || fail "the silent profile did not start"
kill -TERM "$silent_pid"
silent_ended() { ! kill -0 "$silent_pid" 2>/dev/null; }
wait_for 5 silent_ended || fail "pulsewell did not end on SIGTERM"
wait "$silent_pid" || fail "pulsewell ended on SIGTERM with status $?"
echo "PASS (screenshots in $artifacts)"
