#include "menubar/display_settings.h"

#include <utility>

namespace pulsewell {

GraphStyle graphStyleNamed(const std::optional<std::string>& stored) {
  if (stored == "beside") return GraphStyle::beside;
  if (stored == "behind") return GraphStyle::behind;
  return GraphStyle::none;
}

std::string_view graphStyleName(GraphStyle style) {
  switch (style) {
    case GraphStyle::beside:
      return "beside";
    case GraphStyle::behind:
      return "behind";
    case GraphStyle::none:
      break;
  }
  return "off";
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

PanelEntryForm storedPanelEntryForm(const DefaultsStore& defaults) {
  return panelEntryFormNamed(storedText(defaults, Setting::panelEntry));
}

DisplaySettings DisplaySettings::read(const DefaultsStore& defaults, NumberLocale locale) {
  return DisplaySettings{
      .inBits = settingFlag(defaults, Setting::speedInBits),
      // Nothing stored and nothing registered draws no graph.
      .graphStyle = graphStyleNamed(storedText(defaults, Setting::menuBarGraph)),
      .downLineSpeed = settingNumber(defaults, Setting::routerLineSpeed),
      .upLineSpeed = settingNumber(defaults, Setting::routerLineSpeedUp),
      .interface = settingText(defaults, Setting::routerInterface),
      .panelEntry = storedPanelEntryForm(defaults),
      .locale = std::move(locale),
  };
}

}  // namespace pulsewell
