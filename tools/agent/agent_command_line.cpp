#include "agent/agent_command_line.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace pulsewell::AgentCommandLine {

namespace {

bool takesValue(const std::string& name) {
  return name == "--port" || name == "--bind" || name == "--community" || name == "--table" ||
         name == "--port-file" || name == "--grow";
}

std::optional<std::uint16_t> parsePort(const std::string& text) {
  std::uint16_t port = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, port);
  if (text.empty() || error != std::errc{} || rest != end) return std::nullopt;
  return port;
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
  std::uint64_t count = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, count);
  if (text.empty() || error != std::errc{} || rest != end) return std::nullopt;
  return count;
}

// "IN,OUT", two octet counts per second.
std::optional<AgentOptions::Growth> parseGrowth(std::string_view text) {
  const auto comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto in = parseCount(text.substr(0, comma));
  const auto out = parseCount(text.substr(comma + 1));
  if (!in || !out) return std::nullopt;
  return AgentOptions::Growth{.inPerSecond = *in, .outPerSecond = *out};
}

Result failure(std::string message) {
  Result result;
  result.error = std::move(message);
  return result;
}

}  // namespace

Result parse(const std::vector<std::string>& arguments) {
  AgentOptions options;
  bool live = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      Result result;
      result.help = true;
      return result;
    }
    if (name == "--live") {
      if (value) return failure("--live takes no value");
      live = true;
      continue;
    }
    if (!takesValue(name)) {
      return failure(name.starts_with("-") ? "unknown option " + name
                                           : "unexpected argument '" + name + "'");
    }
    if (!value) {
      if (i + 1 >= arguments.size()) return failure(name + " needs a value");
      value = arguments[++i];
    }
    if (name == "--port") {
      const auto port = parsePort(*value);
      if (!port) return failure("--port wants a number from 0 to 65535, not '" + *value + "'");
      options.agent.port = *port;
    } else if (name == "--bind") {
      options.agent.bindAddress = *value;
    } else if (name == "--community") {
      options.agent.community = *value;
    } else if (name == "--grow") {
      const auto growth = parseGrowth(*value);
      if (!growth) return failure("--grow wants IN,OUT octets per second, not '" + *value + "'");
      options.grow = growth;
    } else if (name == "--table") {
      if (value->empty()) return failure("--table needs a file name");
      options.tableFile = *value;
    } else {
      if (value->empty()) return failure("--port-file needs a file name");
      options.portFile = *value;
    }
  }
  if (live && options.tableFile) return failure("use either --live or --table, not both");
  if (options.grow && !options.tableFile) return failure("--grow needs --table");
  Result result;
  result.options = std::move(options);
  return result;
}

std::string usage() {
  return "Usage: pulsewell-agent [options]\n"
         "A read-only SNMP v2c agent on a loopback address, serving an interface table.\n"
         "\n"
         "  --port N          UDP port to listen on; 0 (the default) picks a free one\n"
         "  --bind ADDR       loopback address to listen on: 127.0.0.1 (default) or ::1\n"
         "  --community TEXT  community to answer (default: public); others are ignored\n"
         "  --live            serve this machine's interfaces from /proc/net/dev (default)\n"
         "  --table FILE      serve the bindings in FILE instead, one per line:\n"
         "                    OID TYPE VALUE, TYPE one of string, integer, counter32,\n"
         "                    gauge32, counter64, timeticks, oid, null; # starts a comment\n"
         "  --grow IN,OUT     let every interface's received (IN) and sent (OUT) octet\n"
         "                    counters grow by that many octets per second\n"
         "  --port-file PATH  write the port to PATH once listening\n"
         "  -h, --help        show this help\n"
         "\n"
         "Runs until interrupted (SIGINT or SIGTERM).\n";
}

}  // namespace pulsewell::AgentCommandLine
