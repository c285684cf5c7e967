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


# shellcheck source=scripts/lib/apt-install.sh
source "$(dirname "$0")/lib/apt-install.sh"
install_packages "${packages[@]}"
