#include "tests/support/snmpd_test.h"

#include <cstdlib>
#include <exception>
#include <string_view>

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
  SNMPClient c;
  c.host = std::string(SnmpdPeer::host);
  c.port = snmpd->port();
  c.community = std::string(SnmpdPeer::community);
  c.timeout = 1.0;
  c.retries = 1;
  return c;
}

}  // namespace pulsewell::test
