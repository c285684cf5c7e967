#include "traffic/snmp_traffic_sampler.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "snmp/if_mib.h"
#include "snmp/snmp_error.h"
#include "traffic/interface_name.h"
#include "traffic/interface_table.h"
#include "traffic/utf8.h"

namespace pulsewell {
namespace {

// A gap longer than this (a missed poll, a suspend) gives no rate instead of an average.
constexpr double longestRateGap = 10.0;
// 10 Tbit/s in bytes per second. Faster than any interface: a counter that jumps this far
// was set to garbage, and is taken like a reset rather than as traffic.
constexpr double fastestRate = 1.25e12;
// While the row stays down, how often its namesakes are looked at again: each look walks
// the table, which on a large switch takes dozens of requests.
constexpr double namesakeCheckInterval = 30.0;

// What each read asks for, in this order.
enum Slot : std::size_t {
  nameSlot,
  descrSlot,
  operStatusSlot,
  hcInSlot,
  hcOutSlot,
  inSlot,
  outSlot,
  highSpeedSlot,
  speedSlot,
  uptimeSlot,
};

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  constexpr auto highest = std::numeric_limits<std::uint64_t>::max();
  return a > highest - b ? highest : a + b;
}

}  // namespace

const char* SNMPTrafficError::what() const noexcept {
  switch (kind_) {
    case Kind::interfaceNotFound:
      return "interface not found";
    case Kind::noCounters:
      return "no counters";
  }
  return "traffic error";
}

double bootTimeSeconds() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

SNMPTrafficSampler::SNMPTrafficSampler(SNMPClient client, std::string interface,
                                       bool swapDirections, SecondsClock clock)
    : client_(std::move(client)),
      interface_(std::move(interface)),
      interfaceCodePoints_(decodeUTF8(interface_)),
      swapDirections_(swapDirections),
      clock_(clock ? std::move(clock) : SecondsClock(bootTimeSeconds)) {}

bool SNMPTrafficSampler::isOurs(std::optional<ByteView> name) const {
  // Code point by code point: no case folding, no trimming, no normalisation.
  return name && decodesTo(*name, interfaceCodePoints_);
}

SNMPTrafficSampler::Found SNMPTrafficSampler::resolve() {
  const auto rows = readInterfaceRows(client_, RowDetail::names);
  const InterfaceRow* first = nullptr;
  const InterfaceRow* lastUp = nullptr;
  int matches = 0;
  for (const InterfaceRow& row : rows) {
    if (!isOurs(row.name)) continue;
    ++matches;
    if (first == nullptr) first = &row;
    if (row.isUp) lastUp = &row;
  }
  if (first == nullptr) throw SNMPTrafficError::interfaceNotFound();
  namesakes_ = matches > 1;
  // The row that is up carries the traffic; of several, the newest, which has the
  // highest index.
  const InterfaceRow& chosen = lastUp != nullptr ? *lastUp : *first;
  return {chosen.index, chosen.isUp};
}

std::optional<std::span<const SNMPVarBindView>> SNMPTrafficSampler::read(std::uint32_t index) {
  if (counterRead_.empty() || counterRead_.front().back() != index) {
    counterRead_ = {IfMib::instance(IfMib::ifName(), index),
                    IfMib::instance(IfMib::ifDescr(), index),
                    IfMib::instance(IfMib::ifOperStatus(), index),
                    IfMib::instance(IfMib::ifHCInOctets(), index),
                    IfMib::instance(IfMib::ifHCOutOctets(), index),
                    IfMib::instance(IfMib::ifInOctets(), index),
                    IfMib::instance(IfMib::ifOutOctets(), index),
                    IfMib::instance(IfMib::ifHighSpeed(), index),
                    IfMib::instance(IfMib::ifSpeed(), index),
                    IfMib::sysUpTime()};
  }
  const auto bindings = client_.request(SNMPCodec::Request::get, counterRead_, buffers_);
  if (!std::ranges::equal(bindings, counterRead_, std::ranges::equal, &SNMPVarBindView::oid)) {
    throw SNMPError::malformed();
  }
  // The row no longer belongs to the interface: renumbered, or gone.
  if (!isOurs(interfaceName(bindings[nameSlot].value, bindings[descrSlot].value))) {
    return std::nullopt;
  }
  return bindings;
}

