#pragma once

#include <optional>
#include <string>

#include "traffic/file_problem.h"

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
  // Why the last write that returned false failed, when a file was at fault; none when the
  // store cannot tell (a keyring that said no).
  virtual std::optional<FileProblem> writeProblem() const { return std::nullopt; }
};

}  // namespace pulsewell
