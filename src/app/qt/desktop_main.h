#pragma once

#include <chrono>
#include <optional>

namespace pulsewell {

// Starts the tray program and runs its event loop; the exit status. `interval` replaces the
// pause between samples (benchmarks shorten it); none keeps the program's own.
int runDesktop(int argc, char** argv,
               std::optional<std::chrono::milliseconds> interval = std::nullopt);

}  // namespace pulsewell
