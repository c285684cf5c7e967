#pragma once

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/temporary_folder.h"

namespace pulsewell::test {

inline std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::filesystem::perms permissionsOf(const std::filesystem::path& path) {
  return std::filesystem::status(path).permissions() & std::filesystem::perms::mask;
}

// How a child process ended: its exit status, or the signal that ended it.
struct ChildEnd {
  std::optional<int> exitStatus;
  std::optional<int> signal;
};

// Runs `body` in a forked child and reports how it ended; the child's exit status is what
// `body` returns. For faults that end or change a process (resource limits, dropped
// privileges) without touching the test process itself.
inline ChildEnd runInChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  ChildEnd end;
  if (WIFEXITED(status)) end.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

// Gives up every capability of the calling process, so that file permissions hold even
// for root (tests often run as root in containers). Call in a child only.
inline bool dropCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Sets an environment variable for one scope and restores the old value after. The tests
// run on one thread (children are forked), so changing the environment is safe here.
// NOLINTBEGIN(concurrency-mt-unsafe)
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};
// NOLINTEND(concurrency-mt-unsafe)

// The text of an errno value, as std::system_error and the program's messages show it.
inline std::string errorText(int error) {
  return std::generic_category().message(error);
}

}  // namespace pulsewell::test
