#pragma once

#include <cstdint>
#include <exception>

namespace pulsewell {

// The one error type of the SNMP layer.
class SNMPError : public std::exception {
 public:
  enum class Kind { agent, timeout, localNetworkDenied, unreachable, malformed };

  // The device answered with this non-zero error-status.
  static SNMPError agent(std::int64_t status) { return SNMPError{Kind::agent, status}; }
  static SNMPError timeout() { return SNMPError{Kind::timeout}; }
  static SNMPError localNetworkDenied() { return SNMPError{Kind::localNetworkDenied}; }
  static SNMPError unreachable() { return SNMPError{Kind::unreachable}; }
  static SNMPError malformed() { return SNMPError{Kind::malformed}; }

  Kind kind() const { return kind_; }
  // The agent's error-status; 0 for every other kind.
  std::int64_t status() const { return status_; }

  const char* what() const noexcept override;

  bool operator==(const SNMPError& other) const {
    return kind_ == other.kind_ && status_ == other.status_;
  }

 private:
  explicit SNMPError(Kind kind, std::int64_t status = 0) : kind_(kind), status_(status) {}

  Kind kind_;
  std::int64_t status_;
};

// Thrown instead of sending a request once the caller has asked to stop: nobody is left
// to see the answer (SNMPClient::stop).
class SNMPStopped : public std::exception {
 public:
  const char* what() const noexcept override;
};

}  // namespace pulsewell
