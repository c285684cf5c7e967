#include "app/terminal/terminal_config.h"

#include "app/file_problem_text.h"
#include "menubar/strings.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/port_text.h"
#include "traffic/router_traffic_config.h"
#include "traffic/settings_table.h"

namespace pulsewell {
namespace {

constexpr const char* connectionKeys[] = {
    SettingsKey::routerHost,           SettingsKey::routerPort,      SettingsKey::routerInterface,
    SettingsKey::routerSwapDirections, SettingsKey::routerLineSpeed, SettingsKey::routerLineSpeedUp,
    SettingsKey::speedInBits,
};

std::string describe(RouterConfigProblem problem) {
  switch (problem) {
    case RouterConfigProblem::noHost:
      return Strings::text("No device address: pass --host or save one in the settings window.",
                           "Keine Geräteadresse: --host angeben oder im Einstellungsfenster "
                           "speichern.");
    case RouterConfigProblem::hostHasWhitespace:
      return Strings::text("The device address must not contain spaces.",
                           "Die Geräteadresse darf keine Leerzeichen enthalten.");
    case RouterConfigProblem::noCommunity:
      return Strings::text(
          "No community: save one in the settings window or set PULSEWELL_COMMUNITY.",
          "Keine Community: im Einstellungsfenster speichern oder PULSEWELL_COMMUNITY setzen.");
    case RouterConfigProblem::portOutOfRange:
      return Strings::text("The port must be a whole number from 1 to 65535.",
                           "Der Port muss eine ganze Zahl von 1 bis 65535 sein.");
  }
  return {};
}

std::string unreadableSettings(const FileProblem& problem) {
  return Strings::text("The stored settings cannot be read: ",
                       "Die gespeicherten Einstellungen können nicht gelesen werden: ") +
         fileProblemText(problem, Strings::german()) + ".";
}

}  // namespace

std::variant<TerminalSettings, TerminalConfigProblem> terminalSettings(
    const TerminalOptions& options, const DefaultsStore& stored,
    const std::optional<std::string>& community, bool needInterface,
    const std::optional<FileProblem>& unreadable) {
  // Lay the overrides over a copy, so the user's stored settings stay untouched and the
  // configuration is checked by exactly the rules the panel uses.
  MemoryDefaultsStore effective;
  for (const char* key : connectionKeys) {
    if (auto value = stored.object(key)) effective.set(key, std::move(*value));
  }
  if (options.host) effective.set(SettingsKey::routerHost, *options.host);
  // A typed port follows the settings form's rule: text that is no number counts as 0.
  if (options.port) effective.set(SettingsKey::routerPort, portNumber(*options.port));
  if (options.interface) effective.set(SettingsKey::routerInterface, *options.interface);
  if (options.swap) effective.set(SettingsKey::routerSwapDirections, true);

  auto checked = RouterTrafficConfig::check(effective, community);
  // What the stored settings would have given is missing because they could not be read.
  const auto* problem = std::get_if<RouterConfigProblem>(&checked);
  if (unreadable && problem != nullptr && *problem == RouterConfigProblem::noHost) {
    return TerminalConfigProblem{unreadableSettings(*unreadable)};
  }
  if (problem != nullptr) return TerminalConfigProblem{describe(*problem)};
  auto& config = std::get<RouterTrafficConfig>(checked);
  if (needInterface && config.interface.empty()) {
    if (unreadable) return TerminalConfigProblem{unreadableSettings(*unreadable)};
    return TerminalConfigProblem{Strings::text(
        "No interface chosen: pass --interface NAME ('pulsewell interfaces' lists them) or "
        "pick one in the settings window.",
        "Keine Schnittstelle gewählt: --interface NAME angeben ('pulsewell interfaces' listet "
        "sie auf) oder im Einstellungsfenster wählen.")};
  }
  return TerminalSettings{
      .config = std::move(config),
      .inBits = options.bits || settingFlag(effective, Setting::speedInBits),
      .downLineSpeed = settingNumber(effective, Setting::routerLineSpeed),
      .upLineSpeed = settingNumber(effective, Setting::routerLineSpeedUp),
  };
}

}  // namespace pulsewell
