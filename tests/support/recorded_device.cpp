#include "tests/support/recorded_device.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace pulsewell::test {
namespace {

constexpr std::string_view sysUpTime = "1.3.6.1.2.1.1.3.0";
constexpr std::string_view ifDescr = "1.3.6.1.2.1.2.2.1.2.";
constexpr std::string_view ifOperStatus = "1.3.6.1.2.1.2.2.1.8.";
constexpr std::string_view ifInOctets = "1.3.6.1.2.1.2.2.1.10.";
constexpr std::string_view ifOutOctets = "1.3.6.1.2.1.2.2.1.16.";
constexpr std::string_view ifName = "1.3.6.1.2.1.31.1.1.1.1.";
constexpr std::string_view ifHCInOctets = "1.3.6.1.2.1.31.1.1.1.6.";
constexpr std::string_view ifHCOutOctets = "1.3.6.1.2.1.31.1.1.1.10.";
constexpr std::string_view counter32Tag = "65";
constexpr double ticksPerSecond = 100;
// Room below a 64-bit counter's start, so that the clock can go back a minute.
constexpr double headroomSeconds = 100;

struct Line {
  std::string oid;
  std::string tag;
  std::string value;
};

std::vector<Line> parse(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto first = line.find('|');
    const auto second = line.find('|', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    lines.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1),
                     line.substr(second + 1)});
  }
  return lines;
}

std::string join(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines)
    text += line.oid + "|" + line.tag + "|" + line.value + "\n";
  return text;
}

// The row index of `oid` when it is an instance of `column`, else 0.
std::uint32_t rowOf(const std::string& oid, std::string_view column) {
  if (!oid.starts_with(column)) return 0;
  const std::string rest = oid.substr(column.size());
  if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<std::uint32_t>(std::stoul(rest));
}

std::string octets(const Line& line) {
  if (line.tag != "4x") return line.value;
  std::string bytes;
  for (std::size_t i = 0; i + 1 < line.value.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(line.value.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::string withoutTrailingNuls(std::string name) {
  while (!name.empty() && name.back() == '\0')
    name.pop_back();
  return name;
}

std::string numeric(double initial, double rate, bool wraps) {
  std::ostringstream out;
  out.precision(17);
  out << "initial=" << initial << ",rate=" << rate << (wraps ? ",wrap=1" : "");
  return out.str();
}

// Makes `line`, an octet counter of the watched row, count at `rate`.
void grow(Line& line, double rate, bool received) {
  const bool narrow = line.tag == counter32Tag;
  const double start = narrow ? (received ? 4294967296.0 - rate : 2147483648.0)
                              : std::stod(line.value) + headroomSeconds * rate;
  line.value = numeric(start, rate, narrow);
  line.tag += ":numeric";
}

}  // namespace

const std::vector<RecordedDevice>& recordedDevices() {
  static const std::vector<RecordedDevice> devices = {
      // No ifXTable: ifDescr names, 32-bit counters.
      {"UbiquitiAirOS", "ubnt-airos-m5", 6, "eth0.40", CounterWidth::bits32},
      {"WindowsXP", "windows-xp", 65539, "Intel(R) PRO/Wireless 2200BG Network Connection",
       CounterWidth::bits32},
      // No ifXTable, the ifTable's counters typed Counter64.
      {"Topsec", "topsec-ngfw", 33554442, "feth10", CounterWidth::bits64},
      {"Clavister", "clavister", 6, "Cer", CounterWidth::bits32},
      {"CiscoPartial", "cisco-cat-partial", 3, "Fa0/3", CounterWidth::bits32},
      {"VenusHighCapacityTypedCounter32", "venus-vsos", 2, "eth0", CounterWidth::bits32},
      {"H3C1317Ports", "h3c-1317-ports", 3, "Ten-GigabitEthernet1/0/1", CounterWidth::bits64},
      {"JuniperMX960", "juniper-mx960", 857, "xe-3/0/0", CounterWidth::bits64},
      {"Vyatta", "vyatta", 5, "eth2", CounterWidth::bits64},
      {"LinuxAppliance", "linux-dcbc600", 6, "WAN2", CounterWidth::bits64},
      {"LinuxNetSnmp", "linux-netsnmp", 2, "eth0", CounterWidth::bits64},
  };
  return devices;
}

std::string recording(const std::string& name) {
  const std::string path =
      std::string(PULSEWELL_SOURCE_DIR) + "/tests/traffic/devices/" + name + ".snmprec";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string withTraffic(const std::string& text, std::uint32_t index, RecordingChange change) {
  auto lines = parse(text);
  std::string name;
  std::uint32_t stale = 0;
  for (const Line& line : lines) {
    if (rowOf(line.oid, ifName) == index || (name.empty() && rowOf(line.oid, ifDescr) == index)) {
      name = withoutTrailingNuls(octets(line));
    }
    const std::uint32_t row = rowOf(line.oid, ifOperStatus);
    if (row != 0 && row != index && (stale == 0 || row < stale)) stale = row;
  }
  for (Line& line : lines) {
    if (line.oid == sysUpTime) {
      line.value = numeric(std::stod(line.value), ticksPerSecond, false);
      line.tag += ":numeric";
    } else if (rowOf(line.oid, ifHCInOctets) == index || rowOf(line.oid, ifHCOutOctets) == index) {
      if (change == RecordingChange::highCapacityStandingAtZero) {
        line.value = "0";
      } else {
        grow(line, rowOf(line.oid, ifHCInOctets) == index ? recordedDownRate : recordedUpRate,
             rowOf(line.oid, ifHCInOctets) == index);
      }
    } else if (rowOf(line.oid, ifInOctets) == index) {
      grow(line, recordedDownRate, true);
    } else if (rowOf(line.oid, ifOutOctets) == index) {
      grow(line, recordedUpRate, false);
    } else if (change == RecordingChange::staleNamesakeFirst && stale != 0) {
      if (rowOf(line.oid, ifName) == stale || rowOf(line.oid, ifDescr) == stale) {
        line.tag = "4";
        line.value = name;
      } else if (rowOf(line.oid, ifOperStatus) == stale) {
        line.value = "2";
      }
    }
  }
  return join(lines);
}

std::vector<std::pair<std::uint32_t, std::string>> namedRows(const std::string& text) {
  std::map<std::uint32_t, std::pair<std::string, std::string>> names;  // ifName, ifDescr
  for (const Line& line : parse(text)) {
    if (const auto row = rowOf(line.oid, ifName)) names[row].first = octets(line);
    if (const auto row = rowOf(line.oid, ifDescr)) names[row].second = octets(line);
  }
  std::vector<std::pair<std::uint32_t, std::string>> rows;
  for (const auto& [index, columns] : names) {
    std::string name = withoutTrailingNuls(columns.first);
    if (name.empty()) name = withoutTrailingNuls(columns.second);
    if (!name.empty()) rows.emplace_back(index, name);
  }
  return rows;
}

}  // namespace pulsewell::test
