#!/usr/bin/env bash
# Pulsewell on GNOME Shell's top bar (AppIndicator extension, X11), as a user meets it:
# gnome-shell under Xvfb with private session and system buses and private dconf
# settings, started after pulsewell. It checks the entry registers and shows the rates as
# its label, the same rates `pulsewell --status` reports; that a real left click opens our
# menu whose first entry opens the popover, under the entry; that the middle click opens
# it too; that the entry comes back after the extension is disabled and enabled (what a
# screen lock does); that dashes replace the rates once the router goes silent; that a
# right click opens the menu; and that Quit from the menu ends the program cleanly.
#
# Usage: host_gnome.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_ROOT
set -euo pipefail
source "$(dirname "$0")/lib/host.sh"
source "$(dirname "$0")/lib/x11.sh"

extension=ubuntu-appindicators@ubuntu.com
need_tools Xvfb gnome-shell gsettings dbus-daemon busctl xdotool xwininfo import convert \
  compare python3
[ -d "/usr/share/gnome-shell/extensions/$extension" ] || skip "the AppIndicator extension is not installed"
e2e_init gnome "$@"
start_xvfb
export XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=GNOME
private_session
# The shell asks its login manager on the system bus; a private bus stands in for it.
start_bus system
export DBUS_SYSTEM_BUS_ADDRESS=$bus_address

# Settings live in the private dconf (activated on the private bus).
gsettings set org.gnome.shell enabled-extensions "['$extension']"
gsettings set org.gnome.desktop.interface enable-animations false
gsettings set org.gnome.desktop.notifications show-banners false

start_router
start_pulsewell
step "pulsewell runs (pid $pulsewell_pid); starting GNOME Shell after it"

spawn shell gnome-shell --x11 --replace
shell_bus() {
  bus get-property org.gnome.Shell /org/gnome/Shell org.gnome.Shell "$1" 2>/dev/null
}
overview_active() { shell_bus OverviewActive | grep -q true; }
shell_up() { shell_bus OverviewActive >/dev/null; }
wait_for 120 shell_up || fail "GNOME Shell did not come up"
step "the shell is up"
# The shell's start ends in the overview; Escape leaves it.
wait_for 60 overview_active || fail "the shell never showed its overview"
leave_overview() {
  xdotool key Escape
  wait_for 5 eval '! overview_active'
}
wait_for 60 leave_overview || fail "the overview did not close"
expect_item_with_rates "the AppIndicator extension" 120

# --- the label: the rates, upload first, the same the accessibility label reports ----------
label() { item_text XAyatanaLabel; }
label_matches_status() {
  local current down up
  current=$(status)
  [[ "$current" =~ ^Pulsewell:\ Download\ (.+),\ Upload\ (.+)$ ]] || return 1
  down=${BASH_REMATCH[1]}
  up=${BASH_REMATCH[2]}
  [ "$(label)" = "↑ $up ↓ $down" ]
}
wait_for 30 label_matches_status || fail "label '$(label)' does not match '$(status)'"
step "label: $(label)"
# Beside the label a small square icon.
sizes=$(icon_sizes)
[ -n "$sizes" ] || fail "the item has no IconPixmap"
while read -r size; do
  [ "${size%x*}" = "${size#*x}" ] || fail "IconPixmap $size is not square (all: $sizes)"
done <<<"$sizes"

# A screen lock disables and enables the extension, taking its watcher away and back: the
# entry must come back by itself.
gsettings set org.gnome.shell enabled-extensions "[]"
wait_for 60 eval '! host_registered' || fail "the watcher stayed with the extension disabled"
gsettings set org.gnome.shell enabled-extensions "['$extension']"
wait_for 120 host_registered || fail "the watcher did not come back with the extension"
wait_for 120 our_item_registered || fail "the item did not come back after the extension did"
wait_for 30 label_matches_status || fail "label '$(label)' does not match '$(status)' after a lock"
step "registered again as $item after the extension came back"

