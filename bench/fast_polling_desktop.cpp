// The desktop program exactly as it ships but for the pause between samples, which the
// first argument gives in milliseconds: the tray benchmark's accelerated run shows in
// minutes what hours of polling would do to memory.
// Usage: pulsewell-fast-polling MILLISECONDS [Qt options]
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/qt/desktop_main.h"

int main(int argc, char** argv) {
  long milliseconds = 0;
  const char* text = argc > 1 ? argv[1] : "";
  const char* end = text + std::strlen(text);
  if (std::from_chars(text, end, milliseconds).ptr != end || milliseconds <= 0) {
    std::fputs("usage: pulsewell-fast-polling MILLISECONDS [Qt options]\n", stderr);
    return 2;
  }
  argv[1] = argv[0];
  return pulsewell::runDesktop(argc - 1, argv + 1, std::chrono::milliseconds(milliseconds));
}
