#include "traffic/utf8.h"

#include <cstdint>

namespace pulsewell {
namespace {

bool inRange(std::uint8_t byte, std::uint8_t low, std::uint8_t high) {
  return byte >= low && byte <= high;
}

// The allowed range of the second byte after a lead byte; later continuation bytes
// are always 80..BF. The narrowed ranges exclude overlong forms, surrogates and values
// beyond U+10FFFF.
struct LeadRule {
  std::size_t length = 0;
  std::uint8_t secondLow = 0x80;
  std::uint8_t secondHigh = 0xBF;
};

LeadRule ruleFor(std::uint8_t lead) {
  if (lead <= 0x7F) return {1};
  if (inRange(lead, 0xC2, 0xDF)) return {2};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (inRange(lead, 0xE1, 0xEC) || inRange(lead, 0xEE, 0xEF)) return {3};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (inRange(lead, 0xF1, 0xF3)) return {4};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0};  // 80..C1 and F5..FF never start a sequence
}

std::uint32_t leadBits(std::uint8_t lead, std::size_t length) {
  switch (length) {
    case 1:
      return lead;
    case 2:
      return lead & 0x1Fu;
    case 3:
      return lead & 0x0Fu;
    default:
      return lead & 0x07u;
  }
}

void appendEncoded(std::string& out, char32_t codePoint) {
  auto value = static_cast<std::uint32_t>(codePoint);
  if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) value = 0xFFFD;
  const auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (value < 0x80) {
    put(value);
  } else if (value < 0x800) {
    put(0xC0 | (value >> 6));
    put(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    put(0xE0 | (value >> 12));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  } else {
    put(0xF0 | (value >> 18));
    put(0x80 | ((value >> 12) & 0x3F));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  }
}

std::string_view asText(ByteView bytes) {
  // Reading bytes as chars is the defined aliasing direction.
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

UTF8Step decodeUTF8Step(std::string_view text, std::size_t offset) {
  const auto byteAt = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byteAt(offset);
  const LeadRule rule = ruleFor(lead);
  if (rule.length == 0) return {replacementCharacter, 1, false};

  std::uint32_t value = leadBits(lead, rule.length);
  for (std::size_t i = 1; i < rule.length; ++i) {
    const std::size_t at = offset + i;
    const std::uint8_t low = i == 1 ? rule.secondLow : std::uint8_t{0x80};
    const std::uint8_t high = i == 1 ? rule.secondHigh : std::uint8_t{0xBF};
    if (at >= text.size() || !inRange(byteAt(at), low, high)) {
      // The bytes so far are the maximal subpart; the offending byte starts afresh.
      return {replacementCharacter, i, false};
    }
    value = (value << 6) | (byteAt(at) & 0x3Fu);
  }
  return {static_cast<char32_t>(value), rule.length, true};
}

std::u32string decodeUTF8(std::string_view text) {
  std::u32string result;
  result.reserve(text.size());
  for (std::size_t offset = 0; offset < text.size();) {
    const UTF8Step step = decodeUTF8Step(text, offset);
    result.push_back(step.codePoint);
    offset += step.length;
  }
  return result;
}

std::u32string decodeUTF8(ByteView bytes) {
  return decodeUTF8(asText(bytes));
}

bool decodesTo(ByteView bytes, std::u32string_view codePoints) {
  const std::string_view text = asText(bytes);
  std::size_t matched = 0;
  for (std::size_t offset = 0; offset < text.size(); ++matched) {
    const UTF8Step step = decodeUTF8Step(text, offset);
    if (matched == codePoints.size() || codePoints[matched] != step.codePoint) return false;
    offset += step.length;
  }
  return matched == codePoints.size();
}

bool isValidUTF8(std::string_view text) {
  for (std::size_t offset = 0; offset < text.size();) {
    const UTF8Step step = decodeUTF8Step(text, offset);
    if (!step.valid) return false;
    offset += step.length;
  }
  return true;
}

std::string encodeUTF8(std::u32string_view codePoints) {
  std::string result;
  result.reserve(codePoints.size());
  for (const char32_t codePoint : codePoints)
    appendEncoded(result, codePoint);
  return result;
}

std::string textFromUTF8(ByteView bytes) {
  return encodeUTF8(decodeUTF8(bytes));
}

}  // namespace pulsewell
