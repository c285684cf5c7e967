#!/usr/bin/env bash
# Pulsewell on xfce4-panel's system tray (StatusNotifierItem), as a user meets it: Xvfb,
# xfwm4 and a panel with the systray plugin, all started after pulsewell. It checks the
# entry registers with the panel's watcher and shows a square with both rates in our
# colours (upload over download); that a real left click opens the popover under the entry
# and Escape closes it; that the middle click opens it and a click elsewhere closes it;
# that a right click opens the panel's menu of ours; and that Quit from that menu ends the
# program cleanly and takes the entry off the panel.
#
# Usage: host_xfce.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_ROOT
set -euo pipefail
source "$(dirname "$0")/lib/host.sh"
source "$(dirname "$0")/lib/x11.sh"
source "$(dirname "$0")/lib/xfce.sh"

need_tools Xvfb xfce4-panel xfwm4 dbus-daemon busctl xdotool xwininfo import convert python3
e2e_init xfce "$@"
start_xvfb
private_session

start_router
start_pulsewell
step "pulsewell runs (pid $pulsewell_pid); starting the panel after it"

start_xfce_panel
expect_item_with_rates "the panel"
step "status: $(status)"

# A square icon with both rates: the panel squashes anything wider.
sizes=$(icon_sizes)
[ -n "$sizes" ] || fail "the item has no IconPixmap"
while read -r size; do
  [ "${size%x*}" = "${size#*x}" ] || fail "IconPixmap $size is not square (all: $sizes)"
done <<<"$sizes"

# The entry on screen: our orange and green in the panel, right of the middle.
entry_on_panel() { shot 01-entry && find_colours "$last_shot" 640 0 640 28 >"$work/entry"; }
wait_for 30 entry_on_panel || fail "our colours never showed on the panel"
read -r entry_x entry_y entry_w entry_h _ <"$work/entry"
find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" orange >/dev/null ||
  fail "no orange (upload) in the entry"
find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" green >/dev/null ||
  fail "no green (download) in the entry"
read -r _ up_y _ _ _ < <(find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" orange)
read -r _ down_y _ _ _ < <(find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" green)
[ "$up_y" -lt "$down_y" ] || fail "upload (orange) is not above download (green)"
click_x=$((entry_x + entry_w / 2))
click_y=$((entry_y + entry_h / 2))
step "entry at ${entry_w}x${entry_h}+${entry_x}+${entry_y}"

# --- left click: the popover under the entry -----------------------------------------------
left_click() { xdotool mousemove "$click_x" "$click_y" click 1; }
click_until left_click popover_open || fail "no popover after a left click on the entry"
read -r popover_id _ pop_h pop_x pop_y <"$work/popover"
wait_for 10 popover_drawn 02-popover || fail "the popover shows none of our colours"
popover_near_entry "$click_x" 28
xdotool key Escape
wait_for 10 popover_closed || fail "Escape left the popover open"

# The middle click does the same.
middle_click() { xdotool mousemove "$click_x" "$click_y" click 2; }
click_until middle_click popover_open || fail "no popover after a middle click"
xdotool mousemove 300 600 click 1
wait_for 10 popover_closed || fail "a click elsewhere left the popover open"

# --- right click: the panel's menu, ours ----------------------------------------------------
right_click() { xdotool mousemove "$click_x" "$click_y" click 3; }
click_until right_click menu_open || fail "no menu after a right click"
shot 03-menu
read -r menu_id menu_w menu_h menu_x menu_y <"$work/menu"
step "menu ${menu_w}x${menu_h}+${menu_x}+${menu_y}"

# Quit is the last entry: a real click on it.
xdotool mousemove $((menu_x + menu_w / 2)) $((menu_y + menu_h - 12)) click 1
expect_clean_exit
item_gone() { ! watcher_items | grep -q "$item"; }
wait_for 20 item_gone || fail "the item stayed registered after Quit"
entry_gone() { shot 04-after-quit && ! find_colours "$last_shot" 640 0 640 28 >/dev/null; }
wait_for 20 entry_gone || fail "the entry stayed on the panel after Quit"
echo "PASS [$e2e_host] in $((SECONDS - e2e_started)) s (screenshots in $artifacts)"
