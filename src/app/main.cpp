// The `pulsewell` command: the terminal subcommands run here, without a display and without
// Qt; anything else starts the desktop program in the panel, in place of this process.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/terminal/terminal_mode.h"
#include "menubar/strings.h"
#include "platform/program_files.h"

int main(int argc, char** argv) {
  if (argc > 1 && pulsewell::isTerminalCommand(argv[1])) {
    return pulsewell::runTerminalMode(argc, argv);
  }
  const auto desktop = pulsewell::ProgramFiles::desktopProgram();
  ::execv(desktop.c_str(), argv);
  const int error = errno;
  const std::string problem = pulsewell::Strings::text("cannot start the desktop program ",
                                                       "das Desktop-Programm startet nicht: ") +
                              desktop.string() + ": " +
                              std::strerror(error);  // NOLINT(concurrency-mt-unsafe)
  std::fprintf(stderr, "pulsewell: %s\n", problem.c_str());
  return 1;
}
