#pragma once

#include <string>

#include "traffic/file_problem.h"

namespace pulsewell {

// What is wrong, starting with the path: "/home/ann/.config/pulsewell is not a folder", in
// German when `german` is set. For messages that first say what could not be done.
std::string fileProblemText(const FileProblem& problem, bool german);

}  // namespace pulsewell
