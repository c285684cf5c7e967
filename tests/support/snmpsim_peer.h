#pragma once

// Debian's snmpsim (snmpsimd) as a real, independent agent for integration tests: it serves
// recordings of real devices' agents on a free loopback port, each under its name as the
// community, until the peer goes away.
//
// With a held clock it runs under libfaketime, which reads the time from a file of ours on
// every call: counters made to grow by snmpsim's `numeric` variation module then move by
// exactly the seconds advance() gives, and no test waits for real time to pass.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/temporary_folder.h"

namespace pulsewell {
class StartedProgram;
}

namespace pulsewell::test {

class SnmpsimPeer {
 public:
  static constexpr std::string_view host = "127.0.0.1";
  enum class Clock { held, real };

  // Why the peer cannot run here (snmpsimd or libfaketime missing), or none.
  static std::optional<std::string> missing();

  // Serves `recordings` (community → the .snmprec text) and returns once it answers.
  // Throws std::runtime_error saying why when it cannot be started.
  SnmpsimPeer(const std::map<std::string, std::string>& recordings, Clock clock);
  ~SnmpsimPeer();
  SnmpsimPeer(const SnmpsimPeer&) = delete;
  SnmpsimPeer& operator=(const SnmpsimPeer&) = delete;

  std::uint16_t port() const { return port_; }
  // Moves the held clock on by `seconds`, or back for a negative number.
  void advance(long seconds);

 private:
  bool start(std::uint16_t port, Clock clock, const std::string& probeCommunity);
  void writeTime();
  void stop();

  TemporaryFolder directory_;
  std::unique_ptr<StartedProgram> snmpsimd_;
  std::uint16_t port_ = 0;
  long seconds_ = 0;
};

}  // namespace pulsewell::test
