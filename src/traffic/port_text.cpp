#include "traffic/port_text.h"

#include <charconv>
#include <system_error>

namespace pulsewell {

std::int64_t portNumber(std::string_view text) {
  const bool hasSign = !text.empty() && (text.front() == '+' || text.front() == '-');
  const std::string_view digits = hasSign ? text.substr(1) : text;
  if (digits.empty()) return 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
  }
  // from_chars takes a minus sign but no plus sign.
  const std::string_view number = text.front() == '-' ? text : digits;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return 0;
  return value;
}

}  // namespace pulsewell
