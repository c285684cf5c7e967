#include "traffic/text_whitespace.h"

#include <cstddef>

#include "traffic/utf8.h"

namespace pulsewell::TextWhitespace {

bool isWhitespace(char32_t codePoint) {
  switch (codePoint) {
    case U'\u0009':  // tab
    case U'\u000A':  // line feed
    case U'\u000B':  // line tabulation
    case U'\u000C':  // form feed
    case U'\u000D':  // carriage return
    case U'\u0020':  // space
    case U'\u0085':  // next line
    case U'\u00A0':  // no-break space
    case U'\u1680':  // ogham space mark
    case U'\u2028':  // line separator
    case U'\u2029':  // paragraph separator
    case U'\u202F':  // narrow no-break space
    case U'\u205F':  // medium mathematical space
    case U'\u3000':  // ideographic space
      return true;
    default:
      return codePoint >= U'\u2000' && codePoint <= U'\u200A';  // en quad .. hair space
  }
}

std::string trimmed(std::string_view text) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t offset = 0; offset < text.size();) {
    const UTF8Step step = decodeUTF8Step(text, offset);
    if (!step.valid || !isWhitespace(step.codePoint)) {
      if (begin == text.size()) begin = offset;
      end = offset + step.length;
    }
    offset += step.length;
  }
  if (begin >= end) return {};
  return std::string(text.substr(begin, end - begin));
}

bool containsWhitespace(std::string_view text) {
  for (std::size_t offset = 0; offset < text.size();) {
    const UTF8Step step = decodeUTF8Step(text, offset);
    if (step.valid && isWhitespace(step.codePoint)) return true;
    offset += step.length;
  }
  return false;
}

}  // namespace pulsewell::TextWhitespace
