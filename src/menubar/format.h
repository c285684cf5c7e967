#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "menubar/number_locale.h"

// The short texts of rates and amounts, and the scale of the traffic graphs. Pure functions;
// the menu bar and the popover call them with the same rules and so always agree.
namespace pulsewell::Format {

// A rate in bytes per second as "1.2 MB/s" (or "9.9 Mbps" in bits); "—" without a rate.
std::string rate(std::optional<double> bytesPerSec, bool inBits, const NumberLocale& locale);

// The same rate for a square of a few pixels: the number and its prefix only, "80K",
// "1.2M" or "512"; "—" without a rate.
std::string compactRate(std::optional<double> bytesPerSec, bool inBits, const NumberLocale& locale);

// A byte count as "12 GB".
std::string amount(std::uint64_t bytes, const NumberLocale& locale);

// The rates, in bytes per second, that fill the download and the upload half of a graph.
struct Peaks {
  double downPeak = 1;
  double upPeak = 1;
  bool operator==(const Peaks&) const = default;
};

// Histories are oldest first; line speeds are whole Mbit/s, below 1 meaning not set.
Peaks peaks(const std::vector<double>& down, const std::vector<double>& up,
            std::int64_t downLineSpeed, std::int64_t upLineSpeed, bool inBits);

// Building blocks of the above, open for their own tests.

// The value in the largest fitting unit of `units` (factor 1000 apart, smallest first),
// with one decimal below 9.95 outside the plain unit.
std::string scaled(double value, std::span<const std::string_view> units,
                   const NumberLocale& locale);

// A rate of at least 1 byte per second rounded up to 1, 2 or 5 times a power of ten in the
// unit the user sees.
double rounded(double bytesPerSec, bool inBits);

}  // namespace pulsewell::Format
