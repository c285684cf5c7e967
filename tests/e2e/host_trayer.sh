#!/usr/bin/env bash
# Pulsewell on a plain XEmbed tray (trayer), as a user meets it: Xvfb, a private session
# bus with no StatusNotifier watcher on it, pulsewell, then trayer. It checks the entry is
# a small square X window embedded by the late tray, showing both rates in our colours
# (upload over download); that a real left click opens the popover under the entry and
# Escape, a click elsewhere and a second click close it; that the icon looks muted once
# the router goes silent; that a right click opens our menu; and that Quit from it ends
# the program cleanly.
#
# Usage: host_trayer.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_ROOT
set -euo pipefail
source "$(dirname "$0")/lib/host.sh"
source "$(dirname "$0")/lib/x11.sh"

need_tools Xvfb trayer dbus-daemon busctl xdotool xwininfo import convert
e2e_init trayer "$@"
start_xvfb
private_session

start_router
start_pulsewell
step "pulsewell runs (pid $pulsewell_pid); starting trayer after it"
spawn trayer trayer --edge top --align right --widthtype request --height 22 \
  --SetDockType true --transparent false
panel_h=22

wait_for 60 tray_settled || fail "no tray icon appeared; windows: $(our_windows | tr '\n' ';')"
read -r _ tray_w tray_h tray_x tray_y <"$work/tray"
step "icon ${tray_w}x${tray_h}+${tray_x}+${tray_y}"
[ "$tray_y" -lt "$panel_h" ] || fail "the icon is not on the tray (y $tray_y)"
wait_for_rates
step "status: $(status)"

# Both rates in our colours, upload (orange) over download (green).
entry_drawn() {
  shot 01-entry &&
    find_colours "$last_shot" "$tray_x" "$tray_y" "$tray_w" "$tray_h" orange >"$work/up" &&
    find_colours "$last_shot" "$tray_x" "$tray_y" "$tray_w" "$tray_h" green >"$work/down"
}
wait_for 30 entry_drawn || fail "the icon does not show both rates in our colours"
read -r _ up_y _ up_h _ <"$work/up"
read -r _ down_y _ down_h _ <"$work/down"
[ $((up_y + up_h / 2)) -lt $((down_y + down_h / 2)) ] ||
  fail "upload (orange, y $up_y) is not above download (green, y $down_y)"
click_x=$((tray_x + tray_w / 2))
click_y=$((tray_y + tray_h / 2))

# --- left click: the popover under the entry -----------------------------------------------
left_click() { xdotool mousemove "$click_x" "$click_y" click 1; }
click_until left_click popover_open || fail "no popover after a left click on the entry"
wait_for 10 popover_drawn 02-popover || fail "the popover shows none of our colours"
popover_near_entry "$click_x" "$panel_h"
xdotool key Escape
wait_for 10 popover_closed || fail "Escape left the popover open"
click_until left_click popover_open || fail "no popover after another left click"
xdotool mousemove 300 600 click 1
wait_for 10 popover_closed || fail "a click elsewhere left the popover open"
click_until left_click popover_open || fail "no popover after a third left click"
left_click
wait_for 10 popover_closed || fail "a left click on the entry left the popover open"

# --- the router goes silent: the entry looks muted, without our colours ---------------------
stop_router
wait_for 60 rates_gone || fail "the label still shows rates with the router gone: '$(status)'"
step "status: $(status)"
# Muted: at most a quarter of the coloured pixels the rates had.
read -r _ _ _ _ up_count <"$work/up"
read -r _ _ _ _ down_count <"$work/down"
entry_muted() {
  shot 03-muted || return 1
  local count=0
  if find_colours "$last_shot" "$tray_x" "$tray_y" "$tray_w" "$tray_h" >"$work/muted"; then
    read -r _ _ _ _ count <"$work/muted"
  fi
  [ "$count" -le $(((up_count + down_count) / 4)) ]
}
wait_for 30 entry_muted || fail "the icon still shows our colours with the router gone"

# --- right click: our menu; Quit, its last entry, ends the program ----------------------------
right_click() { xdotool mousemove "$click_x" "$click_y" click 3; }
click_until right_click menu_open || fail "no menu after a right click"
read -r _ menu_w menu_h menu_x menu_y <"$work/menu"
step "menu ${menu_w}x${menu_h}+${menu_x}+${menu_y}"
shot 04-menu
xdotool mousemove $((menu_x + menu_w / 2)) $((menu_y + menu_h - 12)) click 1
expect_clean_exit
shot 05-after-quit
echo "PASS [$e2e_host] in $((SECONDS - e2e_started)) s (screenshots in $artifacts)"
