#pragma once

namespace pulsewell {

// Opens the system's page for the program's local-network permission. Linux has no such
// per-application permission, so there is no page to open.
inline void openLocalNetworkSettings() {}

}  // namespace pulsewell
