#pragma once

#include <cstdio>
#include <ostream>
#include <string_view>

namespace pulsewell::test {

// `text` in double quotes with every byte outside printable ASCII written as \xNN, so that
// test names and failure messages show blanks, control characters and UTF-8 unambiguously.
inline void printQuoted(std::string_view text, std::ostream* out) {
  *out << '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
      *out << escaped;
    } else {
      *out << c;
    }
  }
  *out << '"';
}

}  // namespace pulsewell::test
