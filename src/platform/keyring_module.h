#pragma once

#include "traffic/secret_store.h"

// The keyring module's one entry: the keyring store (owned by the caller), which keeps to
// the community file while no Secret Service answers. The module stays loaded while the store
// lives.
extern "C" __attribute__((visibility("default"))) pulsewell::SecretStore* pulsewell_open_keyring();

namespace pulsewell {
inline constexpr const char* keyringModuleEntry = "pulsewell_open_keyring";
using KeyringModuleEntry = SecretStore* (*)();
}  // namespace pulsewell
