#pragma once

// net-snmp's snmpd as a real peer for integration tests: started on a free loopback port
// with a generated read-only configuration, everything it writes kept in a temporary
// directory, and stopped again when the peer goes away.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "tests/support/temporary_folder.h"

namespace pulsewell {
class StartedProgram;
}

namespace pulsewell::test {

class SnmpdPeer {
 public:
  static constexpr std::string_view community = "velmar";
  static constexpr std::string_view host = "127.0.0.1";

  // Where Debian puts snmpd, or the program PULSEWELL_SNMPD names.
  static std::filesystem::path executable();
  // Whether that program is there to run.
  static bool available();

  // Starts snmpd and returns once it answers a GetRequest. Throws std::runtime_error
  // saying why when it cannot be started or does not answer within about 10 seconds.
  SnmpdPeer();
  // Stops snmpd (SIGTERM, then SIGKILL if it lingers) and removes its directory.
  ~SnmpdPeer();
  SnmpdPeer(const SnmpdPeer&) = delete;
  SnmpdPeer& operator=(const SnmpdPeer&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  // One attempt on one port; false when snmpd exited at once (the port was taken).
  bool start(std::uint16_t port);
  void stop();

  TemporaryFolder directory_;
  std::unique_ptr<StartedProgram> snmpd_;
  std::uint16_t port_ = 0;
};

}  // namespace pulsewell::test
