#include "traffic/terminal_safe_text.h"

namespace pulsewell {

std::string terminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls are U+0080..U+009F, encoded C2 80..C2 9F.
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1) {
      out += "\uFFFD";
      if (c1) ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace pulsewell
