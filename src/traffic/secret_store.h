#pragma once

#include <optional>
#include <string>

namespace pulsewell {

// Where the community (a password in SNMP v2c) is kept.
class SecretStore {
 public:
  virtual ~SecretStore() = default;
  // The stored community, or none on any failure.
  virtual std::optional<std::string> read(const std::string& service) = 0;
  // An empty value deletes the item (success also when there was none); otherwise
  // updates or adds it. False on any failure.
  virtual bool write(const std::string& value, const std::string& service) = 0;
};

}  // namespace pulsewell
