#include "traffic/interface_counters.h"

#include <limits>

namespace pulsewell {
namespace {

constexpr std::uint64_t counter32Modulus = std::uint64_t{1} << 32U;
constexpr std::uint64_t ifSpeedCeiling = std::numeric_limits<std::uint32_t>::max();
constexpr double bytesPerMegabit = 125000;
constexpr double bitsPerByte = 8;

// An HC counter at 0 beside a 32-bit one that has counted is not being kept.
bool standsStill(const CounterValue& highCapacity, const std::optional<CounterValue>& twin) {
  return highCapacity.value == 0 && twin && twin->value > 0;
}

}  // namespace

CounterWidth OctetCounters::width() const {
  return received.bits == 64 && sent.bits == 64 ? CounterWidth::bits64 : CounterWidth::bits32;
}

std::optional<OctetCounters> chooseCounters(std::optional<CounterValue> hcIn,
                                            std::optional<CounterValue> hcOut,
                                            std::optional<CounterValue> in,
                                            std::optional<CounterValue> out) {
  if (hcIn && hcOut && !standsStill(*hcIn, in) && !standsStill(*hcOut, out)) {
    return OctetCounters{OctetCounters::Source::highCapacity, *hcIn, *hcOut};
  }
  if (in && out) return OctetCounters{OctetCounters::Source::ifTable, *in, *out};
  return std::nullopt;
}

std::optional<CounterStep> counterStep(const CounterValue& before, const CounterValue& after) {
  if (after.value >= before.value) return CounterStep{after.value - before.value, false};
  const bool both32 = before.bits == 32 && after.bits == 32;
  if (!both32 || before.value >= counter32Modulus) return std::nullopt;
  return CounterStep{counter32Modulus - before.value + after.value, true};
}

std::optional<double> lineBytesPerSecond(std::optional<CounterValue> ifHighSpeed,
                                         std::optional<CounterValue> ifSpeed) {
  if (ifHighSpeed && ifHighSpeed->value > 0) {
    return static_cast<double>(ifHighSpeed->value) * bytesPerMegabit;
  }
  if (ifSpeed && ifSpeed->value > 0 && ifSpeed->value < ifSpeedCeiling) {
    return static_cast<double>(ifSpeed->value) / bitsPerByte;
  }
  return std::nullopt;
}

}  // namespace pulsewell
