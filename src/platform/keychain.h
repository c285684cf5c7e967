#pragma once

#include <optional>
#include <string>

#include "traffic/secret_store.h"

namespace pulsewell {

// The community in the desktop's Secret Service (GNOME Keyring, KWallet), through
// libsecret: one item of the schema named after the application identifier, with the
// attributes `service` (the service text) and `account` = "community", in the default
// collection. A locked collection asks the user to unlock it, as every desktop program
// does. Calls block; they run on the main thread like the rest of the settings.
class Keychain final : public SecretStore {
 public:
  static constexpr const char* itemLabel = "Pulsewell SNMP community";
  static constexpr const char* account = "community";

  // None on any failure: no item, a locked or unreachable service, data that is not UTF-8.
  std::optional<std::string> read(const std::string& service) override;
  // "" deletes the item (also fine when there was none); anything else replaces or adds it.
  // False on any failure, and for a value that is not UTF-8.
  bool write(const std::string& value, const std::string& service) override;
};

}  // namespace pulsewell
