// The desktop program: the panel entry and its windows. The `pulsewell` command starts it
// for everything but the terminal commands.
#include "app/qt/desktop_main.h"

int main(int argc, char** argv) {
  return pulsewell::runDesktop(argc, argv);
}
