#include "menubar/panel_host.h"

namespace pulsewell {

PanelHost PanelHost::byWatcherProcess(std::string_view processName) {
  // Process names are cut to 15 characters by the kernel.
  if (processName == "gnome-shell") return {PanelEntryForm::label, true, true};
  // Ayatana's and Ubuntu's indicator services show labels beside the icon.
  if (processName.starts_with("ayatana-indica") || processName.starts_with("indicator-appl")) {
    return {PanelEntryForm::label, false, false};
  }
  if (processName == "waybar") return {PanelEntryForm::wide, false, true};
  return {PanelEntryForm::square, false, false};
}

PanelHost PanelHost::embedded() {
  return {PanelEntryForm::square, false, false};
}

PanelEntryForm resolvedForm(PanelEntryForm stored, const PanelHost& host) {
  return stored == PanelEntryForm::automatic ? host.form : stored;
}

}  // namespace pulsewell
