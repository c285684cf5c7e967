// The codec side by side with net-snmp's library on the same work: decoding replies captured
// from snmpd (bench/data/, see capture_snmpd_replies.sh) and encoding the sampler's counter
// read. Each side works the way its own request path does: Pulsewell into buffers kept
// across requests, net-snmp through a fresh PDU per message.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "netsnmp_reference.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_codec.h"

namespace pulsewell {
namespace {

constexpr std::int32_t requestID = 0x1234567;
constexpr std::string_view community = "public";
constexpr std::uint32_t watchedIndex = 12;

Bytes captured(const std::string& name) {
  std::ifstream file(std::string(PULSEWELL_BENCH_DATA_DIR) + "/" + name, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (bytes.empty()) throw std::runtime_error("missing bench data " + name);
  return bytes;
}

const Bytes& counterReply() {
  static const Bytes bytes = captured("snmpd_counter_reply.bin");
  return bytes;
}

const Bytes& bulkReply() {
  static const Bytes bytes = captured("snmpd_bulk_reply.bin");
  return bytes;
}

// ifName, ifHCInOctets, ifHCOutOctets and ifOperStatus of the watched row.
const std::vector<OID>& counterRead() {
  static const std::vector<OID> oids = {IfMib::instance(IfMib::ifName(), watchedIndex),
                                        IfMib::instance(IfMib::ifHCInOctets(), watchedIndex),
                                        IfMib::instance(IfMib::ifHCOutOctets(), watchedIndex),
                                        IfMib::instance(IfMib::ifOperStatus(), watchedIndex)};
  return oids;
}

void reportAllocations(benchmark::State& state, std::size_t before) {
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocations() - before),
                                                benchmark::Counter::kAvgIterations);
}

bench::NetSnmpReference netsnmp() {
  return {std::string(community), counterRead()};
}

// Both sides must find every binding of the reply before either is timed.
void decodePulsewell(benchmark::State& state, const Bytes& reply, std::size_t bindings) {
  SNMPCodec::DecodeStorage storage;
  const auto first = SNMPCodec::decodeResponse(reply, storage);
  if (!first || first->varBinds.size() != bindings) {
    state.SkipWithError("the captured reply does not decode to its bindings");
  }
  const auto before = bench::allocations();
  for (auto _ : state) {
    const auto response = SNMPCodec::decodeResponse(reply, storage);
    benchmark::DoNotOptimize(response);
  }
  reportAllocations(state, before);
}

void decodeNetSnmp(benchmark::State& state, const Bytes& reply, std::size_t bindings) {
  auto reference = netsnmp();
  Bytes data = reply;  // snmp_parse takes a non-const pointer
  if (reference.parse(data) != bindings) {
    state.SkipWithError("snmp_parse does not find the reply's bindings");
  }
  const auto before = bench::allocations();
  for (auto _ : state)
    benchmark::DoNotOptimize(reference.parse(data));
  reportAllocations(state, before);
}

constexpr std::size_t counterBindings = 4;
constexpr std::size_t bulkBindings = 20;

void decodeCounterReplyPulsewell(benchmark::State& state) {
  decodePulsewell(state, counterReply(), counterBindings);
}
void decodeCounterReplyNetSnmp(benchmark::State& state) {
  decodeNetSnmp(state, counterReply(), counterBindings);
}
void decodeBulkReplyPulsewell(benchmark::State& state) {
  decodePulsewell(state, bulkReply(), bulkBindings);
}
void decodeBulkReplyNetSnmp(benchmark::State& state) {
  decodeNetSnmp(state, bulkReply(), bulkBindings);
}
BENCHMARK(decodeCounterReplyPulsewell);
BENCHMARK(decodeCounterReplyNetSnmp);
BENCHMARK(decodeBulkReplyPulsewell);
BENCHMARK(decodeBulkReplyNetSnmp);

void encodeCounterReadPulsewell(benchmark::State& state) {
  Bytes message;
  // Once for the buffer to grow to the message, as a client's first request does.
  SNMPCodec::encode(SNMPCodec::Request::get, requestID, community, counterRead(), message);
  const auto before = bench::allocations();
  for (auto _ : state) {
    SNMPCodec::encode(SNMPCodec::Request::get, requestID, community, counterRead(), message);
    benchmark::DoNotOptimize(message.data());
  }
  reportAllocations(state, before);
}
BENCHMARK(encodeCounterReadPulsewell);

// The message must be the very bytes Pulsewell sends.
void encodeCounterReadNetSnmp(benchmark::State& state) {
  auto reference = netsnmp();
  const auto message = reference.build(requestID);
  if (!std::ranges::equal(message, SNMPCodec::encode(SNMPCodec::Request::get, requestID, community,
                                                     counterRead()))) {
    state.SkipWithError("net-snmp's message differs from Pulsewell's");
  }
  const auto before = bench::allocations();
  for (auto _ : state)
    benchmark::DoNotOptimize(reference.build(requestID));
  reportAllocations(state, before);
}
BENCHMARK(encodeCounterReadNetSnmp);

}  // namespace
}  // namespace pulsewell
