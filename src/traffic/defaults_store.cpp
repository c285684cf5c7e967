#include "traffic/defaults_store.h"

#include <cmath>

namespace pulsewell {

std::optional<std::int64_t> wholeNumber(const DefaultsValue& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return *integer;
  if (const auto* fraction = std::get_if<double>(&value)) {
    // 2^63 is exactly representable; everything in [-2^63, 2^63) fits an int64.
    constexpr double limit = 9223372036854775808.0;
    if (std::isfinite(*fraction) && std::trunc(*fraction) == *fraction && *fraction >= -limit &&
        *fraction < limit) {
      return static_cast<std::int64_t>(*fraction);
    }
  }
  return std::nullopt;
}

std::optional<std::string> DefaultsStore::string(const std::string& key) const {
  const auto value = object(key);
  if (!value) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  return std::nullopt;
}

bool DefaultsStore::boolean(const std::string& key) const {
  const auto value = object(key);
  if (!value) return false;
  if (const auto* flag = std::get_if<bool>(&*value)) return *flag;
  return false;
}

std::int64_t DefaultsStore::integer(const std::string& key) const {
  const auto value = object(key);
  if (!value) return 0;
  return wholeNumber(*value).value_or(0);
}

}  // namespace pulsewell
