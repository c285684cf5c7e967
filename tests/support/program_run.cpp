#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace pulsewell {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    read = ends[0];
    write = ends[1];
  }
};

std::chrono::milliseconds until(std::chrono::steady_clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                               std::chrono::steady_clock::now());
}

}  // namespace

StartedProgram::StartedProgram(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment) {
  Pipe out;
  Pipe err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const auto& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> entries;
  entries.reserve(environment.size());
  for (const auto& [name, value] : environment)
    entries.emplace_back(name + '=').append(value);
  std::vector<char*> envp;
  envp.reserve(entries.size() + 1);
  for (auto& entry : entries)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  const int spawned = posix_spawn(&child_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out.write);
  close(err.write);
  out_ = out.read;
  err_ = err.read;
  if (spawned != 0) {
    close(out_);
    close(err_);
    throw std::runtime_error("cannot start " + arguments.front());
  }
}

StartedProgram::~StartedProgram() {
  if (child_ > 0 && !waitStatus_) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

bool StartedProgram::collect(std::chrono::milliseconds timeout) {
  std::array<pollfd, 2> fds{{{out_, POLLIN, 0}, {err_, POLLIN, 0}}};
  std::array<int*, 2> ends{&out_, &err_};
  std::array<std::string*, 2> sinks{&result_.out, &result_.err};
  if (out_ < 0 && err_ < 0) return false;
  if (poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(timeout.count(), 0))) <= 0) {
    return true;
  }
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    std::array<char, 4096> buffer{};
    const ssize_t n = read(fds[i].fd, buffer.data(), buffer.size());
    if (n > 0) {
      sinks[i]->append(buffer.data(), static_cast<std::size_t>(n));
    } else {
      close(fds[i].fd);
      *ends[i] = -1;
    }
  }
  return out_ >= 0 || err_ >= 0;
}

bool StartedProgram::waitForOutput(const std::function<bool(const std::string& out)>& ready,
                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready(result_.out)) {
    const auto left = until(deadline);
    if (left.count() <= 0 || !collect(left)) return ready(result_.out);
  }
  return true;
}

void StartedProgram::signal(int number) const {
  if (!waitStatus_) kill(child_, number);
}

bool StartedProgram::ended() {
  int status = 0;
  if (!waitStatus_ && waitpid(child_, &status, WNOHANG) == child_) waitStatus_ = status;
  return waitStatus_.has_value();
}

ProgramResult StartedProgram::finish(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool killed = false;
  for (;;) {
    const auto left = until(deadline);
    if (left.count() <= 0) {
      killed = !ended();
      if (killed) kill(child_, SIGKILL);
      break;
    }
    if (!collect(left)) break;
  }
  int status = waitStatus_.value_or(0);
  if (!waitStatus_) waitpid(child_, &status, 0);
  waitStatus_ = status;
  if (!killed && WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
  if (!killed && WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  return result_;
}

std::map<std::string, std::string> currentEnvironment() {
  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    environment.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  return environment;
}

ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds timeout) {
  return StartedProgram(arguments, environment).finish(timeout);
}

}  // namespace pulsewell