# The entry on the top bar: whatever is drawn on the black bar between the clock's area
# and the system menu (icon and label; it moves when the label's width changes), with
# our colours in it while the rates show.
locate_entry() {
  shot "$1" || return 1
  convert "$last_shot" -crop 470x32+760+0 +repage -bordercolor black -border 1 -fuzz 12% \
    -trim -format '%w %h %X %Y\n' info: 2>/dev/null >"$work/entry-box" || return 1
  read -r entry_w entry_h entry_x entry_y <"$work/entry-box"
  entry_x=$((760 + ${entry_x#+} - 1))
  entry_y=$((${entry_y#+} - 1))
  [ "$entry_w" -gt 8 ] && [ "$entry_w" -lt 400 ] || return 1
  # The icon, at the entry's left end.
  click_x=$((entry_x + entry_h / 2))
  click_y=$((entry_y + entry_h / 2))
}
entry_coloured() {
  locate_entry "$1" && find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" >/dev/null
}
wait_for 60 entry_coloured 01-entry || fail "our entry with our colours never showed on the top bar"
step "entry at ${entry_w}x${entry_h}+${entry_x}+${entry_y}"

# GNOME draws its menus itself, not as X windows: a menu shows as a change below the bar.
below_bar() { convert "$1" -crop 1280x500+0+32 +repage "$2"; }
remember_screen() { shot "$1" && below_bar "$last_shot" "$work/before.png"; }
screen_changed() {
  shot "$1" && below_bar "$last_shot" "$work/after.png" || return 1
  local differing
  differing=$(compare -metric AE -fuzz 10% "$work/before.png" "$work/after.png" null: 2>&1) || true
  [ "${differing%% *}" -gt 2000 ] 2>/dev/null
}

# --- left click: our menu; its first entry opens the popover --------------------------------
remember_screen 02-before-menu
left_click() { xdotool mousemove "$click_x" "$click_y" click 1; }
menu_shown() { screen_changed "$1"; }
opened=false
for attempt in 1 2 3; do
  left_click
  if wait_for 10 menu_shown 03-left-click-menu; then opened=true && break; fi
done
$opened || fail "a left click on the entry opened no menu"
# The first entry, Show Traffic.
xdotool key Down Return
wait_for 15 popover_open || fail "Show Traffic opened no popover"
wait_for 10 popover_drawn 04-popover || fail "the popover shows none of our colours"
popover_near_entry "$click_x" 32
# The shell takes its grab back now and then while the popover opens (after its menu or
# its middle click), and our popup's own grab is lost: then Escape or a click elsewhere
# never reaches it. Each way a person would try is tried in turn; one that is ignored is
# reported with a picture, and one of them must close the popover.
close_popover() {
  local picture=$1 way
  for way in "key Escape" "mousemove 300 600 click 1" "mousemove $click_x $click_y click 2"; do
    # shellcheck disable=SC2086
    xdotool $way
    wait_for 10 popover_closed && return 0
    shot "$picture"
    echo "WARNING [$e2e_host]: '$way' left the popover open (see $picture.png)" >&2
  done
  fail "no way closed the popover"
}
close_popover 04-popover-stays-open

# The middle click opens the popover directly.
middle_click() { xdotool mousemove "$click_x" "$click_y" click 2; }
opened=false
for attempt in 1 2 3; do
  middle_click
  if wait_for 10 popover_open; then opened=true && break; fi
done
$opened || fail "a middle click opened no popover"
close_popover 05-popover-stays-open

# --- the router goes silent: dashes instead of rates ------------------------------------------
stop_router
wait_for 60 rates_gone || fail "the label still shows rates with the router gone: '$(status)'"
label_dashes() { [ "$(label)" = "↑ — ↓ —" ]; }
wait_for 30 label_dashes || fail "the label shows '$(label)' with the router gone ('$(status)')"
step "without the router: '$(label)', $(status)"
shot 06-without-router

# --- right click: the menu; Quit, its last entry, ends the program ---------------------------
right_click() { xdotool mousemove "$click_x" "$click_y" click 3; }
opened=false
for attempt in 1 2 3; do
  # The entry narrowed with its label and the shell may still be laying the bar out: each
  # try aims at where the entry is now, against the screen as it is now, with whatever an
  # earlier try may have opened closed again.
  [ "$attempt" -eq 1 ] || xdotool key Escape
  wait_for 10 locate_entry 07-before-right-click || fail "the entry is gone from the top bar"
  step "entry now at ${entry_w}x${entry_h}+${entry_x}+${entry_y}"
  remember_screen 07-before-right-click
  right_click
  if wait_for 10 menu_shown 08-right-click-menu; then opened=true && break; fi
done
$opened || fail "a right click on the entry opened no menu"
# Show Traffic, About Pulsewell, Settings …, Quit.
xdotool key Down Down Down Down Return
expect_clean_exit
item_gone() { ! watcher_items | grep -q "$item"; }
wait_for 20 item_gone || fail "the item stayed registered after Quit"
wait_for 20 eval '! locate_entry 09-after-quit' || fail "the entry stayed on the top bar after Quit"
echo "PASS [$e2e_host] in $((SECONDS - e2e_started)) s (screenshots in $artifacts)"
