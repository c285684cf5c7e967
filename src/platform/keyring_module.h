#pragma once

#include "traffic/secret_store.h"

// The keyring module's one entry: the keyring (a Keychain, owned by the caller), or null
// where no Secret Service can be reached. The module stays loaded while the store lives.
extern "C" __attribute__((visibility("default"))) pulsewell::SecretStore* pulsewell_open_keyring();

namespace pulsewell {
inline constexpr const char* keyringModuleEntry = "pulsewell_open_keyring";
using KeyringModuleEntry = SecretStore* (*)();
}  // namespace pulsewell
