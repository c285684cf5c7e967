#include "app/terminal/watch_view.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "menubar/router_menu_bar_graph_layout.h"
#include "menubar/strings.h"

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

// The reading shown, as in the panel: only while the interface is up.
const SNMPTrafficReading* shownReading(const WatchSnapshot& snapshot) {
  if (snapshot.status != RouterTrafficStatus::up || !snapshot.reading) return nullptr;
  return &*snapshot.reading;
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

std::string jsonRate(std::optional<double> rate) {
  if (!rate || !std::isfinite(*rate)) return "null";
  // Shortest exact form, independent of the process's locale.
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), *rate);
  return {text.data(), result.ptr};
}

}  // namespace

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

WatchSnapshot WatchSnapshot::of(const SNMPTrafficService& service) {
  return {service.status(), service.reading(), service.downHistory(), service.upHistory(),
          service.totals()};
}

std::string watchLine(const WatchSnapshot& snapshot, const WatchStyle& style) {
  const auto* reading = shownReading(snapshot);
  const auto down = reading ? reading->downBytesPerSec : std::nullopt;
  const auto up = reading ? reading->upBytesPerSec : std::nullopt;
  return Strings::status(snapshot.status) + "  ↑ " + Format::rate(up, style.inBits, style.locale) +
         "  ↓ " + Format::rate(down, style.inBits, style.locale) + "  " +
         Strings::text("Total", "Summe") + ": ↓ " +
         Format::amount(snapshot.totals.down, style.locale) + "  ↑ " +
         Format::amount(snapshot.totals.up, style.locale);
}

std::string watchLineWithHistory(const WatchSnapshot& snapshot, const WatchStyle& style,
                                 std::size_t historyWidth) {
  const bool up = snapshot.status == RouterTrafficStatus::up;
  const std::vector<double> none;
  const auto& downHistory = up ? snapshot.downHistory : none;
  const auto& upHistory = up ? snapshot.upHistory : none;
  const auto peaks =
      Format::peaks(downHistory, upHistory, style.downLineSpeed, style.upLineSpeed, style.inBits);
  return watchLine(snapshot, style) + "  ↑" + sparkline(upHistory, peaks.upPeak, historyWidth) +
         " ↓" + sparkline(downHistory, peaks.downPeak, historyWidth);
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

std::string watchJson(const WatchSnapshot& snapshot) {
  const auto* reading = shownReading(snapshot);
  return "{\"status\":" + jsonString(statusName(snapshot.status)) +
         ",\"statusText\":" + jsonString(Strings::status(snapshot.status)) +
         ",\"downBytesPerSec\":" + jsonRate(reading ? reading->downBytesPerSec : std::nullopt) +
         ",\"upBytesPerSec\":" + jsonRate(reading ? reading->upBytesPerSec : std::nullopt) +
         ",\"totalDown\":" + std::to_string(snapshot.totals.down) +
         ",\"totalUp\":" + std::to_string(snapshot.totals.up) + "}";
}

}  // namespace pulsewell
