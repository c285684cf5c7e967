#!/usr/bin/env bash
# The desktop program end to end, as a user meets it: a private X display (Xvfb) with a
# plain XEmbed tray (trayer), no session bus, the simulator agent as the router, and
# pulsewell started before the tray exists. It checks the entry's label, the popover on a
# left click, the menu on a right click, the settings window from the menu, that a second
# start hands over to the first, that Quit ends the program, and that SIGTERM ends it at
# once while a request waits for its reply. Screenshots go to ARTIFACTS_ROOT/desktop.
#
# Usage: desktop_e2e.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_ROOT
# Exit status 77 means skipped (a tool is missing and CI is not "true").
set -euo pipefail
source "$(dirname "$0")/lib/host.sh"
source "$(dirname "$0")/lib/x11.sh"

need_tools Xvfb trayer xdotool xwininfo import convert
e2e_init desktop "$@"
start_xvfb
# Without a session bus no StatusNotifier host can take the entry: it is the XEmbed icon.
private_session without-bus
export QT_QPA_PLATFORM=xcb

start_router
start_pulsewell
step "pulsewell runs (pid $pulsewell_pid); starting trayer after it"
spawn trayer trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
  --transparent false

wait_for 30 tray_settled || fail "no tray icon appeared; windows: $(our_windows | tr '\n' ';')"
read -r _ tray_w tray_h tray_x tray_y <"$work/tray"
step "icon ${tray_w}x${tray_h}+${tray_x}+${tray_y}"
# Clicks `button` on the icon where it is now.
click_icon() {
  local w h x y
  tray_found || return 1
  read -r _ w h x y <"$work/tray"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click "$1"
}
left_click() { click_icon 1; }
right_click() { click_icon 3; }

wait_for_rates
step "label: $(status)"
shot 01-tray

# --- left click: the popover ---------------------------------------------------------------
click_until left_click popover_open || fail "no popover after a left click"
read -r _ _ _ _ pop_y <"$work/popover"
[ "$pop_y" -ge $((tray_y + tray_h)) ] || fail "popover not below the entry (y $pop_y)"
wait_for 10 popover_drawn 02-popover || fail "the popover shows none of our colours"

# A click elsewhere closes it.
xdotool mousemove 300 600 click 1
wait_for 10 popover_closed || fail "popover stayed open after a click elsewhere"

# A left click on the entry while the popover is open only closes it.
click_until left_click popover_open || fail "no popover after another left click"
left_click
wait_for 10 popover_closed || fail "a left click on the entry left the popover open"
sleep 0.5
! popover_open || fail "the popover opened again after closing"

# --- right click: the menu, and Settings from it -----------------------------------------
click_until right_click menu_open || fail "no menu after a right click"
shot 03-menu
# About, a separator, Settings …, Quit: the second entry that can be chosen is Settings.
xdotool key Down Down Return

settings_open() { find_window 'w == 420 && h == 680' >"$work/settings"; }
wait_for 10 settings_open || fail "no settings window from the menu"
settings_id=$(cut -d' ' -f1 "$work/settings")
xwininfo -id "$settings_id" | grep -q '"Pulsewell"' || fail "the settings window is not titled Pulsewell"
shot 04-settings

# --- a second start hands over to the first --------------------------------------------------
timeout 20 "$pulsewell" || fail "a second start did not end with status 0"
count=0
while read -r id w h _ _; do
  if [ "$w" = 420 ] && [ "$h" = 680 ] && viewable "$id"; then count=$((count + 1)); fi
done < <(our_windows)
[ "$count" -eq 1 ] || fail "expected one settings window, found $count"

# --- Quit from the menu ends the program -----------------------------------------------------
click_until right_click menu_open || fail "no menu for Quit"
xdotool key Up Return
expect_clean_exit
[ ! -s "$work/pulsewell.log" ] || fail "pulsewell printed: $(cat "$work/pulsewell.log")"

# --- logout while a request waits for its reply ------------------------------------------
# A profile of its own (so an instance of its own) whose community the device ignores:
# every sample sits in the 1 s timeout and its retry. SIGTERM must still end it at once
# and cleanly.
silent="$work/silent-config"
mkdir -p -m 700 "$silent/pulsewell"
cp "$XDG_CONFIG_HOME/pulsewell/settings.json" "$silent/pulsewell/"
(umask 077 && printf 'not-the-community' >"$silent/pulsewell/community")
spawn silent env XDG_CONFIG_HOME="$silent" "$pulsewell"
silent_pid=$spawned
connecting() { [ "$(XDG_CONFIG_HOME=$silent "$pulsewell" --status 2>/dev/null)" = "Pulsewell: Connecting …" ]; }
wait_for 20 connecting || fail "the silent profile did not start"
kill -TERM "$silent_pid"
silent_ended() { ! alive "$silent_pid"; }
wait_for 5 silent_ended || fail "pulsewell did not end on SIGTERM"
wait "$silent_pid" || fail "pulsewell ended on SIGTERM with status $?"
echo "PASS [$e2e_host] in $((SECONDS - e2e_started)) s (screenshots in $artifacts)"
