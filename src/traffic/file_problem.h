#pragma once

#include <string>

namespace pulsewell {

// Why one of the program's own files could not be read or written, so that the user can be
// told what is wrong: the errno value, and the path it concerns (for ENOTDIR the part of the
// path that is not a folder).
struct FileProblem {
  int error = 0;
  std::string path;

  bool operator==(const FileProblem&) const = default;
};

}  // namespace pulsewell
