#include "menubar/number_locale.h"

#include <langinfo.h>
#include <locale.h>

namespace pulsewell {

std::optional<NumberLocale> NumberLocale::named(const std::string& localeName) {
  // A locale object of our own: thread-safe, and the global locale stays as it is.
  locale_t locale = newlocale(LC_NUMERIC_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return std::nullopt;
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  NumberLocale result;
  if (radix != nullptr && *radix != '\0') result.decimalSeparator = radix;
  freelocale(locale);
  return result;
}

NumberLocale NumberLocale::fromEnvironment() {
  return named("").value_or(NumberLocale{});
}

}  // namespace pulsewell
