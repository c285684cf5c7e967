#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "agent/agent_table.h"
#include "agent/simulator_agent.h"
#include "traffic/router_traffic_config.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {

// A device on 127.0.0.1 with one interface that is up and whose counters grow by
// `downStep` received and `upStep` sent octets at every request, together with a sampler
// clock that moves one second per reading: every reading after a sampler's first shows
// exactly downStep and upStep bytes per second.
class GrowingDevice {
 public:
  explicit GrowingDevice(std::string interface = "eth0", std::uint64_t downStep = 1000,
                         std::uint64_t upStep = 500)
      : interface_(std::move(interface)) {
    agent_.setSource([counters = counters_, interface = interface_, downStep, upStep] {
      const std::uint64_t step = counters->fetch_add(1) + 1;
      AgentTable table;
      table.setInterface(
          {.index = 3, .name = interface, .inOctets = step * downStep, .outOctets = step * upStep});
      return table;
    });
  }

  RouterTrafficConfig config() const {
    return {.host = agent_.address(),
            .port = agent_.port(),
            .community = agent_.community(),
            .interface = interface_};
  }

  // One second later at every reading; safe from the polling thread.
  SecondsClock clock() const {
    return [seconds = seconds_] { return seconds->fetch_add(1.0) + 1.0; };
  }

  SimulatorAgent& agent() { return agent_; }

 private:
  std::string interface_;
  std::shared_ptr<std::atomic<std::uint64_t>> counters_ =
      std::make_shared<std::atomic<std::uint64_t>>(0);
  std::shared_ptr<std::atomic<double>> seconds_ = std::make_shared<std::atomic<double>>(0);
  SimulatorAgent agent_;
};

}  // namespace pulsewell
