#pragma once

// What starting a real agent as a test peer needs, written so that it depends on none of
// the code under test: a free port to start it on, and whether it answers yet.

#include <cstdint>
#include <string_view>

namespace pulsewell::test {

// A UDP port on 127.0.0.1 that nothing was bound to a moment ago. Throws
// std::runtime_error when there is none.
std::uint16_t freeLoopbackPort();

// Whether an agent on 127.0.0.1:`port` answers a GetRequest for sysUpTime.0 with
// `community` within one short wait.
bool agentAnswers(std::uint16_t port, std::string_view community);

}  // namespace pulsewell::test
