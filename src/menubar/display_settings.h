#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "menubar/number_locale.h"
#include "menubar/strings.h"
#include "traffic/defaults_store.h"
#include "traffic/settings_table.h"

namespace pulsewell {

// Where the panel's small graph goes. Only the exact stored texts "beside" and "behind" draw
// one; anything else, or nothing stored, draws none.
enum class GraphStyle { none, beside, behind };
GraphStyle graphStyleNamed(const std::optional<std::string>& stored);
// The text the settings form stores for a style; "off" for none.
std::string_view graphStyleName(GraphStyle style);

// What the panel entry shows, chosen by the program from the host it finds; the stored
// setting overrides that choice when the automatic one is wrong.
enum class PanelEntryForm {
  automatic,  // decided by the host
  label,      // the rates as text beside a small icon (GNOME's AppIndicator extension)
  wide,       // the two-line image at its real width (waybar)
  square,     // both rates as numbers in a square (Plasma, Xfce, XEmbed trays)
};
// "label", "wide" and "square" name a form; anything else is automatic.
PanelEntryForm panelEntryFormNamed(const std::optional<std::string>& stored);
std::string_view panelEntryFormName(PanelEntryForm form);
// The form the user chose, automatic when none is stored.
PanelEntryForm storedPanelEntryForm(const DefaultsStore& defaults);

// The display settings every view of the traffic reads, with the locale of the moment.
struct DisplaySettings {
  bool inBits = false;
  GraphStyle graphStyle = GraphStyle::none;
  std::int64_t downLineSpeed = 0;
  std::int64_t upLineSpeed = 0;
  std::string interface;
  PanelEntryForm panelEntry = PanelEntryForm::automatic;
  NumberLocale locale;
  // The display language; the process's own unless a caller names one.
  bool german = Strings::german();

  static DisplaySettings read(const DefaultsStore& defaults, NumberLocale locale);
  bool operator==(const DisplaySettings&) const = default;
};

}  // namespace pulsewell
