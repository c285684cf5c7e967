#pragma once

#include <optional>
#include <string>

namespace pulsewell {

// What the number formatting needs of a locale: only its decimal separator, handed in as a
// plain value so the formatting never depends on the process's global locale.
struct NumberLocale {
  std::string decimalSeparator = ".";

  // The user's numeric locale (LC_ALL, LC_NUMERIC, LANG), read without changing the
  // process's locale; "." when that locale is unknown or not installed.
  static NumberLocale fromEnvironment();
  // The numeric conventions of one named locale ("" means the environment's), or none when
  // the C library does not know it.
  static std::optional<NumberLocale> named(const std::string& localeName);

  bool operator==(const NumberLocale&) const = default;
};

}  // namespace pulsewell
