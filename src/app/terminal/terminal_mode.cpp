#include "app/terminal/terminal_mode.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/terminal/terminal_commands.h"
#include "app/terminal/terminal_options.h"
#include "pulsewell_version.h"

namespace pulsewell {

bool isTerminalCommand(std::string_view argument) {
  // Every word is a command here (an unknown one is bad usage); the desktop program takes
  // only options, Qt's among them.
  return !argument.starts_with('-') || argument == "--help" || argument == "-h" ||
         argument == "--version" || argument == "-V";
}

int runTerminalMode(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto parsed = parseTerminalOptions(arguments);
  if (const auto* error = std::get_if<TerminalUsageError>(&parsed)) {
    std::fprintf(stderr, "pulsewell: %s\n", error->message.c_str());
    return exitUsage;
  }
  const auto& options = std::get<TerminalOptions>(parsed);
  switch (options.command) {
    case TerminalOptions::Command::help:
      std::fputs(terminalUsage().c_str(), stdout);
      return exitSuccess;
    case TerminalOptions::Command::version:
      std::printf("pulsewell %s\n", version);
      return exitSuccess;
    case TerminalOptions::Command::watch:
      return runWatch(options);
    case TerminalOptions::Command::interfaces:
      return runInterfaces(options);
  }
  return exitUsage;
}

}  // namespace pulsewell
