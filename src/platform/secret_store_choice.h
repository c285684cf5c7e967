#pragma once

#include <functional>
#include <memory>

#include "traffic/secret_store.h"

namespace pulsewell {

// Gives the keyring store (which keeps to the file while no keyring answers), or null where
// it cannot be had at all.
using KeyringOpener = std::function<std::unique_ptr<SecretStore>()>;

// The community file (FileSecretStore) when PULSEWELL_SECRET_STORE=file asks for it, which
// leaves the keyring alone; else the store `openKeyring` gives, or the file without one.
std::unique_ptr<SecretStore> chooseSecretStore(const KeyringOpener& openKeyring);

// chooseSecretStore with the keyring from the keyring module in the private folder, loaded
// by this call: so neither program loads libsecret and GIO unless it reads the keyring.
// Without the module the file is used.
std::unique_ptr<SecretStore> loadSystemSecretStore();

}  // namespace pulsewell
