// The road of one sample without the network: request encoding, reply decoding, and the
// sampler's whole turn (counter read, rates, totals) over an in-memory agent.
#include <benchmark/benchmark.h>

#include "agent/agent_protocol.h"
#include "agent/agent_table.h"
#include "allocation_counter.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_client.h"
#include "snmp/snmp_codec.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {
namespace {

// The sampler's counter read of one interface.
std::vector<OID> counterRead(std::uint32_t index) {
  return {IfMib::instance(IfMib::ifName(), index), IfMib::instance(IfMib::ifHCInOctets(), index),
          IfMib::instance(IfMib::ifHCOutOctets(), index),
          IfMib::instance(IfMib::ifOperStatus(), index)};
}

// A home router's table: a dozen interfaces, the watched one last.
AgentTable routerTable(std::uint64_t counter) {
  AgentTable table;
  for (std::uint32_t index = 1; index <= 12; ++index) {
    table.setInterface({.index = index,
                        .name = index == 12 ? "ppp0" : "eth" + std::to_string(index),
                        .inOctets = counter * index,
                        .outOctets = counter});
  }
  return table;
}

void reportAllocations(benchmark::State& state, std::size_t before) {
  state.counters["allocs/iter"] = benchmark::Counter(
      static_cast<double>(bench::allocations() - before), benchmark::Counter::kAvgIterations);
}

void encodeCounterRead(benchmark::State& state) {
  const auto oids = counterRead(12);
  const auto before = bench::allocations();
  for (auto _ : state) {
    benchmark::DoNotOptimize(SNMPCodec::encode(SNMPCodec::Request::get, 0x1234567, "velmar", oids));
  }
  reportAllocations(state, before);
}
BENCHMARK(encodeCounterRead);

void decodeCounterReply(benchmark::State& state) {
  const auto table = routerTable(1'000'000'000'000);
  const auto request = AgentProtocol::decodeRequest(
      SNMPCodec::encode(SNMPCodec::Request::get, 7, "velmar", counterRead(12)));
  const auto reply =
      AgentProtocol::encodeResponse("velmar", *AgentProtocol::answer(*request, table));
  const auto before = bench::allocations();
  for (auto _ : state)
    benchmark::DoNotOptimize(SNMPCodec::decodeResponse(reply));
  reportAllocations(state, before);
}
BENCHMARK(decodeCounterReply);

// One polling turn of the sampler once the interface is found: the steady state. The
// in-memory agent's own work (reading the request, building the answer) is included.
void samplerTurn(benchmark::State& state) {
  const auto table = routerTable(1'000'000);
  SNMPClient client;
  client.community = "velmar";
  client.transport = [&](const Bytes& bytes) {
    const auto request = AgentProtocol::decodeRequest(bytes);
    return AgentProtocol::encodeResponse("velmar", *AgentProtocol::answer(*request, table));
  };
  double now = 0;
  SNMPTrafficSampler sampler(client, "ppp0", false, [&] { return now += 2; });
  sampler.sample();  // finds the interface
  const auto before = bench::allocations();
  for (auto _ : state)
    benchmark::DoNotOptimize(sampler.sample());
  reportAllocations(state, before);
}
BENCHMARK(samplerTurn);

// Finding the interface: the walk of ifName that runs at start and after renumbering.
void resolveInterface(benchmark::State& state) {
  const auto table = routerTable(1);
  SNMPClient client;
  client.community = "velmar";
  client.transport = [&](const Bytes& bytes) {
    return AgentProtocol::encodeResponse(
        "velmar", *AgentProtocol::answer(*AgentProtocol::decodeRequest(bytes), table));
  };
  for (auto _ : state)
    benchmark::DoNotOptimize(client.walk(IfMib::ifName(), SNMPClient::walkLimit));
}
BENCHMARK(resolveInterface);

}  // namespace
}  // namespace pulsewell
