#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "traffic/router_traffic_status.h"
#include "traffic/snmp_traffic_reading.h"

// The display language and the texts that more than one view needs. English or German,
// decided once per process; there is no third language.
namespace pulsewell::Strings {

// A getenv-like lookup: the variable's value, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// German exactly when the first entry begins with "de" (case-sensitive); empty means English.
bool prefersGerman(const std::vector<std::string>& preferredLanguages);

// The user's preferred languages, most preferred first, in the order the C library's
// message catalogues use: the colon list of LANGUAGE when it is set, non-empty and the
// message locale is not C/POSIX; otherwise the message locale itself, the first non-empty
// of LC_ALL, LC_MESSAGES, LANG. A C or POSIX locale (or none at all) gives an empty list.
std::vector<std::string> preferredLanguagesFromEnvironment(const EnvironmentLookup& lookup);

// The display language, read from the process environment at first use and then kept for
// the life of the process.
bool german();

// The shared texts in the display language, each computed once.
const std::string& about();
const std::string& settings();
const std::string& quit();
const std::string& openPrivacy();
// The one-line description of a connection status, never empty.
std::string status(RouterTrafficStatus value);
// What an interface is measured with, "64-bit counters", as the interface lists show it.
std::string counters(CounterWidth width);

// The wording of the display language, for texts that only one view shows.
std::string text(std::string_view english, std::string_view germanText);

// The same texts in a language the caller names.
std::string_view about(bool inGerman);
std::string_view settings(bool inGerman);
std::string_view quit(bool inGerman);
std::string_view openPrivacy(bool inGerman);
std::string_view status(RouterTrafficStatus value, bool inGerman);
std::string_view counters(CounterWidth width, bool inGerman);

}  // namespace pulsewell::Strings
