#!/usr/bin/env bash
# Pulsewell on waybar's tray under sway (StatusNotifierItem on Wayland), as a user meets
# it: a headless sway, pulsewell on Wayland, then waybar with a tray. It checks the entry
# registers and is a wide image (two rates and a graph) shown at its real width; that a
# real left click (a pointer lent by wayvnc) opens the popover as a small floating window;
# that the middle click does too; that a right click opens waybar's menu of ours; and that
# Quit from it ends the program cleanly.
#
# Usage: host_sway_waybar.sh PULSEWELL PULSEWELL_AGENT ARTIFACTS_ROOT [PRIVATE_FOLDER]
# (PRIVATE_FOLDER: pulsewell's desktop program's folder, copied along when run as root)
# sway refuses to run as root: as root, the scenario runs as the user pulsewell-e2e
# (created when missing) from copies of the programs and scripts it can read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/host.sh"

need_tools sway waybar wayvnc grim swaymsg dbus-daemon busctl convert compare python3 xwininfo
e2e_user=pulsewell-e2e

if [ "$(id -u)" -eq 0 ]; then
  need_tools runuser useradd
  id "$e2e_user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$e2e_user"
  staged=$(mktemp -d /tmp/pw-staged.XXXXXX)
  inner=
  # Stops the user's run too when this one is stopped, then brings the pictures home.
  stop_staged() {
    local status=$?
    trap - EXIT INT TERM
    if [ -n "$inner" ] && kill -0 "$inner" 2>/dev/null; then
      kill -TERM "$inner" 2>/dev/null || true
      wait "$inner" 2>/dev/null || true
    fi
    mkdir -p "$3/sway-waybar"
    rm -f "$3/sway-waybar"/*.png
    cp "$staged"/artifacts/sway-waybar/*.png "$3/sway-waybar/" 2>/dev/null || true
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$staged"
    exit "$status"
  }
  trap 'stop_staged "$@"' EXIT
  trap 'exit 143' INT TERM
  # Xwayland's socket folder, as the X server packages make it; a user could not own it.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  mkdir -p "$staged/e2e" "$staged/support" "$staged/artifacts"
  # The command with its private folder (the desktop program) where the command finds it.
  mkdir -p "$staged/bin"
  cp "$1" "$staged/bin/pulsewell"
  private_folder=${4:?give the folder of the desktop program to run as root}
  private=$(realpath --relative-to="$(dirname "$1")" "$private_folder")
  mkdir -p "$staged/bin/$private"
  cp -r "$private_folder"/. "$staged/bin/$private/"
  cp "$2" "$staged/pulsewell-agent"
  cp -r "$here/host_sway_waybar.sh" "$here/lib" "$staged/e2e/"
  cp "$here/../support/skip.sh" "$staged/support/"
  chown -R "$e2e_user:" "$staged"
  chmod 755 "$staged"
  # A login-like, clean environment: only what the run needs crosses over.
  runuser -u "$e2e_user" -- env -i PATH="$PATH" CI="${CI:-}" E2E_KEEP="${E2E_KEEP:-}" \
    bash "$staged/e2e/host_sway_waybar.sh" "$staged/bin/pulsewell" "$staged/pulsewell-agent" \
    "$staged/artifacts" &
  inner=$!
  code=0
  wait "$inner" || code=$?
  inner=
  exit "$code"
fi

e2e_init sway-waybar "$@"
private_session
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway

# --- sway, headless, with a pointer lent by wayvnc ---------------------------------------------
cat >"$work/sway.conf" <<'CONF'
output HEADLESS-1 resolution 1280x800 position 0 0 bg #303030 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
xwayland force
CONF
export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1
spawn sway sway -c "$work/sway.conf"
sway_group=$spawned
sway_socket() { compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -n1; }
sway_up() {
  local socket
  socket=$(sway_socket) && [ -S "$socket" ] || return 1
  SWAYSOCK=$socket swaymsg -t get_outputs >/dev/null 2>&1
}
wait_for 60 sway_up || fail "sway did not start"
export SWAYSOCK
SWAYSOCK=$(sway_socket)
WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*" | grep -v '\.lock$' | head -n1)")
export WAYLAND_DISPLAY
# D-Bus activated services and the tray need to find this compositor.
bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
  UpdateActivationEnvironment 'a{ss}' 2 WAYLAND_DISPLAY "$WAYLAND_DISPLAY" SWAYSOCK "$SWAYSOCK"
step "sway is up on $WAYLAND_DISPLAY"

vnc_socket="$work/vnc.sock"
spawn wayvnc wayvnc --unix-socket --output=HEADLESS-1 "$vnc_socket"
wait_for 30 test -S "$vnc_socket" || fail "wayvnc did not start"
pointer() { python3 "$e2e_lib_dir/rfb_input.py" "$vnc_socket" "$@"; }
# Park the pointer away from everything, which also makes the seat's pointer exist.
wait_for 20 pointer move 640 700 || fail "wayvnc lends no pointer"

e2e_screenshot() { grim "$1"; }

# --- the program, then the bar -------------------------------------------------------------------
start_router
QT_QPA_PLATFORM=wayland start_pulsewell
step "pulsewell runs on Wayland (pid $pulsewell_pid); starting waybar after it"

cat >"$work/waybar.json" <<'JSON'
{
  "layer": "top",
  "position": "top",
  "height": 30,
  "modules-left": [],
  "modules-right": ["tray"],
  "tray": {"icon-size": 22, "spacing": 8}
}
JSON
cat >"$work/waybar.css" <<'CSS'
* { font-family: sans-serif; font-size: 13px; }
window#waybar { background: #2b303b; color: #ffffff; }
CSS
spawn waybar waybar -c "$work/waybar.json" -s "$work/waybar.css"
expect_item_with_rates "waybar's tray"
step "status: $(status)"

# A wide image: wider than high, shown at its real width on the bar.
sizes=$(icon_sizes)
[ -n "$sizes" ] || fail "the item has no IconPixmap"
widest=$(awk -Fx '$1 > w { w = $1; h = $2 } END { print w "x" h }' <<<"$sizes")
[ "${widest%x*}" -gt "${widest#*x}" ] || fail "IconPixmap is not wide: $sizes"

bar_height=30
bar_colour='#2b303b'
# The entry on screen: whatever differs from the bar's colour in its right half (the tray
# holds only our item); it must hold our orange and green (the graph).
entry_on_bar() {
  shot "$1" || return 1
  convert "$last_shot" -crop "640x$bar_height+640+0" +repage -bordercolor "$bar_colour" \
    -border 1 -fuzz 6% -trim -format '%w %h %X %Y\n' info: 2>/dev/null >"$work/entry-box" ||
    return 1
  read -r entry_w entry_h entry_x entry_y <"$work/entry-box"
  entry_x=$((640 + ${entry_x#+} - 1))
  entry_y=$((${entry_y#+} - 1))
  [ "$entry_w" -gt 4 ] && [ "$entry_h" -gt 4 ] && [ "$entry_h" -lt "$bar_height" ] &&
    find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" orange >/dev/null &&
    find_colours "$last_shot" "$entry_x" "$entry_y" "$entry_w" "$entry_h" green >/dev/null
}
wait_for 30 entry_on_bar 01-entry || fail "our entry with our colours never showed on the bar"
step "entry at ${entry_w}x${entry_h}+${entry_x}+${entry_y} (icon $widest)"
# At its real width (icon size 22), not squashed into a square: clearly wider than high,
# and no wider than the image.
[ "$entry_h" -le 22 ] && [ "$entry_w" -gt $((2 * entry_h)) ] &&
  [ "$entry_w" -le $((${widest%x*} + 2)) ] ||
  fail "the entry shows ${entry_w}x${entry_h}, not the image's $widest at its real width"
click_x=$((entry_x + entry_w / 2))
click_y=$((entry_y + entry_h / 2))

# --- windows in sway's tree ---------------------------------------------------------------------
# Our visible windows, "width height x y" each.
our_views() {
  swaymsg -t get_tree 2>/dev/null | python3 -c '
import json, sys
def walk(node):
    yield node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from walk(child)
for node in walk(json.load(sys.stdin)):
    cls = (node.get("window_properties") or {}).get("class", "")
    if "pulsewell" in ((node.get("app_id") or "") + cls).lower() and node.get("visible"):
        r = node["rect"]
        print(r["width"], r["height"], r["x"], r["y"], node.get("type"))'
}
floating_popover_open() { our_views | awk '$1 == 280' | head -n1 | grep . >"$work/popover"; }
floating_popover_closed() { ! floating_popover_open; }

# --- left click: the popover, a small floating window ---------------------------------------------
click_until_popover() {
  local button=$1 attempt
  for attempt in 1 2 3; do
    pointer click "$click_x" "$click_y" "$button"
    wait_for 8 floating_popover_open && return 0
  done
  return 1
}
click_until_popover left || fail "no popover after a left click on the entry"
read -r pop_w pop_h pop_x pop_y pop_type <"$work/popover"
step "popover ${pop_w}x${pop_h}+${pop_x}+${pop_y} ($pop_type)"
[ "$pop_type" = floating_con ] || fail "the popover is tiled, not floating ($pop_type)"
# A Wayland client cannot place its own window: sway centres a floating one, so where it
# shows is up to the compositor and is not checked here.
floating_popover_drawn() {
  shot 02-popover && find_colours "$last_shot" "$pop_x" "$pop_y" "$pop_w" "$pop_h" >/dev/null
}
wait_for 10 floating_popover_drawn || fail "the popover shows none of our colours"
pointer key Escape
wait_for 10 floating_popover_closed || fail "Escape left the popover open"

click_until_popover middle || fail "no popover after a middle click"
pointer click 300 600
wait_for 10 floating_popover_closed || fail "a click elsewhere left the popover open"

# --- right click: waybar's menu (a popup of the bar, seen only on screen) ------------------------
below_bar() { convert "$1" -crop "1280x500+0+$bar_height" +repage "$2"; }
# The menu: what changed below the bar since $work/before.png, as "w h x y" in $work/menu.
menu_shown() {
  shot "$1" && below_bar "$last_shot" "$work/after.png" || return 1
  convert "$work/before.png" "$work/after.png" -compose difference -composite \
    -colorspace gray -threshold 8% -trim -format '%w %h %X %Y\n' info: >"$work/menu" 2>/dev/null
  local w h
  read -r w h _ _ <"$work/menu"
  [ "$w" -gt 60 ] && [ "$h" -gt 60 ]
}
# Opens the menu with a right click on the entry (screenshots NN-before-menu and
# NN+1-menu) and chooses Quit, its last entry, with a real click.
quit_from_menu() {
  local first=$1 attempt opened=false menu_w menu_h menu_x menu_y
  # The headless output draws the pointer into the picture: it rests on the entry in both.
  pointer move "$click_x" "$click_y"
  shot "$first-before-menu"
  below_bar "$last_shot" "$work/before.png"
  for attempt in 1 2 3; do
    pointer click "$click_x" "$click_y" right
    if wait_for 10 menu_shown "$(printf %02d $((10#$first + 1)))-menu"; then
      opened=true && break
    fi
  done
  $opened || fail "a right click on the entry opened no menu"
  read -r menu_w menu_h menu_x menu_y <"$work/menu"
  menu_y=$((${menu_y#+} + bar_height))
  menu_x=${menu_x#+}
  step "menu ${menu_w}x${menu_h}+${menu_x}+${menu_y}"
  pointer click $((menu_x + menu_w / 2)) $((menu_y + menu_h - 14))
  expect_clean_exit
}
item_gone() { ! watcher_items | grep -q "$item"; }

quit_from_menu 03
wait_for 20 item_gone || fail "the item stayed registered after Quit"
wait_for 20 eval '! entry_on_bar 05-after-quit' || fail "the entry stayed on the bar after Quit"
step "Quit from the menu ended pulsewell (Wayland) with status 0"

# --- the same program through sway's Xwayland (xcb), the bar already there ---------------------
# wlroots opens Xwayland's sockets itself: the display's lock file holds sway's pid.
xwayland_display() {
  local lock
  for lock in /tmp/.X*-lock; do
    [ "$(tr -d ' \n' <"$lock" 2>/dev/null)" = "$sway_group" ] || continue
    lock=${lock#/tmp/.X}
    echo ":${lock%-lock}"
    return 0
  done
  return 1
}
wait_for 60 xwayland_display >"$work/x-display" || fail "sway's Xwayland did not start"
export DISPLAY
DISPLAY=$(cat "$work/x-display")
source "$e2e_lib_dir/x11.sh"
QT_QPA_PLATFORM=xcb start_pulsewell
wait_for 60 our_item_registered || fail "pulsewell (xcb) never registered: $(watcher_items)"
step "pulsewell on Xwayland $DISPLAY registered as $item"
wait_for_rates
wait_for 30 entry_on_bar 06-entry-xcb || fail "our entry never showed on the bar (xcb)"
click_x=$((entry_x + entry_w / 2))
click_y=$((entry_y + entry_h / 2))
opened=false
for attempt in 1 2 3; do
  pointer click "$click_x" "$click_y" left
  if wait_for 8 popover_open; then opened=true && break; fi
done
$opened || fail "no popover (xcb) after a left click on the entry"
wait_for 10 popover_drawn 07-popover-xcb || fail "the popover (xcb) shows none of our colours"
# waybar sends Activate with coordinates inside its own widget, and Xwayland does not see
# the pointer over the bar, so nothing tells the program where the entry is: the popover
# must only be whole on the screen.
read -r _ pop_w pop_h pop_x pop_y <"$work/popover"
step "popover (xcb) ${pop_w}x${pop_h}+${pop_x}+${pop_y}"
[ "$pop_x" -ge 0 ] && [ "$pop_y" -ge 0 ] && [ $((pop_x + pop_w)) -le 1280 ] &&
  [ $((pop_y + pop_h)) -le 800 ] || fail "the popover (xcb) is not whole on the screen"
# A click on a Wayland surface never reaches Xwayland's pointer grab, so a click elsewhere
# cannot close it here; a second click on the entry does.
pointer click "$click_x" "$click_y" left
wait_for 10 popover_closed || fail "a second click on the entry left the popover (xcb) open"
quit_from_menu 08
wait_for 20 item_gone || fail "the item (xcb) stayed registered after Quit"
wait_for 20 eval '! entry_on_bar 10-after-quit-xcb' || fail "the entry (xcb) stayed on the bar after Quit"
echo "PASS [$e2e_host] in $((SECONDS - e2e_started)) s (screenshots in $artifacts)"
