#include "menubar/display_settings.h"

#include <utility>

namespace pulsewell {

GraphStyle graphStyleNamed(const std::optional<std::string>& stored) {
  if (stored == "beside") return GraphStyle::beside;
  if (stored == "behind") return GraphStyle::behind;
  return GraphStyle::none;
}

PanelEntryForm panelEntryFormNamed(const std::optional<std::string>& stored) {
  for (const PanelEntryForm form :
       {PanelEntryForm::label, PanelEntryForm::wide, PanelEntryForm::square}) {
    if (stored == panelEntryFormName(form)) return form;
  }
  return PanelEntryForm::automatic;
}

std::string_view panelEntryFormName(PanelEntryForm form) {
  switch (form) {
    case PanelEntryForm::label:
      return "label";
    case PanelEntryForm::wide:
      return "wide";
    case PanelEntryForm::square:
      return "square";
    case PanelEntryForm::automatic:
      break;
  }
  return "automatic";
}

DisplaySettings DisplaySettings::read(const DefaultsStore& defaults, NumberLocale locale) {
  return DisplaySettings{
      .inBits = defaults.boolean(SettingsKey::speedInBits),
      .graphStyle = graphStyleNamed(defaults.string(SettingsKey::menuBarGraph)),
      .downLineSpeed = defaults.integer(SettingsKey::routerLineSpeed),
      .upLineSpeed = defaults.integer(SettingsKey::routerLineSpeedUp),
      .interface = defaults.string(SettingsKey::routerInterface).value_or(""),
      .panelEntry = panelEntryFormNamed(defaults.string(SettingsKey::panelEntry)),
      .locale = std::move(locale),
  };
}

}  // namespace pulsewell
