#pragma once

#include <filesystem>

namespace pulsewell {

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config (the password database's home when HOME is unusable). Empty when no
// absolute home can be found, so that nothing is ever written relative to the working
// folder.
std::filesystem::path xdgConfigHome();

}  // namespace pulsewell
