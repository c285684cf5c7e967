#pragma once

#include <chrono>
#include <memory>

#include "traffic/secret_store.h"

namespace pulsewell {

// How long the probe for a Secret Service may take before the session counts as having
// none: enough for the keyring daemon to be started on demand, short enough not to stall
// the program's start.
inline constexpr std::chrono::milliseconds secretServiceProbeTimeout{2000};

// Whether a Secret Service answers on the session bus, or can be started there by D-Bus
// activation, within `timeout`. Connects afresh each time (honouring the environment as it
// is now) and gives up at the deadline, also against a bus that accepts the connection but
// never answers.
bool secretServiceReachable(std::chrono::milliseconds timeout = secretServiceProbeTimeout);

// The keyring (Keychain) whenever a Secret Service is reachable, else the community file
// beside the settings (FileSecretStore), looking again for a keyring that did not answer
// yet (SessionSecretStore). The keyring module's entry.
std::unique_ptr<SecretStore> openKeyring();

}  // namespace pulsewell
