#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pulsewell {

struct ProgramResult {
  int exitCode = -1;  // -1 when a signal ended it, or it had to be killed at the deadline
  int signal = 0;     // the signal that ended it, 0 when it exited
  std::string out;
  std::string err;
};

// A child program started with exactly `environment` (nothing inherited; see
// currentEnvironment), no standard input, its output collected. Killed if still running
// when the object goes.
class StartedProgram {
 public:
  StartedProgram(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  // Collects output until `ready` holds for what it printed so far on standard output;
  // false when the program ended or `timeout` passed first.
  bool waitForOutput(const std::function<bool(const std::string& out)>& ready,
                     std::chrono::milliseconds timeout);
  void signal(int number) const;
  // Whether it has ended, without waiting; finish() still tells how.
  bool ended();
  // Collects the rest of the output and waits for the end; kills it after `timeout`.
  ProgramResult finish(std::chrono::milliseconds timeout);

 private:
  // Reads what is there, waiting up to `timeout`; false once both outputs are closed.
  bool collect(std::chrono::milliseconds timeout);

  pid_t child_ = -1;
  std::optional<int> waitStatus_;  // once reaped
  int out_ = -1;
  int err_ = -1;
  ProgramResult result_;
};

// This process's environment, to pass on with changes.
std::map<std::string, std::string> currentEnvironment();

// Runs a program as StartedProgram does, until it ends or `timeout` passes.
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace pulsewell
