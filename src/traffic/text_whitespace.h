#pragma once

#include <string>
#include <string_view>

// The whitespace rules for text the user types into settings: Unicode White_Space,
// which takes in line breaks (LF, CR, NEL, LS, PS) as well as the no-break and
// typographic spaces. Text is UTF-8; ill-formed bytes never count as whitespace.
namespace pulsewell::TextWhitespace {

bool isWhitespace(char32_t codePoint);

// `text` without leading and trailing whitespace; the bytes in between are kept as
// they are.
std::string trimmed(std::string_view text);

// True when any code point of `text` is whitespace.
bool containsWhitespace(std::string_view text);

}  // namespace pulsewell::TextWhitespace
