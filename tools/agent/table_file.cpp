#include "agent/table_file.h"

#include <charconv>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <system_error>

#include "agent/agent_value.h"

namespace pulsewell::TableFile {

namespace {

constexpr std::string_view typeList =
    "string, integer, counter32, gauge32, counter64, timeticks, oid, null";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// The first blank-separated word of `text`, removed from it.
std::string_view takeWord(std::string_view& text) {
  text = trim(text);
  std::size_t length = 0;
  while (length < text.size() && !isBlank(text[length]))
    ++length;
  const std::string_view word = text.substr(0, length);
  text.remove_prefix(length);
  text = trim(text);
  return word;
}

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || rest != end) return std::nullopt;
  return value;
}

std::string display(const OID& oid) {
  std::string text;
  for (const std::uint32_t arc : oid) {
    if (!text.empty()) text += '.';
    text += std::to_string(arc);
  }
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a quoted string (starting at its opening quote), or the reason it is not one.
std::optional<Bytes> unquote(std::string_view text, std::string& problem) {
  Bytes bytes;
  std::size_t i = 1;
  while (i < text.size() && text[i] != '"') {
    const char c = text[i];
    if (c != '\\') {
      bytes.push_back(static_cast<std::uint8_t>(c));
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) break;
    const char escape = text[i + 1];
    if (escape == '"' || escape == '\\') {
      bytes.push_back(static_cast<std::uint8_t>(escape));
    } else if (escape == 'n') {
      bytes.push_back('\n');
    } else if (escape == 't') {
      bytes.push_back('\t');
    } else if (escape == 'x' && i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 &&
               hexDigit(text[i + 3]) >= 0) {
      bytes.push_back(
          static_cast<std::uint8_t>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3])));
      i += 2;
    } else {
      problem = "unknown escape in the string (use \\\" \\\\ \\n \\t or \\xHH)";
      return std::nullopt;
    }
    i += 2;
  }
  if (i >= text.size()) {
    problem = "the string has no closing quote";
    return std::nullopt;
  }
  if (!trim(text.substr(i + 1)).empty()) {
    problem = "unexpected text after the closing quote";
    return std::nullopt;
  }
  return bytes;
}

// The value of `type` written as `text`, or the reason it is not one.
std::optional<AgentValue> parseValue(const std::string& type, std::string_view text,
                                     std::string& problem) {
  const auto refuse = [&](std::string_view range) -> std::optional<AgentValue> {
    problem =
        "'" + std::string(text) + "' is not a valid " + type + " (" + std::string(range) + ")";
    return std::nullopt;
  };
  if (type == "null") {
    if (!text.empty()) {
      problem = "null takes no value";
      return std::nullopt;
    }
    return AgentValue::null();
  }
  if (text.empty()) {
    problem = "missing value for " + type + (type == "string" ? " (write \"\" for none)" : "");
    return std::nullopt;
  }
  if (type == "string") {
    if (text.front() != '"') return AgentValue::octetString(text);
    auto bytes = unquote(text, problem);
    if (!bytes) return std::nullopt;
    return AgentValue::octetString(std::move(*bytes));
  }
  if (type == "integer") {
    const auto number = parseNumber<std::int64_t>(text);
    if (!number) return refuse("a whole number of 64 bits");
    return AgentValue::integer(*number);
  }
  if (type == "counter32" || type == "gauge32" || type == "timeticks") {
    const auto number = parseNumber<std::uint32_t>(text);
    if (!number) return refuse("0 to 4294967295");
    if (type == "counter32") return AgentValue::counter32(*number);
    if (type == "gauge32") return AgentValue::gauge32(*number);
    return AgentValue::timeTicks(*number);
  }
  if (type == "counter64") {
    const auto number = parseNumber<std::uint64_t>(text);
    if (!number) return refuse("0 to 18446744073709551615");
    return AgentValue::counter64(*number);
  }
  if (type == "oid") {
    auto oid = parseOID(text);
    if (!oid) return refuse("dotted arcs such as 1.3.6.1");
    return AgentValue::objectIdentifier(std::move(*oid));
  }
  problem = "unknown type '" + type + "' (one of " + std::string(typeList) + ")";
  return std::nullopt;
}

}  // namespace

std::string Error::text() const {
  return line == 0 ? message : "line " + std::to_string(line) + ": " + message;
}

std::optional<OID> parseOID(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  OID oid;
  while (true) {
    const auto dot = text.find('.');
    const auto arc = parseNumber<std::uint32_t>(text.substr(0, dot));
    if (!arc) return std::nullopt;
    oid.push_back(*arc);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  if (!AgentValue::isEncodableOID(oid)) return std::nullopt;
  return oid;
}

Parsed parse(std::string_view text) {
  Parsed parsed;
  std::map<OID, std::size_t> firstLine;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;

    const auto fail = [&](std::string message) {
      parsed.errors.push_back({number, std::move(message)});
    };
    const std::string_view oidText = takeWord(line);
    auto oid = parseOID(oidText);
    if (!oid) {
      fail("'" + std::string(oidText) +
           "' is not an OID (dotted arcs such as 1.3.6.1.2.1.31.1.1.1.1.1, first arc 0 to 2)");
      continue;
    }
    const std::string_view typeText = takeWord(line);
    if (typeText.empty()) {
      fail("missing type after the OID (one of " + std::string(typeList) + ")");
      continue;
    }
    std::string problem;
    auto value = parseValue(lower(typeText), line, problem);
    if (!value) {
      fail(problem);
      continue;
    }
    const auto [earlier, added] = firstLine.emplace(*oid, number);
    if (!added) {
      fail(display(*oid) + " is already set on line " + std::to_string(earlier->second));
      continue;
    }
    parsed.table.set(std::move(*oid), std::move(*value));
  }
  return parsed;
}

Parsed load(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    Parsed parsed;
    parsed.errors.push_back({0, path.string() + " is a directory, not a table file"});
    return parsed;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    Parsed parsed;
    parsed.errors.push_back({0, "cannot read " + path.string()});
    return parsed;
  }
  return parse(text.str());
}

}  // namespace pulsewell::TableFile
