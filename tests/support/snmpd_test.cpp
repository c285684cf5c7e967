#include "tests/support/snmpd_test.h"

#include <cstdlib>
#include <exception>
#include <string_view>

#include "tests/support/peer_client.h"

namespace pulsewell::test {

void SnmpdTest::SetUp() {
  if (!SnmpdPeer::available()) {
    const char* ci = std::getenv("CI");  // NOLINT(concurrency-mt-unsafe): no test sets it
    if (ci != nullptr && std::string_view(ci) == "true") {
      FAIL() << SnmpdPeer::executable() << " is missing; install the snmpd package";
    }
    GTEST_SKIP() << SnmpdPeer::executable() << " is not installed (apt-get install snmpd)";
  }
  try {
    snmpd = std::make_unique<SnmpdPeer>();
  } catch (const std::exception& error) {
    FAIL() << error.what();
  }
}

SNMPClient SnmpdTest::client() const {
  return peerClient(std::string(SnmpdPeer::host), snmpd->port(), std::string(SnmpdPeer::community),
                    1.0);
}

}  // namespace pulsewell::test
