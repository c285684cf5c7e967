#pragma once

#include <string>
#include <string_view>

namespace pulsewell {

// The name of a worker thread doing `role` ("poll", "fetch"): the application identifier
// with the role, shortened to the 15 bytes Linux keeps by dropping leading reverse-DNS
// labels first, so "org.pulsewell.Pulsewell.poll" becomes "Pulsewell.poll".
std::string workerThreadName(std::string_view role);

// Names the calling thread after its role.
void nameThisThread(std::string_view role);

}  // namespace pulsewell
