#pragma once

namespace pulsewell {

// The application identifier: keyring schema, autostart and desktop file name, the
// single-instance socket, and the prefix of worker-thread names.
inline constexpr const char* applicationIdentifier = "org.pulsewell.Pulsewell";

}  // namespace pulsewell
