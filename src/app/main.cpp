// One program for both faces: the terminal subcommands run without a display; anything
// else starts the desktop program in the panel.
#include <string_view>

#include "app/qt/desktop_main.h"
#include "app/terminal/terminal_mode.h"

int main(int argc, char** argv) {
  if (argc > 1 && pulsewell::isTerminalCommand(argv[1])) {
    return pulsewell::runTerminalMode(argc, argv);
  }
  return pulsewell::runDesktop(argc, argv);
}
