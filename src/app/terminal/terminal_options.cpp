#include "app/terminal/terminal_options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "traffic/connection_check.h"
#include "traffic/port_text.h"

namespace pulsewell {
namespace {

using Result = std::variant<TerminalOptions, TerminalUsageError>;

std::optional<TerminalOptions::Command> commandNamed(std::string_view word) {
  if (word == "watch") return TerminalOptions::Command::watch;
  if (word == "interfaces") return TerminalOptions::Command::interfaces;
  if (word == "--help" || word == "-h" || word == "help") return TerminalOptions::Command::help;
  if (word == "--version" || word == "-V") return TerminalOptions::Command::version;
  return std::nullopt;
}

// Seconds as typed ("0.5"), within what makes sense for a poll: at least 50 ms so a
// device is not flooded, at most an hour.
std::optional<std::chrono::milliseconds> pollInterval(std::string_view text) {
  double seconds = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, seconds);
  if (error != std::errc{} || ptr != end || !(seconds >= 0.05 && seconds <= 3600)) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(std::lround(seconds * 1000));
}

std::optional<std::uint64_t> positiveCount(std::string_view text) {
  std::uint64_t value = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || ptr != end || value == 0) return std::nullopt;
  return value;
}

TerminalUsageError usageError(std::string message) {
  return {std::move(message) + "\nTry 'pulsewell --help'."};
}

// A value that no device could take is bad usage, told apart from settings that are
// missing; the checks are the settings form's.
std::optional<TerminalUsageError> unusableConnectionValue(std::string_view name,
                                                          const std::string& value) {
  if (name == "--host" && hostProblem(value)) {
    return usageError("--host needs a device address without spaces.");
  }
  if (name == "--port" && !isUsablePort(portNumber(value))) {
    return usageError("--port needs a whole number from 1 to 65535.");
  }
  if (name == "--interface" && value.empty()) return usageError("--interface needs a name.");
  return std::nullopt;
}

}  // namespace

Result parseTerminalOptions(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return usageError("Missing command.");
  const auto command = commandNamed(arguments.front());
  if (!command) return usageError("Unknown command '" + arguments.front() + "'.");

  TerminalOptions options;
  options.command = *command;
  const bool watching = options.command == TerminalOptions::Command::watch;
  const bool listing = options.command == TerminalOptions::Command::interfaces;

  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view option = arguments[i];
    if (option == "--help" || option == "-h") {
      options.command = TerminalOptions::Command::help;
      return options;
    }
    if (option == "--community" || option.starts_with("--community=")) {
      return usageError(
          "The community is never taken from the command line, where other users can read it. "
          "Save it in the settings window or set PULSEWELL_COMMUNITY.");
    }
    // Options that take a value accept both "--host x" and "--host=x".
    std::string_view name = option;
    std::optional<std::string> value;
    if (const auto equals = option.find('='); option.starts_with("--") && equals != option.npos) {
      name = option.substr(0, equals);
      value = std::string(option.substr(equals + 1));
    }
    const bool connectionOption = (watching || listing) && (name == "--host" || name == "--port");
    const bool watchValueOption =
        watching && (name == "--interface" || name == "--count" || name == "--interval");
    const bool watchFlag = watching && (name == "--bits" || name == "--swap" || name == "--json");

    if (connectionOption || watchValueOption) {
      if (!value && i + 1 < arguments.size()) value = arguments[++i];
      if (!value) return usageError("Option " + std::string(name) + " needs a value.");
      if (auto refusal = unusableConnectionValue(name, *value)) return std::move(*refusal);
      if (name == "--host") options.host = *value;
      if (name == "--port") options.port = *value;
      if (name == "--interface") options.interface = *value;
      if (name == "--count") {
        options.count = positiveCount(*value);
        if (!options.count) return usageError("--count needs a whole number above 0.");
      }
      if (name == "--interval") {
        const auto interval = pollInterval(*value);
        if (!interval) return usageError("--interval needs seconds from 0.05 to 3600.");
        options.interval = *interval;
      }
    } else if (watchFlag && !value) {
      options.bits = options.bits || name == "--bits";
      options.swap = options.swap || name == "--swap";
      options.json = options.json || name == "--json";
    } else {
      return usageError("Unknown option '" + std::string(option) + "' for this command.");
    }
  }
  return options;
}

std::string terminalUsage() {
  return "Usage: pulsewell [COMMAND] [OPTIONS]\n"
         "\n"
         "Without a command, Pulsewell starts in the panel of the desktop.\n"
         "\n"
         "Commands:\n"
         "  watch          Show the live rates of the configured interface\n"
         "  interfaces     List the device's interfaces (\u25cf up, \u25cb down)\n"
         "  --status       Show what the running panel entry shows\n"
         "  -h, --help     Show this help\n"
         "  -V, --version  Show the version\n"
         "\n"
         "Options (for this run only; the stored settings stay as they are):\n"
         "  --host ADDRESS     device address or host name\n"
         "  --port PORT        UDP port of the SNMP agent (default 161)\n"
         "  --interface NAME   interface to watch (watch only)\n"
         "  --bits             show rates in bit/s (watch only)\n"
         "  --swap             swap download and upload (watch only)\n"
         "  --count N          stop after N samples (watch only)\n"
         "  --interval SECONDS pause after each sample, default 2 (watch only)\n"
         "  --json             one JSON object per sample (watch only)\n"
         "\n"
         "The community comes from the keyring (saved by the settings window) or from the\n"
         "environment variable PULSEWELL_COMMUNITY; it is never read from the command line.\n"
         "\n"
         "Exit status:\n"
         "  0  success (watch: the last sample read the interface, up or down)\n"
         "  1  no desktop to start on; --status: Pulsewell is not running\n"
         "  2  bad usage: an unknown command or option, or a bad option value\n"
         "  3  not configured: no usable device address, port, community or interface\n"
         "  4  the device did not answer\n"
         "  5  the device answered, but not with the interface's counters\n"
         "\n"
         "The manual page pulsewell(1) says more, and describes the JSON output.\n";
}

}  // namespace pulsewell
