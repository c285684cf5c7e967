#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

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

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds timeout) {
  Pipe out;
  Pipe err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);

  std::vector<char*> argv;
  for (const auto& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> entries;
  for (const auto& [name, value] : environment)
    entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : entries)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out.write);
  close(err.write);
  if (spawned != 0) {
    close(out.read);
    close(err.read);
    throw std::runtime_error("cannot start " + arguments.front());
  }

  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::array<pollfd, 2> fds{{{out.read, POLLIN, 0}, {err.read, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(child, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      std::array<char, 4096> buffer{};
      const ssize_t n = read(fds[i].fd, buffer.data(), buffer.size());
      if (n > 0) {
        sinks[i]->append(buffer.data(), static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const auto& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!killed && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace pulsewell
