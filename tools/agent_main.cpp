// pulsewell-agent: the simulator agent as a program, the demo device and a test peer.
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "agent/agent_command_line.h"
#include "agent/live_interface_source.h"
#include "agent/simulator_agent.h"
#include "agent/table_file.h"

namespace {

int fail(const std::string& message) {
  std::cerr << "pulsewell-agent: " << message << "\n";
  return 1;
}

// Written beside the target and renamed, so a script polling the file never reads half
// a number.
bool writePortFile(const std::filesystem::path& path, std::uint16_t port) {
  std::filesystem::path partial = path;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << port << "\n";
    out.close();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  if (error) std::filesystem::remove(partial, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pulsewell;
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto parsed = AgentCommandLine::parse(arguments);
  if (parsed.help) {
    std::cout << AgentCommandLine::usage();
    return 0;
  }
  if (!parsed.options) {
    std::cerr << "pulsewell-agent: " << parsed.error << "\nTry 'pulsewell-agent --help'.\n";
    return 2;
  }
  const AgentOptions& options = *parsed.options;

  // Blocked before the agent's thread exists, so that it inherits the mask and the signals
  // reach sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    AgentTable table;
    std::shared_ptr<const LiveInterfaceSource> live;
    if (options.tableFile) {
      const auto loaded = TableFile::load(*options.tableFile);
      if (!loaded.errors.empty()) {
        for (const auto& error : loaded.errors) {
          std::cerr << options.tableFile->string() << ": " << error.text() << "\n";
        }
        return 1;
      }
      table = loaded.table;
    } else {
      live = std::make_shared<const LiveInterfaceSource>();
      table = live->table();  // fails early when /proc/net/dev cannot be read
    }

    SimulatorAgent agent(options.agent);
    agent.setTable(std::move(table));
    if (live) {
      agent.setSource([live] { return live->table(); });
    } else if (options.grow) {
      // Counters computed from the time of each request, so the rates a client measures
      // stay steady however irregularly it polls.
      agent.setSource(
          [base = agent.table(), growth = *options.grow, start = std::chrono::steady_clock::now()] {
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
            const auto micros = static_cast<std::uint64_t>(elapsed.count());
            AgentTable grown = base;
            grown.addToCounters(micros * growth.inPerSecond / 1'000'000,
                                micros * growth.outPerSecond / 1'000'000);
            return grown;
          });
    }
    if (options.portFile && !writePortFile(*options.portFile, agent.port())) {
      return fail("cannot write the port to " + options.portFile->string());
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  return 0;
}
