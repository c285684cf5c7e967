#pragma once

// A test fixture with a running snmpd. Without snmpd the test is skipped, except in CI
// (CI=true), where a missing peer is a failure rather than silently less testing.

#include <gtest/gtest.h>

#include <memory>

#include "snmp/snmp_client.h"
#include "tests/support/snmpd_peer.h"

namespace pulsewell::test {

class SnmpdTest : public testing::Test {
 protected:
  void SetUp() override;

  // A client for the peer, with a timeout and retry that suit a local agent.
  SNMPClient client() const;

  std::unique_ptr<SnmpdPeer> snmpd;
};

}  // namespace pulsewell::test
