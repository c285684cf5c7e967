#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "snmp/snmp_value.h"

namespace pulsewell {

inline constexpr char32_t replacementCharacter = U'\uFFFD';

// One step of UTF-8 decoding: the code point at a position and how many bytes it took.
// An ill-formed sequence yields U+FFFD for its maximal subpart (the longest prefix that
// could start a well-formed sequence, at least one byte), as Unicode recommends, so that
// decoding always moves on and never swallows a following valid character.
struct UTF8Step {
  char32_t codePoint = 0;
  std::size_t length = 0;
  bool valid = false;
};

// Decodes the code point starting at `offset`; `offset` must be below `text.size()`.
UTF8Step decodeUTF8Step(std::string_view text, std::size_t offset);

// The code points of `text`, each ill-formed sequence replaced by U+FFFD.
std::u32string decodeUTF8(std::string_view text);
std::u32string decodeUTF8(ByteView bytes);
// Whether `bytes` decode as above to exactly `codePoints`, without building the decoded text.
bool decodesTo(ByteView bytes, std::u32string_view codePoints);

// True when `text` is well-formed UTF-8 throughout.
bool isValidUTF8(std::string_view text);

// The UTF-8 form of `codePoints`; surrogates and values above U+10FFFF become U+FFFD.
std::string encodeUTF8(std::u32string_view codePoints);

// Well-formed UTF-8 text from raw bytes, each ill-formed sequence replaced by U+FFFD.
std::string textFromUTF8(ByteView bytes);

}  // namespace pulsewell
