#include "agent/live_interface_source.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

namespace pulsewell {

namespace {

// /proc/net/dev: 8 receive fields, then 8 transmit fields; bytes come first in each.
constexpr std::size_t netDevFields = 16;
constexpr std::size_t receivedBytesField = 0;
constexpr std::size_t sentBytesField = 8;
// IFNAMSIZ less the terminating zero.
constexpr std::size_t maxInterfaceName = 15;
// ifIndex is an InterfaceIndex: 1 to 2^31 - 1.
constexpr std::uint64_t maxInterfaceIndex = std::numeric_limits<std::int32_t>::max();

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

// The kernel's own rule (dev_valid_name). The name becomes a path under /sys, so
// anything else, "/" and ".." above all, is refused.
bool isInterfaceName(std::string_view name) {
  if (name.empty() || name.size() > maxInterfaceName || name == "." || name == "..") {
    return false;
  }
  for (const char c : name) {
    if (c == '/' || c == ':' || isSpace(c) || c == '\0') return false;
  }
  return true;
}

std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
  std::uint64_t value = 0;
  const auto* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || rest != end) return std::nullopt;
  return value;
}

std::optional<LiveInterfaceSource::Counters> parseLine(std::string_view line) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view name = trim(line.substr(0, colon));
  if (!isInterfaceName(name)) return std::nullopt;

  std::vector<std::uint64_t> fields;
  std::string_view rest = line.substr(colon + 1);
  while (true) {
    rest = trim(rest);
    if (rest.empty()) break;
    std::size_t length = 0;
    while (length < rest.size() && !isSpace(rest[length]))
      ++length;
    const auto number = parseUnsigned(rest.substr(0, length));
    if (!number) return std::nullopt;
    fields.push_back(*number);
    rest.remove_prefix(length);
  }
  if (fields.size() < netDevFields) return std::nullopt;
  return LiveInterfaceSource::Counters{std::string(name), fields[receivedBytesField],
                                       fields[sentBytesField]};
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

}  // namespace

LiveInterfaceSource::LiveInterfaceSource(std::filesystem::path root) : root_(std::move(root)) {}

std::vector<LiveInterfaceSource::Counters> LiveInterfaceSource::parseNetDev(std::string_view text) {
  std::vector<Counters> result;
  std::set<std::string, std::less<>> seen;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    auto counters = parseLine(line);
    if (counters && seen.insert(counters->name).second) result.push_back(std::move(*counters));
  }
  return result;
}

std::int64_t LiveInterfaceSource::operStatus(std::string_view name, std::string_view operstate) {
  const std::string_view state = trim(operstate);
  if (state == "up") return IfMib::operStatusUp;
  // The loopback driver has no carrier to report, so the kernel leaves its operstate at
  // "unknown" although it always carries traffic; snmpd reports it up as well.
  if (state == "unknown" && name == "lo") return IfMib::operStatusUp;
  return IfMib::operStatusDown;
}

std::vector<SimulatedInterface> LiveInterfaceSource::interfaces() const {
  const auto netDev = readFile(root_ / "proc/net/dev");
  if (!netDev) throw std::runtime_error("cannot read " + (root_ / "proc/net/dev").string());

  std::vector<SimulatedInterface> result;
  for (const Counters& counters : parseNetDev(*netDev)) {
    const std::filesystem::path device = root_ / "sys/class/net" / counters.name;
    const auto indexText = readFile(device / "ifindex");
    const auto index = indexText ? parseUnsigned(trim(*indexText)) : std::nullopt;
    if (!index || *index == 0 || *index > maxInterfaceIndex) continue;
    const auto state = readFile(device / "operstate");
    result.push_back({.index = static_cast<std::uint32_t>(*index),
                      .name = counters.name,
                      .inOctets = counters.receivedBytes,
                      .outOctets = counters.sentBytes,
                      .operStatus = operStatus(counters.name, state.value_or("")),
                      .hasHighCapacityCounters = true});
  }
  return result;
}

AgentTable LiveInterfaceSource::table() const {
  AgentTable table;
  for (const SimulatedInterface& row : interfaces())
    table.setInterface(row);
  return table;
}

}  // namespace pulsewell
