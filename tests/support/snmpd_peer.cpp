#include "tests/support/snmpd_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

namespace pulsewell::test {

namespace {

using namespace std::chrono_literals;

// A free port can be taken by someone else before snmpd binds it; try a few.
constexpr int portAttempts = 3;
constexpr auto answerDeadline = 10s;
constexpr auto probeWait = 100ms;
constexpr auto stopGrace = 2s;

// GetRequest for sysUpTime.0, request-id 1, community "velmar"; written out so that
// starting the peer depends on none of the code under test.
constexpr std::array<std::uint8_t, 40> sysUpTimeRequest = {
    0x30, 0x26,                                                  // Message, 38 bytes
    0x02, 0x01, 0x01,                                            // version 1 (v2c)
    0x04, 0x06, 'v',  'e',  'l',  'm',  'a',  'r',               // community
    0xA0, 0x19,                                                  // GetRequest, 25 bytes
    0x02, 0x01, 0x01,                                            // request-id 1
    0x02, 0x01, 0x00,                                            // error-status
    0x02, 0x01, 0x00,                                            // error-index
    0x30, 0x0E, 0x30, 0x0C,                                      // bindings, one binding
    0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00,  // 1.3.6.1.2.1.1.3.0
    0x05, 0x00,                                                  // NULL
};

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

std::uint16_t freePort() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot find a free UDP port on 127.0.0.1");
  }
  close(fd);
  return ntohs(address.sin_port);
}

// Whether anything answers the probe on `port` within one short wait.
bool answers(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in to = loopback(port);
  sendto(fd, sysUpTimeRequest.data(), sysUpTimeRequest.size(), 0,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
  pollfd p{fd, POLLIN, 0};
  bool answered = false;
  if (poll(&p, 1, static_cast<int>(probeWait.count())) > 0) {
    std::array<std::uint8_t, 2048> buffer{};
    answered = recv(fd, buffer.data(), buffer.size(), 0) > 0;
  }
  close(fd);
  return answered;
}

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
      if (start(freePort())) return;
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
    if (answers(port)) {
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
