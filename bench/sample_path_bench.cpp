// The road of one sample: the sampler's whole turn (counter read, rates, totals) and the
// walk that finds the interface. The codec alone is measured in codec_bench.cpp.
#include <benchmark/benchmark.h>

#include "agent/agent_protocol.h"
#include "agent/agent_table.h"
#include "agent/simulator_agent.h"
#include "allocation_counter.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_client.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {
namespace {

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
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocations() - before),
                                                benchmark::Counter::kAvgIterations);
}

// One polling turn of the sampler once the interface is found: the steady state, over a
// real loopback socket to the simulator agent. The agent answers from its own thread, so
// only the sampler's allocations are counted.
void samplerTurn(benchmark::State& state) {
  SimulatorAgent agent(SimulatorAgent::Options{.community = "velmar"});
  agent.setTable(routerTable(1'000'000));
  SNMPClient client;
  client.host = agent.address();
  client.port = agent.port();
  client.community = "velmar";
  double now = 0;
  SNMPTrafficSampler sampler(client, "ppp0", false, [&] { return now += 2; });
  sampler.sample();  // finds the interface
  sampler.sample();  // and grows the buffers to the reply
  const auto before = bench::allocations();
  for (auto _ : state)
    benchmark::DoNotOptimize(sampler.sample());
  reportAllocations(state, before);
}
BENCHMARK(samplerTurn)->UseRealTime();

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
