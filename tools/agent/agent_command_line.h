#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "agent/simulator_agent.h"

namespace pulsewell {

// What `pulsewell-agent` was asked to do.
struct AgentOptions {
  SimulatorAgent::Options agent;
  // The scripted table to serve; none serves this machine's own interfaces.
  std::optional<std::filesystem::path> tableFile;
  // Where to write the port once the agent listens.
  std::optional<std::filesystem::path> portFile;
  // Octets per second by which every interface's counters grow, so that a client sees
  // steady rates; none keeps the table's counters as they are.
  struct Growth {
    std::uint64_t inPerSecond = 0;
    std::uint64_t outPerSecond = 0;
    bool operator==(const Growth&) const = default;
  };
  std::optional<Growth> grow;
};

namespace AgentCommandLine {

struct Result {
  std::optional<AgentOptions> options;  // none for --help or an error
  bool help = false;
  std::string error;  // one line saying what is wrong
};

// `arguments` without the program name. Options take their value as the next argument
// or after "=".
Result parse(const std::vector<std::string>& arguments);
std::string usage();

}  // namespace AgentCommandLine

}  // namespace pulsewell
