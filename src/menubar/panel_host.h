#pragma once

#include <string_view>

#include "menubar/display_settings.h"

namespace pulsewell {

// What the panel that hosts the entry can show, told by the name of the process that runs
// its StatusNotifierWatcher (as /proc/<pid>/comm gives it).
struct PanelHost {
  // The best form this host shows; square for hosts we do not know, which every host can.
  PanelEntryForm form = PanelEntryForm::square;
  // The host opens the menu on a left click instead of activating the entry (GNOME's
  // AppIndicator extension), so the menu must offer the popover itself.
  bool menuOnLeftClick = false;
  // The host's bar is dark whatever the desktop's palette says (GNOME's top bar, waybar's
  // default style); unknown hosts follow the palette.
  bool darkBar = false;

  static PanelHost byWatcherProcess(std::string_view processName);
  // Where no watcher runs: a plain XEmbed tray, which gives each icon a small square.
  static PanelHost embedded();
};

// The form to draw: the stored choice when there is one, else the host's.
PanelEntryForm resolvedForm(PanelEntryForm stored, const PanelHost& host);

}  // namespace pulsewell
