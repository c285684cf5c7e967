#pragma once

#include <filesystem>

namespace pulsewell::ProgramFiles {

// The `pulsewell` command runs the terminal commands and starts the desktop program; the
// desktop program and the keyring module live in a private folder (/usr/libexec/pulsewell when
// installed). Each is found relative to the running program, so the build tree works as
// an installation does.

// The running program (/proc/self/exe); empty when it cannot be told.
std::filesystem::path running();

// Seen from the running command: the desktop program. Seen from either program: the
// keyring module.
std::filesystem::path desktopProgram();
std::filesystem::path keyringModule();

// Seen from the running desktop program: the command that starts it, which autostart
// entries name; the desktop program itself when no such command stands beside it.
std::filesystem::path command();

// The same relations for given paths: the private folder of a command; the private folder
// seen from a program, the command or the desktop program; and the command of a desktop
// program (or the program itself).
std::filesystem::path privateFolderOf(const std::filesystem::path& command);
std::filesystem::path privateFolderFor(const std::filesystem::path& program);
std::filesystem::path commandOf(const std::filesystem::path& desktopProgram);

}  // namespace pulsewell::ProgramFiles
