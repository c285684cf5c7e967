#pragma once

#include <string_view>

namespace pulsewell {

// True for the arguments the terminal mode answers: any command word, --help, --version.
bool isTerminalCommand(std::string_view argument);

// Runs `pulsewell watch` / `pulsewell interfaces` / --help / --version; the exit status.
int runTerminalMode(int argc, char** argv);

}  // namespace pulsewell
