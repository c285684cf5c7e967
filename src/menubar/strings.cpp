#include "menubar/strings.h"

#include <cstdlib>

namespace pulsewell::Strings {

namespace {

bool isSet(const char* value) {
  return value != nullptr && *value != '\0';
}

// "C", "POSIX" and their codeset or modifier forms ("C.UTF-8") name the untranslated locale.
bool isCLocale(std::string_view name) {
  const auto end = name.find_first_of(".@");
  const auto base = name.substr(0, end);
  return base == "C" || base == "POSIX";
}

std::vector<std::string> splitColonList(std::string_view list) {
  std::vector<std::string> entries;
  while (!list.empty()) {
    const auto colon = list.find(':');
    const auto entry = list.substr(0, colon);
    if (!entry.empty()) entries.emplace_back(entry);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return entries;
}

const char* processEnvironment(const char* name) {
  // Read once, under the static initialiser of german(); the program never sets variables.
  return std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace

bool prefersGerman(const std::vector<std::string>& preferredLanguages) {
  return !preferredLanguages.empty() && preferredLanguages.front().starts_with("de");
}

std::vector<std::string> preferredLanguagesFromEnvironment(const EnvironmentLookup& lookup) {
  const char* messageLocale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = lookup(name);
    if (isSet(value)) {
      messageLocale = value;
      break;
    }
  }
  // Without a locale, or in the C locale, the C library shows untranslated texts and
  // ignores LANGUAGE; so do we.
  if (messageLocale == nullptr || isCLocale(messageLocale)) return {};

  const char* language = lookup("LANGUAGE");
  if (isSet(language)) {
    auto entries = splitColonList(language);
    if (!entries.empty()) return entries;
  }
  return {std::string(messageLocale)};
}

bool german() {
  static const bool value = prefersGerman(preferredLanguagesFromEnvironment(processEnvironment));
  return value;
}

std::string text(std::string_view english, std::string_view germanText) {
  return std::string(german() ? germanText : english);
}

std::string_view about(bool inGerman) {
  return inGerman ? "Über Pulsewell" : "About Pulsewell";
}

std::string_view settings(bool inGerman) {
  return inGerman ? "Einstellungen …" : "Settings …";
}

std::string_view quit(bool inGerman) {
  return inGerman ? "Beenden" : "Quit";
}

std::string_view openPrivacy(bool inGerman) {
  return inGerman ? "Systemeinstellungen öffnen …" : "Open System Settings …";
}

std::string_view status(RouterTrafficStatus value, bool inGerman) {
  switch (value) {
    case RouterTrafficStatus::notConfigured:
      return inGerman ? "Noch nicht eingerichtet" : "Not set up yet";
    case RouterTrafficStatus::connecting:
      return inGerman ? "Verbinde …" : "Connecting …";
    case RouterTrafficStatus::up:
      return inGerman ? "Verbunden" : "Connected";
    case RouterTrafficStatus::down:
      return inGerman ? "Schnittstelle ist getrennt" : "Interface is down";
    case RouterTrafficStatus::noReply:
      return inGerman ? "Keine Antwort (Adresse, Port, Community?)"
                      : "No reply (address, port, community?)";
    case RouterTrafficStatus::unreachable:
      return inGerman ? "Gerät nicht erreichbar" : "Device unreachable";
    case RouterTrafficStatus::denied:
      return inGerman ? "Zugriff aufs lokale Netz verweigert" : "Local network access denied";
    case RouterTrafficStatus::invalidReply:
      break;
    case RouterTrafficStatus::interfaceNotFound:
      return inGerman ? "Schnittstelle nicht gefunden" : "Interface not found";
    case RouterTrafficStatus::noCounters:
      return inGerman ? "Keine Bytezähler" : "No byte counters";
  }
  // invalidReply, and any value outside the enumeration: never an empty line.
  return inGerman ? "Unerwartete Antwort" : "Unexpected reply";
}

std::string_view counters(CounterWidth width, bool inGerman) {
  switch (width) {
    case CounterWidth::bits64:
      return inGerman ? "64-Bit-Zähler" : "64-bit counters";
    case CounterWidth::bits32:
      return inGerman ? "32-Bit-Zähler" : "32-bit counters";
    case CounterWidth::none:
      break;
  }
  return inGerman ? "keine Zähler" : "no counters";
}

const std::string& about() {
  static const std::string value(about(german()));
  return value;
}

const std::string& settings() {
  static const std::string value(settings(german()));
  return value;
}

const std::string& quit() {
  static const std::string value(quit(german()));
  return value;
}

const std::string& openPrivacy() {
  static const std::string value(openPrivacy(german()));
  return value;
}

std::string status(RouterTrafficStatus value) {
  return std::string(status(value, german()));
}

std::string counters(CounterWidth width) {
  return std::string(counters(width, german()));
}

}  // namespace pulsewell::Strings
