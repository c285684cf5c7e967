#pragma once

#include <string>
#include <string_view>

namespace pulsewell {

// `text` with control characters (which a device, or whoever answers on a socket, could
// use to drive the terminal) replaced by U+FFFD, for printing to a terminal.
std::string terminalSafe(std::string_view text);

}  // namespace pulsewell
