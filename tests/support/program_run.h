#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace pulsewell {

struct ProgramResult {
  int exitCode = -1;  // -1 when it had to be killed at the deadline
  std::string out;
  std::string err;
};

// Runs a program with exactly `environment` (nothing inherited), no standard input, and
// collects what it prints; kills it if it is still running after `timeout`.
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace pulsewell
