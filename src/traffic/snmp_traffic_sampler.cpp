#include "traffic/snmp_traffic_sampler.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

#include "snmp/if_mib.h"
#include "snmp/snmp_error.h"
#include "traffic/utf8.h"

namespace pulsewell {
namespace {

// A gap longer than this (a missed poll, a suspend) gives no rate instead of an average.
constexpr double longestRateGap = 10.0;
// 10 Tbit/s in bytes per second. Faster than any interface: a counter that jumps this far
// was set to garbage, and is taken like a reset rather than as traffic.
constexpr double fastestRate = 1.25e12;

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  constexpr auto highest = std::numeric_limits<std::uint64_t>::max();
  return a > highest - b ? highest : a + b;
}

template <typename Value>
bool isOperStatusUp(const Value& value) {
  const auto* integer = value.asInteger();
  return integer != nullptr && *integer == IfMib::operStatusUp;
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

template <typename Value>
bool SNMPTrafficSampler::isOurs(const Value& value) const {
  const auto* bytes = value.asBytes();
  // Code point by code point: no case folding, no trimming, no normalisation.
  return bytes != nullptr && decodesTo(*bytes, interfaceCodePoints_);
}

std::uint32_t SNMPTrafficSampler::resolve() {
  const auto rows = client_.walk(IfMib::ifName(), SNMPClient::walkLimit);
  const auto match = std::find_if(rows.begin(), rows.end(),
                                  [this](const SNMPVarBind& row) { return isOurs(row.value); });
  if (match == rows.end() || match->oid.empty()) throw SNMPTrafficError::interfaceNotFound();
  return match->oid.back();
}

std::optional<std::span<const SNMPVarBindView>> SNMPTrafficSampler::read(std::uint32_t index) {
  if (counterRead_.empty() || counterRead_.front().back() != index) {
    counterRead_ = {IfMib::instance(IfMib::ifName(), index),
                    IfMib::instance(IfMib::ifHCInOctets(), index),
                    IfMib::instance(IfMib::ifHCOutOctets(), index),
                    IfMib::instance(IfMib::ifOperStatus(), index)};
  }
  const auto bindings = client_.request(SNMPCodec::Request::get, counterRead_, buffers_);
  if (!std::ranges::equal(bindings, counterRead_, std::ranges::equal, &SNMPVarBindView::oid)) {
    throw SNMPError::malformed();
  }
  // The row no longer belongs to the interface: renumbered, or gone.
  if (!isOurs(bindings.front().value)) return std::nullopt;
  return bindings;
}

SNMPTrafficReading SNMPTrafficSampler::sample() {
  std::optional<std::span<const SNMPVarBindView>> values;
  if (index_) values = read(*index_);
  if (!values) {
    previous_.reset();
    index_ = resolve();
    values = read(*index_);
    if (!values) throw SNMPTrafficError::interfaceNotFound();
  }
  const double now = clock_();

  const std::uint64_t* received = (*values)[1].value.asUnsigned();
  if (received == nullptr) throw SNMPTrafficError::noCounters();
  const std::uint64_t* sent = (*values)[2].value.asUnsigned();
  if (sent == nullptr) throw SNMPTrafficError::noCounters();
  const bool isUp = isOperStatusUp((*values)[3].value);

  SNMPTrafficReading reading;
  // Counters going down mean a restart or a wrap: no rate for this one sample.
  if (previous_ && previous_->time < now && now - previous_->time <= longestRateGap &&
      *received >= previous_->received && *sent >= previous_->sent) {
    const double dt = now - previous_->time;
    const std::uint64_t inDelta = *received - previous_->received;
    const std::uint64_t outDelta = *sent - previous_->sent;
    const std::uint64_t downDelta = swapDirections_ ? outDelta : inDelta;
    const std::uint64_t upDelta = swapDirections_ ? inDelta : outDelta;
    const double downRate = static_cast<double>(downDelta) / dt;
    const double upRate = static_cast<double>(upDelta) / dt;
    if (downRate <= fastestRate && upRate <= fastestRate) {
      totalDown_ = saturatingAdd(totalDown_, downDelta);
      totalUp_ = saturatingAdd(totalUp_, upDelta);
      reading.downBytesPerSec = downRate;
      reading.upBytesPerSec = upRate;
    }
  }
  previous_ = Counters{*received, *sent, now};

  reading.totalDown = totalDown_;
  reading.totalUp = totalUp_;
  reading.isUp = isUp;
  return reading;
}

std::vector<SNMPInterface> SNMPTrafficSampler::interfaces(const SNMPClient& client) {
  // Both columns in one walk: half the round trips of walking one after the other.
  const auto columns =
      client.walkColumns({IfMib::ifName(), IfMib::ifOperStatus()}, SNMPClient::walkLimit);
  const auto& names = columns[0];
  const auto& statuses = columns[1];

  std::set<std::uint32_t> upIndexes;
  for (const auto& row : statuses) {
    if (!row.oid.empty() && isOperStatusUp(row.value)) upIndexes.insert(row.oid.back());
  }
  std::vector<SNMPInterface> result;
  for (const auto& row : names) {
    const Bytes* name = row.value.asBytes();
    if (name == nullptr || row.oid.empty()) continue;
    result.push_back(SNMPInterface{textFromUTF8(*name), upIndexes.contains(row.oid.back())});
  }
  return result;
}

}  // namespace pulsewell
