#include "tests/support/snmpd_peer.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/agent_probe.h"
#include "tests/support/program_run.h"

namespace pulsewell::test {

namespace {

using namespace std::chrono_literals;

// A free port can be taken by someone else before snmpd binds it; try a few.
constexpr int portAttempts = 3;
constexpr auto answerDeadline = 10s;
constexpr auto stopGrace = 2s;

}  // namespace

std::filesystem::path SnmpdPeer::executable() {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no test sets it
  const char* chosen = std::getenv("PULSEWELL_SNMPD");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/usr/sbin/snmpd";
}

bool SnmpdPeer::available() {
  return access(executable().c_str(), X_OK) == 0;
}

SnmpdPeer::SnmpdPeer() {
  try {
    for (int attempt = 0; attempt < portAttempts; ++attempt) {
      if (start(freeLoopbackPort())) return;
    }
  } catch (...) {
    stop();
    throw;
  }
  stop();
  throw std::runtime_error("snmpd exited at once on " + std::to_string(portAttempts) +
                           " free ports; run it by hand with -f -Le to see why");
}

SnmpdPeer::~SnmpdPeer() {
  stop();
}

bool SnmpdPeer::start(std::uint16_t port) {
  const auto persistent = directory_.path() / "persistent";
  std::filesystem::create_directories(persistent);
  const auto conf = directory_.path() / "snmpd.conf";
  {
    // The address lives here only: given on the command line as well, snmpd would bind it
    // twice and exit. No trap sinks, no AgentX: nothing but a read-only community.
    std::ofstream out(conf, std::ios::trunc);
    out << "[snmp] persistentDir " << persistent.string() << "\n"
        << "agentaddress udp:" << host << ":" << port << "\n"
        << "rocommunity " << community << " " << host << "\n";
    if (!out) throw std::runtime_error("cannot write " + conf.string());
  }

  const std::vector<std::string> arguments = {executable().string(),
                                              "-f",  // stay in the foreground, as our child
                                              "-r",  // no root-only files needed
                                              "-C",  // no configuration but ours
                                              "-c",
                                              conf.string(),
                                              "-p",
                                              (directory_.path() / "snmpd.pid").string(),
                                              "-Lf",
                                              "/dev/null"};
  // Persistent state goes to our directory, not /var/lib/snmp; no MIB files are parsed,
  // which keeps the start quick and quiet.
  auto environment = currentEnvironment();
  environment["SNMP_PERSISTENT_DIR"] = persistent.string();
  environment["MIBS"] = "";
  environment["SNMPCONFPATH"] = directory_.path().string();
  snmpd_ = std::make_unique<StartedProgram>(arguments, environment);

  const auto deadline = std::chrono::steady_clock::now() + answerDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    if (snmpd_->ended()) {
      snmpd_.reset();
      return false;
    }
    if (agentAnswers(port, community)) {
      port_ = port;
      return true;
    }
  }
  throw std::runtime_error("snmpd did not answer on 127.0.0.1:" + std::to_string(port) +
                           " within 10 seconds");
}

void SnmpdPeer::stop() {
  if (!snmpd_) return;
  snmpd_->signal(SIGTERM);
  snmpd_->finish(stopGrace);  // killed if it lingers
  snmpd_.reset();
}

}  // namespace pulsewell::test
