#include "app/terminal/watch_view.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "menubar/router_menu_bar_graph_layout.h"
#include "menubar/strings.h"
#include "traffic/display_safe_text.h"
#include "traffic/utf8.h"

namespace pulsewell {
namespace {

// Eight heights; a zero sample is a blank so that silence reads as silence.
constexpr std::array<std::string_view, 8> blocks{"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

std::string_view statusName(RouterTrafficStatus status) {
  switch (status) {
    case RouterTrafficStatus::notConfigured:
      return "notConfigured";
    case RouterTrafficStatus::connecting:
      return "connecting";
    case RouterTrafficStatus::up:
      return "up";
    case RouterTrafficStatus::down:
      return "down";
    case RouterTrafficStatus::noReply:
      return "noReply";
    case RouterTrafficStatus::unreachable:
      return "unreachable";
    case RouterTrafficStatus::denied:
      return "denied";
    case RouterTrafficStatus::invalidReply:
      return "invalidReply";
    case RouterTrafficStatus::interfaceNotFound:
      return "interfaceNotFound";
    case RouterTrafficStatus::noCounters:
      return "noCounters";
  }
  return "invalidReply";
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", byte);
      out += escaped.data();
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string_view jsonCounterBits(std::optional<CounterWidth> counters) {
  if (counters == CounterWidth::bits64) return "64";
  if (counters == CounterWidth::bits32) return "32";
  return "null";
}

std::string jsonRate(std::optional<double> rate) {
  if (!rate || !std::isfinite(*rate)) return "null";
  // Shortest exact form, independent of the process's locale.
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), *rate);
  return {text.data(), result.ptr};
}

}  // namespace

std::vector<std::string> interfaceLines(const std::vector<SNMPInterface>& interfaces,
                                        const std::string& chosen, bool german) {
  std::vector<std::string> names;
  std::size_t widest = 0;
  for (const auto& interface : interfaces) {
    names.push_back(displaySafe(interface.name));
    widest = std::max(widest, decodeUTF8(names.back()).size());
  }
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    const auto& interface = interfaces[i];
    std::string line = interface.isUp ? "● " : "○ ";
    line += names[i];
    line.append(widest - decodeUTF8(names[i]).size() + 2, ' ');
    line += Strings::counters(interface.counters, german);
    if (!chosen.empty() && interface.name == chosen) line += "  ✓";
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string watchLine(const TrafficPresentation& shown) {
  return shown.statusText + "  ↑ " + shown.upText + "  ↓ " + shown.downText + "  " +
         shown.totalsText;
}

std::string watchLineWithHistory(const TrafficPresentation& shown, std::size_t historyWidth) {
  return watchLine(shown) + "  ↑" + sparkline(shown.upHistory, shown.peaks.upPeak, historyWidth) +
         " ↓" + sparkline(shown.downHistory, shown.peaks.downPeak, historyWidth);
}

std::string sparkline(const std::vector<double>& values, double peak, std::size_t width) {
  std::string out;
  const std::size_t shown = std::min(values.size(), width);
  out.append(width - shown, ' ');
  for (std::size_t i = values.size() - shown; i < values.size(); ++i) {
    const double fill = RouterMenuBarGraphLayout::fillFraction(values[i], peak);
    if (fill <= 0) {
      out += ' ';
      continue;
    }
    const auto level = static_cast<std::size_t>(std::lround(fill * (blocks.size() - 1)));
    out += blocks[std::min(level, blocks.size() - 1)];
  }
  return out;
}

std::string watchJson(const TrafficPresentation& shown) {
  return "{\"status\":" + jsonString(statusName(shown.status)) +
         ",\"statusText\":" + jsonString(shown.statusText) +
         ",\"downBytesPerSec\":" + jsonRate(shown.downRate) +
         ",\"upBytesPerSec\":" + jsonRate(shown.upRate) +
         ",\"totalDown\":" + std::to_string(shown.totals.down) +
         ",\"totalUp\":" + std::to_string(shown.totals.up) +
         ",\"counterBits\":" + std::string(jsonCounterBits(shown.counters)) + "}";
}

}  // namespace pulsewell
