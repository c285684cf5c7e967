#include "traffic/display_safe_text.h"

#include "traffic/utf8.h"

namespace pulsewell {
namespace {

bool steersTheDisplay(char32_t c) {
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  const bool separator = c == 0x2028 || c == 0x2029;
  const bool direction = c == 0x061C || c == 0x200E || c == 0x200F ||
                         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
  return control || separator || direction;
}

}  // namespace

std::string displaySafe(std::string_view text) {
  std::u32string codePoints = decodeUTF8(text);
  for (char32_t& c : codePoints) {
    if (steersTheDisplay(c)) c = replacementCharacter;
  }
  return encodeUTF8(codePoints);
}

}  // namespace pulsewell
