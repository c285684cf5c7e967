#include "menubar/format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace pulsewell::Format {

namespace {

constexpr std::array<std::string_view, 4> byteRateUnits{"B/s", "KB/s", "MB/s", "GB/s"};
constexpr std::array<std::string_view, 4> bitRateUnits{"bps", "Kbps", "Mbps", "Gbps"};
// The prefixes alone, for a square too small for units.
constexpr std::array<std::string_view, 4> compactUnits{"", "K", "M", "G"};
constexpr std::array<std::string_view, 5> amountUnits{"B", "KB", "MB", "GB", "TB"};

constexpr std::string_view missing = "—";
constexpr double bytesPerSecPerMbit = 125000;

// The largest value of a history, or 0; NaN entries carry no measurement and are skipped.
double largest(const std::vector<double>& values) {
  double top = 0;
  for (double value : values) {
    if (value > top) top = value;
  }
  return top;
}

}  // namespace

std::string scaled(double value, std::span<const std::string_view> units,
                   const NumberLocale& locale) {
  if (units.empty()) return {};
  // Negative, NaN and negative zero all show as a plain 0.
  if (!(value > 0)) value = 0;
  // An infinite value is no measurement; it has no digits to show.
  if (std::isinf(value)) return std::string(missing);

  std::size_t index = 0;
  while (value >= 999.5 && index + 1 < units.size()) {
    value /= 1000;
    ++index;
  }
  const int decimals = index > 0 && value < 9.95 ? 1 : 0;

  // to_chars is locale-independent and rounds the exact binary value like printf's "%.1f".
  // The largest double has 309 integer digits.
  std::array<char, 320> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                    std::chars_format::fixed, decimals);
  std::string text;
  for (const char* c = digits.data(); c != result.ptr; ++c) {
    if (*c == '.') {
      text += locale.decimalSeparator;
    } else {
      text += *c;
    }
  }
  text += ' ';
  text += units[index];
  return text;
}

std::string rate(std::optional<double> bytesPerSec, bool inBits, const NumberLocale& locale) {
  if (!bytesPerSec) return std::string(missing);
  if (inBits) return scaled(*bytesPerSec * 8, bitRateUnits, locale);
  return scaled(*bytesPerSec, byteRateUnits, locale);
}

std::string compactRate(std::optional<double> bytesPerSec, bool inBits,
                        const NumberLocale& locale) {
  if (!bytesPerSec) return "—";
  std::string text = scaled(*bytesPerSec * (inBits ? 8 : 1), compactUnits, locale);
  // "80 K" becomes "80K"; a plain number loses the space before its empty unit.
  std::erase(text, ' ');
  return text;
}

std::string amount(std::uint64_t bytes, const NumberLocale& locale) {
  return scaled(static_cast<double>(bytes), amountUnits, locale);
}

double rounded(double bytesPerSec, bool inBits) {
  const double factor = inBits ? 8 : 1;
  const double x = bytesPerSec * factor;
  const double power = std::pow(10.0, std::floor(std::log10(x)));
  double step = 10;
  for (double candidate : {1.0, 2.0, 5.0, 10.0}) {
    if (x <= power * candidate) {
      step = candidate;
      break;
    }
  }
  return power * step / factor;
}

Peaks peaks(const std::vector<double>& down, const std::vector<double>& up,
            std::int64_t downLineSpeed, std::int64_t upLineSpeed, bool inBits) {
  double shared = std::max(largest(down), largest(up));
  if (shared <= 1) shared = 1;
  shared = rounded(shared, inBits);

  const auto peak = [&](const std::vector<double>& history, std::int64_t lineSpeed) {
    if (lineSpeed < 1) return shared;
    const double line = static_cast<double>(lineSpeed) * bytesPerSecPerMbit;
    double top = largest(history);
    if (top <= 1) top = 1;
    // Only traffic beyond the line (a wrong setting) widens the scale.
    return top > line ? rounded(top, inBits) : line;
  };
  return Peaks{.downPeak = peak(down, downLineSpeed), .upPeak = peak(up, upLineSpeed)};
}

}  // namespace pulsewell::Format
