#pragma once

#include <cstdint>
#include <string_view>

namespace pulsewell {

// A typed port's number, as the settings form and the terminal's --port read it: an
// optional sign and ASCII digits only, anything else 0 (which no port passes).
std::int64_t portNumber(std::string_view text);

}  // namespace pulsewell
