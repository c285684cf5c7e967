#include "platform/xdg_config_home.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace pulsewell {

namespace {

std::filesystem::path absoluteFromEnvironment(const char* name) {
  // Read once at the moment of the call; nothing in the program changes the environment
  // while other threads run.
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
  if (value == nullptr) return {};
  std::filesystem::path path(value);
  return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path homeFromPasswordDatabase() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return {};
  }
  std::filesystem::path home(found->pw_dir);
  return home.is_absolute() ? home : std::filesystem::path();
}

}  // namespace

std::filesystem::path xdgConfigHome() {
  if (auto configHome = absoluteFromEnvironment("XDG_CONFIG_HOME"); !configHome.empty()) {
    return configHome;
  }
  auto home = absoluteFromEnvironment("HOME");
  if (home.empty()) home = homeFromPasswordDatabase();
  if (home.empty()) return {};
  return home / ".config";
}

}  // namespace pulsewell
