#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace pulsewell::test {

// The file names of the shared objects a program loaded, at start and by dlopen, read
// from what the dynamic loader writes to standard error under LD_DEBUG=files: one line
// "file=NAME [namespace];  generating link map" for each.
inline std::vector<std::string> loadedLibraries(const std::string& loaderTrace) {
  constexpr std::string_view marker = "generating link map";
  std::vector<std::string> names;
  std::istringstream lines(loaderTrace);
  for (std::string line; std::getline(lines, line);) {
    const auto file = line.find("file=");
    const auto end = line.find(" [", file);
    if (file == std::string::npos || end == std::string::npos ||
        line.find(marker, end) == std::string::npos) {
      continue;
    }
    const std::string path = line.substr(file + 5, end - file - 5);
    names.push_back(std::filesystem::path(path).filename().string());
  }
  return names;
}

// Whether one of `names` begins with `prefix` (libQt6 finds libQt6Core.so.6).
inline bool anyStartsWith(const std::vector<std::string>& names, std::string_view prefix) {
  return std::any_of(names.begin(), names.end(),
                     [prefix](const std::string& name) { return name.starts_with(prefix); });
}

}  // namespace pulsewell::test
