#include "traffic/router_traffic_status.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "snmp/snmp_error.h"
#include "tests/support/traffic_printers.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {
namespace {

struct Case {
  std::string name;
  std::exception_ptr error;
  RouterTrafficStatus expected;
};

// The case as its test name shows it.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

struct NotAnException {
  int code = 7;
};

class RouterTrafficStatusTest : public testing::TestWithParam<Case> {};

TEST_P(RouterTrafficStatusTest, MapsTheErrorToItsStatus) {
  EXPECT_EQ(routerTrafficStatus(GetParam().error), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RouterTrafficStatusTest,
    testing::Values(
        Case{"timeout", std::make_exception_ptr(SNMPError::timeout()),
             RouterTrafficStatus::noReply},
        Case{"denied", std::make_exception_ptr(SNMPError::localNetworkDenied()),
             RouterTrafficStatus::denied},
        Case{"unreachable", std::make_exception_ptr(SNMPError::unreachable()),
             RouterTrafficStatus::unreachable},
        Case{"malformed", std::make_exception_ptr(SNMPError::malformed()),
             RouterTrafficStatus::invalidReply},
        Case{"agentNoSuchName", std::make_exception_ptr(SNMPError::agent(2)),
             RouterTrafficStatus::invalidReply},
        Case{"agentGenErr", std::make_exception_ptr(SNMPError::agent(5)),
             RouterTrafficStatus::invalidReply},
        Case{"interfaceNotFound", std::make_exception_ptr(SNMPTrafficError::interfaceNotFound()),
             RouterTrafficStatus::interfaceNotFound},
        Case{"noCounters", std::make_exception_ptr(SNMPTrafficError::noCounters()),
             RouterTrafficStatus::noCounters},
        Case{"runtimeError", std::make_exception_ptr(std::runtime_error("transport gave up")),
             RouterTrafficStatus::invalidReply},
        Case{"badAlloc", std::make_exception_ptr(std::bad_alloc()),
             RouterTrafficStatus::invalidReply},
        Case{"thrownInteger", std::make_exception_ptr(42), RouterTrafficStatus::invalidReply},
        Case{"thrownPlainStruct", std::make_exception_ptr(NotAnException{}),
             RouterTrafficStatus::invalidReply},
        Case{"noErrorAtAll", std::exception_ptr{}, RouterTrafficStatus::invalidReply}),
    [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

}  // namespace
}  // namespace pulsewell