void SNMPTrafficSampler::moveToAnUpNamesake(
    std::optional<std::span<const SNMPVarBindView>>& values) {
  if (IfMib::isOperStatusUp((*values)[operStatusSlot].value)) {
    nextNamesakeCheck_.reset();
    return;
  }
  if (!namesakes_) return;
  const double now = clock_();
  if (nextNamesakeCheck_ && now < *nextNamesakeCheck_) return;
  nextNamesakeCheck_ = now + namesakeCheckInterval;
  const Found found = resolve();
  if (!found.isUp || found.index == *index_) return;
  previous_.reset();
  index_ = found.index;
  values = read(found.index);
  if (!values) throw SNMPTrafficError::interfaceNotFound();
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> SNMPTrafficSampler::octetsSince(
    const Previous& before, const Previous& now, std::optional<double> lineSpeed) {
  const double dt = now.time - before.time;
  if (!(dt > 0 && dt <= longestRateGap)) return std::nullopt;
  // Another pair of counters counts from elsewhere.
  if (before.counters.source != now.counters.source) return std::nullopt;
  // A lower uptime: the device restarted, and every counter with it.
  if (before.uptime && now.uptime && *now.uptime < *before.uptime) return std::nullopt;
  const auto in = counterStep(before.counters.received, now.counters.received);
  const auto out = counterStep(before.counters.sent, now.counters.sent);
  if (!in || !out) return std::nullopt;
  for (const CounterStep& step : {*in, *out}) {
    const double rate = static_cast<double>(step.octets) / dt;
    if (rate > fastestRate) return std::nullopt;
    // More than the line can carry: not a wrap but a reset the uptime did not show.
    if (step.wrapped && lineSpeed && rate > *lineSpeed) return std::nullopt;
  }
  return std::pair{in->octets, out->octets};
}

SNMPTrafficReading SNMPTrafficSampler::sample() {
  std::optional<std::span<const SNMPVarBindView>> values;
  if (index_) values = read(*index_);
  if (!values) {
    previous_.reset();
    index_ = resolve().index;
    values = read(*index_);
    if (!values) throw SNMPTrafficError::interfaceNotFound();
  }
  moveToAnUpNamesake(values);
  const double now = clock_();

  const auto& v = *values;
  const auto counters =
      chooseCounters(counterValue(v[hcInSlot].value), counterValue(v[hcOutSlot].value),
                     counterValue(v[inSlot].value), counterValue(v[outSlot].value));
  if (!counters) throw SNMPTrafficError::noCounters();
  const auto* uptime = v[uptimeSlot].value.asUnsigned();
  const Previous current{
      *counters, uptime != nullptr ? std::optional<std::uint64_t>(*uptime) : std::nullopt, now};

  SNMPTrafficReading reading;
  reading.counters = counters->width();
  reading.isUp = IfMib::isOperStatusUp(v[operStatusSlot].value);
  if (previous_) {
    const auto lineSpeed =
        lineBytesPerSecond(counterValue(v[highSpeedSlot].value), counterValue(v[speedSlot].value));
    if (const auto octets = octetsSince(*previous_, current, lineSpeed)) {
      const double dt = now - previous_->time;
      const auto [inDelta, outDelta] = *octets;
      const std::uint64_t downDelta = swapDirections_ ? outDelta : inDelta;
      const std::uint64_t upDelta = swapDirections_ ? inDelta : outDelta;
      totalDown_ = saturatingAdd(totalDown_, downDelta);
      totalUp_ = saturatingAdd(totalUp_, upDelta);
      reading.downBytesPerSec = static_cast<double>(downDelta) / dt;
      reading.upBytesPerSec = static_cast<double>(upDelta) / dt;
    }
  }
  previous_ = current;

  reading.totalDown = totalDown_;
  reading.totalUp = totalUp_;
  return reading;
}

std::vector<SNMPInterface> SNMPTrafficSampler::interfaces(const SNMPClient& client) {
  std::vector<SNMPInterface> result;
  for (const InterfaceRow& row : readInterfaceRows(client, RowDetail::namesAndCounters)) {
    result.push_back(SNMPInterface{textFromUTF8(row.name), row.isUp, row.counters});
  }
  return result;
}

}  // namespace pulsewell
