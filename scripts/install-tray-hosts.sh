#!/usr/bin/env bash
# Installs the real panel hosts the end-to-end tests run headless (trayer, xfce4-panel,
# sway with waybar, GNOME Shell with the AppIndicator extension) and the tools that drive
# and photograph them. Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  # shared: private buses, X11 tools, screenshots and colour search
  dbus dbus-bin dbus-x11 xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
  python3 passwd util-linux
  # plain XEmbed tray
  trayer
  # Xfce
  xfce4-panel xfwm4 xfconf
  # sway + waybar (Wayland); wayvnc lends the headless seat a pointer
  sway waybar grim wayvnc qt6-wayland xwayland fonts-font-awesome
  # GNOME Shell with the AppIndicator extension
  gnome-shell gnome-shell-extension-appindicator gnome-settings-daemon-common
  gsettings-desktop-schemas dconf-service dconf-cli libglib2.0-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# Keep package scripts from starting system services (display managers, daemons): the
# tests start their own, privately.
policy=/usr/sbin/policy-rc.d
added_policy=false
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod +x "$policy"
  added_policy=true
fi
trap '$added_policy && "${sudo_cmd[@]}" rm -f "$policy"' EXIT

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
