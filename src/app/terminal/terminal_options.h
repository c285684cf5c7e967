#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pulsewell {

// What one terminal invocation asks for. Fields left empty fall back to the stored
// settings; overrides last for this run only.
struct TerminalOptions {
  enum class Command { watch, interfaces, help, version };

  Command command = Command::help;
  std::optional<std::string> host;
  std::optional<std::string> port;  // as typed: 1 to 65535 by the settings form's rule
  std::optional<std::string> interface;
  bool bits = false;
  bool swap = false;
  bool json = false;
  std::optional<std::uint64_t> count;
  // The pause after each sample; the panel always uses two seconds.
  std::chrono::milliseconds interval{2000};

  bool operator==(const TerminalOptions&) const = default;
};

// A usage error, worded for the user.
struct TerminalUsageError {
  std::string message;
};

// Parses argv[1...]; never touches the environment or the stores.
std::variant<TerminalOptions, TerminalUsageError> parseTerminalOptions(
    const std::vector<std::string>& arguments);

// The --help text.
std::string terminalUsage();

}  // namespace pulsewell
