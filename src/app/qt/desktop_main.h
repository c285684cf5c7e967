#pragma once

namespace pulsewell {

// Starts the tray program and runs its event loop; the exit status.
int runDesktop(int argc, char** argv);

}  // namespace pulsewell
